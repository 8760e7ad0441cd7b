#include "CaptionTable.h"

#include "Exception.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QVariant>
#include <QWidget>

namespace {

using enum CaptionWindow;
using namespace CaptionProperty;

constexpr const char *On = "on";
constexpr const char *Off = "off";

// Blanks, quotes and spellings are the program's own and significant: the
// Ukrainian texts write the apostrophe as a straight double quote, entry 48
// has two blanks before "Internet Explorer" in Russian and Ukrainian, and the
// "&" of "& organisation" is the accelerator marker. Check marks are created
// off; the settings dialog is created with a title of its own.
constexpr std::array<CaptionEntry, FullCaptionSetSize> table = {{
    {Main, "N1", Caption,
     {"Файл",
      "Файл",
      "File"}},
    {Main, "N2", Caption,
     {"Выход",
      "Вихід",
      "Exit"}},
    {Main, "N3", Caption,
     {"Действия",
      "Дії",
      "Actions"}},
    {Main, "N4", Caption,
     {"Создать ключ",
      "Створити ключ",
      "Create the key"}},
    {Main, "N5", Caption,
     {"Читать значение",
      "Читати значення",
      "Read value"}},
    {Main, "N6", Caption,
     {"Изменить значение",
      "Змінити значення",
      "Change value"}},
    {Main, "N7", Caption,
     {"Удалить значение",
      "Видалити значення",
      "Delete value"}},
    {Main, "N8", Caption,
     {"Удалить ключ",
      "Видалити ключ",
      "Delete key"}},
    {Main, "N9", Caption,
     {"Инфо",
      "Інфо",
      "Info"}},
    {Main, "N10", Caption,
     {"Об авторе",
      "Про автора",
      "About author"}},
    {Main, "N11", Caption,
     {"Заполнить поле",
      "Заповнити поле",
      "Fill the field"}},
    {Main, "N12", Caption,
     {"Путь",
      "Шлях",
      "Path"}},
    {Main, "N13", Caption,
     {"Имя ключа",
      "Ім\"я ключа",
      "Name of the key"}},
    {Main, "N14", Caption,
     {"Поле ввода",
      "Поле введення",
      "Field"}},
    {Main, "N15", Caption,
     {"Язык",
      "Мова",
      "Language"}},
    {Main, "N16", Caption,
     {"Русский",
      "Російська",
      "Russian"}},
    {Main, "N17", Caption,
     {"Украинский",
      "Українська",
      "Ukrainian"}},
    {Main, "N18", Caption,
     {"Английский",
      "Англійська",
      "English"}},
    {Main, "Label2", Caption,
     {"Путь",
      "Шлях",
      "Path"}},
    {Main, "Label3", Caption,
     {"Название ключа",
      "Назва ключа",
      "Name of the key"}},
    {Main, "Label4", Caption,
     {"Поле ввода (создать, изменить значение) или вывода (читать значение)",
      "Поле введення (створити, змінити значення) чи виведення (читати значення)",
      "Field of input (create, change value) or output (read value)"}},
    {Main, "Button1", Caption,
     {"Создать ключ",
      "Створити ключ",
      "Create the key"}},
    {Main, "Button2", Caption,
     {"Читать значение",
      "Читать значення",
      "Read value"}},
    {Main, "Button3", Caption,
     {"Удалить значение",
      "Видалити значення",
      "Delete value"}},
    {Main, "Button4", Caption,
     {"Изменить значение",
      "Змінити значення",
      "Change value"}},
    {Main, "Button5", Caption,
     {"Удалить ключ",
      "Видалити ключ",
      "Delete the key"}},
    {Main, "Button6", Caption,
     {"Об авторе",
      "Про автора",
      "About author"}},
    {Main, "RadioGroup1", Caption,
     {"Корневой ключ",
      "Кореневий ключ",
      "Root Key"}},
    {Main, "N24", Caption,
     {"Шаблоны",
      "Шаблони",
      "Templates"}},
    {Main, "N19", Caption,
     {"Запомнить как",
      "Запам\"ятати як",
      "Save as"}},
    {Main, "N20", Caption,
     {"Очистить все поля",
      "Очистити всі поля",
      "Clean all fields"}},
    {Main, "N16", CheckMark, {On, Off, Off}, Off},
    {Main, "N17", CheckMark, {Off, On, Off}, Off},
    {Main, "N18", CheckMark, {Off, Off, On}, Off},
    {Main, "N23", Caption,
     {"Настройки",
      "Налаштування",
      "Options"}},
    {Main, "N22", Caption,
     {"Заготовки",
      "Заготовки",
      "Templates"}},
    {Main, "N26", Caption,
     {"Защита",
      "Захист",
      "Sequrity"}},
    {Main, "SpeedButton2", Hint,
     {"Заготовки",
      "Заготовки",
      "Templates"}},
    {Main, "SpeedButton3", Hint,
     {"Настройки...",
      "Налаштування...",
      "Options..."}},
    {Main, "SpeedButton4", Hint,
     {"Защита",
      "Захист",
      "Sequrity"}},
    {AboutBox, "Text3D1", Caption,
     {"Кликните чтобы отобразить эффекты, потом дважды чтобы вернуться",
      "Клікніть, щоб відобразити ефекти, потім двічі щоб повернутися",
      "Click for effects, then twice to return"}},
    {Presets, "Label1", Caption,
     {"Просто поставьте галочку напротив выбранного элемента",
      "Просто поставте галочку навпроти вибраного елементу",
      "Simply choose some element"}},
    {Presets, "RadioButton3", Caption,
     {"Регистрационные имя",
      "Реєстраційне ім\"я",
      "Registration name"}},
    {Presets, "RadioButton4", Caption,
     {"и организация",
      "і організація",
      "& organisation"}},
    {Presets, "RadioButton5", Caption,
     {"Автозапуск CD",
      "Автозапуск CD",
      "Autorun CD"}},
    {Presets, "RadioButton6", Caption,
     {"Автозагрузка",
      "Автозавантаження",
      "Startup"}},
    {Presets, "RadioButton9", Caption,
     {"Путь к главной директории",
      "Шлях до головної директорії",
      "Path to main folder"}},
    {Presets, "RadioButton11", Caption,
     {"Адреса, которые помнит  Internet Explorer",
      "Адреси, які пом\"ятає  Internet Explorer",
      "Links which Internet Explorer understand"}},
    {Presets, "RadioButton12", Caption,
     {"Список \"Открыть с помощью...\"",
      "Список \"Відкрити за допомогою...\"",
      "List \"Open with...\""}},
    {Presets, "RadioButton9", Hint,
     {"Например, стандартный C:\\WINDOWS",
      "Наприклад, стандартний C:\\WINDOWS",
      "For example, standard C:\\WINDOWS"}},
    {Settings, "GroupBox1", Caption,
     {"Показывать",
      "Показувати",
      "Show"}},
    {Settings, "GroupBox2", Caption,
     {"Прозрачность главного окна",
      "Прозорість головного вікна",
      "Transparency of main window"}},
    {Settings, "GroupBox3", Caption,
     {"Язык",
      "Мова",
      "Language"}},
    {Settings, "Button1", Caption,
     {"Применить",
      "Застосувати",
      "Apply"}},
    {Settings, "Button2", Caption,
     {"Отмена",
      "Відміна",
      "Cancel"}},
    {Settings, "CheckBox2", Caption,
     {"Дополнительные кнопки",
      "Додаткові кнопки",
      "Additional buttons"}},
    {Settings, "CheckBox3", Caption,
     {"Корневой ключ",
      "Кореневий ключ",
      "Root key"}},
    {Settings, "CheckBox4", Caption,
     {"Отключить",
      "Відключити",
      "Turn off"}},
    {Settings, "Label1", Caption,
     {"От 0 до 255",
      "Від 0 до 255",
      "From 0 to 255"}},
    {Presets, nullptr, Title,
     {"Заготовки",
      "Заготовки",
      "Templates"}},
    {Settings, nullptr, Title,
     {"Показывать",
      "Показувати",
      "Show"},
     "Настройки VTR 1.5"},
    {Protection, nullptr, Title,
     {"Защита паролем",
      "Захист паролем",
      "Sequrity by password"}},
    {Protection, "Button1", Caption,
     {"Применить",
      "Застосувати",
      "Apply"}},
    {Protection, "Button2", Caption,
     {"Снять защиту",
      "Зняти захист",
      "Turn off sequrity"}},
    {Protection, "Button3", Caption,
     {"Закрыть",
      "Закрити",
      "Close"}},
    {Protection, "Label1", Caption,
     {"Текущий пароль",
      "Поточний пароль",
      "Current password"}},
    {Protection, "Label2", Caption,
     {"Новый пароль",
      "Новий пароль",
      "New password"}},
    {Prompt, nullptr, Title,
     {"Введите пароль",
      "Введіть пароль",
      "Enter the password"}},
    {Prompt, "Button2", Caption,
     {"Отмена",
      "Відміна",
      "Cancel"}},
}};

QObject &ControlOf(const CaptionEntry &entry, QWidget &window)
{
    if (!entry.control)
        return window;
    if (QObject *control = window.findChild<QObject *>(QString::fromLatin1(entry.control)))
        return *control;
    throw Exception(std::string("Caption table: no control named ") + entry.control);
}

// The control as the kind its property needs.
template <typename Kind>
Kind &As(QObject &control)
{
    if (auto *kind = qobject_cast<Kind *>(&control))
        return *kind;
    throw Exception("Caption table: " + control.objectName().toStdString() + " is no " + Kind::staticMetaObject.className());
}

// A label placed by hand sizes itself to a text set later, as it did to its
// creation text; one in a layout is sized by the layout.
void FitToText(QObject &control)
{
    auto *label = qobject_cast<QLabel *>(&control);
    if (label && (!label->parentWidget() || !label->parentWidget()->layout()))
        label->adjustSize();
}

} // namespace

