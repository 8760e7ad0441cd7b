#include "Registry.h"

#include "RegFile.h"

#include <textconv.h>

#ifndef _WIN32
#include <vantor_registry.h>
#endif

#include <vector>

namespace {

bool Succeeded(LONG rc) { return rc == ERROR_SUCCESS; }

// RegQueryInfoKeyA reports the longest subkey name in characters, while
// RegEnumKeyExA hands names out in bytes of the active code page. Where one
// character may take several bytes, the buffer must grow to match.
DWORD SubkeyNameBufferChars(DWORD longestName)
{
#ifdef _WIN32
    CPINFO info{};
    if (GetVersion() < 0x80000000 && GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1)
        return longestName * 2;
    return longestName;
#else
    // The A functions speak UTF-8 here: up to three bytes for each UTF-16 unit.
    return longestName * 3;
#endif
}

#ifndef _WIN32
RegistryRefusal::Cause CauseOf(VtrHiveCause cause)
{
    using Cause = RegistryRefusal::Cause;
    switch (cause) {
    case VTR_HIVE_READ_ONLY_REQUESTED: return Cause::Requested;
    case VTR_HIVE_NOT_UNDERSTOOD: return Cause::NotUnderstood;
    case VTR_HIVE_FILE_NOT_WRITABLE: return Cause::FileNotWritable;
    case VTR_HIVE_FOLDER_NOT_WRITABLE: return Cause::FolderNotWritable;
    case VTR_HIVE_WINE_SERVER_RUNNING: return Cause::WineServerRunning;
    case VTR_HIVE_SAVE_FAILED: return Cause::SaveFailed;
    case VTR_HIVE_WRITABLE: break;
    }
    return Cause::Other;
}

RegistryRefusal::Problem ProblemOf(VtrHiveProblem problem)
{
    using Problem = RegistryRefusal::Problem;
    switch (problem) {
    case VTR_PROBLEM_NONE: return Problem::None;
    case VTR_PROBLEM_NOT_REGISTRY_FILE: return Problem::NotRegistryFile;
    case VTR_PROBLEM_CUT_SHORT: return Problem::CutShort;
    case VTR_PROBLEM_TEXT_BEFORE_FIRST_KEY: return Problem::TextBeforeFirstKey;
    case VTR_PROBLEM_KEY_LINE: return Problem::KeyLine;
    case VTR_PROBLEM_KEY_PATH_TOO_DEEP: return Problem::KeyPathTooDeep;
    case VTR_PROBLEM_KEY_OPTION: return Problem::KeyOption;
    case VTR_PROBLEM_VALUE_LINE: return Problem::ValueLine;
    case VTR_PROBLEM_LINE: return Problem::Line;
    case VTR_PROBLEM_TOO_LARGE: return Problem::TooLarge;
    case VTR_PROBLEM_NOT_REGULAR_FILE: return Problem::NotRegularFile;
    case VTR_PROBLEM_UNREADABLE: return Problem::Unreadable;
    case VTR_PROBLEM_FOLDER_LOCKED: return Problem::FolderLocked;
    case VTR_PROBLEM_LOCK_FAILED: return Problem::LockFailed;
    case VTR_PROBLEM_WRITE_FAILED: return Problem::WriteFailed;
    case VTR_PROBLEM_REWRITE_WAITS: return Problem::RewriteWaits;
    case VTR_PROBLEM_REWRITE_UNFINISHED: return Problem::RewriteUnfinished;
    }
    return Problem::None;
}

RegistryRefusal RefusalOf(const VtrHiveState &state)
{
    RegistryRefusal refusal;
    refusal.cause = CauseOf(state.cause);
    refusal.problem = ProblemOf(state.problem);
    refusal.file = state.file;
    refusal.line = state.line;
    refusal.error = state.error;
    refusal.words = std::string(state.file) + ": " + state.reason;
    refusal.told = state.told != FALSE;
    return refusal;
}
#endif

// Why the last registry call failed, where the registry tells it: a file
// that refused the change, or a running Wine server it could not reach.
std::optional<RegistryRefusal> EngineRefusal()
{
#ifndef _WIN32
    VtrHiveState state{};
    if (VtrRegFailureState(&state) == ERROR_SUCCESS)
        return RefusalOf(state);
    if (const char *note = VtrRegFailureNote()) {
        RegistryRefusal refusal;
        refusal.words = note;
        return refusal;
    }
#endif
    return std::nullopt;
}

#ifdef _WIN32
// Windows' own message for an error code, without its closing full stop.
std::string SystemMessage(LONG rc)
{
    char *text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length = FormatMessageA(flags, nullptr, static_cast<DWORD>(rc), 0, reinterpret_cast<LPSTR>(&text), 0,
                                        nullptr);
    std::string message = length ? std::string(text, length) : "error " + std::to_string(rc);
    LocalFree(text);
    while (!message.empty() && std::string_view(" .\r\n").find(message.back()) != std::string_view::npos)
        message.pop_back();
    return message;
}

RegistryRefusal SystemRefusal(LONG rc)
{
    RegistryRefusal refusal;
    refusal.cause = RegistryRefusal::Cause::SystemError;
    refusal.error = static_cast<int>(rc);
    refusal.words = SystemMessage(rc);
    return refusal;
}
#endif

std::string WithReason(const std::string &message, const std::optional<RegistryRefusal> &reason)
{
    return !reason || reason->words.empty() ? message : message + "\n" + reason->words;
}

RegistryRefusal InputRefusal(RegistryRefusal::Cause cause, unsigned level, unsigned limit, std::string words)
{
    RegistryRefusal refusal;
    refusal.cause = cause;
    refusal.level = level;
    refusal.limit = limit;
    refusal.words = std::move(words);
    return refusal;
}

size_t Utf16Length(std::string_view utf8) { return textconv::toUtf16(utf8).size(); }

// A failure that the registry gives no reason for, told from what was asked:
// a path with an empty level or too many, a name longer than the registry
// takes.
std::optional<RegistryRefusal> InputRefusalOf(LONG rc, const std::string &path, const std::string &valueName)
{
    using Cause = RegistryRefusal::Cause;
    if (rc == ERROR_BAD_PATHNAME && !path.empty() && path.front() == '\\')
        return InputRefusal(Cause::EmptyLevel, 1, 0, "level 1 of the path is empty");
    if (rc != ERROR_INVALID_PARAMETER)
        return std::nullopt;
    unsigned levels = 0;
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find('\\', start), path.size());
        if (end > start && Utf16Length(std::string_view(path).substr(start, end - start)) > TRegistry::MaxKeyNameLength)
            return InputRefusal(Cause::NameTooLong, 0, TRegistry::MaxKeyNameLength,
                                "a key name is longer than 255 characters");
        levels += end > start ? 1 : 0;
        start = end + 1;
    }
    if (levels > TRegistry::MaxKeyDepth)
        return InputRefusal(Cause::TooDeep, 0, TRegistry::MaxKeyDepth, "the path has more than 512 levels");
    if (Utf16Length(valueName) > TRegistry::MaxValueNameLength)
        return InputRefusal(Cause::NameTooLong, 0, TRegistry::MaxValueNameLength,
                            "the value name is longer than 16383 characters");
    return std::nullopt;
}

} // namespace

