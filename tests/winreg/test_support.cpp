#include "test_support.h"

#include "RegistryTree.h"

#include <sys/stat.h>

namespace winreg_test {

bool fileExists(const std::string &path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}

std::string testDataPath(const std::string &name) { return std::string(WINREG_TESTDATA) + "/" + name; }

void RegistryTest::SetUp() {
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
    EXPECT_EQ(ForEachSubKey(key, [&](const std::string &name) { names.push_back(name); }), ERROR_NO_MORE_ITEMS);
    return names;
}

std::vector<std::string> valueNames(HKEY key) {
    std::vector<std::string> names;
    EXPECT_EQ(ForEachValue(key, [&](const std::string &name, DWORD) { names.push_back(name); }), ERROR_NO_MORE_ITEMS);
    return names;
}

} // namespace winreg_test
