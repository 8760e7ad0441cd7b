// vantor-reg: prints keys and values of a Wine prefix's registry the way
// `wine reg query` prints them, without starting Wine. It reads the prefix's
// registry files through our registry engine and never writes them; while a
// Wine server runs for the prefix, it asks that server instead.
//
//   vantor-reg [--prefix DIR] query KEY [/v NAME | /ve] [/s]
//
// The prefix is DIR, else $WINEPREFIX, else ~/.wine. Output is UTF-8 with Unix
// line ends; failures go to stderr, with the exit status 1.
#include <vantor_registry.h>
#include <winreg.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>
#include "Utf.h"

namespace {

const char *const kProgram = "vantor-reg";

int Fail(const std::string &message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return 1;
}

bool SameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

struct RootName {
    const char *shortName;
    const char *longName;
    HKEY key;
};

const RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

struct Query {
    HKEY root = nullptr;
    std::string path;      // below the root, as typed
    std::string shownPath; // the root's long name and the path
    std::optional<std::string> value;
    bool recurse = false;
};

// ---------------------------------------------------------------------------
// Values as text.

// UTF-8 to UTF-16 and back, for the one rule that counts UTF-16 units.
std::u16string Utf16(const std::string &text) { return utf::ToUtf16(text); }

std::string Utf8(const std::u16string &text) { return utf::ToUtf8(text); }

std::string TypeName(DWORD type)
{
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_RESOURCE_LIST: return "REG_RESOURCE_LIST";
    case REG_FULL_RESOURCE_DESCRIPTOR: return "REG_FULL_RESOURCE_DESCRIPTOR";
    case REG_RESOURCE_REQUIREMENTS_LIST: return "REG_RESOURCE_REQUIREMENTS_LIST";
    case REG_QWORD: return "REG_QWORD";
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(type));
    return buf;
}

std::string HexBytes(const std::string &data)
{
    std::string out;
    for (unsigned char b : data) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

unsigned long long LittleEndian(const std::string &data, size_t width)
{
    unsigned long long number = 0;
    for (size_t i = 0; i < width && i < data.size(); ++i)
        number |= static_cast<unsigned long long>(static_cast<unsigned char>(data[i])) << (8 * i);
    return number;
}

std::string DataText(DWORD type, const std::string &data)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return data.substr(0, data.find('\0'));
    case REG_MULTI_SZ: {
        // The strings, each inner terminator shown as \0, without the two
        // final terminators.
        std::u16string units = Utf16(data);
        units.resize(units.size() > 2 ? units.size() - 2 : 0);
        std::string out;
        for (char c : Utf8(units))
            out += c ? std::string(1, c) : std::string("\\0");
        return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%llx", LittleEndian(data, 4));
        return buf;
    }
    case REG_QWORD: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%llx", LittleEndian(data, 8));
        return buf;
    }
    default:
        return HexBytes(data);
    }
}

void PrintValue(const std::string &name, DWORD type, const std::string &data)
{
    std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), TypeName(type).c_str(),
                DataText(type, data).c_str());
}

// ---------------------------------------------------------------------------
// Walking the registry.

// A read that failed for another reason than a missing key or value (a
// running Wine server that could not be reached, for one); the output is then
// incomplete, and the exit status says so.
LONG g_readFailure = ERROR_SUCCESS;

LONG Noted(LONG rc)
{
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND && rc != ERROR_NO_MORE_ITEMS && rc != ERROR_MORE_DATA)
        g_readFailure = rc;
    return rc;
}

bool ReadValue(HKEY key, const std::string &name, DWORD &type, std::string &data)
{
    DWORD size = 0;
    if (Noted(RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size)) != ERROR_SUCCESS)
        return false;
    for (;;) {
        data.assign(size, '\0');
        DWORD got = size;
        const LONG rc = Noted(RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                               reinterpret_cast<BYTE *>(data.data()), &got));
        if (rc == ERROR_MORE_DATA) {
            size = got > size ? got : size * 2 + 16;
            continue;
        }
        if (rc != ERROR_SUCCESS)
            return false;
        data.resize(got);
        return true;
    }
}

std::vector<std::string> SubkeyNames(HKEY key)
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD length = sizeof name;
        if (Noted(RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr)) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

std::vector<Value> Values(HKEY key)
{
    std::vector<Value> values;
    std::vector<char> name(1024);
    std::string data(4096, '\0');
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG rc = Noted(RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE *>(data.data()), &size));
        if (rc == ERROR_MORE_DATA) {
            // Either buffer may be the short one; grow both.
            name.resize(name.size() * 2);
            data.resize(size > data.size() ? size : data.size() * 2);
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        values.push_back({std::string(name.data(), nameLength), type, data.substr(0, size)});
        ++index;
    }
    return values;
}

HKEY OpenForReading(HKEY parent, const std::string &path)
{
    HKEY key = nullptr;
    return Noted(RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key)) == ERROR_SUCCESS ? key : nullptr;
}

