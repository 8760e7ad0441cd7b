// A walk through the ANSI registry API that prints one normalised line per
// step: the step's name, the return code and what the call gave back. The same
// source is built against our engine and, with mingw-w64, against the real
// API; the two outputs are compared line by line (compare.sh).
//
// Nothing machine-specific is printed: no handle values, no times, no counts
// of keys that a fresh registry and a fresh Wine prefix hold differently.
// Text is printed as UTF-16 code units, so that the ANSI code page of the
// Windows build (1251) and the UTF-8 of our engine print alike.
#include "RegistryTree.h"
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#ifndef _WIN32
#include "textconv.h"
#endif

namespace {

// ---------------------------------------------------------------------------
// Text in the active code page, and its UTF-16 form for printing.

#ifdef _WIN32
std::string Local(const std::u16string &text)
{
    if (text.empty())
        return {};
    const auto *wide = reinterpret_cast<LPCWSTR>(text.data());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::u16string Wide(const std::string &text)
{
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<LPWSTR>(out.data()),
                        n);
    return out;
}
#else
// Our engine's A functions speak UTF-8.
std::string Local(const std::u16string &text) { return textconv::toUtf8(text); }

std::u16string Wide(const std::string &text) { return textconv::toUtf16(text); }
#endif

// Printable ASCII as it is, everything else as \uXXXX; long texts as their
// length and a hash, so that 16,383-character names stay on one short line.
std::string Shown(const std::string &local)
{
    const std::u16string text = Wide(local);
    if (text.size() > 48) {
        unsigned hash = 2166136261u;
        for (char16_t c : text)
            hash = (hash ^ c) * 16777619u;
        char buf[64];
        std::snprintf(buf, sizeof buf, "<%zu chars #%08x>", text.size(), hash);
        return buf;
    }
    std::string out = "\"";
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out + "\"";
}

std::string Hex(const BYTE *data, size_t size)
{
    if (size > 48) {
        unsigned hash = 2166136261u;
        for (size_t i = 0; i < size; ++i)
            hash = (hash ^ data[i]) * 16777619u;
        char buf[64];
        std::snprintf(buf, sizeof buf, "<%zu bytes #%08x>", size, hash);
        return buf;
    }
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
    }
    return out.empty() ? "-" : out;
}

bool IsText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// One output line: the step name, then fields in the order they are added.
// The line is printed when the object goes out of scope.
class Line {
public:
    explicit Line(const std::string &step) : text_(step) {}
    ~Line() { std::printf("%s\n", text_.c_str()); }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    Line &rc(LONG code) { return field("rc", std::to_string(code)); }
    Line &num(const char *key, unsigned long value) { return field(key, std::to_string(value)); }
    Line &text(const char *key, const std::string &local) { return field(key, Shown(local)); }
    Line &bytes(const char *key, const BYTE *data, size_t size) { return field(key, Hex(data, size)); }
    Line &flag(const char *key, bool value) { return field(key, value ? "yes" : "no"); }
    Line &field(const char *key, const std::string &value)
    {
        text_ += ' ';
        text_ += key;
        text_ += '=';
        text_ += value;
        return *this;
    }

private:
    std::string text_;
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// ---------------------------------------------------------------------------
// Quiet helpers: they set the stage and print nothing.

const char *const kBase = "Software\\VantorConformance";

HKEY Create(HKEY parent, const std::string &path)
{
    HKEY key = nullptr;
    RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}

// A new empty key HKCU\Software\VantorConformance\<name> for one section.
HKEY Fresh(const std::string &name)
{
    const std::string path = std::string(kBase) + "\\" + name;
    DeleteKeyTree(HKEY_CURRENT_USER, path);
    return Create(HKEY_CURRENT_USER, path);
}

// The data is followed by a byte that is not zero: RegSetValueExA looks one
// byte past the end of string data for a terminator that was not counted.
LONG Set(HKEY key, const std::string &name, DWORD type, const std::string &data)
{
    const std::string followed = data + '#';
    return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(followed.data()),
                          static_cast<DWORD>(data.size()));
}

LONG SetText(HKEY key, const std::string &name, const std::string &text)
{
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

std::string ReadData(HKEY key, const std::string &name, DWORD *type = nullptr)
{
    std::vector<BYTE> buffer(64 * 1024);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExA(key, name.c_str(), nullptr, type, buffer.data(), &size) != ERROR_SUCCESS)
        return "<none>";
    return std::string(reinterpret_cast<char *>(buffer.data()), size);
}

// The names joined by commas, "-" for none, and the code that ended the
// listing when it was no ERROR_NO_MORE_ITEMS.
std::string Listed(const std::vector<std::string> &names, LONG end)
{
    std::string out;
    for (const std::string &name : names)
        out += (out.empty() ? "" : ",") + name;
    if (end != ERROR_NO_MORE_ITEMS)
        out += " <rc " + std::to_string(end) + ">";
    return out.empty() ? "-" : out;
}

std::string KeyNames(HKEY key)
{
    std::vector<std::string> names;
    const LONG end = ForEachSubKey(key, [&](const std::string &name) { names.push_back(Shown(name)); });
    return Listed(names, end);
}

std::string ValueNames(HKEY key)
{
    std::vector<std::string> names;
    const LONG end = ForEachValue(key, [&](const std::string &name, DWORD type) {
        names.push_back(Shown(name) + ":" + std::to_string(type));
    });
    return Listed(names, end);
}

// ---------------------------------------------------------------------------
// The five roots, and where writes through them land.

