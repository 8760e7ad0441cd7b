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
#include <vantor_registry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "textconv.h"
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

bool KeyExists(const std::string &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string MessageOf(TRegistry &reg, const std::string &name, const std::string &value)
{
    try {
        reg.WriteText(name, value);
    } catch (const ERegistryException &e) {
        return e.what();
    }
    return "(no exception)";
}

#ifndef _WIN32
// A throw-away registry directory for the engine, removed afterwards.
class TempRegistry {
public:
    TempRegistry()
    {
        char pattern[] = "/tmp/vantor-conformance-test.XXXXXX";
        if (mkdtemp(pattern))
            dir_ = pattern;
        VtrRegReset(dir_.c_str());
    }
    ~TempRegistry()
    {
        VtrRegReset(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempRegistry(const TempRegistry &) = delete;
    TempRegistry &operator=(const TempRegistry &) = delete;
    const std::string &Dir() const { return dir_; }

private:
    std::string dir_;
};

// Pretends that a Wine server runs for the registry directory, the way
// Debian's wineserver shows it: the file "wineserver" names a folder in /tmp,
// whose server-<dev>-<ino> folder holds a file "lock" with an fcntl write lock
// on it. The lock is held by a child process: a process never conflicts with
// its own fcntl locks.
class FakeWineServer {
public:
    explicit FakeWineServer(const std::string &prefix)
    {
        struct stat info{};
        if (stat(prefix.c_str(), &info) != 0)
            return;
        char top[] = "/tmp/vantor-fake-server.XXXXXX";
        if (!mkdtemp(top))
            return;
        top_ = top;
        std::ofstream(prefix + "/wineserver") << top_.substr(5) << '\n';
        char folder[64];
        std::snprintf(folder, sizeof folder, "/server-%llx-%llx", static_cast<unsigned long long>(info.st_dev),
                      static_cast<unsigned long long>(info.st_ino));
        const std::string serverDir = top_ + folder;
        std::filesystem::create_directories(serverDir);
        const std::string lock = serverDir + "/lock";

        int ready[2];
        if (pipe(ready) != 0 || pipe(release_) != 0)
            return;
        child_ = fork();
        if (child_ == 0) {
            // The release pipe's write end stays with the parent alone, so that
            // its closing reaches this read as the end of the pipe.
            close(release_[1]);
            const int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
            struct flock hold{};
            hold.l_type = F_WRLCK;
            hold.l_whence = SEEK_SET;
            const char ok = (fd >= 0 && fcntl(fd, F_SETLK, &hold) == 0) ? 1 : 0;
            (void)!write(ready[1], &ok, 1);
            char wait;
            (void)!read(release_[0], &wait, 1);
            _exit(0);
        }
        close(release_[0]);
        char ok = 0;
        (void)!read(ready[0], &ok, 1);
        close(ready[0]);
        close(ready[1]);
        holding_ = ok == 1;
    }
    ~FakeWineServer()
    {
        if (child_ > 0) {
            close(release_[1]);
            waitpid(child_, nullptr, 0);
        }
        std::error_code ignored;
        if (!top_.empty())
            std::filesystem::remove_all(top_, ignored);
    }
    FakeWineServer(const FakeWineServer &) = delete;
    FakeWineServer &operator=(const FakeWineServer &) = delete;
    bool Holding() const { return holding_; }

private:
    std::string top_;
    int release_[2] = {-1, -1};
    pid_t child_ = -1;
    bool holding_ = false;
};
#endif

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
        server_ = std::make_unique<FakeWineServer>(registry_.Dir());
        ASSERT_TRUE(server_->Holding());
        // The engine looks for a running server when it loads a hive.
        ASSERT_EQ(VtrRegReset(registry_.Dir().c_str()), ERROR_SUCCESS);
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
        VtrRegReset(registry_.Dir().c_str());
#endif
        DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
    }

#ifndef _WIN32
    TempRegistry registry_;
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
    EXPECT_FALSE(KeyExists(path_ + "\\Missing"));
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
    TempRegistry registry;
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
    EXPECT_FALSE(KeyExists(top));
    DeleteKeyTree(HKEY_CURRENT_USER, kTestRoot);
}

} // namespace