// Every value of a key, then its subkeys: their paths, or with recursion
// their contents in turn.
void ShowKey(HKEY key, const std::string &shownPath, bool recurse, bool nested)
{
    const std::vector<Value> values = Values(key);
    if (!values.empty() || nested)
        std::printf("%s\n", shownPath.c_str());
    for (const Value &value : values)
        PrintValue(value.name, value.type, value.data);
    if (!values.empty() || nested)
        std::printf("\n");

    for (const std::string &name : SubkeyNames(key)) {
        const std::string subPath = shownPath + "\\" + name;
        if (!recurse) {
            std::printf("%s\n", subPath.c_str());
            continue;
        }
        if (HKEY sub = OpenForReading(key, name)) {
            ShowKey(sub, subPath, true, true);
            RegCloseKey(sub);
        }
    }
}

// One value of a key, and with recursion of every key below it.
unsigned ShowValue(HKEY key, const std::string &shownPath, const std::string &name, bool recurse)
{
    unsigned found = 0;
    DWORD type = 0;
    std::string data;
    if (ReadValue(key, name, type, data)) {
        std::printf("%s\n", shownPath.c_str());
        PrintValue(name, type, data);
        std::printf("\n");
        ++found;
    }
    if (!recurse)
        return found;
    for (const std::string &sub : SubkeyNames(key)) {
        if (HKEY child = OpenForReading(key, sub)) {
            found += ShowValue(child, shownPath + "\\" + sub, name, true);
            RegCloseKey(child);
        }
    }
    return found;
}

int RunQuery(const Query &query)
{
    HKEY key = OpenForReading(query.root, query.path);
    if (!key && g_readFailure != ERROR_SUCCESS)
        return Fail("cannot read the registry (error " + std::to_string(g_readFailure) + ")");
    if (!key)
        return Fail("Unable to find the specified registry key");
    std::printf("\n");

    int status = 0;
    if (!query.value) {
        ShowKey(key, query.shownPath, query.recurse, false);
    } else if (query.recurse) {
        const unsigned found = ShowValue(key, query.shownPath, *query.value, true);
        std::printf("Search complete. Number of matches found: %u\n", found);
    } else if (ShowValue(key, query.shownPath, *query.value, false) == 0) {
        if (query.value->empty()) {
            std::printf("%s\n", query.shownPath.c_str());
            std::printf("    (Default)    REG_SZ    (value not set)\n");
        } else {
            status = Fail("Unable to find the specified registry value");
        }
    }
    RegCloseKey(key);
    return status;
}

// ---------------------------------------------------------------------------
// The command line.

int Usage()
{
    std::fprintf(stderr,
                 "usage: %s [--prefix DIR] query KEY [/v NAME | /ve] [/s]\n"
                 "  KEY is ROOT[\\PATH], ROOT one of HKLM, HKCU, HKCR, HKU, HKCC or their long names.\n"
                 "  The prefix is DIR, else $WINEPREFIX, else ~/.wine.\n",
                 kProgram);
    return 1;
}

bool ParseKey(const std::string &typed, Query &query)
{
    const size_t slash = typed.find('\\');
    const std::string root = typed.substr(0, slash);
    for (const RootName &name : kRoots) {
        if (SameLetters(root, name.shortName) || SameLetters(root, name.longName)) {
            query.root = name.key;
            query.shownPath = name.longName;
        }
    }
    if (!query.root)
        return false;
    if (slash != std::string::npos) {
        query.path = typed.substr(slash + 1);
        if (!query.path.empty() && query.path.back() == '\\')
            query.path.pop_back();
        if (!query.path.empty())
            query.shownPath += "\\" + query.path;
    }
    return true;
}

bool IsSwitch(const std::string &arg, std::string_view name)
{
    return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
           SameLetters(std::string_view(arg).substr(1), name);
}

std::string DefaultPrefix()
{
    if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string prefix;
    size_t at = 0;
    if (at < args.size() && (args[at] == "--help" || args[at] == "-h"))
        return Usage(), 0;
    if (at + 1 < args.size() && args[at] == "--prefix") {
        prefix = args[at + 1];
        at += 2;
    }
    if (at + 1 >= args.size() || !SameLetters(args[at], "query"))
        return Usage();

    Query query;
    if (!ParseKey(args[at + 1], query))
        return Fail("Invalid system key");
    for (size_t i = at + 2; i < args.size(); ++i) {
        if (IsSwitch(args[i], "v") && i + 1 < args.size() && !query.value) {
            query.value = args[++i];
        } else if (IsSwitch(args[i], "ve") && !query.value) {
            query.value = std::string();
        } else if (IsSwitch(args[i], "s") && !query.recurse) {
            query.recurse = true;
        } else if (IsSwitch(args[i], "reg:64") || IsSwitch(args[i], "reg:32")) {
            // One view of the registry here.
        } else {
            return Fail("Invalid syntax. Type \"" + std::string(kProgram) + " --help\" for help.");
        }
    }

    if (prefix.empty())
        prefix = DefaultPrefix();
    struct stat info{};
    if (stat((prefix + "/system.reg").c_str(), &info) != 0)
        return Fail("no Wine prefix at " + prefix + " (no system.reg there)");
    if (VtrRegReset(prefix.c_str()) != ERROR_SUCCESS)
        return Fail("cannot read the registry of " + prefix);

    int status = RunQuery(query);
    std::fflush(stdout);
    if (status == 0 && g_readFailure != ERROR_SUCCESS)
        status = Fail("the registry could not be read completely (error " + std::to_string(g_readFailure) + ")");
    return status;
}
