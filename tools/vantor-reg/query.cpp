// query KEY [/v NAME | /ve] [/s] [/f DATA [/k] [/d] [/c] [/e]] [/t TYPES] [/se SEP]
#include "reg.h"

#include <algorithm>
#include <cstdio>

#include "textconv.h"

namespace reg {

namespace {

// A value's data as `reg query` shows it. Strings are stored in UTF-16 and
// shown in UTF-8, up to their terminator; the inner terminators of a
// REG_MULTI_SZ are shown as the separator.
std::string DataText(const regfile::Value &value, std::string_view separator)
{
    std::string out;
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        textconv::appendUtf8FromBytes(value.data, out);
        return out.substr(0, out.find('\0'));
    case REG_MULTI_SZ: {
        std::string text;
        textconv::appendUtf8FromBytes(value.data, text);
        text.erase(text.find_last_not_of('\0') + 1);
        for (char c : text)
            out += c ? std::string_view(&c, 1) : separator;
        return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD: {
        unsigned long long number = 0;
        for (size_t i = 0; i < (value.type == REG_QWORD ? 8 : 4) && i < value.data.size(); ++i)
            number |= static_cast<unsigned long long>(static_cast<unsigned char>(value.data[i])) << (8 * i);
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%llx", number);
        return buf;
    }
    default:
        for (unsigned char b : value.data) {
            out += "0123456789ABCDEF"[b >> 4];
            out += "0123456789ABCDEF"[b & 15];
        }
        return out;
    }
}

void ShowValue(Console &console, const regfile::Value &value, std::string_view separator)
{
    console.Say("    " + Shown(value.name) + "    " + TypeName(value.type) + "    " + DataText(value, separator));
}

// One key of a JSON answer.
std::string KeyJson(const std::string &shown, const std::vector<regfile::Value> &values,
                    const std::vector<std::string> &subkeys)
{
    std::string entry = "{\"key\": " + JsonString(shown) + ", \"values\": [";
    for (size_t i = 0; i < values.size(); ++i)
        entry += (i ? ", " : "") + JsonValue(values[i]);
    entry += "], \"subkeys\": [";
    for (size_t i = 0; i < subkeys.size(); ++i)
        entry += (i ? ", " : "") + JsonString(subkeys[i]);
    return entry + "]}";
}

// What the switches ask for, and the walk through the keys that answers.
struct Search {
    std::optional<std::string> valueName; // /v or /ve
    bool recurse = false;                 // /s
    std::optional<std::string> pattern;   // /f, with /k, /d, /c and /e
    bool inKeys = true, inData = true, inNames = true;
    bool caseSensitive = false, exact = false;
    std::vector<DWORD> types; // /t
    std::string separator = "\\0";
    unsigned found = 0;

    bool Parse(const Switches &switches)
    {
        const auto has = [&switches](const char *name) { return switches.contains(name); };
        if (!ValueChoice(switches, valueName))
            return false;
        recurse = has("s");
        pattern = ValueOf(switches, "f");
        const bool narrowed = has("k") || has("d");
        if (!pattern && (narrowed || has("c") || has("e")))
            return false;
        inKeys = !narrowed || has("k");
        inData = !narrowed || has("d");
        inNames = !narrowed;
        caseSensitive = has("c");
        exact = has("e");
        if (std::optional<std::string> sep = ValueOf(switches, "se")) {
            if (sep->size() != 1)
                return false;
            separator = *sep;
        }
        if (std::optional<std::string> names = ValueOf(switches, "t")) {
            for (size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
                comma = names->find(',', start);
                const std::optional<DWORD> code = TypeCode(names->substr(start, comma - start));
                if (!code)
                    return false;
                types.push_back(*code);
            }
        }
        return true;
    }

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

    bool ValueFound(const regfile::Value &value) const
    {
        if (!types.empty() && std::ranges::find(types, value.type) == types.end())
            return false;
        return !pattern || (inNames && Matches(value.name)) || (inData && Matches(DataText(value, separator)));
    }

