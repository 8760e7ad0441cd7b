// The error box and the message dialog, the catching of failures at event
// dispatch, and the root key taken from the root-key buttons.
#include "TestSupport.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

class ErrorReportingTest : public QObject {
    Q_OBJECT

private slots:
    void init() { registry_ = std::make_unique<ScratchRegistry>(); }
    void cleanup() { registry_.reset(); }

    void errorBoxTextGetsAPeriodAfterLettersDigitsAndQuestionMarks_data();
    void errorBoxTextGetsAPeriodAfterLettersDigitsAndQuestionMarks();
    void errorBoxIsAStopBoxWithOneOkButton();
    void messageDialogShowsTheTextUnchangedWithoutIcon();
    void boxesCloseWithEnterAndEscape();
    void errorBoxGivesActivationAndFocusBack();
    void errorBoxBlocksOtherWindowsAndClosesOpenMenus();
    void failureInAButtonHandlerLeavesTheProgramRunning();
    void failureInATimerTickLeavesTheProgramRunning();
    void noRootChosenWarnsAndKeepsCurrentUser();
    void hiddenRootBoxKeepsItsChoice();
    void unexpectedBoxFailsTheTestAtOnce();

private:
    std::unique_ptr<ScratchRegistry> registry_;
};

void ErrorReportingTest::errorBoxTextGetsAPeriodAfterLettersDigitsAndQuestionMarks_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("letter") << "Access denied" << "Access denied.";
    QTest::newRow("digit") << "code 5" << "code 5.";
    QTest::newRow("question mark") << "Why?" << "Why?.";
    QTest::newRow("slash, just above the period") << "a/" << "a/.";
    QTest::newRow("period") << "Done." << "Done.";
    QTest::newRow("apostrophe") << "Failed to set data for 'Path'" << "Failed to set data for 'Path'";
    QTest::newRow("empty name") << "Invalid data type for ''" << "Invalid data type for ''";
    QTest::newRow("closing parenthesis") << "(none)" << "(none)";
    QTest::newRow("exclamation mark") << "Stop!" << "Stop!";
    QTest::newRow("hyphen") << "a -" << "a -";
    QTest::newRow("blank") << "trailing " << "trailing ";
    QTest::newRow("conversion error") << "'12a' is not a valid integer value"
                                      << "'12a' is not a valid integer value.";
    QTest::newRow("cyrillic letter") << "Ошибка" << "Ошибка.";
    QTest::newRow("cyrillic only letter") << "Ж" << "Ж.";
    QTest::newRow("single period") << "." << ".";
}

void ErrorReportingTest::errorBoxTextGetsAPeriodAfterLettersDigitsAndQuestionMarks()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorBoxText(message.toStdString()), shown);
}

void ErrorReportingTest::errorBoxIsAStopBoxWithOneOkButton()
{
    BoxRecorder recorder;
    ShowErrorBox("Failed to set data for 'Path'");
    ShowErrorBox("<b>not markup</b>");
    QCOMPARE(recorder.boxes.size(), std::size_t{2});
    const ShownBox &box = recorder.boxes.front();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QStringLiteral("Vantor 1.5"));
    QCOMPARE(box.text, QStringLiteral("Failed to set data for 'Path'"));
    QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
    QVERIFY(box.okIsDefaultAndEscape);
    QCOMPARE(recorder.boxes.back().text, QStringLiteral("<b>not markup</b>."));
}

void ErrorReportingTest::messageDialogShowsTheTextUnchangedWithoutIcon()
{
    BoxRecorder recorder;
    ShowMessage(QStringLiteral("Неправильный пароль / Невірний пароль / Wrong password"));
    QCOMPARE(recorder.boxes.size(), std::size_t{1});
    const ShownBox &box = recorder.boxes.front();
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.title, QStringLiteral("Vantor 1.5"));
    QCOMPARE(box.text, QStringLiteral("Неправильный пароль / Невірний пароль / Wrong password"));
    QCOMPARE(box.buttons, QStringList{QStringLiteral("OK")});
    QVERIFY(box.okIsDefaultAndEscape);
}

// The real boxes, shown modally and dismissed from the keyboard.
void ErrorReportingTest::boxesCloseWithEnterAndEscape()
{
    const RealBoxes realBoxes;
    const auto pressWhenShown = [](Qt::Key key, QRect *where = nullptr) {
        QTimer::singleShot(50, [key, where] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            if (where)
                *where = box->frameGeometry();
            QTest::keyClick(box, key);
        });
    };
    QRect messageRect;
    pressWhenShown(Qt::Key_Escape, &messageRect);
    ShowMessage(QStringLiteral("first"));
    pressWhenShown(Qt::Key_Return);
    ShowMessage(QStringLiteral("second"));
    pressWhenShown(Qt::Key_Return);
    ShowErrorBox("third");
    pressWhenShown(Qt::Key_Escape);
    ShowErrorBox("fourth");

    // Centred on the screen (within a few pixels of frame rounding).
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((messageRect.center() - screenCentre).manhattanLength() <= 4,
             qPrintable(QStringLiteral("message box at %1,%2").arg(messageRect.x()).arg(messageRect.y()) + QStringLiteral(" size %1x%2").arg(messageRect.width()).arg(messageRect.height())));
}