struct Root {
    const char *name;
    HKEY key;
    const char *testPath; // a key this run may create below the root
};

const Root kRoots[] = {
    {"HKCR", HKEY_CLASSES_ROOT, "VantorConformanceRoot"},
    {"HKCU", HKEY_CURRENT_USER, "Software\\VantorConformanceRoot"},
    {"HKLM", HKEY_LOCAL_MACHINE, "Software\\VantorConformanceRoot"},
    {"HKU", HKEY_USERS, ".Default\\Software\\VantorConformanceRoot"},
    {"HKCC", HKEY_CURRENT_CONFIG, "Software\\VantorConformanceRoot"},
};

// The same key seen through another root.
struct Alias {
    const char *root;
    HKEY key;
    const char *path;
};

const Alias kAliases[] = {
    {"HKCR", HKEY_LOCAL_MACHINE, "Software\\Classes\\VantorConformanceRoot"},
    {"HKCU", HKEY_USERS, "S-1-5-21-0-0-0-1000\\Software\\VantorConformanceRoot"},
    {"HKCC", HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\VantorConformanceRoot"},
};

void Roots()
{
    for (const Root &root : kRoots) {
        const std::string step = std::string("root.") + root.name;
        HKEY h = nullptr;
        LONG rc = RegOpenKeyExA(root.key, "", 0, KEY_ALL_ACCESS, &h);
        Line(step + ".open-empty").rc(rc).flag("handle", h != nullptr).flag("is-root", h == root.key);
        Line(step + ".close-opened").rc(RegCloseKey(h));

        HKEY n = nullptr;
        rc = RegOpenKeyExA(root.key, nullptr, 0, KEY_READ, &n);
        Line(step + ".open-null").rc(rc).flag("handle", n != nullptr);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(n);

        Line(step + ".close-root").rc(RegCloseKey(root.key));
        h = nullptr;
        rc = RegOpenKeyExA(root.key, "", 0, KEY_READ, &h);
        Line(step + ".after-close-root").rc(rc);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);

        Line(step + ".info").rc(RegQueryInfoKeyA(root.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr, nullptr));
        Line(step + ".flush").rc(RegFlushKey(root.key));

        DeleteKeyTree(root.key, root.testPath);
        DWORD disposition = 0;
        HKEY made = nullptr;
        rc = RegCreateKeyExA(root.key, root.testPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                             &made, &disposition);
        Line(step + ".create").rc(rc).num("disposition", disposition);
        Line(step + ".set").rc(SetText(made, "where", root.name));
        RegCloseKey(made);

        HKEY again = nullptr;
        rc = RegOpenKeyExA(root.key, root.testPath, 0, KEY_READ, &again);
        Line(step + ".reopen").rc(rc).text("where", ReadData(again, "where"));
        RegCloseKey(again);
    }

    for (const Alias &alias : kAliases) {
        HKEY h = nullptr;
        const LONG rc = RegOpenKeyExA(alias.key, alias.path, 0, KEY_READ, &h);
        Line(std::string("root.") + alias.root + ".alias").rc(rc).text("where", ReadData(h, "where"));
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
    }

    // HKCR shows the machine's classes only: the user's own classes are not
    // merged in.
    HKEY userClass = Create(HKEY_CURRENT_USER, "Software\\Classes\\VantorConformanceUserClass");
    RegCloseKey(userClass);
    HKEY merged = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, "VantorConformanceUserClass", 0, KEY_READ, &merged);
    Line("root.HKCR.user-classes").rc(rc);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(merged);
    DeleteKeyTree(HKEY_CURRENT_USER, "Software\\Classes\\VantorConformanceUserClass");

    Line("root.HKU.enum").field("names", KeyNames(HKEY_USERS));

    // Keys directly below the two roots that are made of hives.
    for (const Root &root : {kRoots[2], kRoots[3]}) {
        HKEY top = nullptr;
        rc = RegCreateKeyExA(root.key, "VantorConformanceTop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top, nullptr);
        Line(std::string("root.") + root.name + ".create-top").rc(rc);
        if (rc == ERROR_SUCCESS) {
            RegCloseKey(top);
            RegDeleteKeyA(root.key, "VantorConformanceTop");
        }
    }

    // Deleting a root that has subkeys is refused like any such delete.
    Line("root.HKCU.delete-self").rc(RegDeleteKeyA(HKEY_CURRENT_USER, ""));
    Line("root.HKLM.delete-self").rc(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));

    const HKEY bogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000010)));
    HKEY h = nullptr;
    Line("root.bogus.open").rc(RegOpenKeyExA(bogus, "Software", 0, KEY_READ, &h));

    for (const Root &root : kRoots)
        DeleteKeyTree(root.key, root.testPath);
}

// ---------------------------------------------------------------------------
// Path forms.

