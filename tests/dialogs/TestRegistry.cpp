#include "TestRegistry.h"

#include "PersistedState.h"

#include <vantor_registry.h>

#include <cstdlib>
#include <filesystem>

namespace {

void OpenKey(TRegistry &access, HKEY root, const char *path)
{
    access.SelectRoot(root);
    access.EnterKey(path, true);
}

} // namespace

TestRegistry::TestRegistry()
{
    char pattern[] = "/tmp/vantor-dialogs-test.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        ADD_FAILURE() << "no temporary registry directory";
    dir_ = pattern;
    EXPECT_EQ(VtrRegReset(dir_.c_str()), ERROR_SUCCESS);
}

TestRegistry::~TestRegistry()
{
    std::error_code ignoredError;
    VtrRegReset(nullptr);
    std::filesystem::remove_all(dir_, ignoredError);
}

void TestRegistry::MakeUserHiveReadOnly()
{
    // Something must be in the hive for its file to be written.
    SetStoreText("hive marker", "");
    ASSERT_EQ(VtrRegFlushAll(), ERROR_SUCCESS);
    const std::string file = dir_ + "/user.reg";
    ASSERT_TRUE(std::filesystem::exists(file));
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read
                                           | std::filesystem::perms::others_read);
    ASSERT_EQ(VtrRegReset(dir_.c_str()), ERROR_SUCCESS);
}

void TestRegistry::SetStoreText(const std::string &name, const std::string &value)
{
    TRegistry store;
    OpenKey(store, PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath);
    store.WriteText(name, value);
}

std::string TestRegistry::StoreText(const std::string &name)
{
    TRegistry store;
    OpenKey(store, PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath);
    return store.ReadText(name);
}

bool TestRegistry::StoreHas(const std::string &name)
{
    TRegistry store;
    OpenKey(store, PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath);
    return store.HasValue(name);
}

void TestRegistry::SetStoreNumber(const std::string &name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath, 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void TestRegistry::SetProgramText(const std::string &name, const std::string &value)
{
    TRegistry program;
    OpenKey(program, PersistedState::ProgramKeyRoot, PersistedState::ProgramKeyPath);
    program.WriteText(name, value);
}

std::string TestRegistry::ProgramText(const std::string &name)
{
    TRegistry program;
    OpenKey(program, PersistedState::ProgramKeyRoot, PersistedState::ProgramKeyPath);
    return program.ReadText(name);
}

bool TestRegistry::ProgramHas(const std::string &name)
{
    TRegistry program;
    OpenKey(program, PersistedState::ProgramKeyRoot, PersistedState::ProgramKeyPath);
    return program.HasValue(name);
}
