// What the engine saves, it reads back the same: random keys and values of
// every type, through the W calls, saved to the hive file and read again from
// it, in hives under and over a megabyte (huge pages).
#include "test_support.h"

#include "textconv.h"

#include <map>
#include <random>

using namespace winreg_test;

namespace {

// Characters that the file writes as they are, and ones it escapes, among
// them hex and octal digits, which an escape before them must not swallow.
// The two halves of a surrogate pair are picked one at a time: alone or
// together. Key names hold no backslash.
const std::u16string kPlain = u"abcdefABCDEF0123456789xyz =;@#";
const std::u16string kEscaped = u"\"[]\t\n\r\x1b\x01\x7f\u00e9\u00ff\u0100\u0430\u0444\u044f\u20ac\U0001F600";
const std::u16string kEscapedInValues = kEscaped + u"\\";

using Values = std::map<std::u16string, std::pair<DWORD, std::string>>; // name: type, data
using Tree = std::map<std::u16string, Values>;                          // key path below the test key

const char16_t kTestKey[] = u"Software\\Vantor round trip";

class Generator {
public:
    explicit Generator(unsigned seed) : random_(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

    // Runs of plain text, some longer than the blocks the reader takes at
    // once, between escaped characters.
    std::u16string text(const std::u16string &escaped, size_t length) {
        std::u16string out;
        while (out.size() < length) {
            if (below(2))
                out += escaped[below(escaped.size())];
            for (size_t run = below(2) ? below(80) : 0; run > 0; --run)
                out += kPlain[below(kPlain.size())];
        }
        out.resize(length);
        return out;
    }

    std::string bytes(size_t length) {
        std::string out(length, '\0');
        for (char &c : out)
            c = static_cast<char>(below(256));
        return out;
    }

    std::pair<DWORD, std::string> value() {
        const size_t length = below(300);
        switch (below(10)) {
        case 0: return {REG_SZ, textconv::toBytes(text(kEscapedInValues, length)) + std::string(2, '\0')};
        case 1: return {REG_EXPAND_SZ, textconv::toBytes(text(kEscapedInValues, length)) + std::string(2, '\0')};
        case 2: return {REG_SZ, textconv::toBytes(text(kEscapedInValues, length))}; // no terminator
        case 3: return {REG_SZ, bytes(2 * length + 1)};                               // odd size
        case 4: {
            std::u16string multi = text(kEscapedInValues, length / 3) + u'\0' + text(kEscapedInValues, length / 4);
            return {REG_MULTI_SZ, textconv::toBytes(multi) + std::string(4, '\0')};
        }
        case 5: return {REG_DWORD, bytes(4)};
        case 6: return {REG_DWORD, bytes(below(8))}; // not the size of a dword
        case 7: return {REG_QWORD, bytes(8)};
        case 8: return {REG_BINARY, bytes(length)};
        default: return {below(2) ? REG_NONE : 0x12345u + static_cast<DWORD>(below(1000)), bytes(length)};
        }
    }

private:
    std::mt19937 random_;
};

// Keys below the test key: one for each name length from 1 to 200, some with
// children, each key with values whose names have lengths of their own, so
// that no two names of one key are the same in any case. Over all keys the
// value names take every length from 0 to 200.
Tree randomTree(Generator &generate, size_t valuesPerKey) {
    Tree tree;
    for (size_t length = 1; length <= 200; ++length) {
        const std::u16string key = generate.text(kEscaped, length);
        tree[key];
        if (length % 7 == 0)
            for (size_t child = 0; child < 3; ++child)
                tree[key + u"\\" + generate.text(kEscaped, 1 + (length + 61 * child) % 200)];
    }
    size_t first = 0;
    for (auto &[path, values] : tree) {
        const size_t count = 1 + generate.below(2 * valuesPerKey);
        for (size_t i = 0; i < count; ++i)
            values[generate.text(kEscapedInValues, (first + i) % 201)] = generate.value();
        first += 13;
    }
    return tree;
}

const WCHAR *wide(const std::u16string &text) { return reinterpret_cast<const WCHAR *>(text.c_str()); }

void write(HKEY top, const Tree &tree) {
    for (const auto &[path, values] : tree) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(top, wide(path), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        for (const auto &[name, value] : values)
            ASSERT_EQ(RegSetValueExW(key, wide(name), 0, value.first,
                                     reinterpret_cast<const BYTE *>(value.second.data()),
                                     static_cast<DWORD>(value.second.size())),
                      ERROR_SUCCESS);
        RegCloseKey(key);
    }
}

Values readValues(HKEY key) {
    Values values;
    std::u16string name(16384, u'\0');
    std::string data(65536, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, reinterpret_cast<WCHAR *>(name.data()), &nameLength,
                                             nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
            return values;
        }
        values[name.substr(0, nameLength)] = {type, data.substr(0, size)};
    }
}

void readTree(HKEY key, const std::u16string &path, Tree &tree) {
    if (!path.empty())
        tree[path] = readValues(key);
    std::u16string name(256, u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS status = RegEnumKeyExW(key, index, reinterpret_cast<WCHAR *>(name.data()), &length, nullptr,
                                             nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
            return;
        }
        const std::u16string child = name.substr(0, length);
        HKEY sub = nullptr;
        ASSERT_EQ(RegOpenKeyExW(key, wide(child), 0, KEY_READ, &sub), ERROR_SUCCESS);
        readTree(sub, path.empty() ? child : path + u"\\" + child, tree);
        RegCloseKey(sub);
    }
}

} // namespace

TEST(RoundTrip, RandomKeysAndValuesReadBackAsWritten) {
    const struct {
        unsigned seed;
        size_t valuesPerKey;
        bool large; // a megabyte or more: read in ranges
    } cases[] = {{1, 4, false}, {2, 30, true}, {3, 36, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        Generator generate(c.seed);
        const Tree tree = randomTree(generate, c.valuesPerKey);
        const TempDir dir;
        ASSERT_EQ(VtrRegReset(dir.path().c_str()), ERROR_SUCCESS);
        HKEY top = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, wide(kTestKey), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top,
                                  nullptr),
                  ERROR_SUCCESS);
        write(top, tree);
        RegCloseKey(top);
        ASSERT_EQ(VtrRegFlushAll(), ERROR_SUCCESS);
        EXPECT_EQ(readFile(dir.file("user.reg")).size() >= 1 << 20, c.large);

        ASSERT_EQ(VtrRegReset(dir.path().c_str()), ERROR_SUCCESS);
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, wide(kTestKey), 0, KEY_READ, &top), ERROR_SUCCESS);
        Tree read;
        readTree(top, u"", read);
        RegCloseKey(top);
        VtrRegReset(nullptr);
        EXPECT_TRUE(read == tree); // the trees are too large to print
    }
}
