// The five registry commands, run from the real window by button, menu item
// and function key, checked against the registry through the API.
#include "CommandsSupport.h"

#include <QClipboard>
#include <QGuiApplication>

#include <memory>

class CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fullCycleUnderEachRootAndTrigger_data();
    void fullCycleUnderEachRootAndTrigger();
    void emptyNameAddressesTheDefaultValue();
    void emptyPathAddressesTheRootItself();
    void noRootChosenWarnsThenWorksUnderCurrentUser();
    void readShowsExpandableTextUnexpanded();
    void readOfNonTextValueFailsAndKeepsTheField();
    void deleteValueRemovesTheValueWhateverItsType();
    void readAndDeletesOnMissingPathCreateNothing();
    void deleteKeyOnMissingPathLeavesSameNamedKeysOfTheRootAlone();
    void deleteKeyRemovesAThreeLevelSubtree();
    void deleteKeyTellsDeletedNotFoundAndRefused();
    void deleteKeyNeverEmptiesARoot_data();
    void deleteKeyNeverEmptiesARoot();
    void deleteKeyRemovesALinkNotWhatItPointsTo();
    void refusedWritesLeaveTheFieldAndShowTheError_data();
    void refusedWritesLeaveTheFieldAndShowTheError();
    void fieldsTakeTextsOfAnyLength();
    void fieldsNeverHoldANul_data();
    void fieldsNeverHoldANul();

private:
    TForm1 &Form() { return *form_; }
    void Fill(const QString &path, const QString &name, const QString &value = {});

    std::unique_ptr<ScratchRegistry> registry_;
    std::unique_ptr<TForm1> form_;
};

namespace {

const std::string ValueName = "Значення ґанку";
const std::string ValueText = "Привіт, світе! Ёлка, їжак, є";
const QString ValueDeleted = QStringLiteral("(Значение удалено)");
const QString ValueNotFound = QStringLiteral("(Значение не найдено)");
const QString KeyDeleted = QStringLiteral("(Ключ удален)");
const QString KeyNotFound = QStringLiteral("(Ключ не найден)");

QString Q(const std::string &text) { return QString::fromStdString(text); }

struct Root {
    HKEY handle;
    const char *base; // a path below the root where keys may be made
};

const Root Roots[] = {
    {HKEY_CLASSES_ROOT, "Вантор.Тест"},
    {HKEY_CURRENT_USER, "Software\\Вантор"},
    {HKEY_LOCAL_MACHINE, "Software\\Вантор"},
    {HKEY_USERS, ".Default\\Software\\Вантор"},
    {HKEY_CURRENT_CONFIG, "Software\\Вантор"},
};

QRadioButton *RootButton(TForm1 &form, int index)
{
    QRadioButton *buttons[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3, form.RadioButton4,
                               form.RadioButton5};
    return buttons[index];
}

} // namespace

void CommandsTest::init()
{
    registry_ = std::make_unique<ScratchRegistry>();
    form_ = std::make_unique<TForm1>();
    ShowAndActivate(*form_);
}

void CommandsTest::cleanup()
{
    // The window is dropped without closing: its close handler is not under test.
    form_.reset();
    registry_.reset();
}

void CommandsTest::Fill(const QString &path, const QString &name, const QString &value)
{
    Type(Form().Edit2, path);
    Type(Form().Edit3, name);
    Type(Form().Edit4, value);
    QCOMPARE(Form().Edit2->text(), path);
    QCOMPARE(Form().Edit3->text(), name);
    QCOMPARE(Form().Edit4->text(), value);
}