void CaptionProperty::Caption(QObject &control, const QString &text)
{
    if (auto *menu = qobject_cast<QMenu *>(&control))
        menu->setTitle(text);
    else if (auto *box = qobject_cast<QGroupBox *>(&control))
        box->setTitle(text);
    else if (auto *label = qobject_cast<QLabel *>(&control))
        label->setText(text);
    else if (auto *item = qobject_cast<QAction *>(&control))
        item->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(&control))
        button->setText(text);
    else if (!control.setProperty("Caption", text)) // controls of our own, such as the 3D text
        throw Exception("Caption table: " + control.objectName().toStdString() + " has no caption");
}

void CaptionProperty::Hint(QObject &control, const QString &text)
{
    As<QWidget>(control).setToolTip(text);
}

void CaptionProperty::Title(QObject &window, const QString &text)
{
    As<QWidget>(window).setWindowTitle(text);
}

void CaptionProperty::CheckMark(QObject &item, const QString &state)
{
    As<QAction>(item).setChecked(state == QLatin1String(On));
}

std::span<const CaptionEntry> MainCaptionSet()
{
    return std::span(table).first(MainCaptionSetSize);
}

std::span<const CaptionEntry> FullCaptionSet()
{
    return std::span(table);
}

QString CaptionText(const CaptionEntry &entry, TLanguage language)
{
    return QString::fromUtf8(entry.texts[language]);
}

void ApplyCaptionSet(std::span<const CaptionEntry> set, TLanguage language, const CaptionWindows &windows)
{
    for (const CaptionEntry &entry : set) {
        QWidget *window = windows(entry.window);
        if (!window)
            continue;
        QObject &control = ControlOf(entry, *window);
        entry.property(control, CaptionText(entry, language));
        FitToText(control);
    }
}

void ApplyCreationCaptions(CaptionWindow which, QWidget &window)
{
    for (const CaptionEntry &entry : FullCaptionSet()) {
        if (entry.window != which)
            continue;
        const char *text = entry.creation ? entry.creation : entry.texts[lgRussian];
        entry.property(ControlOf(entry, window), QString::fromUtf8(text));
    }
}
