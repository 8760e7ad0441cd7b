// The five registry commands and the buttons and menu items that run them.
//
// Each command works on the target the user typed: the root chosen with the
// root-key buttons, the key path in Edit2 and the name in Edit3. The two write
// commands create every missing level of the path; reading and the two
// deletes only open the path, so a mistyped path leaves no keys behind.
#include "DeletedCopies.h"
#include "Registry.h"
#include "Unit1.h"

#include <QLineEdit>

namespace {

const QString ValueDeleted = QStringLiteral("(Значение удалено)");
const QString ValueNotFound = QStringLiteral("(Значение не найдено)");
const QString KeyDeleted = QStringLiteral("(Ключ удален)");
const QString KeyNotFound = QStringLiteral("(Ключ не найден)");

std::string TextOf(const QLineEdit *field) { return field->text().toStdString(); }

ERegistryException KeyNotDeleted(const std::string &name, const std::optional<RegistryRefusal> &reason)
{
    return ERegistryException("Failed to delete key '" + name + "'", reason);
}

} // namespace

// Create key writes the value of Edit4 under the name of Edit3 into the key
// path of Edit2, creating every missing level; change value is the same
// operation.
void TForm1::DoCreateKey()
{
    const std::string path = TextOf(Edit2);
    const std::string name = TextOf(Edit3);
    const std::string value = TextOf(Edit4);
    TRegistry access;
    ApplyRootChoice(access);
    access.EnterKey(path, true);
    access.WriteText(name, value);
}

void TForm1::DoReadValue()
{
    const std::string path = TextOf(Edit2);
    const std::string name = TextOf(Edit3);
    TRegistry access;
    ApplyRootChoice(access);
    // A missing path leaves no key open, and the read then gives empty text.
    access.EnterKey(path, false);
    const std::string value = access.ReadText(name);
    Edit4->setText(QString::fromStdString(value));
}

void TForm1::DoChangeValue()
{
    DoCreateKey();
}

void TForm1::DoDeleteValue()
{
    const std::string path = TextOf(Edit2);
    const std::string name = TextOf(Edit3);
    TRegistry access;
    ApplyRootChoice(access);
    const bool entered = access.EnterKey(path, false);
    const DeletedCopy copy = entered ? KeepDeletedValue(access, name) : DeletedCopy();
    const bool deleted = entered && copy.Guard([&] { return access.DeleteValue(name); });
    Edit4->setText(deleted ? ValueDeleted : ValueNotFound);
}

void TForm1::DoDeleteKey()
{
    const std::string path = TextOf(Edit2);
    const std::string name = TextOf(Edit3);
    TRegistry access;
    ApplyRootChoice(access);
    // Without an open key a relative name would be taken from the root key:
    // a missing path must delete nothing.
    if (!access.EnterKey(path, false)) {
        Edit4->setText(KeyNotFound);
        return;
    }
    // A root or a hive's top key can never go; removing its subkeys first
    // would empty it all the same.
    if (access.IsHiveRoot(name))
        throw KeyNotDeleted(name, TRegistry::RootKeyRefusal());
    const DeletedCopy copy = KeepDeletedKey(access, name);
    const bool deleted = copy.Guard([&] {
        if (access.RemoveKey(name))
            return true;
        // RemoveKey fails alike for a missing key and for a refused one; the
        // key still being there tells them apart.
        const std::optional<RegistryRefusal> reason = access.LastRefusal();
        if (access.EnterKey(name, false))
            throw KeyNotDeleted(name, reason);
        return false;
    });
    Edit4->setText(deleted ? KeyDeleted : KeyNotFound);
}

void TForm1::Button1Click() { DoCreateKey(); }
void TForm1::Button2Click() { DoReadValue(); }
void TForm1::Button3Click() { DoDeleteValue(); }
void TForm1::Button4Click() { DoChangeValue(); }
void TForm1::Button5Click() { DoDeleteKey(); }

void TForm1::N4Click() { DoCreateKey(); }
void TForm1::N5Click() { DoReadValue(); }
void TForm1::N6Click() { DoChangeValue(); }
void TForm1::N7Click() { DoDeleteValue(); }
void TForm1::N8Click() { DoDeleteKey(); }