ERegistryException::ERegistryException(const std::string &message)
    : ERegistryException(message, EngineRefusal())
{
}

ERegistryException::ERegistryException(const std::string &message, std::optional<RegistryRefusal> reason)
    : Exception(WithReason(message, reason)), firstLine_(message), reason_(std::move(reason))
{
}

TRegistry::TRegistry() = default;

TRegistry::~TRegistry()
{
    LeaveKey();
}

std::string TRegistry::Format(const char *pattern, const std::string &name)
{
    std::string text(pattern);
    const auto at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, name);
    return text;
}

TRegistry::Target TRegistry::Resolve(const std::string &path) const
{
    const bool absolute = !path.empty() && path.front() == '\\';
    Target target;
    target.relative = !absolute;
    target.path = absolute ? path.substr(1) : path;
    target.base = (target.relative && currentKey_) ? currentKey_ : rootKey_;
    return target;
}

void TRegistry::SelectRoot(HKEY root)
{
    if (root == rootKey_)
        return;
    rootKey_ = root;
    LeaveKey();
}

bool TRegistry::EnterKey(const std::string &path, bool canCreate)
{
    const Target target = Resolve(path);
    HKEY opened = nullptr;
    LONG rc;
    if (!canCreate || target.path.empty()) {
        rc = RegOpenKeyExA(target.base, target.path.c_str(), 0, access_, &opened);
        // A key the user may only read (HKLM for a standard user) still opens
        // for reading; writes to it then fail as refused writes.
        if (rc == ERROR_ACCESS_DENIED)
            rc = RegOpenKeyExA(target.base, target.path.c_str(), 0, KEY_READ, &opened);
    } else {
        DWORD disposition = 0;
        rc = RegCreateKeyExA(target.base, target.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access_,
                             nullptr, &opened, &disposition);
    }
    if (!Succeeded(rc)) {
        NoteFailure(rc, target.path, {});
        return false;
    }

    std::string newPath = (target.relative && currentKey_) ? currentPath_ + "\\" + target.path : target.path;
    LeaveKey();
    currentKey_ = opened;
    currentPath_ = std::move(newPath);
    lastRefusal_.reset();
    return true;
}

LONG TRegistry::LeaveKey()
{
    if (!currentKey_)
        return ERROR_SUCCESS;
    const LONG rc = RegCloseKey(currentKey_);
    currentKey_ = nullptr;
    currentPath_.clear();
    return rc;
}

std::string TRegistry::ReadText(const std::string &name)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LONG rc = RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, nullptr, &size);
    if (!Succeeded(rc) || size == 0)
        return {};

    std::string text(size, '\0');
    DWORD got = size;
    if (!Succeeded(RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type,
                                    reinterpret_cast<LPBYTE>(text.data()), &got)))
        throw ERegistryException(Format("Failed to get data for '%s'", name));
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException(Format("Invalid data type for '%s'", name));

    if (got < text.size())
        text.resize(got);
    const auto zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

