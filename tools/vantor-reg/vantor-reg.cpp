// vantor-reg: Wine's `reg` for a Wine prefix, without starting Wine. It reads
// and writes the prefix's registry files through our registry engine (which
// asks the prefix's Wine server instead while one runs) and answers as
// `wine reg` does: the same operations, the same output on standard output and
// the same exit statuses. A read that fails for another reason than a missing
// key or value ends the command with status 1. See vantor-reg --help.
#include <vantor_registry.h>
#include <winreg.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "OwnedKey.h"
#include "RegFile.h"
#include "textconv.h"
#include "files/safe_file.h"

namespace {

// ---------------------------------------------------------------------------
// Output: collected and written in one go, as a long listing is the common case.

std::string g_out;

void Flush()
{
    if (!g_out.empty() && std::fwrite(g_out.data(), 1, g_out.size(), stdout) != g_out.size())
        std::exit(1);
    g_out.clear();
    if (std::fflush(stdout) != 0)
        std::exit(1);
}

void Say(std::string_view line)
{
    g_out += line;
    g_out += '\n';
    if (g_out.size() > (1 << 20))
        Flush();
}

// Prints a message and gives the failure status.
int Fail(std::string_view message)
{
    Say(message);
    return 1;
}

const char kDone[] = "reg: The operation completed successfully";
const char kBadKey[] = "reg: Invalid system key";
const char kNoKey[] = "reg: Unable to find the specified registry key";
const char kNoValue[] = "reg: Unable to find the specified registry value";
const char kCancelled[] = "reg: The registry operation was cancelled";
const char kDenied[] = "reg: Access is denied";
const char kNoAccess[] = "reg: Unable to access or create the specified registry key";

std::string SyntaxError(std::string_view operation)
{
    std::string upper;
    for (char c : operation)
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return "reg: Invalid syntax. Type \"REG " + upper + (upper.empty() ? "" : " ") + "/?\" for help.";
}

std::string Shown(const std::string &name) { return name.empty() ? "(Default)" : name; }

// ---------------------------------------------------------------------------
// Questions, answered on standard input. The end of input is a "No".

enum class Answer { Yes, No, All, EndOfInput };

Answer Ask(const std::string &question, bool offerAll)
{
    const bool terminal = isatty(STDIN_FILENO);
    for (;;) {
        g_out += question + (offerAll ? " (Yes|No|All)" : " (Yes|No)");
        if (!terminal)
            g_out += '\n';
        Flush();
        char line[256];
        if (!std::fgets(line, sizeof line, stdin))
            return Answer::EndOfInput;
        const char c = static_cast<char>(line[0] | 0x20);
        if (c == 'y')
            return Answer::Yes;
        if (c == 'n')
            return Answer::No;
        if (c == 'a' && offerAll)
            return Answer::All;
    }
}

// The status a refused question ends with.
int Refused(Answer answer)
{
    Say(kCancelled);
    return answer == Answer::EndOfInput ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The command line.

bool IsSwitch(const std::string &arg, std::string_view name)
{
    return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
           regfile::SameLetters(std::string_view(arg).substr(1), name);
}

struct KeyName {
    HKEY root = nullptr;
    std::string path;  // below the root
    std::string shown; // the root's long name and the path
};

std::optional<KeyName> ParseKey(const std::string &typed)
{
    KeyName key;
    const regfile::Root *root = regfile::SplitKeyName(typed, key.path);
    // A root followed by a lone backslash names nothing.
    if (!root || (key.path.empty() && typed.find('\\') != std::string::npos))
        return std::nullopt;
    key.root = root->key;
    key.shown = root->longName + (key.path.empty() ? "" : "\\" + key.path);
    return key;
}

// The switches of one operation: each given at most once.
class Switches {
public:
    Switches(const std::vector<std::string> &args, size_t from) : args_(args), at_(from) {}

    bool Parse(std::initializer_list<std::string_view> flags, std::initializer_list<std::string_view> withValue)
    {
        for (; at_ < args_.size(); ++at_) {
            const std::string &arg = args_[at_];
            if (IsSwitch(arg, "reg:32") || IsSwitch(arg, "reg:64"))
                continue; // one view of the registry here
            bool known = false;
            for (std::string_view flag : flags)
                if (IsSwitch(arg, flag))
                    known = Take(flag, std::nullopt);
            for (std::string_view name : withValue)
                if (IsSwitch(arg, name))
                    known = at_ + 1 < args_.size() && Take(name, args_[++at_]);
            if (!known)
                return false;
        }
        return true;
    }

    bool Has(std::string_view name) const { return Find(name) != nullptr; }
    std::optional<std::string> Value(std::string_view name) const
    {
        const Entry *entry = Find(name);
        return entry ? entry->value : std::nullopt;
    }

private:
    struct Entry {
        std::string name;
        std::optional<std::string> value;
    };

    bool Take(std::string_view name, std::optional<std::string> value)
    {
        if (Has(name))
            return false;
        entries_.push_back({std::string(name), std::move(value)});
        return true;
    }

    const Entry *Find(std::string_view name) const
    {
        for (const Entry &entry : entries_)
            if (entry.name == name)
                return &entry;
        return nullptr;
    }

    const std::vector<std::string> &args_;
    size_t at_;
    std::vector<Entry> entries_;
};

// /v NAME or /ve: the value's name, or nothing when neither was given.
bool ValueChoice(const Switches &switches, std::optional<std::string> &name)
{
    if (switches.Has("v") && switches.Has("ve"))
        return false;
    if (switches.Has("ve"))
        name = std::string();
    else
        name = switches.Value("v");
    return true;
}

// ---------------------------------------------------------------------------
// Registry access.

// A failure that is not the answer "there is no such key or value": the
// command cannot give a complete answer.
LSTATUS Checked(LSTATUS status, const std::string &what)
{
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA)
        throw regfile::Error("cannot read " + what + " (error " + std::to_string(status) + ")");
    return status;
}

// The key, or null when it does not exist, with the status that told so:
// ERROR_FILE_NOT_FOUND, or ERROR_BAD_PATHNAME for a name that no key can have
// (a path that starts with a backslash, as HKCU\\Software gives). Any other
// failure throws.
HKEY Open(const KeyName &key, REGSAM access, LSTATUS &status)
{
    HKEY handle = nullptr;
    status = RegOpenKeyExA(key.root, key.path.c_str(), 0, access, &handle);
    if (status == ERROR_BAD_PATHNAME)
        return nullptr;
    return Checked(status, key.shown) == ERROR_SUCCESS ? handle : nullptr;
}

HKEY Open(const KeyName &key, REGSAM access)
{
    LSTATUS status = ERROR_SUCCESS;
    return Open(key, access, status);
}

// What Wine's reg says when a change cannot open its key: a name that no key
// can have is not "not found" there.
const char *Unopened(LSTATUS status) { return status == ERROR_BAD_PATHNAME ? kNoAccess : kNoKey; }

// Values are read and written with the W functions, which move their bytes
// as they are; names are WTF-8, as regfile gives them.
std::u16string Wide(const std::string &name) { return textconv::fromWtf8(name); }

bool ValueExists(HKEY key, const std::string &name)
{
    return Checked(RegQueryValueExW(key, Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr),
                   "the value " + name) == ERROR_SUCCESS;
}

std::optional<regfile::Value> ReadValue(HKEY key, const std::string &name)
{
    const std::u16string wide = Wide(name);
    regfile::Value value{name, REG_NONE, {}};
    DWORD size = 0;
    if (Checked(RegQueryValueExW(key, wide.c_str(), nullptr, &value.type, nullptr, &size), "the value " + name) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.data.assign(size, '\0');
    if (Checked(RegQueryValueExW(key, wide.c_str(), nullptr, &value.type,
                                 reinterpret_cast<BYTE *>(value.data.data()), &size),
                "the value " + name) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

LSTATUS WriteValue(HKEY key, const regfile::Value &value)
{
    return RegSetValueExW(key, Wide(value.name).c_str(), 0, value.type,
                          reinterpret_cast<const BYTE *>(value.data.data()), static_cast<DWORD>(value.data.size()));
}

// Pending changes reach the files; a save that fails is the command's failure.
int Saved(int status)
{
    if (VtrRegFlushAll() != ERROR_SUCCESS) {
        Flush();
        std::fprintf(stderr, "vantor-reg: the registry files could not be saved\n");
        return 1;
    }
    return status;
}

// The change is made: it reaches the files, and the success is told.
int Done()
{
    const int status = Saved(0);
    if (status == 0)
        Say(kDone);
    return status;
}

// ---------------------------------------------------------------------------
// Values as `reg query` shows them.

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

unsigned long long LittleEndian(const std::string &data, size_t width)
{
    unsigned long long number = 0;
    for (size_t i = 0; i < width && i < data.size(); ++i)
        number |= static_cast<unsigned long long>(static_cast<unsigned char>(data[i])) << (8 * i);
    return number;
}

// Strings are stored in UTF-16 and shown in UTF-8.
std::string TextOf(const std::string &data)
{
    std::string text;
    textconv::appendUtf8FromBytes(data, text);
    return text;
}

std::string DataText(const regfile::Value &value, std::string_view separator)
{
    const std::string &data = value.data;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const std::string text = TextOf(data);
        return text.substr(0, text.find('\0'));
    }
    case REG_MULTI_SZ: {
        // The strings, each inner terminator shown as the separator.
        const std::string all = TextOf(data);
        std::string_view text(all);
        while (!text.empty() && text.back() == '\0')
            text.remove_suffix(1);
        std::string out;
        for (char c : text) {
            if (c)
                out += c;
            else
                out += separator;
        }
        return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%llx", LittleEndian(data, value.type == REG_QWORD ? 8 : 4));
        return buf;
    }
    default: {
        static const char digits[] = "0123456789ABCDEF";
        std::string out;
        out.reserve(data.size() * 2);
        for (unsigned char b : data) {
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return out;
    }
    }
}

void ShowValue(const regfile::Value &value, std::string_view separator = "\\0")
{
    g_out += "    ";
    g_out += Shown(value.name);
    g_out += "    ";
    g_out += TypeName(value.type);
    g_out += "    ";
    Say(DataText(value, separator));
}

// ---------------------------------------------------------------------------
// query

// What /f, /k, /d, /c, /e, /t and /se ask for.
struct Search {
    std::optional<std::string> pattern;
    bool inKeys = true, inData = true, inNames = true;
    bool caseSensitive = false, exact = false;
    std::vector<DWORD> types;
    std::string separator = "\\0";

    bool Matches(const std::string &text) const
    {
        const std::string &p = *pattern;
        if (p == "*")
            return true;
        if (caseSensitive)
            return exact ? text == p : text.find(p) != std::string::npos;
        if (exact)
            return regfile::SameLetters(text, p);
        auto lower = [](std::string s) {
            for (char &c : s)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            return s;
        };
        return lower(text).find(lower(p)) != std::string::npos;
    }

    bool TypeWanted(DWORD type) const
    {
        if (types.empty())
            return true;
        for (DWORD t : types)
            if (t == type)
                return true;
        return false;
    }

    bool ValueFound(const regfile::Value &value) const
    {
        if (!TypeWanted(value.type))
            return false;
        if (!pattern)
            return true;
        return (inNames && Matches(value.name)) || (inData && Matches(DataText(value, separator)));
    }
};

struct QueryWalk {
    const Search &search;
    std::optional<std::string> valueName;
    bool recurse;
    unsigned found = 0;

    // Every (wanted) value of a key, then its subkeys: their names, or with
    // recursion their contents in turn.
    void Key(HKEY key, const std::string &shown, bool nested)
    {
        std::vector<regfile::Value> values = Values(key);
        const bool keyMatch = search.pattern && search.inKeys && nested && search.Matches(LastName(shown));
        // A plain listing shows every key it goes through; a search or a
        // value asked for by name only the keys where something was found.
        const bool listing = !search.pattern && search.types.empty() && !valueName;
        const bool shown_ = !values.empty() || (nested && listing) || keyMatch;
        if (shown_)
            Say(shown);
        for (const regfile::Value &value : values)
            ShowValue(value, search.separator);
        found += static_cast<unsigned>(values.size()) + (keyMatch ? 1 : 0);
        if (shown_)
            Say("");

        for (const std::string &name : regfile::SubkeyNamesOf(key)) {
            const std::string subShown = shown + "\\" + name;
            if (!recurse) {
                if (!search.pattern || (search.inKeys && search.Matches(name))) {
                    Say(subShown);
                    ++found;
                }
                continue;
            }
            HKEY sub = nullptr;
            if (Checked(RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &sub), subShown) != ERROR_SUCCESS)
                continue; // a link whose target is missing
            OwnedKey closer(sub);
            Key(sub, subShown, true);
        }
    }

    std::vector<regfile::Value> Values(HKEY key) const
    {
        std::vector<regfile::Value> wanted;
        if (valueName) {
            if (std::optional<regfile::Value> value = ReadValue(key, *valueName); value && search.ValueFound(*value))
                wanted.push_back(*value);
            return wanted;
        }
        for (regfile::Value &value : regfile::ValuesOf(key))
            if (search.ValueFound(value))
                wanted.push_back(std::move(value));
        return wanted;
    }

    static std::string LastName(const std::string &shown) { return shown.substr(shown.rfind('\\') + 1); }
};

std::optional<DWORD> TypeCode(const std::string &name);

bool ParseSearch(const Switches &switches, Search &search)
{
    search.pattern = switches.Value("f");
    const bool narrowed = switches.Has("k") || switches.Has("d");
    if (!search.pattern && (narrowed || switches.Has("c") || switches.Has("e")))
        return false;
    if (narrowed) {
        search.inKeys = switches.Has("k");
        search.inData = switches.Has("d");
        search.inNames = false;
    }
    search.caseSensitive = switches.Has("c");
    search.exact = switches.Has("e");
    if (std::optional<std::string> sep = switches.Value("se")) {
        if (sep->size() != 1)
            return false;
        search.separator = *sep;
    }
    if (std::optional<std::string> types = switches.Value("t")) {
        size_t start = 0;
        for (;;) {
            const size_t comma = types->find(',', start);
            std::optional<DWORD> code = TypeCode(types->substr(start, comma - start));
            if (!code)
                return false;
            search.types.push_back(*code);
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    }
    return true;
}

int Query(const std::vector<std::string> &args)
{
    if (args.size() < 2)
        return Fail(SyntaxError("query"));
    Switches switches(args, 2);
    std::optional<std::string> valueName;
    Search search;
    if (!switches.Parse({"ve", "s", "k", "d", "c", "e"}, {"v", "f", "t", "se"}) ||
        !ValueChoice(switches, valueName) || !ParseSearch(switches, search))
        return Fail(SyntaxError("query"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name)
        return Fail(kBadKey);
    OwnedKey key(Open(*name, KEY_READ));
    if (!key)
        return Fail(kNoKey);

    const bool searching = search.pattern || !search.types.empty();
    QueryWalk walk{search, valueName, switches.Has("s")};
    Say("");
    if (!valueName || searching) {
        walk.Key(key.get(), name->shown, false);
        if (searching)
            Say("End of search: " + std::to_string(walk.found) + " match(es) found.");
        return 0;
    }
    if (walk.recurse) {
        walk.Key(key.get(), name->shown, false);
        Say("Search complete. Number of matches found: " + std::to_string(walk.found));
        return 0;
    }
    std::optional<regfile::Value> value = ReadValue(key.get(), *valueName);
    if (!value && !valueName->empty())
        return Fail(kNoValue);
    Say(name->shown);
    if (!value) {
        Say("    (Default)    REG_SZ    (value not set)");
        return 0;
    }
    ShowValue(*value);
    Say("");
    return 0;
}

// ---------------------------------------------------------------------------
// add

std::optional<DWORD> TypeCode(const std::string &name)
{
    static const struct {
        const char *name;
        DWORD code;
    } kTypes[] = {
        {"REG_SZ", REG_SZ},         {"REG_MULTI_SZ", REG_MULTI_SZ},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ}, {"REG_DWORD", REG_DWORD},
        {"REG_QWORD", REG_QWORD},   {"REG_BINARY", REG_BINARY},
        {"REG_NONE", REG_NONE},     {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN},
        {"REG_DWORD_LITTLE_ENDIAN", REG_DWORD},
    };
    for (const auto &type : kTypes)
        if (regfile::SameLetters(name, type.name))
            return type.code;
    return std::nullopt;
}

// A whole number, decimal or 0x hexadecimal (a leading 0 is still decimal),
// within `max`; no data is 0.
bool ParseNumber(const std::string &text, unsigned long long max, unsigned long long &number)
{
    if (text.empty()) {
        number = 0;
        return true;
    }
    if (text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char *end = nullptr;
    number = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    return errno == 0 && *end == '\0' && number <= max;
}

std::string LittleEndianBytes(unsigned long long number, size_t width)
{
    std::string bytes;
    for (size_t i = 0; i < width; ++i)
        bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
    return bytes;
}

// The data of /d as the type stores it, or the message that refuses it.
std::optional<std::string> EncodeData(DWORD type, const std::string &text, const std::string &separator,
                                      std::string &problem)
{
    unsigned long long number = 0;
    switch (type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        const bool wide = type == REG_QWORD;
        if (!ParseNumber(text, wide ? ~0ULL : 0xFFFFFFFFULL, number)) {
            problem = "reg: The option [/d] must be followed by a valid numeric value";
            return std::nullopt;
        }
        return LittleEndianBytes(number, wide ? 8 : 4);
    }
    case REG_BINARY: {
        std::string bytes;
        // An odd count of digits takes the first one alone.
        size_t i = text.size() % 2;
        auto digit = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        for (char c : text)
            if (digit(c) < 0) {
                problem = "reg: The option [/d] must be followed by a valid hexadecimal value";
                return std::nullopt;
            }
        if (i == 1)
            bytes += static_cast<char>(digit(text[0]));
        for (; i + 1 < text.size(); i += 2)
            bytes += static_cast<char>(digit(text[i]) * 16 + digit(text[i + 1]));
        return bytes;
    }
    case REG_MULTI_SZ: {
        std::string data;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find(separator, start);
            const std::string item = text.substr(start, end - start);
            if (item.empty()) {
                problem = "reg: The option [/d] must be followed by a valid string";
                return std::nullopt;
            }
            data += item;
            data += '\0';
            if (end == std::string::npos)
                break;
            start = end + separator.size();
        }
        data += '\0';
        return data;
    }
    case REG_NONE: {
        // Stored as the text in UTF-16, whatever the API's code page.
        return textconv::toBytes(textconv::toUtf16(text)) + std::string(2, '\0');
    }
    default:
        return text + '\0';
    }
}

int Add(const std::vector<std::string> &args)
{
    if (args.size() < 2)
        return Fail(SyntaxError("add"));
    Switches switches(args, 2);
    std::optional<std::string> valueName;
    if (!switches.Parse({"ve", "f"}, {"v", "t", "s", "d"}) || !ValueChoice(switches, valueName))
        return Fail(SyntaxError("add"));
    const std::optional<std::string> separatorText = switches.Value("s");
    if (separatorText && separatorText->size() != 1)
        return Fail(SyntaxError("add"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name)
        return Fail(kBadKey);

    const std::string typeName = switches.Value("t").value_or("REG_SZ");
    const std::optional<DWORD> type = TypeCode(typeName);
    if (!type)
        return Fail("reg: Unsupported registry data type [" + typeName + "]");
    const std::optional<std::string> dataText = switches.Value("d");
    const bool numeric = *type == REG_DWORD || *type == REG_DWORD_BIG_ENDIAN || *type == REG_QWORD;
    if (numeric && !dataText)
        return Fail("reg: Invalid command line parameters");
    std::string problem;
    const std::optional<std::string> data =
        EncodeData(*type, dataText.value_or(""), separatorText.value_or("\\0"), problem);
    if (!data)
        return Fail(problem);

    HKEY created = nullptr;
    const LSTATUS status = RegCreateKeyExA(name->root, name->path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &created, nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(status == ERROR_ACCESS_DENIED ? kDenied : kBadKey);
    OwnedKey key(created);
    // Without /v or /ve the default value is set, as Wine's reg does.
    {
        const std::string value = valueName.value_or("");
        if (!switches.Has("f") && ValueExists(key.get(), value)) {
            const Answer answer = Ask("The registry value '" + Shown(value) + "' already exists. Do you want to "
                                      "overwrite it?", false);
            if (answer != Answer::Yes)
                return Refused(answer);
        }
        if (RegSetValueExA(key.get(), value.c_str(), 0, *type, reinterpret_cast<const BYTE *>(data->data()),
                           static_cast<DWORD>(data->size())) != ERROR_SUCCESS)
            return Fail(kDenied);
    }
    return Done();
}

// ---------------------------------------------------------------------------
// delete

int Delete(const std::vector<std::string> &args)
{
    if (args.size() < 2)
        return Fail(SyntaxError("delete"));
    Switches switches(args, 2);
    std::optional<std::string> valueName;
    if (!switches.Parse({"ve", "va", "f"}, {"v"}) || !ValueChoice(switches, valueName) ||
        (valueName && switches.Has("va")))
        return Fail(SyntaxError("delete"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    const bool wholeKey = !valueName && !switches.Has("va");
    if (!name || (wholeKey && regfile::IsHiveRoot(name->root, name->path)))
        return Fail(kBadKey);
    LSTATUS status = ERROR_SUCCESS;
    OwnedKey key(Open(*name, KEY_ALL_ACCESS, status));
    if (!key)
        return Fail(Unopened(status));
    const bool force = switches.Has("f");

    if (valueName) {
        if (!ValueExists(key.get(), *valueName))
            return Fail(kNoValue);
        if (!force) {
            const Answer answer =
                Ask("Are you sure you want to delete the registry value '" + Shown(*valueName) + "'?", false);
            if (answer != Answer::Yes)
                return Refused(answer);
        }
        if (RegDeleteValueA(key.get(), valueName->c_str()) != ERROR_SUCCESS)
            return Fail(kDenied);
        return Done();
    }
    if (switches.Has("va")) {
        if (!force) {
            const Answer answer =
                Ask("Are you sure you want to delete all registry values in '" + name->shown + "'?", false);
            if (answer != Answer::Yes)
                return Refused(answer);
        }
        for (const regfile::Value &value : regfile::ValuesOf(key.get()))
            if (RegDeleteValueW(key.get(), Wide(value.name).c_str()) != ERROR_SUCCESS)
                return Fail(kDenied);
        return Done();
    }
    if (!force) {
        const Answer answer = Ask("Are you sure you want to delete the registry key '" + name->shown + "'?", false);
        if (answer != Answer::Yes)
            return Refused(answer);
    }
    if (regfile::DeleteTree(name->root, name->path) != ERROR_SUCCESS)
        return Fail(kDenied);
    return Done();
}

// ---------------------------------------------------------------------------
// copy

// A key's values and, when wanted, its subkeys: read whole before anything is
// written, so a copy into the source's own subtree ends.
struct Tree {
    std::string name;
    std::vector<regfile::Value> values;
    std::vector<Tree> subkeys;
};

Tree ReadTree(HKEY key, const std::string &name, bool recurse)
{
    Tree tree{name, regfile::ValuesOf(key), {}};
    if (!recurse)
        return tree;
    for (const std::string &sub : regfile::SubkeyNamesOf(key)) {
        HKEY handle = nullptr;
        const LSTATUS status = RegOpenKeyExA(key, sub.c_str(), 0, KEY_READ, &handle);
        if (status == ERROR_FILE_NOT_FOUND)
            continue; // a link whose target is missing
        if (status != ERROR_SUCCESS)
            throw regfile::Error("cannot open " + sub);
        OwnedKey closer(handle);
        tree.subkeys.push_back(ReadTree(handle, sub, true));
    }
    return tree;
}

struct Copier {
    bool overwriteAll;
    Answer refusal = Answer::Yes; // set when a question ends the copy

    // Writes the tree below `parent`; `sourcePath` is the source key's path
    // below its root, as the question shows it.
    bool Write(HKEY parent, const Tree &tree, const std::string &sourcePath)
    {
        HKEY created = nullptr;
        if (RegCreateKeyExA(parent, tree.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) !=
            ERROR_SUCCESS)
            return false;
        OwnedKey key(created);
        for (const regfile::Value &value : tree.values) {
            if (!overwriteAll && ValueExists(key.get(), value.name)) {
                const Answer answer = Ask("The value '" + sourcePath + "\\" + Shown(value.name) +
                                              "' already exists in the destination key. Do you want to overwrite it?",
                                          true);
                if (answer == Answer::No)
                    continue;
                if (answer == Answer::EndOfInput) {
                    refusal = answer;
                    return false;
                }
                overwriteAll = answer == Answer::All;
            }
            if (WriteValue(key.get(), value) != ERROR_SUCCESS)
                return false;
        }
        for (const Tree &sub : tree.subkeys)
            if (!Write(key.get(), sub, sourcePath + "\\" + sub.name))
                return false;
        return true;
    }
};

int Copy(const std::vector<std::string> &args)
{
    if (args.size() < 3)
        return Fail(SyntaxError("copy"));
    Switches switches(args, 3);
    if (!switches.Parse({"s", "f"}, {}))
        return Fail(SyntaxError("copy"));
    const std::optional<KeyName> from = ParseKey(args[1]);
    const std::optional<KeyName> to = ParseKey(args[2]);
    if (args[2].starts_with('/') || args[2].starts_with('-'))
        return Fail("reg: Invalid registry key");
    if (!from || !to)
        return Fail(kBadKey);
    if (from->root == to->root && regfile::SameLetters(from->path, to->path))
        return Fail("reg: The source and destination keys cannot be the same");
    LSTATUS status = ERROR_SUCCESS;
    OwnedKey source(Open(*from, KEY_READ, status));
    if (!source)
        return Fail(Unopened(status));
    const Tree tree = ReadTree(source.get(), to->path, switches.Has("s"));
    Copier copier{switches.Has("f")};
    if (!copier.Write(to->root, tree, from->path)) {
        if (copier.refusal != Answer::Yes)
            return Refused(copier.refusal);
        return Fail(kDenied);
    }
    return Saved(0);
}

// ---------------------------------------------------------------------------
// export and import

bool FileExists(const std::string &path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}

// Whether an export to path replaces a file that stands there; a FIFO or a
// device is written straight to instead.
bool ExportReplaces(const std::string &path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && !files::isWrittenThrough(info.st_mode);
}

int Export(const std::vector<std::string> &args)
{
    if (args.size() < 3)
        return Fail(SyntaxError("export"));
    Switches switches(args, 3);
    if (!switches.Parse({"y"}, {}))
        return Fail(SyntaxError("export"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name)
        return Fail(kBadKey);
    OwnedKey key(Open(*name, KEY_READ));
    if (!key)
        return Fail(kNoKey);
    const std::string &file = args[2];
    if (!switches.Has("y") && ExportReplaces(file)) {
        const Answer answer = Ask("The file '" + file + "' already exists. Do you want to overwrite it?", false);
        if (answer != Answer::Yes)
            return Refused(answer);
    }
    try {
        regfile::ExportKeyToFile(key.get(), name->shown, regfile::Format::Unicode, file);
    } catch (const regfile::FileError &error) {
        Flush();
        std::fprintf(stderr, "vantor-reg: %s\n", error.what());
        return Fail("Path not found.");
    }
    return 0;
}

int Import(const std::vector<std::string> &args)
{
    if (args.size() != 2)
        return Fail(SyntaxError("import"));
    const std::string &file = args[1];
    if (!FileExists(file))
        return Fail("reg: The file '" + file + "' was not found.");
    const std::string bytes = regfile::ReadFile(file); // what it throws names the file
    regfile::ImportReport report;
    try {
        report = regfile::Import(bytes);
    } catch (const regfile::Error &error) {
        Flush();
        std::fprintf(stderr, "vantor-reg: %s: %s\n", file.c_str(), error.what());
        return 1;
    }
    for (const std::string &notice : report.notices)
        Say(notice);
    Flush();
    for (const std::string &problem : report.problems)
        std::fprintf(stderr, "vantor-reg: %s: %s\n", file.c_str(), problem.c_str());
    for (const std::string &root : report.keptRoots)
        std::fprintf(stderr, "vantor-reg: a root key is never deleted: %s\n", root.c_str());
    return Saved(report.complete() ? 0 : 1);
}

// ---------------------------------------------------------------------------

const char kHelp[] = R"(Usage: vantor-reg [--prefix DIR] OPERATION [ARGUMENTS]

Reads and changes the registry of a Wine prefix the way `wine reg` does, with
the same output and exit statuses, without starting Wine. The prefix is DIR,
else $WINEPREFIX, else ~/.wine.

Operations (switches may start with / or -, in any case):
  query KEY [/v NAME | /ve] [/s] [/f DATA [/k] [/d] [/c] [/e]] [/t TYPES] [/se SEP]
      Lists a key's values and subkeys; /s goes down the whole tree. /f
      searches key names, value names and data for DATA (/k keys only, /d data
      only, /c case counts, /e whole text); /t keeps the listed types (comma
      separated); /se shows REG_MULTI_SZ separators as SEP.
  add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
      Creates the key and sets a value. TYPE is REG_SZ (the default),
      REG_MULTI_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE
      or REG_DWORD_BIG_ENDIAN. Numbers are decimal or 0x hexadecimal;
      REG_BINARY data is hexadecimal digits; REG_MULTI_SZ strings are split at
      SEP (default \0).
  delete KEY [/v NAME | /ve | /va] [/f]
      Deletes a value, all values of the key (/va), or the key with all below.
  copy KEY1 KEY2 [/s] [/f]
      Copies the values of KEY1 (and with /s its subkeys) into KEY2.
  export KEY FILE [/y]
      Writes KEY and all below it to FILE as a .reg file (version 5, UTF-16).
  import FILE
      Applies a .reg file (version 5 in UTF-16 or UTF-8, or REGEDIT4).

KEY is ROOT\PATH with ROOT one of HKLM, HKCU, HKCR, HKU, HKCC or their long
names. Without /f (or /y for export) a change that overwrites or deletes asks
first and reads the answer from standard input; the end of input answers No.

Exit status: 0 on success, 1 on any failure or refusal. Messages are printed
on standard output as Wine's reg prints them.
)";

std::string DefaultPrefix()
{
    if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.wine";
}

int Help()
{
    g_out += kHelp;
    return 0;
}

int Run(std::vector<std::string> args)
{
    std::string prefix;
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h"))
        return Help();
    if (args.size() >= 2 && args[0] == "--prefix") {
        prefix = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty())
        return Fail(SyntaxError(""));
    if (args.size() >= 2 && (args[1] == "/?" || args[1] == "-?"))
        return args.size() == 2 ? Help() : Fail(SyntaxError(args[0]));
    if (args[0] == "/?" || args[0] == "-?")
        return Help();

    using Operation = int (*)(const std::vector<std::string> &);
    static const struct {
        const char *name;
        Operation run;
    } kOperations[] = {{"query", Query}, {"add", Add},       {"delete", Delete},
                       {"copy", Copy},   {"export", Export}, {"import", Import}};
    Operation run = nullptr;
    for (const auto &operation : kOperations)
        if (regfile::SameLetters(args[0], operation.name))
            run = operation.run;
    if (!run)
        return Fail("reg: Invalid option [" + args[0] + "]. Type \"REG /?\" for help.");

    if (prefix.empty())
        prefix = DefaultPrefix();
    if (!FileExists(prefix + "/system.reg")) {
        Flush();
        std::fprintf(stderr, "vantor-reg: no Wine prefix at %s (no system.reg there)\n", prefix.c_str());
        return 1;
    }
    if (VtrRegReset(prefix.c_str()) != ERROR_SUCCESS) {
        Flush();
        std::fprintf(stderr, "vantor-reg: cannot read the registry of %s\n", prefix.c_str());
        return 1;
    }
    // One command is one batch: nothing else is expected to change the
    // files meanwhile, and every save still checks.
    if (VtrRegBeginBatch() != ERROR_SUCCESS) {
        Flush();
        std::fprintf(stderr, "vantor-reg: cannot read the registry of %s\n", prefix.c_str());
        return 1;
    }
    return run(args);
}

// Run on the command line, with whatever it throws told and ending the
// command with status 1.
int RunTold(int argc, char **argv)
{
    const auto told = [](const char *what) {
        Flush();
        std::fprintf(stderr, "vantor-reg: %s\n", what);
        return 1;
    };
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc &) {
        return told("out of memory");
    } catch (const std::exception &error) {
        return told(error.what());
    } catch (...) {
        return told("an unknown failure");
    }
}


} // namespace

int main(int argc, char **argv)
{
    int status = RunTold(argc, argv);
    // What a command left unsaved (a copy that a question ended) is saved
    // here, where its failure still reaches the exit status.
    if (VtrRegDirectory())
        status = Saved(status);
    Flush();
    return status;
}
