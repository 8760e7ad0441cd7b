#include "Unit3.h"

#include "CaptionTable.h"
#include "CentreOnScreen.h"
#include "PresetLocations.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TForm3 *Form3 = nullptr;

using namespace PresetLocations;

TForm3::TForm3(QWidget *parent) : QDialog(parent, Qt::Tool)
{
    setFixedSize(395, 377);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(210, 255, 233));
    setPalette(background);
    setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);

    Label1 = Captioned(new QLabel(this), "Label1");
    Label1->setWordWrap(true);
    layout->addWidget(Label1);
    layout->addSpacing(8);

    // Screen order, which is not the order of the names.
    RadioButton3 = AddPreset("RadioButton3", &TForm3::RadioButton3Click);
    RadioButton4 = AddPreset("RadioButton4", &TForm3::RadioButton4Click);
    RadioButton9 = AddPreset("RadioButton9", &TForm3::RadioButton9Click);
    RadioButton5 = AddPreset("RadioButton5", &TForm3::RadioButton5Click);
    RadioButton6 = AddPreset("RadioButton6", &TForm3::RadioButton6Click);
    RadioButton12 = AddPreset("RadioButton12", &TForm3::RadioButton12Click);
    RadioButton11 = AddPreset("RadioButton11", &TForm3::RadioButton11Click);

    Button1 = new QPushButton(QStringLiteral("O K"), this);
    layout->addStretch();
    layout->addWidget(Button1, 0, Qt::AlignHCenter);
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    ApplyCreationCaptions(CaptionWindow::Presets, *this);
}

QRadioButton *TForm3::AddPreset(const char *name, void (TForm3::*handler)())
{
    auto *button = Captioned(new QRadioButton(this), name);
    layout()->addWidget(button);
    connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
        if (checked)
            (this->*handler)();
    });
    return button;
}

void TForm3::FillMainWindow(const char *path, const char *name, QRadioButton *rootButton)
{
    Form1->Edit2->setText(QString::fromUtf8(path));
    Form1->Edit3->setText(QString::fromUtf8(name));
    rootButton->setChecked(true);
}

void TForm3::RadioButton3Click()
{
    FillMainWindow(WindowsNtCurrentVersion, RegisteredOwnerValue, Form1->RadioButton3);
}

void TForm3::RadioButton4Click()
{
    FillMainWindow(WindowsNtCurrentVersion, RegisteredOrganizationValue, Form1->RadioButton3);
}

void TForm3::RadioButton9Click()
{
    FillMainWindow(WindowsNtCurrentVersion, SystemFolderValue, Form1->RadioButton3);
}

void TForm3::RadioButton5Click()
{
    // The name ends in a blank.
    FillMainWindow(CdRomService, "AutoRun ", Form1->RadioButton3);
}

void TForm3::RadioButton6Click()
{
    FillMainWindow(StartupPrograms, "", Form1->RadioButton3);
}

void TForm3::RadioButton12Click()
{
    FillMainWindow(OpenWithLists, "", Form1->RadioButton2);
}

void TForm3::RadioButton11Click()
{
    FillMainWindow(TypedUrls, "", Form1->RadioButton2);
}

void TForm3::Button1Click()
{
    close();
}

void TForm3::showEvent(QShowEvent *event)
{
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}