void TRegistry::WriteText(const std::string &name, const std::string &value)
{
    const LONG rc = RegSetValueExA(currentKey_, name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE *>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1));
    // Committed here, because the close that would commit it cannot report.
    const LONG committed = Succeeded(rc) ? RegFlushKey(currentKey_) : rc;
    if (!Succeeded(committed)) {
        if (currentKey_)
            NoteFailure(committed, {}, name);
        throw Refused("Failed to set data for '%s'", name);
    }
}

bool TRegistry::HasValue(const std::string &name)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    return Succeeded(RegQueryValueExA(currentKey_, name.c_str(), nullptr, &type, nullptr, &size));
}

bool TRegistry::DeleteValue(const std::string &name)
{
    if (!currentKey_)
        return false;
    const LONG rc = RegDeleteValueA(currentKey_, name.c_str());
    if (Succeeded(rc))
        return true;
    if (rc == ERROR_FILE_NOT_FOUND)
        return false;
    NoteFailure(rc, {}, name);
    throw Refused("Failed to delete value '%s'", name);
}

void TRegistry::NoteFailure(LONG rc, const std::string &path, const std::string &valueName)
{
    lastRefusal_ = EngineRefusal();
    if (!lastRefusal_)
        lastRefusal_ = InputRefusalOf(rc, path, valueName);
#ifdef _WIN32
    if (!lastRefusal_)
        lastRefusal_ = SystemRefusal(rc);
#endif
}

// Where no key is open, the reason is why the key could not be entered.
ERegistryException TRegistry::Refused(const char *pattern, const std::string &name)
{
    return ERegistryException(Format(pattern, name), lastRefusal_);
}

std::optional<RegistryRefusal> TRegistry::FileRefusal(const std::string &fileName)
{
#ifndef _WIN32
    VtrHiveState state{};
    if (VtrRegHiveState(fileName.c_str(), &state) == ERROR_SUCCESS && state.cause != VTR_HIVE_WRITABLE)
        return RefusalOf(state);
#else
    (void)fileName;
#endif
    return std::nullopt;
}

void TRegistry::MarkTold(const std::string &fileName)
{
#ifndef _WIN32
    VtrRegMarkTold(fileName.c_str());
#else
    (void)fileName;
#endif
}

bool TRegistry::IsHiveRoot(const std::string &path) const
{
    const Target target = Resolve(path);
    const std::string full = (target.relative && currentKey_) ? currentPath_ + "\\" + target.path : target.path;
    return regfile::IsHiveRoot(rootKey_, full);
}

RegistryRefusal TRegistry::RootKeyRefusal()
{
    return InputRefusal(RegistryRefusal::Cause::RootKey, 0, 0, "a root key is never deleted");
}

bool TRegistry::RemoveKey(const std::string &path)
{
    if (IsHiveRoot(path)) {
        lastRefusal_ = RootKeyRefusal();
        return false;
    }
    lastRefusal_.reset();
    return RemoveTree(path);
}

bool TRegistry::RemoveTree(const std::string &path)
{
    const Target target = Resolve(path);
    const HKEY remembered = currentKey_;

    // A link is deleted itself; what it points to stays.
    HKEY doomed = nullptr;
    if (Succeeded(RegOpenKeyExA(target.base, target.path.c_str(), REG_OPTION_OPEN_LINK, access_, &doomed))) {
        // The key being removed is the current key while its children go, so
        // that their relative names resolve below it.
        currentKey_ = doomed;
        DWORD subkeys = 0;
        DWORD longestName = 0;
        if (Succeeded(RegQueryInfoKeyA(doomed, nullptr, nullptr, nullptr, &subkeys, &longestName, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr))) {
            const DWORD capacity = SubkeyNameBufferChars(longestName) + 1;
            std::vector<char> name(capacity);
            // From the highest index down, so lower indices stay valid while
            // subkeys disappear.
            for (DWORD index = subkeys; index-- > 0;) {
                DWORD length = capacity;
                if (Succeeded(RegEnumKeyExA(doomed, index, name.data(), &length, nullptr, nullptr, nullptr,
                                            nullptr)))
                    RemoveTree(std::string(name.data(), length));
            }
        }
        currentKey_ = remembered;
        RegCloseKey(doomed);
    }

    const Target again = Resolve(path);
    const LONG rc = RegDeleteKeyA(again.base, again.path.c_str());
    // A key whose subkeys stayed is refused for that: their reason is its.
    const std::optional<RegistryRefusal> subkeysRefusal = std::move(lastRefusal_);
    lastRefusal_.reset();
    if (!Succeeded(rc))
        NoteFailure(rc, again.path, {});
    if (!Succeeded(rc) && !lastRefusal_)
        lastRefusal_ = subkeysRefusal;
    return Succeeded(rc);
}
