// A registry that starts empty gets the keys the presets point to, and only
// then. Such a registry exists over our engine alone.
#ifndef _WIN32
#include "NewRegistry.h"
#include "RegistryTree.h"
#include "PresetLocations.h"
#include "Registry.h"
#include "ScratchRegistry.h"

#include <gtest/gtest.h>

namespace {

using namespace PresetLocations;

TEST(NewRegistry, GetsTheKeysThePresetsPointToWithWhatAFreshSystemHolds)
{
    ScratchRegistry registry;
    SeedRegistryIfNew();
    registry.Reload();
    EXPECT_FALSE(VtrRegIsNew());
    const std::pair<HKEY, const char *> keys[] = {{HKEY_LOCAL_MACHINE, WindowsNtCurrentVersion},
                                                  {HKEY_LOCAL_MACHINE, StartupPrograms},
                                                  {HKEY_LOCAL_MACHINE, CdRomService},
                                                  {HKEY_CURRENT_USER, OpenWithLists},
                                                  {HKEY_CURRENT_USER, TypedUrls}};
    for (const auto &[root, path] : keys)
        EXPECT_TRUE(KeyExists(root, path)) << path;

    TRegistry version;
    version.SelectRoot(HKEY_LOCAL_MACHINE);
    version.EnterKey(WindowsNtCurrentVersion, false);
    EXPECT_EQ(version.ReadText(SystemFolderValue), "C:\\windows");
    EXPECT_TRUE(version.HasValue(RegisteredOrganizationValue));
    EXPECT_FALSE(version.ReadText(RegisteredOwnerValue).empty());

    HKEY cdrom = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, CdRomService, 0, KEY_READ, &cdrom), ERROR_SUCCESS);
    DWORD autoRun = 0, size = sizeof autoRun, type = 0;
    EXPECT_EQ(RegQueryValueExA(cdrom, "AutoRun", nullptr, &type, reinterpret_cast<BYTE *>(&autoRun), &size),
              ERROR_SUCCESS);
    RegCloseKey(cdrom);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(autoRun, 1u);
}

TEST(NewRegistry, AnExistingRegistryIsLeftAsItIs)
{
    ScratchRegistry registry;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    registry.Reload();
    SeedRegistryIfNew();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, WindowsNtCurrentVersion));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, TypedUrls));
}

} // namespace
#endif
