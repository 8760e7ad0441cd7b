// TRegistry against a registry of its own: a temporary registry directory
// here, a throw-away Wine prefix when built for Windows.
#include "Registry.h"
#include "RegistryTree.h"
#include "ScratchRegistry.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <csignal>
#include <sys/resource.h>
#include <vantor_registry.h>
#endif

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKeyTree(HKEY_CURRENT_USER, "VantorTest"); }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, "VantorTest"); }

    static void SetRaw(const std::string &path, const std::string &name, DWORD type, const std::string &bytes)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static std::string MessageOf(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const ERegistryException &e) {
            return e.what();
        }
        return "(no exception)";
    }

    ScratchRegistry registry_;
};

TEST_F(RegistryTest, FreshObjectIsBoundToCurrentUserWithFullAccess)
{
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    EXPECT_EQ(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_EQ(reg.Access(), static_cast<DWORD>(KEY_ALL_ACCESS));
    EXPECT_EQ(reg.ReadText("anything"), "");
    EXPECT_FALSE(reg.HasValue("anything"));
}

TEST_F(RegistryTest, EmptyPathOpensTheRootItselfAndCreatesNothing)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("", true));
    EXPECT_NE(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.CurrentPath(), "");
    reg.WriteText("VantorTestRootValue", "in the root");

    TRegistry other;
    other.EnterKey("", false);
    EXPECT_EQ(other.ReadText("VantorTestRootValue"), "in the root");
    HKEY root;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "", 0, KEY_ALL_ACCESS, &root), ERROR_SUCCESS);
    RegDeleteValueA(root, "VantorTestRootValue");
    RegCloseKey(root);
}

TEST_F(RegistryTest, PathForms)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("\\VantorTest\\Lead", true));
    EXPECT_EQ(reg.CurrentPath(), "VantorTest\\Lead");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\Lead"));

    // Relative to the open key.
    ASSERT_TRUE(reg.EnterKey("X", true));
    EXPECT_EQ(reg.CurrentPath(), "VantorTest\\Lead\\X");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\Lead\\X"));

    // One leading backslash goes back to the root.
    ASSERT_TRUE(reg.EnterKey("\\VantorTest\\Y", true));
    EXPECT_EQ(reg.CurrentPath(), "VantorTest\\Y");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\Y"));

    // Two leading backslashes reach the system with one, which it refuses;
    // the object keeps its key.
    const HKEY before = reg.CurrentKey();
    EXPECT_FALSE(reg.EnterKey("\\\\VantorTest", true));
    EXPECT_EQ(reg.CurrentKey(), before);
    EXPECT_EQ(reg.CurrentPath(), "VantorTest\\Y");
}

TEST_F(RegistryTest, CreationMakesEveryMissingLevelAndOpeningMakesNone)
{
    TRegistry reg;
    EXPECT_FALSE(reg.EnterKey("VantorTest\\A\\B\\C", false));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "VantorTest"));
    EXPECT_EQ(reg.CurrentKey(), nullptr);

    ASSERT_TRUE(reg.EnterKey("VantorTest\\A\\B\\C", true));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\A\\B\\C"));
}