void Paths()
{
    HKEY p = Fresh("Paths");
    auto create = [&](const std::string &step, const std::string &path) {
        HKEY h = nullptr;
        DWORD disposition = 0;
        const LONG rc = RegCreateKeyExA(p, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                        nullptr, &h, &disposition);
        Line("path.create." + step).rc(rc).num("disposition", disposition);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
    };
    auto open = [&](const std::string &step, const char *path) {
        HKEY h = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(1));
        const LONG rc = RegOpenKeyExA(p, path, 0, KEY_READ, &h);
        Line("path.open." + step).rc(rc).flag("null-on-failure", rc == ERROR_SUCCESS || h == nullptr);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
    };

    create("leading-backslash", "\\Lead");
    open("leading-backslash", "\\Lead");
    create("only-backslashes", "\\\\");
    create("nested", "A\\B\\C");
    open("nested", "A\\B\\C");
    create("existing", "A\\B");
    create("double-inner", "A\\\\B\\\\D");
    open("double-inner-result", "A\\B\\D");
    create("trailing", "E\\");
    open("trailing-result", "E");
    open("trailing", "A\\B\\");
    open("double-trailing", "A\\B\\\\");
    create("slash", "F/G");
    open("slash-parent", "F");
    open("slash", "F/G");
    create("dot", ".");
    create("dotdot", "..");
    create("dot-inside", "H\\.\\I");
    create("spaces", " lead\\trail \\in side");
    open("spaces", " lead\\trail \\in side");
    open("spaces-trimmed", "lead\\trail\\in side");
    create("empty", "");
    open("empty", "");
    open("null", nullptr);
    open("missing", "Missing");
    open("missing-parent", "Missing\\Child");
    create("brackets", "[x]\\y=z;\"q\"");
    open("brackets", "[x]\\y=z;\"q\"");

    HKEY a = nullptr;
    RegOpenKeyExA(p, "A", 0, KEY_READ, &a);
    HKEY c = nullptr;
    Line("path.open.relative-to-handle").rc(RegOpenKeyExA(a, "B\\C", 0, KEY_READ, &c));
    RegCloseKey(c);
    RegCloseKey(a);

    Line("path.enum").field("names", KeyNames(p));
    RegCloseKey(p);
}

// ---------------------------------------------------------------------------
// Name and size limits.

