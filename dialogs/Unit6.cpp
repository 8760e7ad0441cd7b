#include "Unit6.h"

#include "CaptionTable.h"
#include "CentreOnScreen.h"
#include "ErrorReporting.h"
#include "PersistedState.h"
#include "Registry.h"
#include "Unit1.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm6 *Form6 = nullptr;

namespace {

const QString WrongPasswordText = QStringLiteral("Неправильный пароль / Невірний пароль / Wrong password");

std::string ReadStoredPassword()
{
    TRegistry store;
    store.SelectRoot(PersistedState::PasswordStoreRoot);
    store.EnterKey(PersistedState::PasswordStorePath, true);
    return store.ReadText(PersistedState::PasswordValue);
}

} // namespace

TForm6::TForm6(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setFixedSize(282, 140);

    Edit1 = new QLineEdit(this);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button2 = Captioned(new QPushButton(this), "Button2");
    Button1->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->addWidget(Edit1);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);
    ApplyCreationCaptions(CaptionWindow::Prompt, *this);
}

void TForm6::Button1Click()
{
    if (FieldHoldsPassword())
        accept();
    else
        ShowMessage(WrongPasswordText);
}

void TForm6::Button2Click()
{
    close();
    EndProgram();
}

// A password that cannot be read admits nobody; the close still ends the
// program rather than leaving the prompt impossible to close.
void TForm6::FormClose()
{
    bool admitted = false;
    try {
        admitted = FieldHoldsPassword();
    } catch (const ERegistryException &failure) {
        ReportException(failure);
    }
    if (!admitted)
        EndProgram();
}

void TForm6::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TForm6::showEvent(QShowEvent *event)
{
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}

bool TForm6::FieldHoldsPassword() const
{
    return Edit1->text().toStdString() == ReadStoredPassword();
}

// The prompt ends the program by closing the main window. That close comes
// before anything was started, so the main window is told to store nothing.
void TForm6::EndProgram()
{
    if (!Form1 || Form1->StartupRefused)
        return;
    Form1->StartupRefused = true;
    Form1->close();
}
