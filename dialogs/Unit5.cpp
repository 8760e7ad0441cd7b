#include "Unit5.h"

#include "CaptionTable.h"
#include "CentreOnScreen.h"
#include "ErrorReporting.h"
#include "PersistedState.h"
#include "Registry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm5 *Form5 = nullptr;

namespace {

// The two texts differ on purpose: the second one is spelled "Неправилньый".
const QString ApplyWrongPasswordText = QStringLiteral("Неправильный пароль / невірний пароль / wrong password");
const QString RemoveWrongPasswordText = QStringLiteral("Неправилньый пароль / невірний пароль / wrong password");

void OpenPasswordStore(TRegistry &store)
{
    store.SelectRoot(PersistedState::PasswordStoreRoot);
    store.EnterKey(PersistedState::PasswordStorePath, true);
}

} // namespace

TForm5::TForm5(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setFixedSize(332, 326);

    Label1 = Captioned(new QLabel(this), "Label1");
    Edit1 = new QLineEdit(this);
    Label2 = Captioned(new QLabel(this), "Label2");
    Edit2 = new QLineEdit(this);
    Button1 = Captioned(new QPushButton(this), "Button1");
    Button2 = Captioned(new QPushButton(this), "Button2");
    Button3 = Captioned(new QPushButton(this), "Button3");
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addSpacing(12);
    layout->addWidget(Label2);
    layout->addWidget(Edit2);
    layout->addStretch();
    layout->addWidget(Button1);
    layout->addWidget(Button2);
    layout->addWidget(Button3);

    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm5::Button3Click);
    ApplyCreationCaptions(CaptionWindow::Protection, *this);
}

void TForm5::Button1Click()
{
    TRegistry store;
    OpenPasswordStore(store);
    const std::string current = Edit1->text().toStdString();
    if (current == store.ReadText(PersistedState::PasswordValue)) {
        store.WriteText(PersistedState::PasswordValue, Edit2->text().toStdString());
        store.WriteText(PersistedState::ProtectionFlagValue, PersistedState::ProtectionOn);
    } else {
        ShowMessage(ApplyWrongPasswordText);
    }
}

void TForm5::Button2Click()
{
    TRegistry store;
    OpenPasswordStore(store);
    const std::string stored = store.ReadText(PersistedState::PasswordValue);
    if (stored == Edit1->text().toStdString())
        store.WriteText(PersistedState::ProtectionFlagValue, PersistedState::ProtectionOff);
    else
        ShowMessage(RemoveWrongPasswordText);
}

void TForm5::Button3Click()
{
    close();
}

void TForm5::showEvent(QShowEvent *event)
{
    CentreOnScreen(*this);
    QDialog::showEvent(event);
}
