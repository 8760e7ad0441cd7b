// The registry API's semantics, as Windows (and Wine) show them.
#include "test_support.h"

#include <algorithm>
#include <functional>
#include <sys/stat.h>

using namespace winreg_test;

namespace {

class Api : public RegistryTest {};

} // namespace

TEST_F(Api, PathRules) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "\\Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_ALL_ACCESS, &key), ERROR_BAD_PATHNAME);

    HKEY deep = createKey(HKEY_CURRENT_USER, "Software\\\\Vantor\\A/B\\\\C\\");
    writeString(deep, "v", "x");
    RegCloseKey(deep);
    HKEY same = openKey(HKEY_CURRENT_USER, "Software\\Vantor\\A/B\\C");
    EXPECT_EQ(readString(same, "v"), "x");
    RegCloseKey(same);
    HKEY vantor = openKey(HKEY_CURRENT_USER, "Software\\Vantor");
    EXPECT_EQ(subKeyNames(vantor), std::vector<std::string>{"A/B"});
    RegCloseKey(vantor);

    const std::string longest(255, 'k');
    const std::string tooLong(256, 'k');
    HKEY ok = createKey(HKEY_CURRENT_USER, ("Software\\" + longest).c_str());
    RegCloseKey(ok);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("Software\\" + tooLong).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (tooLong + "\\x").c_str(), 0, KEY_ALL_ACCESS, &key),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Missing", 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(Api, EmptyPathOpensTheRootItself) {
    // A predefined root comes back as itself, as Windows documents it.
    HKEY root = openKey(HKEY_CURRENT_USER, "");
    ASSERT_EQ(root, HKEY_CURRENT_USER);
    writeString(root, "AtRoot", "r");
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
    EXPECT_EQ(readString(HKEY_CURRENT_USER, "AtRoot"), "r");
    HKEY again = openKey(HKEY_CURRENT_USER, nullptr);
    EXPECT_EQ(readString(again, "AtRoot"), "r");
    RegCloseKey(again);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(readString(HKEY_CURRENT_USER, "AtRoot"), "r");
}

TEST_F(Api, CreateMakesEveryMissingLevel) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\L1\\L2\\L3", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\l1\\l2\\l3", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    HKEY l1 = openKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\L1");
    EXPECT_EQ(subKeyNames(l1), std::vector<std::string>{"L2"});
    RegCloseKey(l1);
}