void CommandsTest::fullCycleUnderEachRootAndTrigger_data()
{
    QTest::addColumn<int>("root");
    QTest::addColumn<int>("trigger");
    const char *roots[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
    const char *triggers[] = {"button", "menu", "key"};
    for (int root = 0; root < 5; ++root)
        for (int trigger = trButton; trigger <= trKey; ++trigger)
            QTest::addRow("%s by %s", roots[root], triggers[trigger]) << root << trigger;
}

void CommandsTest::fullCycleUnderEachRootAndTrigger()
{
    QFETCH(int, root);
    QFETCH(int, trigger);
    const HKEY handle = Roots[root].handle;
    const std::string parent = Roots[root].base;
    const std::string path = parent + "\\Їжачок\\Ёжик";
    const auto by = static_cast<TTrigger>(trigger);
    BoxRecorder recorder;

    QTest::mouseClick(RootButton(Form(), root), Qt::LeftButton);
    QVERIFY(RootButton(Form(), root)->isChecked());

    Fill(Q(path), Q(ValueName), Q(ValueText));
    Run(Form(), cmCreateKey, by);
    QCOMPARE(ValueOf(handle, path, ValueName), TextValue(ValueText));
    QCOMPARE(Form().Edit4->text(), Q(ValueText));

    Form().Edit4->clear();
    Run(Form(), cmReadValue, by);
    QCOMPARE(Form().Edit4->text(), Q(ValueText));

    Type(Form().Edit4, QStringLiteral("Нове значення"));
    Run(Form(), cmChangeValue, by);
    QCOMPARE(ValueOf(handle, path, ValueName), TextValue("Нове значення"));
    QCOMPARE(Form().Edit4->text(), QStringLiteral("Нове значення"));

    Run(Form(), cmDeleteValue, by);
    QVERIFY(!ValueOf(handle, path, ValueName));
    QCOMPARE(Form().Edit4->text(), ValueDeleted);
    Run(Form(), cmDeleteValue, by);
    QVERIFY(!ValueOf(handle, path, ValueName));
    QCOMPARE(Form().Edit4->text(), ValueNotFound);

    // The key to delete is the name below the path.
    Fill(Q(parent + "\\Їжачок"), QStringLiteral("Ёжик"));
    Run(Form(), cmDeleteKey, by);
    QVERIFY(!KeyExists(handle, path));
    QVERIFY(KeyExists(handle, parent + "\\Їжачок"));
    QCOMPARE(Form().Edit4->text(), KeyDeleted);
    Run(Form(), cmDeleteKey, by);
    QCOMPARE(Form().Edit4->text(), KeyNotFound);

    QVERIFY(recorder.boxes.empty());
}

void CommandsTest::emptyNameAddressesTheDefaultValue()
{
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    PutText(HKEY_CURRENT_USER, "Software\\Ключ", "Ім'я", "named");
    Fill(QStringLiteral("Software\\Ключ"), {}, QStringLiteral("типове"));

    Run(Form(), cmCreateKey);
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Ключ", ""), TextValue("типове"));
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Ключ", "Ім'я"), TextValue("named"));

    Form().Edit4->clear();
    Run(Form(), cmReadValue);
    QCOMPARE(Form().Edit4->text(), QStringLiteral("типове"));

    Run(Form(), cmDeleteValue);
    QCOMPARE(Form().Edit4->text(), ValueDeleted);
    QVERIFY(!ValueOf(HKEY_CURRENT_USER, "Software\\Ключ", ""));
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Ключ", "Ім'я"), TextValue("named"));
}

void CommandsTest::emptyPathAddressesTheRootItself()
{
    PutText(HKEY_CURRENT_USER, "", "ВЗаКорені", "в корені");
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    Fill({}, QStringLiteral("ВЗаКорені"));
    Run(Form(), cmReadValue);
    QCOMPARE(Form().Edit4->text(), QStringLiteral("в корені"));
}

void CommandsTest::noRootChosenWarnsThenWorksUnderCurrentUser()
{
    BoxRecorder recorder;
    Fill(QStringLiteral("Software\\Без кореня"), QStringLiteral("Ім'я"), QStringLiteral("текст"));
    Run(Form(), cmChangeValue, trKey);
    QCOMPARE(recorder.boxes.size(), std::size_t(1));
    QCOMPARE(recorder.boxes.front().icon, QMessageBox::NoIcon);
    QCOMPARE(recorder.boxes.front().text, QStringLiteral("Не указан корневой ключ! Поставьте нужную галочку справа"));
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Без кореня", "Ім'я"), TextValue("текст"));
    QVERIFY(!KeyExists(HKEY_LOCAL_MACHINE, "Software\\Без кореня"));
}

void CommandsTest::readShowsExpandableTextUnexpanded()
{
    PutValue(HKEY_LOCAL_MACHINE, "Software\\Вантор", "Шлях", REG_EXPAND_SZ,
             std::string("%TEMP%\\теки") + '\0');
    QTest::mouseClick(Form().RadioButton3, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), QStringLiteral("Шлях"), QStringLiteral("old"));
    Run(Form(), cmReadValue, trKey);
    QCOMPARE(Form().Edit4->text(), QStringLiteral("%TEMP%\\теки"));
}