TEST_F(RegistryTest, ReadTextOfMissingEmptyAndTextValues)
{
    SetRaw("VantorTest", "binary-empty", REG_BINARY, "");
    SetRaw("VantorTest", "embedded", REG_SZ, std::string("abc\0def\0", 8));
    SetRaw("VantorTest", "expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9));
    SetRaw("VantorTest", "unterminated", REG_SZ, "tail");

    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest", false));
    EXPECT_EQ(reg.ReadText("missing"), "");
    EXPECT_EQ(reg.ReadText("binary-empty"), "");
    EXPECT_EQ(reg.ReadText("embedded"), "abc");
    EXPECT_EQ(reg.ReadText("expand"), "%TEMP%\\x");
    EXPECT_EQ(reg.ReadText("unterminated"), "tail");
    EXPECT_TRUE(reg.HasValue("binary-empty"));
    EXPECT_FALSE(reg.HasValue("missing"));
}

TEST_F(RegistryTest, ReadTextOfOtherTypesRaisesWithTheName)
{
    SetRaw("VantorTest", "dw", REG_DWORD, std::string("\x01\0\0\0", 4));
    SetRaw("VantorTest", "", REG_BINARY, "\x01");

    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest", false));
    EXPECT_EQ(MessageOf([&] { reg.ReadText("dw"); }), "Invalid data type for 'dw'");
    EXPECT_EQ(MessageOf([&] { reg.ReadText(""); }), "Invalid data type for ''");
    // The object is unchanged by the failure.
    EXPECT_EQ(reg.CurrentPath(), "VantorTest");
    EXPECT_TRUE(reg.HasValue("dw"));
}

TEST_F(RegistryTest, WriteTextStoresTerminatedText)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest", true));
    reg.WriteText("empty", "");
    reg.WriteText("", "default value");
    reg.WriteText("Кириллица", "Значення ї є ґ");

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "VantorTest", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 99;
    ASSERT_EQ(RegQueryValueExA(key, "empty", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 1u);
    RegCloseKey(key);

    EXPECT_EQ(reg.ReadText("empty"), "");
    EXPECT_EQ(reg.ReadText(""), "default value");
    EXPECT_EQ(reg.ReadText("Кириллица"), "Значення ї є ґ");
}

TEST_F(RegistryTest, WriteWithoutKeyRaisesWithTheName)
{
    TRegistry reg;
    EXPECT_EQ(MessageOf([&] { reg.WriteText("Path", "x"); }), "Failed to set data for 'Path'");
    EXPECT_EQ(MessageOf([&] { reg.WriteText("", "x"); }), "Failed to set data for ''");
}

TEST_F(RegistryTest, DeleteValueTellsWhetherItDeleted)
{
    TRegistry reg;
    EXPECT_FALSE(reg.DeleteValue("nothing open"));
    ASSERT_TRUE(reg.EnterKey("VantorTest", true));
    reg.WriteText("v", "1");
    EXPECT_TRUE(reg.DeleteValue("v"));
    EXPECT_FALSE(reg.HasValue("v"));
    EXPECT_FALSE(reg.DeleteValue("v"));
}

TEST_F(RegistryTest, RemoveKeyTakesTheWholeSubtree)
{
    TRegistry setup;
    ASSERT_TRUE(setup.EnterKey("VantorTest\\A\\B\\C", true));
    setup.WriteText("deep", "1");
    ASSERT_TRUE(setup.EnterKey("\\VantorTest\\A\\D", true));
    setup.LeaveKey();

    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest", false));
    EXPECT_TRUE(reg.RemoveKey("A"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\A"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "VantorTest"));
    // The object's own key stays current and open.
    EXPECT_EQ(reg.CurrentPath(), "VantorTest");
    reg.WriteText("still-open", "yes");
    EXPECT_EQ(reg.ReadText("still-open"), "yes");
}

TEST_F(RegistryTest, RemoveKeyWithNonAsciiSubkeyNames)
{
    TRegistry setup;
    ASSERT_TRUE(setup.EnterKey("VantorTest\\Корінь\\Підключ ґ\\Ещё глубже", true));
    ASSERT_TRUE(setup.EnterKey("\\VantorTest\\Корінь\\Є", true));
    setup.LeaveKey();

    TRegistry reg;
    EXPECT_TRUE(reg.RemoveKey("\\VantorTest\\Корінь"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\Корінь"));
}

TEST_F(RegistryTest, RemoveKeyOfMissingKeyChangesNothing)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest\\Keep", true));
    EXPECT_FALSE(reg.RemoveKey("\\VantorTest\\Missing"));
    EXPECT_FALSE(reg.RemoveKey("Missing"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "VantorTest\\Keep"));
    EXPECT_EQ(reg.CurrentPath(), "VantorTest\\Keep");
}

TEST_F(RegistryTest, SelectRootKeepsOrClosesTheKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest", true));
    reg.SelectRoot(HKEY_CURRENT_USER);
    EXPECT_EQ(reg.CurrentPath(), "VantorTest");
    EXPECT_NE(reg.CurrentKey(), nullptr);

    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reg.RootKey(), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.CurrentPath(), "");
}

#ifndef _WIN32
TEST_F(RegistryTest, WriteTextThatTheDiskCannotTakeRaisesAndIsNotShown)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey("VantorTest", true));
    reg.WriteText("small", "kept");
    // A full disk, as a file-size limit gives it.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string message;
    try {
        reg.WriteText("big", std::string(100000, 'x'));
    } catch (const ERegistryException &e) {
        message = e.what();
    }
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Failed to set data for 'big'\n" + std::string(VtrRegDirectory()) + "/user.reg: saving failed: "
                       + std::strerror(EFBIG));
    EXPECT_FALSE(reg.HasValue("big"));
    EXPECT_EQ(reg.ReadText("small"), "kept");
    EXPECT_EQ(reg.LeaveKey(), ERROR_SUCCESS);
}
#endif

} // namespace
