// Start-up and shutdown of the main window: the fade-in, the activation
// sequence that runs once per run, and the close handler.
#include "TestSupport.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

class LifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void init() { registry_ = std::make_unique<ScratchRegistry>(); }
    void cleanup() { registry_.reset(); }

    void fadeInTakes51StepsThenSwitchesTransparencyOff();
    void fadeInLevelWrapsAsAnEightBitValue();
    void opacityFollowsTheSwitchAndLevel();
    void fadeInRunsOnItsTimerOnceShown();
    void storedLanguageIsAppliedAtActivation_data();
    void storedLanguageIsAppliedAtActivation();
    void activationRunsOnlyOnce();
    void closeStoresFieldsAndLanguage_data();
    void closeStoresFieldsAndLanguage();
    void unknownLanguageMarkerLeavesStoredLanguage();
    void exitItemClosesAndStores();
    void failingActivationStillFadesIn();

private:
    std::unique_ptr<ScratchRegistry> registry_;
};

namespace {

void WriteProgramDWord(const char *name, DWORD value)
{
    HKEY key;
    QCOMPARE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\VTR", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value),
             ERROR_SUCCESS);
    RegCloseKey(key);
}

QString CheckedLanguage(const TForm1 &form)
{
    QString checked;
    if (form.N16->isChecked())
        checked += QLatin1Char('0');
    if (form.N17->isChecked())
        checked += QLatin1Char('1');
    if (form.N18->isChecked())
        checked += QLatin1Char('2');
    return checked;
}

// Waits until the fade-in is over.
bool FadedIn(const TForm1 &form)
{
    return QTest::qWaitFor([&] { return !form.AlphaBlend() && !form.Timer1->isActive(); }, 5000)
        && form.AlphaBlendValue() == 255;
}

} // namespace

void LifecycleTest::fadeInTakes51StepsThenSwitchesTransparencyOff()
{
    TForm1 form;
    form.Timer1->start();
    for (int step = 1; step <= 50; ++step) {
        form.Timer1Timer();
        QCOMPARE(int(form.AlphaBlendValue()), 5 * step);
        QVERIFY(form.AlphaBlend());
        QVERIFY(form.Timer1->isActive());
    }
    form.Timer1Timer();
    QCOMPARE(int(form.AlphaBlendValue()), 255);
    QVERIFY(!form.AlphaBlend());
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(form.windowOpacity(), 1.0);
}

void LifecycleTest::fadeInLevelWrapsAsAnEightBitValue()
{
    TForm1 form;
    form.SetAlphaBlendValue(254);
    form.Timer1Timer();
    QCOMPARE(int(form.AlphaBlendValue()), 3);
    QVERIFY(form.AlphaBlend());
}

void LifecycleTest::opacityFollowsTheSwitchAndLevel()
{
    TForm1 form;
    QCOMPARE(form.windowOpacity(), 0.0);
    form.SetAlphaBlendValue(128);
    QVERIFY(qAbs(form.windowOpacity() - 128 / 255.0) < 0.01);
    form.SetAlphaBlend(false);
    QCOMPARE(form.windowOpacity(), 1.0);
    QCOMPARE(int(form.AlphaBlendValue()), 128); // the level is kept exactly
    form.SetAlphaBlendValue(7);
    QCOMPARE(form.windowOpacity(), 1.0);
    form.SetAlphaBlend(true);
    QVERIFY(qAbs(form.windowOpacity() - 7 / 255.0) < 0.01);
    QCOMPARE(int(form.AlphaBlendValue()), 7);
}

void LifecycleTest::fadeInRunsOnItsTimerOnceShown()
{
    TForm1 form;
    QVERIFY(!form.Timer1->isActive());
    ShowAndActivate(form);
    QVERIFY(form.Activated());
    QVERIFY(FadedIn(form));
    QCOMPARE(form.windowOpacity(), 1.0);
}

void LifecycleTest::storedLanguageIsAppliedAtActivation_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("checked");
    QTest::newRow("Russian") << "0" << "0";
    QTest::newRow("Ukrainian") << "1" << "1";
    QTest::newRow("English") << "2" << "2";
    QTest::newRow("unknown code") << "3" << "";
    QTest::newRow("leading zero") << "01" << "";
    QTest::newRow("leading blank") << " 1" << "";
    QTest::newRow("empty") << "" << "";
}

