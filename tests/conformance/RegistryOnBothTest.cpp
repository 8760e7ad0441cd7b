// TRegistry where the two backends must agree although they get there by
// different roads: keys that the user may only read, and subkey names that take
// more than one byte per character in the active code page.
//
// On Windows (Wine) a key becomes read-only through its access control list,
// and the double-byte code page is 932 (run with LC_ALL=ja_JP.UTF-8). Here a
// hive becomes read-only while a Wine server holds the prefix, and the A
// functions speak UTF-8, up to three bytes for each UTF-16 unit.
#include "RegistryTree.h"
#include "Registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#ifdef _WIN32
#include <sddl.h>
#else
#include "FakeWineServer.h"
#include "ScratchRegistry.h"
#include "textconv.h"

#include <vantor_registry.h>
#endif

namespace {

const char *const kTestRoot = "VantorConformanceTest";

#ifdef _WIN32
std::string Local(const std::u16string &text)
{
    const auto *wide = reinterpret_cast<LPCWSTR>(text.data());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool DoubleByteCodePage()
{
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
}
#else
std::string Local(const std::u16string &text) { return textconv::toUtf8(text); }
#endif

// The message of a refused write, without the reason our engine adds on a
// line of its own.
std::string MessageOf(TRegistry &reg, const std::string &name, const std::string &value)
{
    try {
        reg.WriteText(name, value);
    } catch (const ERegistryException &e) {
        const std::string message = e.what();
        return message.substr(0, message.find('\n'));
    }
    return "(no exception)";
}

// A key with one text value that the user may then only read.
class ReadOnlyKeyTest : public ::testing::Test {
protected:
    const std::string path_ = std::string(kTestRoot) + "\\Protected";

    void SetUp() override
    {
        DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "kept", 0, REG_SZ, reinterpret_cast<const BYTE *>("as it was"), 10),
                  ERROR_SUCCESS);
#ifdef _WIN32
        // Everyone may read, nobody may write; the owner keeps the right to
        // change the list again, which TearDown uses.
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
        RegCloseKey(key);
#else
        RegCloseKey(key);
        ASSERT_EQ(VtrRegFlushAll(), ERROR_SUCCESS);
        server_ = std::make_unique<FakeWineServer>(registry_.Path());
        ASSERT_TRUE(server_->start());
        // The engine looks for a running server when it loads a hive.
        registry_.Reload();
#endif
    }

    void TearDown() override
    {
#ifdef _WIN32
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                                     nullptr)) {
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
                LocalFree(descriptor);
            }
            RegCloseKey(key);
        }
#else
        server_.reset();
        registry_.Reload();
#endif
        DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
    }

#ifndef _WIN32
    ScratchRegistry registry_;
    std::unique_ptr<FakeWineServer> server_;
#endif
};

TEST_F(ReadOnlyKeyTest, EnterKeyWithoutCreationOpensForReading)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey(path_, false));
    EXPECT_EQ(reg.CurrentPath(), path_);
    EXPECT_EQ(reg.ReadText("kept"), "as it was");
    EXPECT_TRUE(reg.HasValue("kept"));
    EXPECT_FALSE(reg.HasValue("new"));
}

TEST_F(ReadOnlyKeyTest, WritesStillFailWithTheMessage)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey(path_, false));
    EXPECT_EQ(MessageOf(reg, "new", "x"), "Failed to set data for 'new'");
    EXPECT_EQ(MessageOf(reg, "kept", "changed"), "Failed to set data for 'kept'");
    // The failure leaves the object on its key, and the data as it was.
    EXPECT_EQ(reg.CurrentPath(), path_);
    EXPECT_EQ(reg.ReadText("kept"), "as it was");
    EXPECT_FALSE(reg.HasValue("new"));
}

TEST_F(ReadOnlyKeyTest, MissingKeyStillFailsAndChangesNothing)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey(kTestRoot, false));
    EXPECT_FALSE(reg.EnterKey("Protected\\Missing", false));
    EXPECT_EQ(reg.CurrentPath(), kTestRoot);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path_ + "\\Missing"));
}

TEST_F(ReadOnlyKeyTest, RelativeEntryBelowAnOpenKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.EnterKey(kTestRoot, false));
    ASSERT_TRUE(reg.EnterKey("Protected", false));
    EXPECT_EQ(reg.CurrentPath(), path_);
    EXPECT_EQ(reg.ReadText("kept"), "as it was");
}

// RegQueryInfoKeyA gives the longest subkey name in characters and
// RegEnumKeyExA wants bytes: RemoveKey must size its buffer for the widest
// characters of the code page, or the deepest names are skipped and the key
// stays.
TEST(RegistryCodePageTest, RemoveKeyWithMultiByteSubkeyNames)
{
#ifdef _WIN32
    if (!DoubleByteCodePage())
        GTEST_SKIP() << "needs a double-byte ANSI code page: run with LC_ALL=ja_JP.UTF-8";
    const std::string longest = Local(u"日本語のキーの名前");
    const std::string other = Local(u"別のキー");
#else
    ScratchRegistry registry;
    const std::string longest = Local(u"日本語のキーの名前😀");
    const std::string other = Local(u"ключ");
#endif
    const std::string top = std::string(kTestRoot) + "\\Wide";
    DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
    for (const std::string &path : {top + "\\" + longest + "\\" + other, top + "\\" + other + "\\" + longest}) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    TRegistry reg;
    EXPECT_TRUE(reg.RemoveKey(top));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
    DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
}

} // namespace