TEST_F(Api, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\MixedCase");
    RegCloseKey(createKey(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase\\Child"));
    writeString(key, "ValueName", "1");
    writeString(key, "VALUENAME", "2");
    EXPECT_EQ(valueNames(key), std::vector<std::string>{"ValueName"});
    EXPECT_EQ(readString(key, "valuename"), "2");
    HKEY software = openKey(HKEY_CURRENT_USER, "software");
    const auto names = subKeyNames(software);
    EXPECT_NE(std::find(names.begin(), names.end(), "MixedCase"), names.end());
    RegCloseKey(software);
    RegCloseKey(key);
}

TEST_F(Api, DeleteKeyRules) {
    HKEY parent = createKey(HKEY_CURRENT_USER, "Software\\Del");
    RegCloseKey(createKey(parent, "Child\\Grandchild"));
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, "Nothing"), ERROR_FILE_NOT_FOUND);
    HKEY other = openKey(parent, "Child\\Grandchild");
    EXPECT_EQ(RegDeleteKeyA(parent, "Child\\Grandchild"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(other, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegSetValueExA(other, "x", 0, REG_SZ, reinterpret_cast<const BYTE *>(""), 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);

    HKEY child = openKey(parent, "Child");
    EXPECT_EQ(RegDeleteKeyA(child, ""), ERROR_SUCCESS);
    HKEY sub = nullptr;
    EXPECT_EQ(RegOpenKeyExA(child, "", 0, KEY_ALL_ACCESS, &sub), ERROR_KEY_DELETED);
    DWORD count = 0;
    EXPECT_EQ(RegQueryInfoKeyA(child, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
    // A new key of the same name is a different key.
    HKEY reborn = createKey(parent, "Child");
    EXPECT_EQ(subKeyNames(parent), std::vector<std::string>{"Child"});
    RegCloseKey(reborn);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(parent);
}

TEST_F(Api, EnumerationIsSortedIgnoringCaseAndEndsWith259) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Enum");
    for (const char *name : {"beta", "Alpha", "a_b", "Яблуко", "ab", "Gamma"})
        RegCloseKey(createKey(key, name));
    for (const char *name : {"zz", "B", "a"})
        writeString(key, name, name);
    EXPECT_EQ(subKeyNames(key), (std::vector<std::string>{"a_b", "ab", "Alpha", "beta", "Gamma", "Яблуко"}));
    EXPECT_EQ(valueNames(key), (std::vector<std::string>{"a", "B", "zz"}));

    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxValueName,
                               &maxValue, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 6u);
    EXPECT_EQ(maxSubKey, 6u); // characters, as Windows counts them, without the terminator
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxValueName, 2u);
    EXPECT_GE(maxValue, 3u);

    char name[3];
    DWORD length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name), "ab");
    length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyExA(key, 6, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(Api, QueryValueSizesAndShortBuffers) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Query");
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    writeString(key, "s", "hello");
    EXPECT_EQ(RegQueryValueExA(key, "s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u);
    char buffer[4] = {'#', '#', '#', '#'};
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "s", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::string(buffer, 4), "####");
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "s", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "s", nullptr, &type, reinterpret_cast<BYTE *>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Api, SetValueStoresExactlyTheGivenBytes) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Exact");
    const char embedded[] = "abc\0def"; // 8 bytes with the final zero
    ASSERT_EQ(RegSetValueExA(key, "emb", 0, REG_SZ, reinterpret_cast<const BYTE *>(embedded), 8), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "noterm", 0, REG_SZ, reinterpret_cast<const BYTE *>("xyz"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    const BYTE dword[] = {1, 2, 3, 4};
    ASSERT_EQ(RegSetValueExA(key, "dw", 0, REG_DWORD, dword, 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "odd", 0, 0x12345, dword, 3), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    char buffer[16];
    DWORD size = sizeof buffer, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "emb", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), std::string(embedded, 8));
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "noterm", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), "xyz");
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExA(key, "odd", nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x12345u);
    EXPECT_EQ(size, 3u);
    RegCloseKey(key);

    const std::string file = readFile(dir_.file("user.reg"));
    EXPECT_NE(file.find("\"emb\"=\"abc\\0def\"\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"noterm\"=hex(1):78,00,79,00,7a,00\n"), std::string::npos);
    EXPECT_NE(file.find("\"empty\"=hex:\n"), std::string::npos);
    EXPECT_NE(file.find("\"dw\"=dword:04030201\n"), std::string::npos);
    EXPECT_NE(file.find("\"odd\"=hex(12345):01,02,03\n"), std::string::npos);
}

TEST_F(Api, ValueNameLimitAndDefaultValue) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Names");
    const std::string longest(16383, 'n');
    const std::string tooLong(16384, 'n');
    writeString(key, longest.c_str(), "ok");
    EXPECT_EQ(readString(key, longest.c_str()), "ok");
    EXPECT_EQ(RegSetValueExA(key, tooLong.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2),
              ERROR_INVALID_PARAMETER);
    writeString(key, "", "default");
    EXPECT_EQ(readString(key, nullptr), "default");
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Api, InvalidHandles) {
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Handles");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKEY out = nullptr;
    EXPECT_EQ(RegOpenKeyExA(nullptr, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Api, TextIsUtf8OutsideAndUtf16Inside) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Текст");
    writeString(key, "Ім'я", "Привіт, світе ґ");
    EXPECT_EQ(readString(key, "ІМ'Я"), "Привіт, світе ґ");
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "Ім'я", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, std::string("Привіт, світе ґ").size() + 1);
    RegCloseKey(key);
    const std::string file = readFile(dir_.file("user.reg"));
    // Wine's writer: non-ASCII as UTF-16 code units in \x escapes.
    EXPECT_NE(file.find("[Software\\\\\\x422\\x435\\x43a\\x441\\x442]"), std::string::npos) << file;
    EXPECT_NE(file.find("\"\\x406\\x43c'\\x44f\"=\"\\x41f\\x440\\x438\\x432\\x456\\x442, "), std::string::npos);
}

TEST_F(Api, AccessRightsOfHandles) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Rights");
    writeString(key, "v", "1");
    RegCloseKey(key);
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Rights", 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(readString(reader, "v"), "1");
    EXPECT_EQ(RegSetValueExA(reader, "v", 0, REG_SZ, reinterpret_cast<const BYTE *>("2"), 2), ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
}

TEST_F(Api, VolatileKeysLiveInMemoryOnly) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fleeting", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    writeString(key, "v", "1");
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Lasting", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);
    RegCloseKey(key);
    EXPECT_EQ(readFile(dir_.file("user.reg")).find("Fleeting"), std::string::npos);
    HKEY again = openKey(HKEY_CURRENT_USER, "Software\\Fleeting");
    EXPECT_EQ(readString(again, "v"), "1");
    RegCloseKey(again);
}