void LifecycleTest::storedLanguageIsAppliedAtActivation()
{
    QFETCH(QString, stored);
    QFETCH(QString, checked);
    SetProgramText("lastlang", stored.toStdString());
    TForm1 form;
    ShowAndActivate(form);
    QCOMPARE(CheckedLanguage(form), checked);
    QVERIFY(FadedIn(form));
}

void LifecycleTest::activationRunsOnlyOnce()
{
    BoxRecorder recorder;
    SetProgramText("lastlang", "2");
    TForm1 form;
    TForm3 presets;
    Form3 = &presets;
    ShowAndActivate(form);
    QCOMPARE(CheckedLanguage(form), QStringLiteral("2"));
    QVERIFY(FadedIn(form));

    // Undo what the activation did; running it again would redo it.
    form.N18->setChecked(false);
    SetProgramText("lastlang", "0");

    QTimer::singleShot(100, &presets, &QDialog::reject);
    QTest::mouseClick(form.SpeedButton2, Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowActive(&form));

    const RealBoxes realBoxes;
    QTimer::singleShot(100, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    ShowMessage(QStringLiteral("a message"));
    QTimer::singleShot(100, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    ShowErrorBox("an error");
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QWidget elsewhere;
    ShowAndActivate(elsewhere);
    ShowAndActivate(form);

    Form3 = nullptr;
    QCOMPARE(CheckedLanguage(form), QString());
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(!form.AlphaBlend());
    QCOMPARE(int(form.AlphaBlendValue()), 255);
}

void LifecycleTest::closeStoresFieldsAndLanguage_data()
{
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QString>("code");
    QTest::newRow("Russian") << "Язык" << "0";
    QTest::newRow("Ukrainian") << "Мова" << "1";
    QTest::newRow("English") << "Language" << "2";
}

void LifecycleTest::closeStoresFieldsAndLanguage()
{
    QFETCH(QString, marker);
    QFETCH(QString, code);
    SetProgramText("Word", "from an earlier run");
    TForm1 form;
    ShowAndActivate(form);
    form.Edit2->setText(QStringLiteral("Software\\Мой ключ"));
    QTest::keyClicks(form.Edit3, QStringLiteral(" name "));
    form.N15->setTitle(marker);
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());

    QCOMPARE(ProgramText("Path"), std::string("Software\\Мой ключ"));
    QCOMPARE(ProgramText("Name"), std::string(" name "));
    QVERIFY(ProgramHas("Word")); // the empty field overwrites the old text
    QCOMPARE(ProgramText("Word"), std::string());
    QCOMPARE(QString::fromStdString(ProgramText("lastlang")), code);
}

void LifecycleTest::unknownLanguageMarkerLeavesStoredLanguage()
{
    SetProgramText("lastlang", "1");
    TForm1 form;
    form.Edit4->setText(QStringLiteral("value"));
    form.N15->setTitle(QStringLiteral("Sprache"));
    form.close();
    QCOMPARE(ProgramText("Word"), std::string("value"));
    QCOMPARE(ProgramText("lastlang"), std::string("1"));
}

void LifecycleTest::exitItemClosesAndStores()
{
    TForm1 form;
    ShowAndActivate(form);
    form.Edit2->setText(QStringLiteral("a\\b"));
    QTest::keyClick(&form, Qt::Key_F4, Qt::ControlModifier);
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(ProgramText("Path"), std::string("a\\b"));
    QCOMPARE(ProgramText("lastlang"), std::string("0"));
}

void LifecycleTest::failingActivationStillFadesIn()
{
    WriteProgramDWord("lastlang", 2);
    BoxRecorder recorder;
    TForm1 form;
    ShowAndActivate(form);
    QVERIFY(FadedIn(form));
    QCOMPARE(recorder.boxes.size(), std::size_t{1});
    QCOMPARE(recorder.boxes.front().text, QStringLiteral("Invalid data type for 'lastlang'"));
    QCOMPARE(CheckedLanguage(form), QString());
}

VANTOR_TEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