void ErrorReportingTest::errorBoxGivesActivationAndFocusBack()
{
    const RealBoxes realBoxes;
    QWidget window;
    auto *first = new QLineEdit(&window);
    auto *second = new QLineEdit(&window);
    second->move(0, 40);
    ShowAndActivate(window);
    second->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), second);

    QTimer::singleShot(50, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    ShowErrorBox("gone");
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QCOMPARE(QApplication::focusWidget(), second);
    Q_UNUSED(first);
}

void ErrorReportingTest::errorBoxBlocksOtherWindowsAndClosesOpenMenus()
{
    const RealBoxes realBoxes;
    QWidget window;
    auto *button = new QPushButton(QStringLiteral("press"), &window);
    auto *menu = new QMenu(&window);
    menu->addAction(QStringLiteral("item"));
    int presses = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++presses; });
    ShowAndActivate(window);
    menu->popup(window.mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));

    bool menuClosed = false;
    QTimer::singleShot(100, [&] {
        menuClosed = !menu->isVisible();
        // Through the window system, where modality is enforced.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
        QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return);
    });
    ShowErrorBox("blocked");
    QVERIFY(menuClosed);
    QCOMPARE(presses, 0);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
    QTRY_COMPARE(presses, 1);
}

void ErrorReportingTest::failureInAButtonHandlerLeavesTheProgramRunning()
{
    BoxRecorder recorder;
    QPushButton button(QStringLiteral("fail"));
    int clicks = 0;
    bool laterStep = false;
    struct Handlers : QObject {
        int *clicks;
        bool *laterStep;
        void FailingClick()
        {
            ++*clicks;
            throw ERegistryException("Invalid data type for 'Word'");
            *laterStep = true;
        }
        void PlainFailure() { throw std::runtime_error("plain failure"); }
    } handlers;
    handlers.clicks = &clicks;
    handlers.laterStep = &laterStep;
    ConnectHandler(&button, &QPushButton::clicked, &handlers, &Handlers::FailingClick);
    ShowAndActivate(button);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
    QVERIFY(!laterStep);
    QCOMPARE(recorder.boxes.size(), std::size_t{2});
    QCOMPARE(recorder.boxes.front().icon, QMessageBox::Critical);
    QCOMPARE(recorder.boxes.front().text, QStringLiteral("Invalid data type for 'Word'"));

    // Exceptions of other kinds reach the box too.
    QObject::disconnect(&button, nullptr, nullptr, nullptr);
    ConnectHandler(&button, &QPushButton::clicked, &handlers, &Handlers::PlainFailure);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(recorder.boxes.back().text, QStringLiteral("plain failure."));
}

void ErrorReportingTest::failureInATimerTickLeavesTheProgramRunning()
{
    BoxRecorder recorder;
    QTimer timer;
    timer.setInterval(5);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 1)
            throw Exception("tick failed");
    });
    timer.start();
    QTRY_VERIFY(ticks >= 5);
    timer.stop();
    QCOMPARE(recorder.boxes.size(), std::size_t{1});
    QCOMPARE(recorder.boxes.front().text, QStringLiteral("tick failed."));

    // A queued call and a single-shot timer likewise.
    bool afterwards = false;
    QTimer::singleShot(0, [] { throw Exception("single shot"); });
    QMetaObject::invokeMethod(qApp, [] { throw Exception("queued"); }, Qt::QueuedConnection);
    QTimer::singleShot(20, [&] { afterwards = true; });
    QTRY_VERIFY(afterwards);
    QCOMPARE(recorder.boxes.size(), std::size_t{3});
}

void ErrorReportingTest::noRootChosenWarnsAndKeepsCurrentUser()
{
    BoxRecorder recorder;
    TForm1 form;
    TRegistry access;
    form.ApplyRootChoice(access);
    QCOMPARE(access.RootKey(), HKEY_CURRENT_USER);
    QCOMPARE(recorder.boxes.size(), std::size_t{1});
    const ShownBox &box = recorder.boxes.front();
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.title, QStringLiteral("Vantor 1.5"));
    QCOMPARE(box.text, QStringLiteral("Не указан корневой ключ! Поставьте нужную галочку справа"));
    QVERIFY(box.okIsDefaultAndEscape);

    // The real dialog: the caller goes on once it is closed.
    QTimer::singleShot(50, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    const RealBoxes realBoxes;
    TRegistry second;
    form.ApplyRootChoice(second);
    QCOMPARE(second.RootKey(), HKEY_CURRENT_USER);
}

void ErrorReportingTest::hiddenRootBoxKeepsItsChoice()
{
    BoxRecorder recorder;
    TForm1 form;
    form.RadioButton4->setChecked(true);
    form.RadioGroup1->hide();
    for (QRadioButton *button :
         {form.RadioButton1, form.RadioButton2, form.RadioButton3, form.RadioButton4, form.RadioButton5})
        button->hide();
    TRegistry access;
    form.ApplyRootChoice(access);
    QCOMPARE(access.RootKey(), HKEY_USERS);
    QVERIFY(recorder.boxes.empty());
}

// A box no test expects is never left waiting for a click.
void ErrorReportingTest::unexpectedBoxFailsTheTestAtOnce()
{
    QEXPECT_FAIL("", "a box nobody waits for", Continue);
    ShowErrorBox("Failed to set data for 'Path'");
    QVERIFY(!QApplication::activeModalWidget());
}

VANTOR_TEST_MAIN(ErrorReportingTest)
#include "ErrorReportingTest.moc"
