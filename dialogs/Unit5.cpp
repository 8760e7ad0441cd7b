#include "Unit5.h"

#include "ErrorReporting.h"
#include "PersistedState.h"
#include "Registry.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
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
    setWindowTitle(QStringLiteral("Защита паролем"));
    setFixedSize(332, 326);

    Label1 = new QLabel(QStringLiteral("Текущий пароль"), this);
    Edit1 = new QLineEdit(this);
    Label2 = new QLabel(QStringLiteral("Новый пароль"), this);
    Edit2 = new QLineEdit(this);
    Button1 = new QPushButton(QStringLiteral("Применить"), this);
    Button2 = new QPushButton(QStringLiteral("Снять защиту"), this);
    Button3 = new QPushButton(QStringLiteral("Закрыть"), this);
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
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableVirtualGeometry().center() - rect().center());
    QDialog::showEvent(event);
}