void CommandsTest::readOfNonTextValueFailsAndKeepsTheField()
{
    PutDword(HKEY_LOCAL_MACHINE, "Software\\Вантор", "Число", 7);
    QTest::mouseClick(Form().RadioButton3, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), QStringLiteral("Число"), QStringLiteral("до читання"));
    BoxRecorder recorder;
    Run(Form(), cmReadValue);
    VERIFY_ONE_ERROR_BOX(recorder, QStringLiteral("Invalid data type for 'Число'"));
    QCOMPARE(recorder.boxes.front().title, QStringLiteral("Vantor 1.5"));
    QCOMPARE(Form().Edit4->text(), QStringLiteral("до читання"));
    QCOMPARE(ValueOf(HKEY_LOCAL_MACHINE, "Software\\Вантор", "Число")->type, DWORD(REG_DWORD));
}

void CommandsTest::deleteValueRemovesTheValueWhateverItsType()
{
    PutDword(HKEY_CURRENT_USER, "Software\\Вантор", "Число", 7);
    PutText(HKEY_CURRENT_USER, "Software\\Вантор", "Сусід", "лишається");
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), QStringLiteral("Число"));
    Run(Form(), cmDeleteValue, trMenu);
    QCOMPARE(Form().Edit4->text(), ValueDeleted);
    QVERIFY(!ValueOf(HKEY_CURRENT_USER, "Software\\Вантор", "Число"));
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Вантор", "Сусід"), TextValue("лишається"));
}

