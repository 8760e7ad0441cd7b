#include "NewRegistry.h"

#include "OwnedKey.h"
#include "PresetLocations.h"
#include "Registry.h"

#include <vantor_registry.h>

#include <pwd.h>
#include <unistd.h>

#include <string>

namespace {

// The user's full name from the account, else the login name.
std::string AccountName()
{
    const passwd *account = getpwuid(getuid());
    std::string name;
    if (account && account->pw_gecos)
        name = std::string(account->pw_gecos).substr(0, std::string(account->pw_gecos).find(','));
    if (name.empty() && account && account->pw_name)
        name = account->pw_name;
    return name.empty() ? "User" : name;
}

void Check(LONG result, const std::string &what)
{
    if (result != ERROR_SUCCESS)
        throw ERegistryException("Failed to create '" + what + "' in the new registry");
}

class CreatedKey {
public:
    CreatedKey(HKEY root, const char *path) : path_(path), key_(Create(root, path)) {}

    void SetText(const char *name, const std::string &text)
    {
        Check(RegSetValueExA(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              path_ + "\\" + name);
    }

    void SetNumber(const char *name, DWORD number)
    {
        Check(RegSetValueExA(key_.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number),
              path_ + "\\" + name);
    }

private:
    static HKEY Create(HKEY root, const char *path)
    {
        HKEY key = nullptr;
        Check(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), path);
        return key;
    }

    std::string path_;
    OwnedKey key_;
};

} // namespace

void SeedRegistryIfNew()
{
    if (!VtrRegIsNew())
        return;
    using namespace PresetLocations;
    {
        CreatedKey version(HKEY_LOCAL_MACHINE, WindowsNtCurrentVersion);
        version.SetText(SystemFolderValue, "C:\\windows");
        version.SetText(RegisteredOrganizationValue, "");
        version.SetText(RegisteredOwnerValue, AccountName());
    }
    CreatedKey(HKEY_LOCAL_MACHINE, StartupPrograms);
    CreatedKey(HKEY_LOCAL_MACHINE, CdRomService).SetNumber("AutoRun", 1);
    CreatedKey(HKEY_CURRENT_USER, OpenWithLists);
    CreatedKey(HKEY_CURRENT_USER, TypedUrls);
}
