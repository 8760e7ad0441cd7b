// The start-up password gate, step 1 of the main window's activation.
#include "ErrorReporting.h"
#include "PersistedState.h"
#include "Registry.h"
#include "StartupHives.h"
#include "Unit1.h"
#include "Unit6.h"

namespace {

// Brings the password store into order: a password that is not empty and a
// protection flag that is not empty. True when protection is on.
bool SettleStore(TRegistry &store)
{
    using namespace PersistedState;
    store.SelectRoot(PasswordStoreRoot);
    store.EnterKey(PasswordStorePath, true);
    if (store.ReadText(PasswordValue).empty())
        store.WriteText(PasswordValue, DefaultPassword);
    if (!store.HasValue(ProtectionFlagValue))
        store.WriteText(ProtectionFlagValue, ProtectionOff);
    if (store.ReadText(ProtectionFlagValue).empty())
        store.WriteText(ProtectionFlagValue, ProtectionOff);
    return store.ReadText(ProtectionFlagValue) == ProtectionOn;
}

} // namespace

// A store that cannot be read or written is told once (by the start-up's
// box for user.reg when that told why); protection then counts as off for
// this run, so that the start-up can go on.
void TForm1::RunPasswordGate(TRegistry &passwordStore)
{
    bool protectionOn = false;
    try {
        protectionOn = SettleStore(passwordStore);
    } catch (const ERegistryException &failure) {
        if (!AlreadyTold(failure))
            ReportException(failure);
        return;
    }
    if (protectionOn)
        Form6->exec();
}