void Limits()
{
    HKEY l = Fresh("Limits");
    auto create = [&](const std::string &step, const std::string &path) {
        HKEY h = nullptr;
        const LONG rc = RegCreateKeyExA(l, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                        nullptr, &h, nullptr);
        Line("limit.create." + step).rc(rc);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
        return rc;
    };
    auto open = [&](const std::string &step, const std::string &path) {
        HKEY h = nullptr;
        const LONG rc = RegOpenKeyExA(l, path.c_str(), 0, KEY_READ, &h);
        Line("limit.open." + step).rc(rc);
        if (rc == ERROR_SUCCESS)
            RegCloseKey(h);
    };

    create("name255", Repeat('k', 255));
    open("name255", Repeat('k', 255));
    open("name255-upper", Repeat('K', 255));
    if (create("name256", Repeat('m', 256)) == ERROR_SUCCESS)
        RegDeleteKeyA(l, Repeat('m', 256).c_str());
    // 260 characters in all, so that only the name's length counts.
    create("name256-inner", "I\\" + Repeat('n', 256) + "\\x");
    open("inner-parent", "I");

    // Whole paths: 260 characters, then one more.
    const std::string path260 = Repeat('p', 200) + "\\" + Repeat('q', 59);
    const std::string path261 = Repeat('p', 200) + "\\" + Repeat('r', 60);
    create("path260", path260);
    open("path260", path260);
    create("path261", path261);
    open("path261", path261);

    HKEY parent = nullptr;
    RegOpenKeyExA(l, Repeat('p', 200).c_str(), 0, KEY_READ, &parent);
    Line("limit.enum.long-parent").field("names", KeyNames(parent));
    RegCloseKey(parent);

    // A deep key reached one level at a time has no path limit.
    HKEY deep = Create(l, "Deep");
    for (int i = 0; i < 6; ++i) {
        HKEY next = Create(deep, Repeat(static_cast<char>('a' + i), 200));
        RegCloseKey(deep);
        deep = next;
    }
    Line("limit.deep").rc(SetText(deep, "v", "deep")).text("v", ReadData(deep, "v"));
    RegCloseKey(deep);

    const std::string name16383 = Repeat('v', 16383);
    Line("limit.value.name16383").rc(SetText(l, name16383, "x")).text("data", ReadData(l, name16383));
    Line("limit.value.name16384").rc(SetText(l, Repeat('w', 16384), "x"));
    Line("limit.value.query16384")
        .rc(RegQueryValueExA(l, Repeat('v', 16384).c_str(), nullptr, nullptr, nullptr, nullptr));
    HKEY reserved = nullptr;
    Line("create.reserved")
        .rc(RegCreateKeyExA(l, "Reserved", 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, &reserved, nullptr));
    Line("create.reserved.made").rc(RegOpenKeyExA(l, "Reserved", 0, KEY_READ, &reserved));
    DWORD maxName = 0;
    LONG rc = RegQueryInfoKeyA(l, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr,
                               nullptr, nullptr);
    Line("limit.value.info").rc(rc).num("max-name", maxName);

    std::vector<char> name(16384 + 1);
    DWORD length = static_cast<DWORD>(name.size());
    rc = RegEnumValueA(l, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    Line("limit.value.enum").rc(rc).num("length", length).text("name", std::string(name.data(), length));
    length = 16383;
    rc = RegEnumValueA(l, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    Line("limit.value.enum-short").rc(rc);

    // One megabyte of binary data, and a long string.
    std::vector<BYTE> big(1 << 20);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<BYTE>((i * 7 + i / 251) & 0xFF);
    rc = RegSetValueExA(l, "big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
    DWORD size = 0;
    DWORD type = 0;
    const LONG sizeRc = RegQueryValueExA(l, "big", nullptr, &type, nullptr, &size);
    std::vector<BYTE> back(big.size() + 16, 0);
    DWORD got = static_cast<DWORD>(back.size());
    const LONG readRc = RegQueryValueExA(l, "big", nullptr, &type, back.data(), &got);
    Line("limit.value.1mib")
        .rc(rc)
        .num("size-rc", sizeRc)
        .num("size", size)
        .num("read-rc", readRc)
        .bytes("data", back.data(), got)
        .flag("same", got == big.size() && std::memcmp(back.data(), big.data(), big.size()) == 0);

    const std::string longText(100000, 't');
    rc = SetText(l, "long-text", longText);
    size = 0;
    const LONG textRc = RegQueryValueExA(l, "long-text", nullptr, &type, nullptr, &size);
    Line("limit.value.long-text").rc(rc).num("size-rc", textRc).num("size", size).num("type", type);

    RegCloseKey(l);
}

// ---------------------------------------------------------------------------
// Every value type and size case, and the query buffer rules.

struct Sample {
    const char *name;
    DWORD type;
    std::string data;
};

void QueryAllWays(HKEY key, const Sample &sample)
{
    const std::string step = std::string("type.") + sample.name;
    DWORD type = 0xDEAD;
    DWORD size = 0xDEAD;
    LONG rc = RegQueryValueExA(key, sample.name, nullptr, &type, nullptr, &size);
    Line(step + ".size").rc(rc).num("type", type).num("size", size);

    // A buffer four bytes larger than needed, filled with a marker, shows
    // exactly which bytes the call writes.
    std::vector<BYTE> buffer(size + 4, 0xAA);
    DWORD got = static_cast<DWORD>(buffer.size());
    type = 0xDEAD;
    rc = RegQueryValueExA(key, sample.name, nullptr, &type, buffer.data(), &got);
    Line read(step + ".read");
    read.rc(rc).num("type", type).num("size", got);
    if (IsText(type) && got <= size)
        read.text("text", std::string(reinterpret_cast<char *>(buffer.data()), got));
    read.bytes("buffer", buffer.data(), buffer.size());

    if (size > 0) {
        std::vector<BYTE> small(size - 1 + 2, 0xAA);
        DWORD smallSize = size - 1;
        type = 0xDEAD;
        rc = RegQueryValueExA(key, sample.name, nullptr, &type, small.data(), &smallSize);
        Line(step + ".short").rc(rc).num("type", type).num("size", smallSize).bytes("buffer", small.data(),
                                                                                      small.size());
    }
}

void Types()
{
    HKEY t = Fresh("Types");
    using namespace std::string_literals;
    const Sample samples[] = {
        {"sz", REG_SZ, "hello\0"s},
        {"sz-noterm", REG_SZ, "abc"s},
        {"sz-empty", REG_SZ, ""s},
        {"sz-nul", REG_SZ, "\0"s},
        {"sz-embedded", REG_SZ, "abc\0def\0"s},
        {"sz-odd-controls", REG_SZ, "tab\there\r\nbell\a\x1b\0"s},
        {"expand", REG_EXPAND_SZ, "%PATH%;x\0"s},
        {"expand-noterm", REG_EXPAND_SZ, "%TEMP%"s},
        {"multi", REG_MULTI_SZ, "one\0two\0\0"s},
        {"multi-noterm", REG_MULTI_SZ, "one\0two"s},
        {"multi-empty", REG_MULTI_SZ, "\0"s},
        {"dword", REG_DWORD, "\x78\x56\x34\x12"s},
        {"dword-short", REG_DWORD, "\x01\x02"s},
        {"dword-long", REG_DWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s},
        {"dword-empty", REG_DWORD, ""s},
        {"dword-be", REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78"s},
        {"qword", REG_QWORD, "\x88\x77\x66\x55\x44\x33\x22\x11"s},
        {"binary", REG_BINARY, "\x00\x01\xfe\xff\x7f"s},
        {"binary-empty", REG_BINARY, ""s},
        {"none", REG_NONE, "\x01\x02\x03"s},
        {"none-empty", REG_NONE, ""s},
        {"link", REG_LINK, "\x5c\x00\x41\x00"s},
        {"resource-list", REG_RESOURCE_LIST, "\x01\x00"s},
        {"unknown", 12345, "\xab\xcd\xef"s},
        {"unknown-high", 0x7FFFFFFF, "\x01"s},
    };
    for (const Sample &sample : samples)
        Line(std::string("type.") + sample.name + ".set").rc(Set(t, sample.name, sample.type, sample.data));
    for (const Sample &sample : samples)
        QueryAllWays(t, sample);

    // String data whose terminator was left out of the count, while the byte
    // after it is zero.
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_EXPAND_SZ), DWORD(REG_MULTI_SZ)}) {
        const std::string name = "uncounted-nul-" + std::to_string(type);
        const char *data = type == REG_MULTI_SZ ? "ab\0cd\0" : "abcd";
        const DWORD count = type == REG_MULTI_SZ ? 5 : 4;
        const LONG rc = RegSetValueExA(t, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(data), count);
        DWORD size = 0;
        DWORD got = 0;
        RegQueryValueExA(t, name.c_str(), nullptr, &got, nullptr, &size);
        Line("type." + name).rc(rc).num("type", got).num("size", size);
    }

    // Binary data of zero length may come from a null pointer.
    Line("type.null-data.set").rc(RegSetValueExA(t, "null-data", 0, REG_BINARY, nullptr, 0));
    Line("type.null-data-sz.set").rc(RegSetValueExA(t, "null-data-sz", 0, REG_SZ, nullptr, 0));
    DWORD size = 0xDEAD;
    DWORD type = 0;
    Line("type.null-data.size").rc(RegQueryValueExA(t, "null-data", nullptr, &type, nullptr, &size)).num("type", type).num("size", size);
    size = 0xDEAD;
    Line("type.null-data-sz.size").rc(RegQueryValueExA(t, "null-data-sz", nullptr, &type, nullptr, &size)).num("type", type).num("size", size);

    // A new type and size replace the old ones under the same name.
    Set(t, "changes", REG_SZ, std::string("text\0", 5));
    Line("type.change.set").rc(Set(t, "changes", REG_DWORD, std::string("\x05\x00\x00\x00", 4)));
    std::string data = ReadData(t, "changes", &type);
    Line("type.change.read").num("type", type).bytes("data", reinterpret_cast<const BYTE *>(data.data()), data.size());

    // The default value: an empty name and a null name are the same value.
    size = 0xDEAD;
    Line("type.default.missing").rc(RegQueryValueExA(t, nullptr, nullptr, &type, nullptr, &size));
    Line("type.default.set-empty-name").rc(SetText(t, "", "by empty name"));
    Line("type.default.read-null-name").text("data", ReadData(t, std::string()));
    Line("type.default.set-null-name").rc(RegSetValueExA(t, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>("by null"), 8));
    size = 0xDEAD;
    LONG rc = RegQueryValueExA(t, nullptr, nullptr, &type, nullptr, &size);
    Line("type.default.size-null-name").rc(rc).num("type", type).num("size", size);
    Line("type.default.read-empty-name").text("data", ReadData(t, ""));

    // The odd ways of calling RegQueryValueExA.
    BYTE buffer[16];
    std::memset(buffer, 0xAA, sizeof buffer);
    size = sizeof buffer;
    Line("type.query.missing").rc(RegQueryValueExA(t, "missing", nullptr, &type, buffer, &size)).bytes("buffer", buffer, 4);
    Line("type.query.missing-no-buffer").rc(RegQueryValueExA(t, "missing", nullptr, nullptr, nullptr, nullptr));
    Line("type.query.exists-nothing-asked").rc(RegQueryValueExA(t, "dword", nullptr, nullptr, nullptr, nullptr));
    size = sizeof buffer;
    Line("type.query.no-type").rc(RegQueryValueExA(t, "dword", nullptr, nullptr, buffer, &size)).num("size", size).bytes("data", buffer, 4);
    type = 0xDEAD;
    Line("type.query.type-only").rc(RegQueryValueExA(t, "qword", nullptr, &type, nullptr, nullptr)).num("type", type);
    Line("type.query.data-without-size").rc(RegQueryValueExA(t, "dword", nullptr, &type, buffer, nullptr));
    DWORD reserved = 0;
    size = sizeof buffer;
    Line("type.query.reserved").rc(RegQueryValueExA(t, "dword", &reserved, &type, buffer, &size));
    size = 0;
    Line("type.query.zero-size-buffer").rc(RegQueryValueExA(t, "dword", nullptr, &type, buffer, &size)).num("size", size);
    size = 0;
    Line("type.query.zero-size-empty-value").rc(RegQueryValueExA(t, "binary-empty", nullptr, &type, buffer, &size)).num("size", size);

    Line("type.enum").field("names", ValueNames(t));
    RegCloseKey(t);
}

// ---------------------------------------------------------------------------
// Enumeration order, RegQueryInfoKeyA, and the enumeration buffers.

void Enumeration()
{
    HKEY e = Fresh("Enum");
    const char *const keys[] = {"beta", "Alpha", "gamma", "_under", "Zulu", "{brace", "~tilde",
                                "[bracket", "0digit", "alpha2", "a b", "a-b", "ab"};
    for (const char *key : keys)
        RegCloseKey(Create(e, key));
    Line("enum.keys").field("names", KeyNames(e));

    const char *const values[] = {"zeta", "Alpha", "_u", "beta", "[b", "", "a-b", "ab", "a b"};
    for (const char *value : values)
        SetText(e, value, value);
    Line("enum.values").field("names", ValueNames(e));

    char name[64];
    DWORD length = sizeof name;
    Line("enum.keys.past-end").rc(RegEnumKeyExA(e, 13, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = sizeof name;
    Line("enum.keys.far-past-end").rc(RegEnumKeyExA(e, 100000, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = sizeof name;
    Line("enum.values.past-end").rc(RegEnumValueA(e, 9, name, &length, nullptr, nullptr, nullptr, nullptr));

    DWORD subkeys = 0, maxSubkey = 0, maxClass = 0, valueCount = 0, maxValueName = 0, maxValue = 0, security = 0;
    FILETIME written{};
    char className[32] = "unchanged";
    DWORD classLength = sizeof className;
    LONG rc = RegQueryInfoKeyA(e, className, &classLength, nullptr, &subkeys, &maxSubkey, &maxClass, &valueCount,
                               &maxValueName, &maxValue, &security, &written);
    Line("enum.info")
        .rc(rc)
        .num("class-length", classLength)
        .text("class", std::string(className, classLength))
        .num("subkeys", subkeys)
        .num("max-subkey", maxSubkey)
        .num("max-class", maxClass)
        .num("values", valueCount)
        .num("max-value-name", maxValueName)
        .flag("time", written.dwLowDateTime != 0 || written.dwHighDateTime != 0);
    // Wine counts the longest text data in UTF-16 bytes; it gets a line of its own.
    Line("enum.info.max-text-data").num("max-value", maxValue);

    // A key with binary values only, and one with a class.
    HKEY b = nullptr;
    DWORD disposition = 0;
    char cls[] = "VantorClass";
    rc = RegCreateKeyExA(e, "zz-class", 0, cls, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &b, &disposition);
    Line("enum.class.create").rc(rc).num("disposition", disposition);
    Set(b, "bin", REG_BINARY, std::string(37, 'x'));
    Set(b, "dw", REG_DWORD, std::string(4, '\1'));
    classLength = sizeof className;
    rc = RegQueryInfoKeyA(b, className, &classLength, nullptr, &subkeys, &maxSubkey, &maxClass, &valueCount,
                          &maxValueName, &maxValue, nullptr, nullptr);
    Line("enum.class.info")
        .rc(rc)
        .num("class-length", classLength)
        .text("class", std::string(className, classLength))
        .num("max-class", maxClass)
        .num("values", valueCount)
        .num("max-value-name", maxValueName)
        .num("max-value", maxValue);
    classLength = 5;
    std::memset(className, 'Z', sizeof className);
    rc = RegQueryInfoKeyA(b, className, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr);
    Line("enum.class.info-short").rc(rc).num("class-length", classLength);
    RegCloseKey(b);

    // The class, as RegEnumKeyExA gives it for the key's entry.
    for (DWORD index = 0;; ++index) {
        length = sizeof name;
        classLength = sizeof className;
        written = FILETIME{};
        rc = RegEnumKeyExA(e, index, name, &length, nullptr, className, &classLength, &written);
        if (rc != ERROR_SUCCESS || std::string(name, length) == "zz-class")
            break;
    }
    Line("enum.class.enum")
        .rc(rc)
        .text("name", std::string(name, length))
        .text("class", std::string(className, classLength))
        .flag("time", written.dwLowDateTime != 0 || written.dwHighDateTime != 0);

    // Name buffers: exact fit, one short, empty.
    HKEY s = Fresh("EnumBuffers");
    RegCloseKey(Create(s, "k12345"));
    Set(s, "v123", REG_BINARY, std::string(10, '\x55'));
    for (DWORD capacity : {7u, 6u, 1u, 0u}) {
        std::memset(name, 'Z', sizeof name);
        length = capacity;
        rc = RegEnumKeyExA(s, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        // What a too small buffer holds afterwards is not defined.
        Line line("enum.keybuf." + std::to_string(capacity));
        line.rc(rc).num("length", length);
        if (rc == ERROR_SUCCESS)
            line.text("buffer", std::string(name, 7));
    }
    for (DWORD capacity : {5u, 4u, 1u, 0u}) {
        std::memset(name, 'Z', sizeof name);
        length = capacity;
        rc = RegEnumValueA(s, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        Line line("enum.valuebuf." + std::to_string(capacity));
        line.rc(rc).num("length", length);
        if (rc == ERROR_SUCCESS)
            line.text("buffer", std::string(name, 5));
    }
    // Data buffers of RegEnumValueA.
    BYTE data[16];
    for (DWORD capacity : {16u, 10u, 9u}) {
        std::memset(data, 0xAA, sizeof data);
        length = sizeof name;
        DWORD size = capacity;
        DWORD type = 0;
        rc = RegEnumValueA(s, 0, name, &length, nullptr, &type, data, &size);
        Line("enum.databuf." + std::to_string(capacity))
            .rc(rc)
            .num("type", type)
            .num("size", size)
            .bytes("data", data, sizeof data);
    }
    length = sizeof name;
    DWORD size = 0;
    rc = RegEnumValueA(s, 0, name, &length, nullptr, nullptr, nullptr, &size);
    Line("enum.databuf.size-only").rc(rc).num("size", size);
    rc = RegEnumValueA(s, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr);
    Line("enum.valuebuf.null-length").rc(rc);

    // Text data through RegEnumValueA; "text" sorts first.
    SetText(s, "text", "hello");
    length = sizeof name;
    size = 3;
    std::memset(data, 0xAA, sizeof data);
    rc = RegEnumValueA(s, 0, name, &length, nullptr, nullptr, data, &size);
    Line("enum.databuf.text-short").rc(rc).num("size", size).bytes("data", data, 8);
    length = sizeof name;
    size = sizeof data;
    std::memset(data, 0xAA, sizeof data);
    rc = RegEnumValueA(s, 0, name, &length, nullptr, nullptr, data, &size);
    Line("enum.databuf.text").rc(rc).num("size", size).bytes("data", data, 8);

    // Indices move when a key goes.
    RegDeleteKeyA(e, "Alpha");
    length = sizeof name;
    rc = RegEnumKeyExA(e, 1, name, &length, nullptr, nullptr, nullptr, nullptr);
    Line("enum.after-delete").rc(rc).text("name", std::string(name, length));

    RegCloseKey(s);
    RegCloseKey(e);
}

// ---------------------------------------------------------------------------
// Case: insensitive and preserving, for ASCII and Cyrillic names.

void Case()
{
    HKEY c = Fresh("Case");
    DWORD disposition = 0;
    HKEY h = nullptr;
    LONG rc = RegCreateKeyExA(c, "CaseKey", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disposition);
    Line("case.create").rc(rc).num("disposition", disposition);
    RegCloseKey(h);
    rc = RegCreateKeyExA(c, "CASEKEY", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disposition);
    Line("case.create-other-case").rc(rc).num("disposition", disposition);
    RegCloseKey(h);
    rc = RegOpenKeyExA(c, "casekey", 0, KEY_ALL_ACCESS, &h);
    Line("case.open-lower").rc(rc);
    Line("case.keys").field("names", KeyNames(c));

    SetText(h, "Val", "first");
    Line("case.value-other-case").rc(SetText(h, "VAL", "second"));
    Line("case.values").field("names", ValueNames(h)).text("data", ReadData(h, "vAL"));
    Line("case.delete-value-other-case").rc(RegDeleteValueA(h, "val")).field("left", ValueNames(h));
    RegCloseKey(h);
    Line("case.delete-key-other-case").rc(RegDeleteKeyA(c, "cASEkEY")).field("left", KeyNames(c));

    // Cyrillic and Ukrainian letters, passed in the active code page.
    const std::string key = Local(u"Ключ ґанок");
    const std::string keyUpper = Local(u"КЛЮЧ ҐАНОК");
    const std::string value = Local(u"Значення їжака");
    const std::string valueUpper = Local(u"ЗНАЧЕННЯ ЇЖАКА");
    const std::string text = Local(u"Привіт, світе! Єнот і ґава");

    rc = RegCreateKeyExA(c, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disposition);
    Line("case.cyrillic.create").rc(rc).num("disposition", disposition);
    RegCloseKey(h);
    rc = RegCreateKeyExA(c, keyUpper.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disposition);
    Line("case.cyrillic.create-upper").rc(rc).num("disposition", disposition);
    Line("case.cyrillic.keys").field("names", KeyNames(c));

    Line("case.cyrillic.set").rc(SetText(h, value, text));
    DWORD size = 0, type = 0;
    rc = RegQueryValueExA(h, valueUpper.c_str(), nullptr, &type, nullptr, &size);
    // Sizes are bytes of the active code page; print them against the
    // length of the same text in that code page.
    Line("case.cyrillic.size").rc(rc).num("type", type).field("size", "local+" + std::to_string(long(size) - long(text.size())));
    Line("case.cyrillic.read").text("data", ReadData(h, valueUpper));
    Line("case.cyrillic.values").field("names", ValueNames(h));

    char name[64];
    DWORD length = static_cast<DWORD>(value.size() + 1);
    rc = RegEnumValueA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    Line("case.cyrillic.enum-exact").rc(rc).field("length", "local+" + std::to_string(long(length) - long(value.size())));
    length = static_cast<DWORD>(value.size());
    rc = RegEnumValueA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    Line("case.cyrillic.enum-short").rc(rc);

    DWORD maxValueName = 0, maxSubkey = 0;
    RegQueryInfoKeyA(c, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxValueName, nullptr, nullptr,
                     nullptr);
    Line("case.cyrillic.info").num("max-subkey", maxSubkey).num("max-value-name", maxValueName);
    Line("case.cyrillic.delete-value").rc(RegDeleteValueA(h, valueUpper.c_str()));
    RegCloseKey(h);
    Line("case.cyrillic.delete-key").rc(RegDeleteKeyA(c, keyUpper.c_str())).field("left", KeyNames(c));

    // Latin letters that only differ in case under Unicode rules.
    const std::string mixed = Local(u"Ёлка");
    const std::string mixedLower = Local(u"ёЛКА");
    RegCloseKey(Create(c, mixed));
    rc = RegOpenKeyExA(c, mixedLower.c_str(), 0, KEY_READ, &h);
    Line("case.cyrillic.yo").rc(rc);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(h);
    RegCloseKey(c);
}

// ---------------------------------------------------------------------------
// Deletes, and handles to deleted keys.

void CheckDeletedHandle(const std::string &step, HKEY h)
{
    BYTE data[8];
    DWORD size = sizeof data;
    DWORD type = 0;
    Line(step + ".query").rc(RegQueryValueExA(h, "v", nullptr, &type, data, &size));
    Line(step + ".set").rc(SetText(h, "v", "again"));
    char name[32];
    DWORD length = sizeof name;
    Line(step + ".enum-key").rc(RegEnumKeyExA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = sizeof name;
    Line(step + ".enum-value").rc(RegEnumValueA(h, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    Line(step + ".info").rc(RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr, nullptr, nullptr));
    HKEY sub = nullptr;
    Line(step + ".create-sub").rc(RegCreateKeyExA(h, "sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
    Line(step + ".open-sub").rc(RegOpenKeyExA(h, "sub", 0, KEY_READ, &sub));
    Line(step + ".open-self").rc(RegOpenKeyExA(h, "", 0, KEY_READ, &sub));
    Line(step + ".delete-value").rc(RegDeleteValueA(h, "v"));
    Line(step + ".delete-self").rc(RegDeleteKeyA(h, ""));
    Line(step + ".flush").rc(RegFlushKey(h));
}

void Deletes()
{
    HKEY d = Fresh("Delete");
    RegCloseKey(Create(d, "Parent\\Child"));
    Line("delete.with-subkeys").rc(RegDeleteKeyA(d, "Parent"));
    Line("delete.child-by-path").rc(RegDeleteKeyA(d, "Parent\\Child"));
    Line("delete.parent").rc(RegDeleteKeyA(d, "Parent"));
    Line("delete.again").rc(RegDeleteKeyA(d, "parent"));
    Line("delete.missing").rc(RegDeleteKeyA(d, "Missing"));
    Line("delete.missing-parent").rc(RegDeleteKeyA(d, "Missing\\Deeper"));
    Line("delete.leading-backslash").rc(RegDeleteKeyA(d, "\\Lead"));
    RegCloseKey(Create(d, "Trail"));
    Line("delete.trailing-backslash").rc(RegDeleteKeyA(d, "Trail\\"));
    Line("delete.left").field("names", KeyNames(d));

    SetText(d, "value", "x");
    SetText(d, "", "default");
    Line("delete.value.missing").rc(RegDeleteValueA(d, "missing"));
    Line("delete.value.other-case").rc(RegDeleteValueA(d, "VALUE"));
    DWORD size = 0;
    Line("delete.value.gone").rc(RegQueryValueExA(d, "value", nullptr, nullptr, nullptr, &size));
    Line("delete.value.again").rc(RegDeleteValueA(d, "value"));
    Line("delete.value.default").rc(RegDeleteValueA(d, ""));
    Line("delete.value.default-null").rc(RegDeleteValueA(d, nullptr));
    Line("delete.value.left").field("names", ValueNames(d));

    // One handle deletes its own key; a second handle to it and the first one
    // both answer that the key is gone.
    HKEY first = Create(d, "Doomed");
    SetText(first, "v", "1");
    HKEY second = nullptr;
    RegOpenKeyExA(d, "Doomed", 0, KEY_ALL_ACCESS, &second);
    Line("delete.self").rc(RegDeleteKeyA(first, ""));
    CheckDeletedHandle("delete.self.own", first);
    CheckDeletedHandle("delete.self.other", second);
    HKEY reborn = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(d, "Doomed", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &reborn, &disposition);
    Line("delete.self.recreate").rc(rc).num("disposition", disposition).text("v", ReadData(reborn, "v"));
    size = 0;
    Line("delete.self.old-after-recreate").rc(RegQueryValueExA(second, "v", nullptr, nullptr, nullptr, &size));
    Line("delete.self.close-own").rc(RegCloseKey(first));
    Line("delete.self.close-other").rc(RegCloseKey(second));
    RegCloseKey(reborn);

    // Deleted through its parent while a handle is open.
    HKEY open = Create(d, "Doomed2");
    Line("delete.by-parent").rc(RegDeleteKeyA(d, "Doomed2"));
    size = 0;
    Line("delete.by-parent.query").rc(RegQueryValueExA(open, "v", nullptr, nullptr, nullptr, &size));
    RegCloseKey(open);

    // A deleted key's parent goes too; a handle to the child answers alike.
    HKEY child = Create(d, "Outer\\Inner");
    RegDeleteKeyA(d, "Outer\\Inner");
    Line("delete.outer-after-inner").rc(RegDeleteKeyA(d, "Outer"));
    Line("delete.inner-handle").rc(SetText(child, "v", "x"));
    RegCloseKey(child);

    // Access masks.
    RegCloseKey(Create(d, "Guarded\\Sub"));
    SetText(d, "guarded-value", "x");
    HKEY reader = nullptr;
    rc = RegOpenKeyExA(d, "", 0, KEY_READ, &reader);
    Line("access.read.open").rc(rc);
    Line("access.read.query").rc(RegQueryValueExA(reader, "guarded-value", nullptr, nullptr, nullptr, &size));
    Line("access.read.set").rc(SetText(reader, "new", "x"));
    HKEY sub = nullptr;
    Line("access.read.create").rc(RegCreateKeyExA(reader, "NewSub", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    Line("access.read.create-existing").rc(RegCreateKeyExA(reader, "Guarded", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr));
    if (sub)
        RegCloseKey(sub);
    Line("access.read.delete-value").rc(RegDeleteValueA(reader, "guarded-value"));
    Line("access.read.delete-subkey").rc(RegDeleteKeyA(reader, "Guarded\\Sub"));
    RegCloseKey(reader);

    HKEY writer = nullptr;
    rc = RegOpenKeyExA(d, "", 0, KEY_SET_VALUE, &writer);
    Line("access.write.open").rc(rc);
    size = 0;
    Line("access.write.query").rc(RegQueryValueExA(writer, "guarded-value", nullptr, nullptr, nullptr, &size));
    Line("access.write.set").rc(SetText(writer, "new", "x"));
    char name[32];
    DWORD length = sizeof name;
    Line("access.write.enum").rc(RegEnumKeyExA(writer, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(writer);

    // Closing.
    HKEY once = nullptr;
    RegOpenKeyExA(d, "", 0, KEY_READ, &once);
    Line("close.once").rc(RegCloseKey(once));
    Line("close.twice").rc(RegCloseKey(once));
    Line("close.null").rc(RegCloseKey(nullptr));

    // A null handle.
    HKEY h = nullptr;
    Line("null-handle.open").rc(RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &h));
    Line("null-handle.create").rc(RegCreateKeyExA(nullptr, "Software", 0, nullptr, 0, KEY_READ, nullptr, &h, nullptr));
    size = 0;
    Line("null-handle.query").rc(RegQueryValueExA(nullptr, "v", nullptr, nullptr, nullptr, &size));
    Line("null-handle.set").rc(SetText(nullptr, "v", "x"));
    Line("null-handle.flush").rc(RegFlushKey(nullptr));
    Line("null-handle.delete").rc(RegDeleteKeyA(nullptr, "x"));

    // Null names where the API asks for one.
    Line("null-name.delete-key").rc(RegDeleteKeyA(d, nullptr));

    RegCloseKey(d);
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    DeleteKeyTree(HKEY_CURRENT_USER, kBase);
    Roots();
    Paths();
    Limits();
    Types();
    Enumeration();
    Case();
    Deletes();
    DeleteKeyTree(HKEY_CURRENT_USER, kBase);
    std::printf("end\n");
    return 0;
}