void CommandsTest::readAndDeletesOnMissingPathCreateNothing()
{
    BoxRecorder recorder;
    QTest::mouseClick(Form().RadioButton3, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Помилка\\в шляху"), QStringLiteral("Ім'я"), QStringLiteral("було"));

    Run(Form(), cmReadValue);
    QCOMPARE(Form().Edit4->text(), QString());
    Run(Form(), cmDeleteValue);
    QCOMPARE(Form().Edit4->text(), ValueNotFound);
    Run(Form(), cmDeleteKey);
    QCOMPARE(Form().Edit4->text(), KeyNotFound);

    QVERIFY(!KeyExists(HKEY_LOCAL_MACHINE, "Software\\Помилка"));
    QVERIFY(recorder.boxes.empty());
}

// Without an open path a relative name would be taken from the root key.
void CommandsTest::deleteKeyOnMissingPathLeavesSameNamedKeysOfTheRootAlone()
{
    PutText(HKEY_CURRENT_USER, "Software\\Цінне", "дані", "не чіпати");
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    Fill(QStringLiteral("Нема\\такого"), QStringLiteral("Software"));
    Run(Form(), cmDeleteKey);
    QCOMPARE(Form().Edit4->text(), KeyNotFound);
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Цінне", "дані"), TextValue("не чіпати"));
    QVERIFY(!KeyExists(HKEY_CURRENT_USER, "Нема"));
}

void CommandsTest::deleteKeyRemovesAThreeLevelSubtree()
{
    // A holds B (with its own C) and D; E beside A stays.
    PutText(HKEY_CURRENT_USER, "Software\\Дерево\\A\\B\\C", "c", "3");
    PutText(HKEY_CURRENT_USER, "Software\\Дерево\\A\\B", "b", "2");
    PutText(HKEY_CURRENT_USER, "Software\\Дерево\\A\\D", "d", "4");
    PutText(HKEY_CURRENT_USER, "Software\\Дерево\\E", "e", "5");
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Дерево"), QStringLiteral("A"));
    Run(Form(), cmDeleteKey, trKey);
    QCOMPARE(Form().Edit4->text(), KeyDeleted);
    QVERIFY(!KeyExists(HKEY_CURRENT_USER, "Software\\Дерево\\A"));
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Дерево\\E", "e"), TextValue("5"));
}

void CommandsTest::deleteKeyTellsDeletedNotFoundAndRefused()
{
    MakeKey(HKEY_LOCAL_MACHINE, "Software\\Вантор\\Гілка\\Лист");
    QTest::mouseClick(Form().RadioButton3, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), QStringLiteral("Гілка"), QStringLiteral("до"));

    QCOMPARE(VtrRegSetReadOnly("system.reg", TRUE), ERROR_SUCCESS);
    {
        BoxRecorder recorder;
        Run(Form(), cmDeleteKey);
        VERIFY_ONE_ERROR_BOX(recorder, QStringLiteral("Failed to delete key 'Гілка'"));
    }
    QCOMPARE(Form().Edit4->text(), QStringLiteral("до"));
    QVERIFY(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Вантор\\Гілка\\Лист"));
    QCOMPARE(VtrRegSetReadOnly("system.reg", FALSE), ERROR_SUCCESS);

    BoxRecorder recorder;
    Run(Form(), cmDeleteKey);
    QCOMPARE(Form().Edit4->text(), KeyDeleted);
    QVERIFY(!KeyExists(HKEY_LOCAL_MACHINE, "Software\\Вантор\\Гілка"));
    Run(Form(), cmDeleteKey);
    QCOMPARE(Form().Edit4->text(), KeyNotFound);
    QVERIFY(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Вантор"));
    QVERIFY(recorder.boxes.empty());
}

void CommandsTest::deleteKeyNeverEmptiesARoot_data()
{
    QTest::addColumn<int>("root");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("empty path and name") << 1 << "" << "";
    QTest::newRow("lone backslash as path") << 1 << "\\" << "";
    QTest::newRow("lone backslash as name") << 1 << "Software" << "\\";
    QTest::newRow("default user by name") << 3 << "" << ".Default";
    QTest::newRow("default user by path") << 3 << ".Default" << "";
    QTest::newRow("user by name") << 3 << "" << "S-1-5-21-0-0-0-1000";
    QTest::newRow("user by path") << 3 << "S-1-5-21-0-0-0-1000\\" << "";
    QTest::newRow("user by name from the root") << 3 << ".Default\\Software" << "\\S-1-5-21-0-0-0-1000";
}

// Nothing below a key that can never be deleted is touched.
void CommandsTest::deleteKeyNeverEmptiesARoot()
{
    QFETCH(int, root);
    QFETCH(QString, path);
    QFETCH(QString, name);
    const std::pair<HKEY, std::string> keys[] = {{HKEY_CURRENT_USER, "Software\\Вантор"},
                                                 {HKEY_USERS, ".Default\\Software\\Вантор"}};
    for (const auto &[handle, key] : keys)
        PutText(handle, key, "дані", "цілі");
    QTest::mouseClick(RootButton(Form(), root), Qt::LeftButton);
    Fill(path, name, QStringLiteral("до"));
    BoxRecorder recorder;
    Run(Form(), cmDeleteKey);
    VERIFY_ONE_ERROR_BOX(recorder, QStringLiteral("Failed to delete key '%1'").arg(name));
    QCOMPARE(Form().Edit4->text(), QStringLiteral("до"));
    for (const auto &[handle, key] : keys)
        QCOMPARE(ValueOf(handle, key, "дані"), TextValue("цілі"));
}

void CommandsTest::deleteKeyRemovesALinkNotWhatItPointsTo()
{
    PutText(HKEY_LOCAL_MACHINE, "Software\\Ціль\\Гілка", "дані", "цілі");
    HKEY link = nullptr;
    QCOMPARE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Посилання", 0, nullptr, REG_OPTION_CREATE_LINK,
                             KEY_ALL_ACCESS, nullptr, &link, nullptr),
             ERROR_SUCCESS);
    const std::u16string target = u"\\Registry\\Machine\\Software\\Ціль";
    QCOMPARE(RegSetValueExA(link, "SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE *>(target.data()),
                            DWORD(target.size() * 2)),
             ERROR_SUCCESS);
    RegCloseKey(link);
    QVERIFY(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Посилання\\Гілка"));

    QTest::mouseClick(Form().RadioButton3, Qt::LeftButton);
    Fill(QStringLiteral("Software"), QStringLiteral("Посилання"));
    Run(Form(), cmDeleteKey);
    QCOMPARE(Form().Edit4->text(), KeyDeleted);
    QVERIFY(!KeyExists(HKEY_LOCAL_MACHINE, "Software\\Посилання"));
    QCOMPARE(ValueOf(HKEY_LOCAL_MACHINE, "Software\\Ціль\\Гілка", "дані"), TextValue("цілі"));
}

void CommandsTest::refusedWritesLeaveTheFieldAndShowTheError_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("keyExists");
    QTest::addColumn<QString>("message");
    QTest::newRow("create key, new path") << int(cmCreateKey) << false << "Failed to set data for 'Ім'я'";
    QTest::newRow("change value") << int(cmChangeValue) << true << "Failed to set data for 'Ім'я'";
    QTest::newRow("delete value") << int(cmDeleteValue) << true << "Failed to delete value 'Ім'я'";
}