TEST_F(Api, KeysNestAtMost512LevelsDeep) {
    std::string path;
    for (int i = 0; i < 512; ++i)
        path += "d\\";
    HKEY key = createKey(HKEY_CURRENT_USER, path.c_str());
    HKEY deeper = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "one more", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &deeper, nullptr),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Api, ReservedWordAndOverlongValueNameAnswerAsWindows) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Reserved", 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Reserved", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, std::string(16384, 'v').c_str(), nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
}

// Every A function that fills a caller's buffer, given exactly the room it
// needs and one less, with a guard byte after the buffer.
TEST_F(Api, ExactlySizedBuffersAreFilledAndNeverOverrun) {
    HKEY key = createKey(HKEY_CURRENT_USER, "Sized");
    const BYTE data[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RegSetValueExA(key, "name5", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);
    RegCloseKey(createKey(key, "key45"));
    constexpr char kGuard = '\x5a';
    struct Case {
        const char *what;
        DWORD needed; // the room the answer takes
        bool countsTerminator;
        std::function<LSTATUS(char *, DWORD *)> call;
    };
    const std::vector<Case> cases = {
        {"RegEnumKeyExA", 5, true,
         [&](char *b, DWORD *n) { return RegEnumKeyExA(key, 0, b, n, nullptr, nullptr, nullptr, nullptr); }},
        {"RegEnumValueA name", 5, true,
         [&](char *b, DWORD *n) { return RegEnumValueA(key, 0, b, n, nullptr, nullptr, nullptr, nullptr); }},
        {"RegQueryValueExA data", 5, false,
         [&](char *b, DWORD *n) {
             return RegQueryValueExA(key, "name5", nullptr, nullptr, reinterpret_cast<BYTE *>(b), n);
         }},
    };
    for (const Case &c : cases) {
        for (const DWORD room : {c.needed + (c.countsTerminator ? 1 : 0), c.needed - (c.countsTerminator ? 0 : 1)}) {
            SCOPED_TRACE(std::string(c.what) + " with room " + std::to_string(room));
            std::vector<char> buffer(room + 1, '\0');
            buffer[room] = kGuard;
            DWORD size = room;
            const bool fits = room > c.needed || (!c.countsTerminator && room == c.needed);
            EXPECT_EQ(c.call(buffer.data(), &size), fits ? ERROR_SUCCESS : ERROR_MORE_DATA);
            EXPECT_EQ(buffer[room], kGuard);
            if (fits) {
                EXPECT_EQ(size, c.needed);
            }
        }
    }
    RegCloseKey(key);
}

// The program's own registry holds its start-up password: only its user may
// read it. A Wine prefix, and a file that stands already, keep their modes.
TEST(Privacy, TheProgramsOwnRegistryIsItsUsersAloneAndAPrefixKeepsItsModes) {
    const TempDir dir("vantor-privacy");
    const std::string registry = getenv("VANTOR_REGISTRY") ? getenv("VANTOR_REGISTRY") : "";
    const mode_t umaskBefore = umask(022);
    const auto modeOf = [](const std::string &path) {
        struct stat st{};
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01;
    };
    const auto save = [] {
        return RegSetValueExA(HKEY_CURRENT_USER, "x", 0, REG_SZ, reinterpret_cast<const BYTE *>("y"), 2);
    };
    for (const bool own : {true, false}) {
        const std::string folder = dir.file(own ? "own/registry" : "prefix");
        unsetenv("VANTOR_REGISTRY");
        setenv(own ? "VANTOR_REGISTRY" : "WINEPREFIX", folder.c_str(), 1);
        ASSERT_EQ(VtrRegReset(nullptr), ERROR_SUCCESS);
        EXPECT_EQ(save(), ERROR_SUCCESS);
        EXPECT_EQ(modeOf(folder), own ? 0700u : 0755u);
        EXPECT_EQ(modeOf(folder + "/user.reg"), own ? 0600u : 0644u);
        chmod((folder + "/user.reg").c_str(), 0640);
        EXPECT_EQ(save(), ERROR_SUCCESS);
        EXPECT_EQ(modeOf(folder + "/user.reg"), 0640u);
        unsetenv("WINEPREFIX");
    }
    umask(umaskBefore);
    if (!registry.empty())
        setenv("VANTOR_REGISTRY", registry.c_str(), 1);
    VtrRegReset(nullptr);
}
