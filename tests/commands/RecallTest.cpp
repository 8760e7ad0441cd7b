// Recall and clearing of the three fields, and the ten template slots, on the
// real window, checked against the program key through the registry API.
#include "CommandsSupport.h"

#include <QToolButton>

#include <memory>

class RecallTest : public QObject {
    Q_OBJECT

private slots:
    void init() { registry_ = std::make_unique<ScratchRegistry>(); }
    void cleanup() { registry_.reset(); }

    void recallReplacesOneFieldFromTheProgramKey_data();
    void recallReplacesOneFieldFromTheProgramKey();
    void fieldsComeBackAfterACloseAndANewStart();
    void recallOnACleanRegistryEmptiesTheField();
    void recallOfANonTextValueFailsAndKeepsTheField();
    void clearingEmptiesTheFieldsAndLeavesTheRegistry_data();
    void clearingEmptiesTheFieldsAndLeavesTheRegistry();
    void templateSlotsOneAndTenStoreRecallAndOverwrite();
    void everyTemplateItemUsesItsOwnSlot();
    void recallOfAPartlyStoredSlotEmptiesTheRest();
    void refusedTemplateStoreStopsAtThePath();

private:
    std::unique_ptr<ScratchRegistry> registry_;
};

namespace {

std::optional<StoredValue> ProgramValue(const std::string &name) { return ValueOf(HKEY_LOCAL_MACHINE, ProgramKey, name); }

void StoreProgramText(const std::string &name, const std::string &text)
{
    PutText(HKEY_LOCAL_MACHINE, ProgramKey, name, text);
}

void SetFields(TForm1 &form, const QString &path, const QString &name, const QString &word)
{
    form.Edit2->setText(path);
    form.Edit3->setText(name);
    form.Edit4->setText(word);
}

QStringList FieldsOf(TForm1 &form) { return {form.Edit2->text(), form.Edit3->text(), form.Edit4->text()}; }

enum TRecall { rcDoubleClick, rcKey, rcMenu };

void Recall(TForm1 &form, int field, TRecall how)
{
    QLineEdit *fields[] = {form.Edit2, form.Edit3, form.Edit4};
    QAction *items[] = {form.N12, form.N13, form.N14};
    const Qt::Key keys[] = {Qt::Key_Q, Qt::Key_W, Qt::Key_E};
    switch (how) {
    case rcDoubleClick:
        QTest::mouseDClick(fields[field], Qt::LeftButton);
        break;
    case rcKey:
        Press(form, keys[field], Qt::ControlModifier);
        break;
    case rcMenu:
        ClickMenuItem(form.N11, items[field]);
        break;
    }
}

void StoreSlot(TForm1 &form, int slot) { ClickMenuItem(form.N19, form.TemplateStoreItems()[slot - 1]); }
void RecallSlot(TForm1 &form, int slot) { ClickMenuItem(form.N24, form.TemplateRecallItems()[slot - 1]); }

} // namespace

void RecallTest::recallReplacesOneFieldFromTheProgramKey_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("how");
    const char *fields[] = {"path", "name", "word"};
    const char *ways[] = {"double-click", "Ctrl key", "menu"};
    for (int field = 0; field < 3; ++field)
        for (int how = rcDoubleClick; how <= rcMenu; ++how)
            QTest::addRow("%s by %s", fields[field], ways[how]) << field << how;
}

void RecallTest::recallReplacesOneFieldFromTheProgramKey()
{
    QFETCH(int, field);
    QFETCH(int, how);
    StoreProgramText("Path", "Software\\Збережений шлях");
    StoreProgramText("Name", "Збережене ім'я");
    StoreProgramText("Word", "Збережене слово");
    const QStringList stored{QStringLiteral("Software\\Збережений шлях"), QStringLiteral("Збережене ім'я"),
                             QStringLiteral("Збережене слово")};

    TForm1 form;
    ShowAndActivate(form);
    const QStringList typed{QStringLiteral("набраний шлях"), QStringLiteral("набране ім'я"),
                            QStringLiteral("набране слово")};
    SetFields(form, typed[0], typed[1], typed[2]);
    BoxRecorder recorder;
    Recall(form, field, static_cast<TRecall>(how));

    QStringList expected = typed;
    expected[field] = stored[field];
    QCOMPARE(FieldsOf(form), expected);
    QVERIFY(recorder.boxes.empty());
}

