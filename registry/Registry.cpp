#include "Registry.h"

#include "RegFile.h"

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

// The engine's word on why the last registry call failed, where it has one.
std::string EngineNote()
{
#ifndef _WIN32
    if (const char *note = VtrRegFailureNote())
        return note;
#endif
    return {};
}

std::string WithNote(const std::string &message, const std::string &note)
{
    return note.empty() ? message : message + "\n" + note;
}

} // namespace

ERegistryException::ERegistryException(const std::string &message) : Exception(WithNote(message, EngineNote())) {}

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
        entryNote_ = EngineNote();
        return false;
    }

    std::string newPath = (target.relative && currentKey_) ? currentPath_ + "\\" + target.path : target.path;
    LeaveKey();
    currentKey_ = opened;
    currentPath_ = std::move(newPath);
    entryNote_.clear();
    return true;
}

LONG TRegistry::LeaveKey()
{
    if (!currentKey_)
        return ERROR_SUCCESS;
    const LONG rc = RegCloseKey(currentKey_);
    currentKey_ = nullptr;
    currentPath_.clear();
    entryNote_.clear();
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
    if (!Succeeded(rc) || !Succeeded(RegFlushKey(currentKey_)))
        throw Refused("Failed to set data for '%s'", name);
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
    throw Refused("Failed to delete value '%s'", name);
}

// Where no key is open, the reason is the engine's word on the key that could
// not be entered.
ERegistryException TRegistry::Refused(const char *pattern, const std::string &name) const
{
    return ERegistryException(currentKey_ ? Format(pattern, name) : WithNote(Format(pattern, name), entryNote_));
}

bool TRegistry::IsHiveRoot(const std::string &path) const
{
    const Target target = Resolve(path);
    const std::string full = (target.relative && currentKey_) ? currentPath_ + "\\" + target.path : target.path;
    return regfile::IsHiveRoot(rootKey_, full);
}

bool TRegistry::RemoveKey(const std::string &path)
{
    if (IsHiveRoot(path))
        return false;
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
    return Succeeded(RegDeleteKeyA(again.base, again.path.c_str()));
}