void CommandsTest::refusedWritesLeaveTheFieldAndShowTheError()
{
    QFETCH(int, command);
    QFETCH(bool, keyExists);
    QFETCH(QString, message);
    if (keyExists)
        PutText(HKEY_LOCAL_MACHINE, "Software\\Вантор", "Ім'я", "старе");
    QCOMPARE(VtrRegSetReadOnly("system.reg", TRUE), ERROR_SUCCESS);
    QTest::mouseClick(Form().RadioButton3, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), QStringLiteral("Ім'я"), QStringLiteral("нове"));

    BoxRecorder recorder;
    Run(Form(), static_cast<TCommand>(command));
    VERIFY_ONE_ERROR_BOX(recorder, message);
    QCOMPARE(recorder.boxes.front().title, QStringLiteral("Vantor 1.5"));
    QCOMPARE(Form().Edit4->text(), QStringLiteral("нове"));
    QCOMPARE(VtrRegSetReadOnly("system.reg", FALSE), ERROR_SUCCESS);
    if (keyExists)
        QCOMPARE(ValueOf(HKEY_LOCAL_MACHINE, "Software\\Вантор", "Ім'я"), TextValue("старе"));
    else
        QVERIFY(!KeyExists(HKEY_LOCAL_MACHINE, "Software\\Вантор"));
}

// A million characters go through a paste, a write, a read, the close and a
// recall whole.
void CommandsTest::fieldsTakeTextsOfAnyLength()
{
    const QString text = QStringLiteral("Довгий текст, ").repeated(100000).left(1000000);
    QGuiApplication::clipboard()->setText(text);
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), QStringLiteral("Довге"));
    Form().Edit4->setFocus();
    Press(Form(), Qt::Key_V, Qt::ControlModifier);
    QVERIFY(Form().Edit4->text() == text);

    Run(Form(), cmChangeValue, trKey);
    QVERIFY(ValueOf(HKEY_CURRENT_USER, "Software\\Вантор", "Довге") == TextValue(text.toStdString()));
    Form().Edit4->clear();
    Run(Form(), cmReadValue, trKey);
    QVERIFY(Form().Edit4->text() == text);

    Form().close();
    form_ = std::make_unique<TForm1>();
    ShowAndActivate(Form());
    Press(Form(), Qt::Key_E, Qt::ControlModifier);
    QVERIFY(Form().Edit4->text() == text);
}

void CommandsTest::fieldsNeverHoldANul_data()
{
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("before"); // "|" marks the cursor
    QTest::addColumn<QString>("put");
    QTest::addColumn<QString>("shown");
    const QString nul(QChar(0));
    QTest::newRow("typed") << false << "|" << "Path" + nul + "evil" << "Path";
    QTest::newRow("pasted between") << true << "Su|rname" << "b" + nul + "x" + nul << "Subrname";
    QTest::newRow("pasted, NUL first") << true << "ab|" << nul + "zz" << "ab";
}

// What the name field shows is the name the command uses.
void CommandsTest::fieldsNeverHoldANul()
{
    QFETCH(bool, pasted);
    QFETCH(QString, before);
    QFETCH(QString, put);
    QFETCH(QString, shown);
    QTest::mouseClick(Form().RadioButton2, Qt::LeftButton);
    Fill(QStringLiteral("Software\\Вантор"), {}, QStringLiteral("значення"));
    QLineEdit *field = Form().Edit3;
    field->setFocus();
    field->setText(QString(before).remove('|'));
    field->setCursorPosition(int(before.indexOf('|')));
    if (pasted) {
        QGuiApplication::clipboard()->setText(put);
        Press(Form(), Qt::Key_V, Qt::ControlModifier);
    } else {
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, put, Qt::NoModifier);
    }
    QCOMPARE(field->text(), shown);

    Run(Form(), cmChangeValue, trKey);
    QCOMPARE(ValueOf(HKEY_CURRENT_USER, "Software\\Вантор", shown.toStdString()), TextValue("значення"));
}

VANTOR_TEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
