#include "Unit4.h"

#include "Captions.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>

#include <limits>
#include <optional>

TForm4 *Form4 = nullptr;

namespace {

std::optional<int> HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return std::nullopt;
}

bool IsDecimalDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Parses text[pos..] as the hexadecimal digits of a number; none or more
// than eight of them is no number.
std::optional<int> ParseHexDigits(const QString &text, qsizetype pos)
{
    const qsizetype digits = text.size() - pos;
    if (digits < 1 || digits > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (; pos < text.size(); ++pos) {
        const auto digit = HexDigitValue(text[pos]);
        if (!digit)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(*digit);
    }
    return static_cast<int>(value);
}

// Parses text[pos..] as decimal digits with the given sign; the value must
// fit a signed 32-bit integer.
std::optional<int> ParseDecimalDigits(const QString &text, qsizetype pos, bool negative)
{
    if (pos >= text.size())
        return std::nullopt;
    const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<int>::min()}
                                        : std::int64_t{std::numeric_limits<int>::max()};
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        if (!IsDecimalDigit(text[pos]))
            return std::nullopt;
        magnitude = magnitude * 10 + (text[pos].unicode() - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

std::optional<int> ParseInteger(const QString &text)
{
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == u' ')
        ++pos;
    if (pos == text.size())
        return std::nullopt;

    const QChar first = text[pos];
    if (first == u'+' || first == u'-')
        return ParseDecimalDigits(text, pos + 1, first == u'-');
    if (first == u'$' || first == u'x' || first == u'X')
        return ParseHexDigits(text, pos + 1);
    if (first == u'0' && pos + 1 < text.size() && (text[pos + 1] == u'x' || text[pos + 1] == u'X'))
        return ParseHexDigits(text, pos + 2);
    return ParseDecimalDigits(text, pos, false);
}

QPalette WithColour(QPalette palette, QPalette::ColorRole role, QColor colour)
{
    palette.setColor(role, colour);
    return palette;
}

} // namespace

int StrToInt(const QString &text)
{
    if (const auto value = ParseInteger(text))
        return *value;
    throw EConvertError("'" + text.toStdString() + "' is not a valid integer value");
}

std::uint8_t TransparencyLevelFromText(const QString &text)
{
    const int value = StrToInt(text);
    if (value < 0 || value > 255)
        throw EConvertError("'" + text.toStdString() + "' is not between 0 and 255");
    return static_cast<std::uint8_t>(value);
}

TForm4::TForm4(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Настройки VTR 1.5"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(386, 359);
    setPalette(WithColour(palette(), QPalette::Window, QColor(233, 255, 210)));
    setAutoFillBackground(true);
    CreateControls();

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
}

void TForm4::CreateControls()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Показывать"), this);
    // Wide enough for the longest caption of its boxes in every language.
    GroupBox1->setGeometry(8, 8, 209, 97);
    CheckBox2 = new QCheckBox(QStringLiteral("Дополнительные кнопки"), GroupBox1);
    CheckBox2->setGeometry(12, 28, 189, 21);
    CheckBox3 = new QCheckBox(QStringLiteral("Корневой ключ"), GroupBox1);
    CheckBox3->setGeometry(12, 60, 189, 21);

    GroupBox2 = new QGroupBox(QStringLiteral("Прозрачность главного окна"), this);
    GroupBox2->setGeometry(8, 120, 369, 105);
    Edit1 = new QLineEdit(QStringLiteral("255"), GroupBox2);
    Edit1->setGeometry(12, 32, 97, 21);
    Edit1->setPalette(WithColour(Edit1->palette(), QPalette::Base, QColor(227, 244, 251)));
    Label1 = new QLabel(QStringLiteral("От 0 до 255"), GroupBox2);
    Label1->setGeometry(120, 34, 161, 17);
    CheckBox4 = new QCheckBox(QStringLiteral("Отключить"), GroupBox2);
    CheckBox4->setGeometry(12, 68, 217, 21);

    GroupBox3 = new QGroupBox(QStringLiteral("Язык"), this);
    GroupBox3->setGeometry(225, 8, 152, 97);
    RadioButton1 = new QRadioButton(QStringLiteral("Русский"), GroupBox3);
    RadioButton1->setGeometry(12, 22, 132, 21);
    RadioButton2 = new QRadioButton(QStringLiteral("Українська"), GroupBox3);
    RadioButton2->setGeometry(12, 46, 132, 21);
    RadioButton3 = new QRadioButton(QStringLiteral("English"), GroupBox3);
    RadioButton3->setGeometry(12, 70, 132, 21);

    Button1 = new QPushButton(QStringLiteral("Применить"), this);
    Button1->setGeometry(48, 272, 129, 33);
    Button2 = new QPushButton(QStringLiteral("Отмена"), this);
    Button2->setGeometry(208, 272, 129, 33);
}

void TForm4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CentreOnDesktop();
        FormActivate();
    }
}

void TForm4::CentreOnDesktop()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm4::FormActivate()
{
    CheckBox2->setChecked(!Form1->SpeedButton2->isHidden());
    CheckBox3->setChecked(!Form1->RadioGroup1->isHidden());
    Edit1->setText(QString::number(Form1->AlphaBlendValue()));
    CheckBox4->setChecked(!Form1->AlphaBlend());

    const QString marker = Form1->N15->title();
    if (marker == LanguageMarker(lgRussian))
        RadioButton1->setChecked(true);
    else if (marker == LanguageMarker(lgUkrainian))
        RadioButton2->setChecked(true);
    else if (marker == LanguageMarker(lgEnglish))
        RadioButton3->setChecked(true);
}

void TForm4::Button1Click()
{
    const bool showExtraButtons = CheckBox2->isChecked();
    Form1->SpeedButton2->setVisible(showExtraButtons);
    Form1->SpeedButton3->setVisible(showExtraButtons);
    Form1->SpeedButton4->setVisible(showExtraButtons);

    const bool showRootKeyBox = CheckBox3->isChecked();
    Form1->RadioGroup1->setVisible(showRootKeyBox);
    Form1->RadioButton1->setVisible(showRootKeyBox);
    Form1->RadioButton2->setVisible(showRootKeyBox);
    Form1->RadioButton3->setVisible(showRootKeyBox);
    Form1->RadioButton4->setVisible(showRootKeyBox);
    Form1->RadioButton5->setVisible(showRootKeyBox);

    // A text that is no number, or no level, stops Apply here; the dialog
    // stays open with the user's input.
    Form1->SetAlphaBlendValue(TransparencyLevelFromText(Edit1->text()));

    // An unchecked "Отключить" turns the transparency on, so that the level
    // just typed takes effect.
    Form1->SetAlphaBlend(!CheckBox4->isChecked());

    if (RadioButton1->isChecked())
        Form1->ApplyMainCaptions(lgRussian);
    else if (RadioButton2->isChecked())
        Form1->ApplyMainCaptions(lgUkrainian);
    else if (RadioButton3->isChecked())
        Form1->ApplyMainCaptions(lgEnglish);

    close();
}

void TForm4::Button2Click()
{
    close();
}