    std::vector<regfile::Value> Values(HKEY key) const
    {
        std::vector<regfile::Value> values;
        if (!valueName)
            values = regfile::ValuesOf(key);
        else if (std::optional<regfile::Value> value = ReadValue(key, *valueName))
            values.push_back(std::move(*value));
        std::erase_if(values, [this](const regfile::Value &value) { return !ValueFound(value); });
        return values;
    }

    // Every (wanted) value of a key, then its subkeys: their names, or with
    // recursion their contents in turn.
    void Walk(Console &console, HKEY key, const std::string &shown, bool nested)
    {
        const std::vector<regfile::Value> values = Values(key);
        const bool keyMatch = pattern && inKeys && nested && Matches(shown.substr(shown.rfind('\\') + 1));
        // A plain listing shows every key it goes through; a search or a
        // value asked for by name only the keys where something was found.
        const bool listing = !pattern && types.empty() && !valueName;
        const bool keyShown = !values.empty() || (nested && listing) || keyMatch;
        if (console.Json() && (keyShown || !nested)) {
            std::vector<std::string> subkeys = regfile::SubkeyNamesOf(key);
            if (pattern && !recurse)
                std::erase_if(subkeys, [this](const std::string &name) { return !inKeys || !Matches(name); });
            console.JsonKey(KeyJson(shown, values, subkeys));
        }
        if (keyShown)
            console.Say(shown);
        for (const regfile::Value &value : values)
            ShowValue(console, value, separator);
        found += static_cast<unsigned>(values.size()) + (keyMatch ? 1 : 0);
        if (keyShown)
            console.Say("");

        if (recurse) {
            regfile::EachSubkey(key, shown, [&](HKEY sub, const std::string &name) {
                Walk(console, sub, shown + "\\" + name, true);
            });
            return;
        }
        for (const std::string &name : regfile::SubkeyNamesOf(key))
            if (!pattern || (inKeys && Matches(name))) {
                console.Say(shown + "\\" + name);
                ++found;
            }
    }
};

} // namespace

int Query(Console &console, const Arguments &args)
{
    console.AnswersWithKeys();
    const std::optional<Switches> switches =
        ParseSwitches(args, 1, {"ve", "s", "k", "d", "c", "e"}, {"v", "f", "t", "se"});
    Search search;
    if (!switches || !search.Parse(*switches))
        return console.Fail(SyntaxError("query"));
    const std::optional<KeyName> name = ParseKey(args[1]);
    if (!name)
        return console.Fail(kBadKey);
    const OwnedKey key(Open(*name, KEY_READ));
    if (!key)
        return console.Fail(kNoKey);

    console.Say("");
    const bool searching = search.pattern || !search.types.empty();
    if (searching || !search.valueName || search.recurse) {
        search.Walk(console, key.get(), name->shown, false);
        const std::string end = searching ? "End of search: " + std::to_string(search.found) + " match(es) found."
                                          : "Search complete. Number of matches found: " + std::to_string(search.found);
        if (searching || search.valueName)
            console.Say(end);
        // Wine's reg calls a search that found nothing a success.
        const bool nothing = (searching || search.valueName) && search.found == 0;
        return nothing && CommandSettings().statuses ? console.Told(Failure::NoValue, end) : 0;
    }
    const std::optional<regfile::Value> value = ReadValue(key.get(), *search.valueName);
    if (!value && !search.valueName->empty())
        return console.Fail(kNoValue);
    if (console.Json())
        console.JsonKey(KeyJson(name->shown, value ? std::vector{*value} : std::vector<regfile::Value>(), {}));
    console.Say(name->shown);
    if (!value) {
        console.Say("    (Default)    REG_SZ    (value not set)");
    } else {
        ShowValue(console, *value, "\\0");
        console.Say("");
    }
    return 0;
}

} // namespace reg
