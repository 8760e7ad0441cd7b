#include "reg.h"

#include <vantor_registry.h>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "textconv.h"

namespace reg {

std::string SyntaxError(std::string_view operation)
{
    std::string upper;
    for (char c : operation)
        upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return "reg: Invalid syntax. Type \"REG " + upper + (upper.empty() ? "" : " ") + "/?\" for help.";
}

std::string Shown(const std::string &name) { return name.empty() ? "(Default)" : name; }

Settings &CommandSettings()
{
    static Settings settings;
    return settings;
}

void Console::Say(std::string_view line)
{
    if (Json())
        return; // the document says it all
    out_ += line;
    out_ += '\n';
    if (out_.size() > (1 << 20))
        Flush();
}

namespace {

// The kind of a failure whose message is one of Wine's reg.
Failure KindOf(std::string_view message)
{
    if (message == kNoKey)
        return Failure::NoKey;
    if (message == kNoValue)
        return Failure::NoValue;
    if (message == kDenied) {
        // A hive that refused says so in the state it leaves; any other
        // note is the bridge's.
        VtrHiveState state{};
        if (VtrRegFailureState(&state) != ERROR_SUCCESS && VtrRegFailureNote())
            return Failure::Bridge;
        return Failure::Unchangeable;
    }
    for (std::string_view bad : {"reg: Invalid", "reg: Unsupported", "reg: The option", "reg: The file",
                                 "reg: Unable to access"})
        if (message.starts_with(bad))
            return Failure::BadInput;
    return Failure::Other;
}

} // namespace

int Console::StatusOf(Failure kind) const
{
    return CommandSettings().statuses ? static_cast<int>(kind) : 1;
}

bool Console::Json() const { return CommandSettings().json; }

void Console::Record(Failure kind, std::string_view message)
{
    if (!error_)
        error_.emplace(kind, std::string(message));
}

int Console::Fail(std::string_view message)
{
    const Failure kind = KindOf(message);
    Record(kind, message);
    Say(message);
    return StatusOf(kind);
}

int Console::Warn(std::string_view problem, Failure kind)
{
    Record(kind, problem);
    Notice(problem);
    return StatusOf(kind);
}

void Console::Notice(std::string_view notice)
{
    Flush();
    std::fprintf(stderr, "vantor-reg: %.*s\n", static_cast<int>(notice.size()), notice.data());
    if (Json())
        notices_.emplace_back(notice);
}

Answer Console::Ask(const std::string &question, bool offerAll)
{
    if (Json())
        return offerAll ? Answer::All : Answer::Yes; // a caller that reads JSON answers nothing

    const bool terminal = isatty(STDIN_FILENO);
    for (;;) {
        out_ += question + (offerAll ? " (Yes|No|All)" : " (Yes|No)");
        if (!terminal)
            out_ += '\n';
        char line[256];
        if (!Flush() || !std::fgets(line, sizeof line, stdin))
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

int Console::Refused(Answer answer)
{
    Say("reg: The registry operation was cancelled");
    return answer == Answer::EndOfInput ? 1 : 0;
}

bool Console::Finish()
{
    if (!Json())
        return Flush();
    const auto list = [](const std::vector<std::string> &items, bool quote) {
        std::string text = "[";
        for (const std::string &item : items)
            text += (text.size() > 1 ? ", " : "") + (quote ? JsonString(item) : item);
        return text + "]";
    };
    static constexpr const char *kKinds[] = {"", "io", "no-key", "no-value", "bad-input", "unchangeable", "bridge", "io"};
    std::string document = "{\"version\": 1, ";
    document += query_ ? "\"keys\": " + list(keys_, false)
                       : "\"changed\": " + std::to_string(changed_) + ", \"copies\": " + list(copies_, true);
    if (!notices_.empty())
        document += ", \"notices\": " + list(notices_, true);
    document += ", \"error\": ";
    document += error_ ? "{\"kind\": \"" + std::string(kKinds[static_cast<int>(error_->first)]) +
                             "\", \"message\": " + JsonString(error_->second) + "}"
                       : std::string("null");
    out_ = document + "}\n";
    return Flush();
}

bool Console::Flush()
{
    if (!out_.empty() && std::fwrite(out_.data(), 1, out_.size(), stdout) != out_.size())
        lost_ = true;
    out_.clear();
    if (std::fflush(stdout) != 0)
        lost_ = true;
    return !lost_;
}

std::optional<Switches> ParseSwitches(const Arguments &args, size_t fixed,
                                      std::initializer_list<std::string_view> flags,
                                      std::initializer_list<std::string_view> withValue)
{
    if (args.size() <= fixed)
        return std::nullopt;
    Switches given;
    for (size_t at = fixed + 1; at < args.size(); ++at) {
        const std::string &arg = args[at];
        const auto named = [&arg](std::string_view name) {
            return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
                   regfile::SameLetters(std::string_view(arg).substr(1), name);
        };
        if (named("reg:32") || named("reg:64"))
            continue; // one view of the registry here
        bool taken = false;
        if (const auto flag = std::ranges::find_if(flags, named); flag != flags.end())
            taken = given.emplace(*flag, "").second;
        else if (const auto name = std::ranges::find_if(withValue, named); name != withValue.end())
            taken = at + 1 < args.size() && given.emplace(*name, args[++at]).second;
        if (!taken)
            return std::nullopt;
    }
    return given;
}

std::optional<std::string> ValueOf(const Switches &switches, std::string_view name)
{
    const auto found = switches.find(name);
    return found == switches.end() ? std::nullopt : std::optional(found->second);
}

bool ValueChoice(const Switches &switches, std::optional<std::string> &name)
{
    name = switches.contains("ve") ? std::optional(std::string()) : ValueOf(switches, "v");
    return !(switches.contains("v") && switches.contains("ve"));
}

// The first name of a code is the one `reg query` shows; `typed` ones a
// command line may name.
constexpr struct { DWORD code; const char *name; bool typed; } kTypes[] = {
    {REG_NONE, "REG_NONE", true},          {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true}, {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},        {REG_DWORD, "REG_DWORD_LITTLE_ENDIAN", true},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", true},
    {REG_LINK, "REG_LINK", false},         {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {REG_RESOURCE_LIST, "REG_RESOURCE_LIST", false},
    {REG_FULL_RESOURCE_DESCRIPTOR, "REG_FULL_RESOURCE_DESCRIPTOR", false},
    {REG_RESOURCE_REQUIREMENTS_LIST, "REG_RESOURCE_REQUIREMENTS_LIST", false},
    {REG_QWORD, "REG_QWORD", true},
};

std::optional<DWORD> TypeCode(const std::string &name)
{
    for (const auto &type : kTypes)
        if (type.typed && regfile::SameLetters(name, type.name))
            return type.code;
    return std::nullopt;
}

std::string TypeName(DWORD type)
{
    for (const auto &known : kTypes)
        if (known.code == type)
            return known.name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(type));
    return buf;
}

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

// A failure that is not the answer "there is no such key or value" throws:
// the command cannot give a complete answer.
static LSTATUS Checked(LSTATUS status, const std::string &what)
{
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != ERROR_MORE_DATA)
        throw regfile::Error("cannot read " + what + " (error " + std::to_string(status) + ")");
    return status;
}

HKEY Open(const KeyName &key, REGSAM access, LSTATUS *status)
{
    HKEY handle = nullptr;
    const LSTATUS opened = RegOpenKeyExA(key.root, key.path.c_str(), 0, access, &handle);
    if (status)
        *status = opened;
    return opened != ERROR_BAD_PATHNAME && Checked(opened, key.shown) == ERROR_SUCCESS ? handle : nullptr;
}

// A name that no key can have is not "not found" to Wine's reg.
const char *Unopened(LSTATUS status)
{
    return status == ERROR_BAD_PATHNAME ? "reg: Unable to access or create the specified registry key" : kNoKey;
}

std::u16string Wide(const std::string &name) { return textconv::fromWtf8(name); }

std::optional<regfile::Value> ReadValue(HKEY key, const std::string &name)
{
    const std::u16string wide = Wide(name);
    regfile::Value value{name, REG_NONE, {}};
    DWORD size = 0;
    const auto query = [&](void *data) {
        return Checked(RegQueryValueExW(key, wide.c_str(), nullptr, &value.type, static_cast<BYTE *>(data), &size),
                       "the value " + name);
    };
    if (query(nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.assign(size, '\0');
    if (query(value.data.data()) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

// Saves each file on its own, so that a failure can say which files hold
// the changes and which do not.
int Saved(Console &console, int status)
{
    HKEY defaultUser = nullptr;
    if (RegOpenKeyExA(HKEY_USERS, ".Default", 0, KEY_READ, &defaultUser) != ERROR_SUCCESS)
        defaultUser = nullptr;
    const struct {
        HKEY key;
        const char *file;
    } files[] = {{HKEY_LOCAL_MACHINE, "system.reg"}, {HKEY_CURRENT_USER, "user.reg"}, {defaultUser, "userdef.reg"}};
    std::string saved, unsaved;
    for (const auto &hive : files) {
        if (!hive.key)
            continue; // not there to be opened: VtrRegFlushAll below saves it
        const bool ok = RegFlushKey(hive.key) == ERROR_SUCCESS;
        std::string &list = ok ? saved : unsaved;
        list += (list.empty() ? "" : ", ") + std::string(hive.file);
    }
    if (defaultUser)
        (void)RegCloseKey(defaultUser); // saved just above: its close has nothing left to save
    if (unsaved.empty() && VtrRegFlushAll() == ERROR_SUCCESS)
        return status;
    if (unsaved.empty())
        return console.Warn("the registry files could not be saved", Failure::Unchangeable);
    return console.Warn("not saved: " + unsaved + (saved.empty() ? "" : "; saved: " + saved), Failure::Unchangeable);
}

int Done(Console &console)
{
    const int status = Saved(console, 0);
    if (status == 0)
        console.Say("reg: The operation completed successfully");
    return status;
}

bool FileExists(const std::string &path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
}

} // namespace reg