void RecallTest::fieldsComeBackAfterACloseAndANewStart()
{
    {
        TForm1 form;
        ShowAndActivate(form);
        Type(form.Edit2, QStringLiteral("Software\\Останній"));
        Type(form.Edit3, QStringLiteral("Ім'я ґ"));
        Type(form.Edit4, QStringLiteral("Слово є"));
        form.close();
    }
    registry_->Reload();

    TForm1 form;
    ShowAndActivate(form);
    QCOMPARE(FieldsOf(form), QStringList({"", "", ""}));
    Recall(form, 0, rcDoubleClick);
    Recall(form, 1, rcKey);
    Recall(form, 2, rcMenu);
    QCOMPARE(FieldsOf(form),
             QStringList({QStringLiteral("Software\\Останній"), QStringLiteral("Ім'я ґ"), QStringLiteral("Слово є")}));
    // Recalling again within the run gives the same texts.
    Recall(form, 0, rcKey);
    QCOMPARE(form.Edit2->text(), QStringLiteral("Software\\Останній"));
}

void RecallTest::recallOnACleanRegistryEmptiesTheField()
{
    TForm1 form;
    ShowAndActivate(form);
    SetFields(form, "a", "b", "c");
    Recall(form, 0, rcDoubleClick);
    Recall(form, 1, rcDoubleClick);
    Recall(form, 2, rcDoubleClick);
    QCOMPARE(FieldsOf(form), QStringList({"", "", ""}));
    QVERIFY(KeyExists(HKEY_LOCAL_MACHINE, ProgramKey));
    QVERIFY(!ProgramValue("Path"));
}

void RecallTest::recallOfANonTextValueFailsAndKeepsTheField()
{
    PutDword(HKEY_LOCAL_MACHINE, ProgramKey, "Word", 12);
    TForm1 form;
    ShowAndActivate(form);
    SetFields(form, "a", "b", "c");
    BoxRecorder recorder;
    Recall(form, 2, rcKey);
    VERIFY_ONE_ERROR_BOX(recorder, QStringLiteral("Invalid data type for 'Word'"));
    QCOMPARE(FieldsOf(form), QStringList({"a", "b", "c"}));
}

void RecallTest::clearingEmptiesTheFieldsAndLeavesTheRegistry_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("CLEAN ALL button") << 0;
    QTest::newRow("F8") << 1;
    QTest::newRow("menu") << 2;
}

void RecallTest::clearingEmptiesTheFieldsAndLeavesTheRegistry()
{
    QFETCH(int, how);
    StoreProgramText("Path", "p");
    TForm1 form;
    ShowAndActivate(form);
    SetFields(form, QStringLiteral("шлях"), QStringLiteral("ім'я"), QStringLiteral("слово"));
    if (how == 0)
        QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    if (how == 1)
        Press(form, Qt::Key_F8);
    if (how == 2)
        ClickMenuItem(form.N11, form.N20);
    QCOMPARE(FieldsOf(form), QStringList({"", "", ""}));
    QCOMPARE(ProgramValue("Path"), TextValue("p"));
}

