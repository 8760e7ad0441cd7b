#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <ftw.h>
#include <unistd.h>

namespace winreg_test {

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool fileExists(const std::string &path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}

std::string testDataPath(const std::string &name) { return std::string(WINREG_TESTDATA) + "/" + name; }

TempDir::TempDir() {
    char name[] = "/tmp/vantor-winreg-test.XXXXXX";
    const char *made = mkdtemp(name);
    path_ = made ? made : "";
}

TempDir::~TempDir() {
    if (path_.empty())
        return;
    chmod(path_.c_str(), 0755);
    nftw(
        path_.c_str(), [](const char *p, const struct stat *, int, FTW *) { return remove(p); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

void RegistryTest::SetUp() {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_EQ(VtrRegReset(dir_.path().c_str()), ERROR_SUCCESS);
}

void RegistryTest::TearDown() { VtrRegReset(nullptr); }

void RegistryTest::usePrefixCopy() {
    for (const char *name : {"system.reg", "user.reg", "userdef.reg"})
        writeFile(dir_.file(name), readFile(testDataPath(name)));
    restartEngine();
}

void RegistryTest::restartEngine() { ASSERT_EQ(VtrRegReset(dir_.path().c_str()), ERROR_SUCCESS); }

std::string readString(HKEY key, const char *name) {
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return "<missing>";
    std::string data(size, '\0');
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size),
              ERROR_SUCCESS);
    data.resize(size);
    if (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data;
}

DWORD readType(HKEY key, const char *name) {
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    return type;
}

void writeString(HKEY key, const char *name, const std::string &text) {
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
}

HKEY createKey(HKEY base, const char *path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(base, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS)
        << path;
    return key;
}

HKEY openKey(HKEY base, const char *path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(base, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << path;
    return key;
}

std::vector<std::string> subKeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD length = sizeof name;
        const LSTATUS status = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::string> valueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[20000];
        DWORD length = sizeof name;
        const LSTATUS status = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

} // namespace winreg_test
