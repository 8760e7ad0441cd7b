#include "Unit4.h"

#include "CaptionTable.h"
#include "CentreOnScreen.h"
#include "Unit1.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QToolButton>

#include <algorithm>

TForm4 *Form4 = nullptr;

namespace {

QPalette WithColour(QPalette palette, QPalette::ColorRole role, QColor colour)
{
    palette.setColor(role, colour);
    return palette;
}

} // namespace

std::uint8_t TransparencyLevelFromText(const QString &text)
{
    const int value = StrToInt(text);
    if (value < 0 || value > 255)
        throw EConvertError("'" + text.toStdString() + "' is not between 0 and 255");
    return static_cast<std::uint8_t>(value);
}

TForm4::TForm4(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(386, 359);
    setPalette(WithColour(palette(), QPalette::Window, QColor(233, 255, 210)));
    setAutoFillBackground(true);
    CreateControls();
    ApplyCreationCaptions(CaptionWindow::Settings, *this);

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
}

void TForm4::CreateControls()
{
    GroupBox1 = Captioned(new QGroupBox(this), "GroupBox1");
    // Wide enough for the longest caption of its boxes in every language.
    GroupBox1->setGeometry(8, 8, 209, 97);
    CheckBox2 = Captioned(new QCheckBox(GroupBox1), "CheckBox2");
    CheckBox2->setGeometry(12, 28, 189, 21);
    CheckBox3 = Captioned(new QCheckBox(GroupBox1), "CheckBox3");
    CheckBox3->setGeometry(12, 60, 189, 21);

    GroupBox2 = Captioned(new QGroupBox(this), "GroupBox2");
    GroupBox2->setGeometry(8, 120, 369, 105);
    Edit1 = new QLineEdit(QStringLiteral("255"), GroupBox2);
    Edit1->setGeometry(12, 32, 97, 21);
    Edit1->setPalette(WithColour(Edit1->palette(), QPalette::Base, QColor(227, 244, 251)));
    Label1 = Captioned(new QLabel(GroupBox2), "Label1");
    Label1->setGeometry(120, 34, 161, 17);
    CheckBox4 = Captioned(new QCheckBox(GroupBox2), "CheckBox4");
    CheckBox4->setGeometry(12, 68, 217, 21);

    GroupBox3 = Captioned(new QGroupBox(this), "GroupBox3");
    GroupBox3->setGeometry(225, 8, 152, 97);
    RadioButton1 = new QRadioButton(QStringLiteral("Русский"), GroupBox3);
    RadioButton1->setGeometry(12, 22, 132, 21);
    RadioButton2 = new QRadioButton(QStringLiteral("Українська"), GroupBox3);
    RadioButton2->setGeometry(12, 46, 132, 21);
    RadioButton3 = new QRadioButton(QStringLiteral("English"), GroupBox3);
    RadioButton3->setGeometry(12, 70, 132, 21);

    Button1 = Captioned(new QPushButton(this), "Button1");
    Button1->setGeometry(48, 272, 129, 33);
    Button2 = Captioned(new QPushButton(this), "Button2");
    Button2->setGeometry(208, 272, 129, 33);
}

void TForm4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CentreOnScreen(*this);
        FormActivate();
    }
}

void TForm4::FormActivate()
{
    CheckBox2->setChecked(!Form1->SpeedButton2->isHidden());
    CheckBox3->setChecked(!Form1->RadioGroup1->isHidden());
    Edit1->setText(QString::number(Form1->AlphaBlendValue()));
    CheckBox4->setChecked(!Form1->AlphaBlend());

    const auto marked = MarkedLanguage(*Form1);
    if (marked == lgRussian)
        RadioButton1->setChecked(true);
    else if (marked == lgUkrainian)
        RadioButton2->setChecked(true);
    else if (marked == lgEnglish)
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
    const std::uint8_t level = TransparencyLevelFromText(Edit1->text());
    Form1->SetAlphaBlendValue(std::max(level, VisibleTransparencyFloor));

    // An unchecked CheckBox4 (transparency off) turns the transparency on, so
    // that the level just typed takes effect.
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