void RecallTest::templateSlotsOneAndTenStoreRecallAndOverwrite()
{
    TForm1 form;
    ShowAndActivate(form);
    BoxRecorder recorder;

    SetFields(form, QStringLiteral("Software\\Перший"), QStringLiteral("Ім'я 1"), QStringLiteral("Слово 1"));
    StoreSlot(form, 1);
    SetFields(form, QStringLiteral("Software\\Десятий"), QStringLiteral("Ім'я 10"), QStringLiteral("Слово 10"));
    StoreSlot(form, 10);
    QCOMPARE(ProgramValue("Paths1"), TextValue("Software\\Перший"));
    QCOMPARE(ProgramValue("Names1"), TextValue("Ім'я 1"));
    QCOMPARE(ProgramValue("Words1"), TextValue("Слово 1"));
    QCOMPARE(ProgramValue("Paths10"), TextValue("Software\\Десятий"));
    QCOMPARE(ProgramValue("Names10"), TextValue("Ім'я 10"));
    QCOMPARE(ProgramValue("Words10"), TextValue("Слово 10"));
    QVERIFY(!ProgramValue("Paths01"));
    QVERIFY(!ProgramValue("Path"));

    SetFields(form, "x", "y", "z");
    RecallSlot(form, 1);
    QCOMPARE(FieldsOf(form),
             QStringList({QStringLiteral("Software\\Перший"), QStringLiteral("Ім'я 1"), QStringLiteral("Слово 1")}));
    RecallSlot(form, 10);
    QCOMPARE(FieldsOf(form),
             QStringList({QStringLiteral("Software\\Десятий"), QStringLiteral("Ім'я 10"), QStringLiteral("Слово 10")}));

    // Storing again overwrites; an empty field is stored as empty text.
    SetFields(form, QStringLiteral("Software\\Новий"), {}, QStringLiteral("Нове"));
    StoreSlot(form, 1);
    QCOMPARE(ProgramValue("Names1"), TextValue(""));
    SetFields(form, "x", "y", "z");
    RecallSlot(form, 1);
    QCOMPARE(FieldsOf(form), QStringList({QStringLiteral("Software\\Новий"), "", QStringLiteral("Нове")}));
    RecallSlot(form, 10);
    QCOMPARE(form.Edit2->text(), QStringLiteral("Software\\Десятий"));

    // A slot never stored empties the fields and stays unstored.
    RecallSlot(form, 3);
    QCOMPARE(FieldsOf(form), QStringList({"", "", ""}));
    QVERIFY(!ProgramValue("Paths3"));
    QVERIFY(recorder.boxes.empty());
}

void RecallTest::everyTemplateItemUsesItsOwnSlot()
{
    TForm1 form;
    ShowAndActivate(form);
    for (int slot = 1; slot <= 10; ++slot) {
        const QString n = QString::number(slot);
        SetFields(form, "шлях " + n, "ім'я " + n, "слово " + n);
        StoreSlot(form, slot);
    }
    for (int slot = 1; slot <= 10; ++slot) {
        const std::string n = std::to_string(slot);
        QCOMPARE(ProgramValue("Paths" + n), TextValue("шлях " + n));
        QCOMPARE(ProgramValue("Names" + n), TextValue("ім'я " + n));
        QCOMPARE(ProgramValue("Words" + n), TextValue("слово " + n));
    }
    for (int slot = 10; slot >= 1; --slot) {
        const QString n = QString::number(slot);
        RecallSlot(form, slot);
        QCOMPARE(FieldsOf(form), QStringList({"шлях " + n, "ім'я " + n, "слово " + n}));
    }
}

void RecallTest::recallOfAPartlyStoredSlotEmptiesTheRest()
{
    StoreProgramText("Paths7", "лише шлях");
    TForm1 form;
    ShowAndActivate(form);
    SetFields(form, "a", "b", "c");
    RecallSlot(form, 7);
    QCOMPARE(FieldsOf(form), QStringList({QStringLiteral("лише шлях"), "", ""}));
}

void RecallTest::refusedTemplateStoreStopsAtThePath()
{
    TForm1 form;
    ShowAndActivate(form);
    SetFields(form, "a", "b", "c");
    QCOMPARE(VtrRegSetReadOnly("system.reg", TRUE), ERROR_SUCCESS);
    BoxRecorder recorder;
    StoreSlot(form, 3);
    VERIFY_ONE_ERROR_BOX(recorder, QStringLiteral("Failed to set data for 'Paths3'"));
    QCOMPARE(VtrRegSetReadOnly("system.reg", FALSE), ERROR_SUCCESS);
    QVERIFY(!ProgramValue("Paths3"));
    QVERIFY(!ProgramValue("Names3"));
    QCOMPARE(FieldsOf(form), QStringList({"a", "b", "c"}));
}

VANTOR_TEST_MAIN(RecallTest)
#include "RecallTest.moc"
