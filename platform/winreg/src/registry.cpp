#include "registry.h"

#include "ansi.h"
#include "format.h"
#include "text.h"

#include <algorithm>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace winreg {

namespace {

constexpr LSTATUS kChildMustBeVolatile = 1021;
constexpr LSTATUS kNoAccess = 998;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr int kMaxLinkHops = 16;
constexpr char16_t kUserSid[] = u"S-1-5-21-0-0-0-1000";
constexpr char16_t kDefaultUser[] = u".Default";

// Handle values are never reused within a process, not even across
// VtrRegReset, so that a stale handle is always told apart.
uintptr_t g_nextHandle = 0x1000;

bool isPredefined(HKEY key) {
    const auto v = reinterpret_cast<uintptr_t>(key);
    const auto low = static_cast<uintptr_t>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000000))));
    return v >= low && v <= low + 6;
}

REGSAM effectiveAccess(REGSAM access) {
    constexpr REGSAM kGenericRead = 0x80000000u;
    constexpr REGSAM kGenericWrite = 0x40000000u;
    constexpr REGSAM kGenericExecute = 0x20000000u;
    constexpr REGSAM kGenericAll = 0x10000000u;
    REGSAM result = access & ~static_cast<REGSAM>(KEY_WOW64_RES);
    if (access & (kGenericAll | MAXIMUM_ALLOWED))
        result |= KEY_ALL_ACCESS;
    if (access & kGenericRead)
        result |= KEY_READ;
    if (access & kGenericWrite)
        result |= KEY_WRITE;
    if (access & kGenericExecute)
        result |= KEY_EXECUTE;
    return result;
}

// Levels below the root of the key's hive.
size_t depthOf(const Key &key) {
    size_t depth = 0;
    for (const Key *k = &key; k->parent && k->hive == k->parent->hive; k = k->parent)
        ++depth;
    return depth;
}

std::u16string accountFullName() {
    const passwd *pw = getpwuid(getuid());
    std::string name;
    if (pw && pw->pw_gecos) {
        name = pw->pw_gecos;
        name = name.substr(0, name.find(','));
    }
    if (name.empty() && pw && pw->pw_name)
        name = pw->pw_name;
    if (name.empty())
        name = "User";
    return utf8ToUtf16(name);
}

Value stringValue(std::u16string name, std::u16string_view text) {
    Value value;
    value.name = std::move(name);
    value.type = REG_SZ;
    value.data = utf16ToBytes(text);
    value.data.append(2, '\0');
    return value;
}

} // namespace

Registry::Registry(std::string directory) : directory_(std::move(directory)) {
    usersKey_.name = u"User";
    machine_ = std::make_unique<Hive>(directory_, "system.reg", "REGISTRY\\\\Machine", u"Machine", *this);
    user_ = std::make_unique<Hive>(directory_, "user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", kUserSid,
                                   *this);
    defaultUser_ = std::make_unique<Hive>(directory_, "userdef.reg", "REGISTRY\\\\User\\\\.Default", kDefaultUser,
                                          *this);
    user_->setParentOfRoot(&usersKey_);
    defaultUser_->setParentOfRoot(&usersKey_);
    seedNewRegistry();
}

Registry::~Registry() = default;

// A new registry gets the keys that the program's presets point to.
void Registry::seedNewRegistry() {
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()}) {
        if (stampOf(hive->filePath()).exists)
            return;
    }
    beginCall();
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
        refresh(*hive);
    const auto create = [](Hive &hive, std::initializer_list<const char16_t *> path) {
        Key *key = &hive.root();
        for (const char16_t *name : path) {
            Key *next = findChild(*key, name);
            key = next ? next : hive.createKey(*key, name, nullptr, false, false);
        }
        return key;
    };
    Key *version = create(*machine_, {u"Software", u"Microsoft", u"Windows NT", u"CurrentVersion"});
    machine_->setValue(*version, stringValue(u"PathName", u"C:\\windows"));
    machine_->setValue(*version, stringValue(u"RegisteredOrganization", u""));
    machine_->setValue(*version, stringValue(u"RegisteredOwner", accountFullName()));
    create(*machine_, {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Run"});
    create(*machine_, {u"Software", u"Classes"});
    Key *cdrom = create(*machine_, {u"System", u"CurrentControlSet", u"Services", u"CDRom"});
    Value autoRun;
    autoRun.name = u"AutoRun";
    autoRun.type = REG_DWORD;
    autoRun.data = std::string("\1\0\0\0", 4);
    machine_->setValue(*cdrom, std::move(autoRun));
    create(*machine_, {u"System", u"CurrentControlSet", u"Hardware Profiles", u"Current"});
    create(*user_, {u"Software", u"Microsoft", u"Windows", u"CurrentVersion", u"Explorer", u"FileExts"});
    create(*user_, {u"Software", u"Microsoft", u"Internet Explorer", u"TypedURLs"});
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
        hive->save(true);
}

void Registry::refresh(Hive &hive) {
    uint64_t &done = refreshedInCall_[&hive];
    if (done == call_)
        return;
    done = call_;
    hive.refresh();
}

Hive *Registry::hiveByFile(std::string_view fileName) {
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()}) {
        if (hive->fileName() == fileName)
            return hive;
    }
    return nullptr;
}

Key *Registry::ensurePath(Hive &hive, std::initializer_list<const char16_t *> path) {
    Key *key = &hive.root();
    for (const char16_t *name : path) {
        Key *next = findChild(*key, name);
        if (!next) {
            // A prefix that lacks the key behind a predefined root: give it
            // one in memory, as Wine does when it starts.
            next = addChild(*key, name);
            touch(*next, currentFileTime());
        }
        if (next->isLink) {
            if (Key *target = followLink(*next, 0))
                next = target;
        }
        key = next;
    }
    return key;
}

Key *Registry::predefinedKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) {
        refresh(*machine_);
        return &machine_->root();
    }
    if (key == HKEY_CURRENT_USER) {
        refresh(*user_);
        return &user_->root();
    }
    if (key == HKEY_USERS)
        return &usersKey_;
    if (key == HKEY_CLASSES_ROOT) {
        refresh(*machine_);
        return ensurePath(*machine_, {u"Software", u"Classes"});
    }
    if (key == HKEY_CURRENT_CONFIG) {
        refresh(*machine_);
        return ensurePath(*machine_, {u"System", u"CurrentControlSet", u"Hardware Profiles", u"Current"});
    }
    return nullptr;
}

Registry::Target Registry::target(HKEY key) {
    Target result;
    if (!key) {
        result.status = ERROR_INVALID_HANDLE;
        return result;
    }
    if (isPredefined(key)) {
        result.key = predefinedKey(key);
        result.access = KEY_ALL_ACCESS;
        if (!result.key)
            result.status = ERROR_INVALID_HANDLE;
        return result;
    }
    const auto found = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (found == handles_.end()) {
        result.status = ERROR_INVALID_HANDLE;
        return result;
    }
    Handle &handle = found->second;
    if (!handle.deleted && handle.hive)
        refresh(*handle.hive); // may find the key deleted by another program
    if (handle.deleted) {
        result.status = ERROR_KEY_DELETED;
        return result;
    }
    result.key = handle.key;
    result.access = handle.access;
    return result;
}

Registry::ParsedPath Registry::parsePath(LPCSTR subKey) {
    ParsedPath result;
    if (!subKey)
        return result;
    const std::string_view text(subKey);
    if (!text.empty() && text.front() == '\\') {
        result.status = ERROR_BAD_PATHNAME;
        return result;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > start) {
            std::u16string part = utf8ToUtf16(text.substr(start, end - start));
            if (part.size() > kMaxKeyNameLength) {
                result.status = ERROR_INVALID_PARAMETER;
                return result;
            }
            result.parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    if (result.parts.size() > kMaxKeyDepth)
        result.status = ERROR_INVALID_PARAMETER;
    return result;
}

Key *Registry::childOf(Key &key, std::u16string_view name) {
    if (&key == &usersKey_) {
        if (sameName(name, kDefaultUser)) {
            refresh(*defaultUser_);
            return &defaultUser_->root();
        }
        if (sameName(name, kUserSid)) {
            refresh(*user_);
            return &user_->root();
        }
        return nullptr;
    }
    return findChild(key, name);
}

size_t Registry::childCount(Key &key) { return &key == &usersKey_ ? 2 : key.children.size(); }

Key *Registry::childAt(Key &key, size_t index) {
    if (&key == &usersKey_)
        return childOf(key, index == 0 ? kDefaultUser : kUserSid);
    return key.children[index].get();
}

// The key a link points to: its REG_LINK value "SymbolicLinkValue" holds an
// absolute path such as \Registry\Machine\Software\Classes\Wow6432Node.
Key *Registry::followLink(Key &link, int depth) {
    if (depth > kMaxLinkHops || !link.hive)
        return nullptr;
    link.hive->ensureValues(link);
    const Value *value = findValue(link, u"SymbolicLinkValue");
    if (!value || value->type != REG_LINK)
        return nullptr;
    std::u16string path = bytesToUtf16(reinterpret_cast<const uint8_t *>(value->data.data()), value->data.size());
    while (!path.empty() && path.back() == 0)
        path.pop_back();
    std::vector<std::u16string_view> parts;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos)
            end = path.size();
        if (end > start)
            parts.emplace_back(path.data() + start, end - start);
        start = end + 1;
    }
    if (parts.size() < 2 || !sameName(parts[0], u"Registry"))
        return nullptr;
    Key *key;
    if (sameName(parts[1], u"Machine")) {
        refresh(*machine_);
        key = &machine_->root();
    } else if (sameName(parts[1], u"User")) {
        key = &usersKey_;
    } else {
        return nullptr;
    }
    for (size_t i = 2; i < parts.size() && key; ++i) {
        key = childOf(*key, parts[i]);
        if (key && key->isLink)
            key = followLink(*key, depth + 1);
    }
    return key;
}

LSTATUS Registry::walk(Key *&key, const ParsedPath &path, bool openLink) {
    for (size_t i = 0; i < path.parts.size(); ++i) {
        Key *next = childOf(*key, path.parts[i]);
        if (!next)
            return ERROR_FILE_NOT_FOUND;
        const bool last = i + 1 == path.parts.size();
        if (next->isLink && !(last && openLink)) {
            next = followLink(*next, 0);
            if (!next)
                return ERROR_FILE_NOT_FOUND;
        }
        key = next;
    }
    return ERROR_SUCCESS;
}

HKEY Registry::newHandle(Key *key, REGSAM access) {
    const uintptr_t id = g_nextHandle;
    g_nextHandle += 4;
    Handle handle;
    handle.key = key;
    handle.hive = key->hive;
    handle.access = effectiveAccess(access);
    if (handle.hive)
        ++handle.hive->openHandles;
    handles_.emplace(id, std::move(handle));
    return reinterpret_cast<HKEY>(id);
}

void Registry::forgetKey(Key *key) {
    for (auto &[id, handle] : handles_) {
        if (handle.key == key) {
            handle.deleted = true;
            handle.key = nullptr;
        }
    }
}

bool Registry::isRootOfHive(const Key &key) const { return key.hive && &key == &key.hive->root(); }

void Registry::commitIdleHives() {
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()}) {
        if (hive->hasPendingChanges() && hive->openHandles == 0)
            hive->save();
    }
}

void Registry::hiveWillReload(Hive &hive) {
    for (auto &[id, handle] : handles_) {
        if (handle.hive == &hive && !handle.deleted)
            handle.pathDuringReload = pathOf(*handle.key);
    }
}

void Registry::hiveDidReload(Hive &hive) {
    for (auto &[id, handle] : handles_) {
        if (handle.hive != &hive || handle.deleted)
            continue;
        handle.key = findPath(hive.root(), handle.pathDuringReload);
        handle.deleted = handle.key == nullptr;
        handle.pathDuringReload.clear();
    }
}

LSTATUS Registry::openKey(HKEY base, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    beginCall();
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const Target start = target(base);
    if (start.status != ERROR_SUCCESS)
        return start.status;
    const ParsedPath path = parsePath(subKey);
    if (path.status != ERROR_SUCCESS)
        return path.status;
    // A predefined root opened with an empty path is handed back as it is.
    if (isPredefined(base) && path.parts.empty()) {
        *result = base;
        return ERROR_SUCCESS;
    }
    Key *key = start.key;
    if (const LSTATUS status = walk(key, path, (options & REG_OPTION_OPEN_LINK) != 0))
        return status;
    *result = newHandle(key, access);
    return ERROR_SUCCESS;
}

LSTATUS Registry::createKey(HKEY base, LPCSTR subKey, LPCSTR keyClass, DWORD options, REGSAM access, PHKEY result,
                            LPDWORD disposition) {
    beginCall();
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    const Target start = target(base);
    if (start.status != ERROR_SUCCESS)
        return start.status;
    const ParsedPath path = parsePath(subKey);
    if (path.status != ERROR_SUCCESS)
        return path.status;
    const bool isVolatile = (options & REG_OPTION_VOLATILE) != 0;
    const bool makeLink = (options & REG_OPTION_CREATE_LINK) != 0;
    const bool openLink = (options & (REG_OPTION_OPEN_LINK | REG_OPTION_CREATE_LINK)) != 0;
    Key *key = start.key;
    if (depthOf(*key) + path.parts.size() > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    bool created = false;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        const bool last = i + 1 == path.parts.size();
        Key *next = childOf(*key, path.parts[i]);
        if (!next) {
            if (!key->hive)
                return ERROR_ACCESS_DENIED;
            if (const LSTATUS denied = key->hive->checkWritable())
                return denied;
            if (key->isVolatile && !isVolatile)
                return kChildMustBeVolatile;
            std::u16string classText;
            if (last && keyClass)
                classText = utf8ToUtf16(keyClass);
            next = key->hive->createKey(*key, path.parts[i], last && keyClass ? &classText : nullptr, isVolatile,
                                        last && makeLink);
            created = last;
        }
        if (next->isLink && !(last && openLink)) {
            next = followLink(*next, 0);
            if (!next)
                return ERROR_FILE_NOT_FOUND;
        }
        key = next;
    }
    *result = newHandle(key, access);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    commitIdleHives();
    return ERROR_SUCCESS;
}

LSTATUS Registry::closeKey(HKEY key) {
    beginCall();
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (isPredefined(key))
        return ERROR_SUCCESS;
    const auto found = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (found == handles_.end())
        return ERROR_INVALID_HANDLE;
    if (found->second.hive)
        --found->second.hive->openHandles;
    handles_.erase(found);
    commitIdleHives();
    return ERROR_SUCCESS;
}

LSTATUS Registry::queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (reserved || (data && !size))
        return ERROR_INVALID_PARAMETER;
    if (!(at.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    const std::u16string valueName = utf8ToUtf16(name ? name : "");
    if (valueName.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (!at.key->hive)
        return ERROR_FILE_NOT_FOUND;
    at.key->hive->ensureValues(*at.key);
    const Value *value = findValue(*at.key, valueName);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    return copyData(value->type, value->data, data, size);
}

LSTATUS Registry::setValue(HKEY key, LPCSTR name, DWORD type, const BYTE *data, DWORD size) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (!(at.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!data && size)
        return kNoAccess;
    std::u16string valueName = utf8ToUtf16(name ? name : "");
    if (valueName.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (!at.key->hive)
        return ERROR_ACCESS_DENIED;
    if (const LSTATUS denied = at.key->hive->checkWritable())
        return denied;
    Value value;
    value.name = std::move(valueName);
    value.type = type;
    value.data = dataFromAnsi(type, data, size);
    at.key->hive->setValue(*at.key, std::move(value));
    commitIdleHives();
    return ERROR_SUCCESS;
}

LSTATUS Registry::deleteValue(HKEY key, LPCSTR name) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (!(at.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    const std::u16string valueName = utf8ToUtf16(name ? name : "");
    if (valueName.size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    if (!at.key->hive)
        return ERROR_FILE_NOT_FOUND;
    at.key->hive->ensureValues(*at.key);
    if (!findValue(*at.key, valueName))
        return ERROR_FILE_NOT_FOUND;
    if (const LSTATUS denied = at.key->hive->checkWritable())
        return denied;
    at.key->hive->deleteValue(*at.key, valueName);
    commitIdleHives();
    return ERROR_SUCCESS;
}

LSTATUS Registry::queryInfo(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved, LPDWORD subKeys,
                            LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                            LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptorSize,
                            PFILETIME lastWriteTime) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (reserved || (keyClass && !classLength))
        return ERROR_INVALID_PARAMETER;
    if (!(at.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    Key &k = *at.key;
    const std::string classText = k.keyClass ? utf16ToUtf8(*k.keyClass) : std::string();
    if (keyClass) {
        if (!copyName(classText, keyClass, *classLength)) {
            *classLength = static_cast<DWORD>(classText.size());
            return ERROR_MORE_DATA;
        }
    }
    if (classLength)
        *classLength = static_cast<DWORD>(classText.size());
    const size_t count = childCount(k);
    if (subKeys)
        *subKeys = static_cast<DWORD>(count);
    if (maxSubKeyLength || maxClassLength) {
        size_t longestName = 0;
        size_t longestClass = 0;
        for (size_t i = 0; i < count; ++i) {
            const Key *child = childAt(k, i);
            longestName = std::max(longestName, child->name.size());
            if (child->keyClass)
                longestClass = std::max(longestClass, child->keyClass->size());
        }
        if (maxSubKeyLength)
            *maxSubKeyLength = static_cast<DWORD>(longestName);
        if (maxClassLength)
            *maxClassLength = static_cast<DWORD>(longestClass);
    }
    if (k.hive)
        k.hive->ensureValues(k);
    if (values)
        *values = static_cast<DWORD>(k.values.size());
    if (maxValueNameLength || maxValueLength) {
        size_t longestName = 0;
        size_t longestData = 0;
        for (const Value &value : k.values) {
            longestName = std::max(longestName, value.name.size());
            longestData = std::max({longestData, value.data.size(), ansiDataSize(value.type, value.data)});
        }
        if (maxValueNameLength)
            *maxValueNameLength = static_cast<DWORD>(longestName);
        if (maxValueLength)
            *maxValueLength = static_cast<DWORD>(longestData);
    }
    if (securityDescriptorSize)
        *securityDescriptorSize = 0;
    putFileTime(k.hasFileTime ? k.fileTime : 0, lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS Registry::enumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPSTR keyClass,
                          LPDWORD classLength, PFILETIME lastWriteTime) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (!name || !nameLength || reserved || (keyClass && !classLength))
        return ERROR_INVALID_PARAMETER;
    if (!(at.access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (index >= childCount(*at.key))
        return ERROR_NO_MORE_ITEMS;
    const Key *child = childAt(*at.key, index);
    const std::string childName = utf16ToUtf8(child->name);
    if (!copyName(childName, name, *nameLength))
        return ERROR_MORE_DATA;
    *nameLength = static_cast<DWORD>(childName.size());
    const std::string classText = child->keyClass ? utf16ToUtf8(*child->keyClass) : std::string();
    if (keyClass && !copyName(classText, keyClass, *classLength))
        return ERROR_MORE_DATA;
    if (classLength)
        *classLength = static_cast<DWORD>(classText.size());
    putFileTime(child->hasFileTime ? child->fileTime : 0, lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS Registry::enumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type,
                            LPBYTE data, LPDWORD size) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (!name || !nameLength || reserved || (data && !size))
        return ERROR_INVALID_PARAMETER;
    if (!(at.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!at.key->hive)
        return ERROR_NO_MORE_ITEMS;
    at.key->hive->ensureValues(*at.key);
    if (index >= at.key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value &value = at.key->values[index];
    const std::string valueName = utf16ToUtf8(value.name);
    if (!copyName(valueName, name, *nameLength))
        return ERROR_MORE_DATA;
    *nameLength = static_cast<DWORD>(valueName.size());
    if (type)
        *type = value.type;
    return copyData(value.type, value.data, data, size);
}

LSTATUS Registry::deleteKey(HKEY base, LPCSTR subKey) {
    beginCall();
    const Target start = target(base);
    if (start.status != ERROR_SUCCESS)
        return start.status;
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    const ParsedPath path = parsePath(subKey);
    if (path.status != ERROR_SUCCESS)
        return path.status;
    Key *key = start.key;
    if (const LSTATUS status = walk(key, path, true))
        return status;
    if (!key->hive || isRootOfHive(*key) || !key->children.empty())
        return ERROR_ACCESS_DENIED;
    if (const LSTATUS denied = key->hive->checkWritable())
        return denied;
    forgetKey(key);
    key->hive->deleteKey(*key);
    commitIdleHives();
    return ERROR_SUCCESS;
}

LSTATUS Registry::flushKey(HKEY key) {
    beginCall();
    const Target at = target(key);
    if (at.status != ERROR_SUCCESS)
        return at.status;
    if (at.key->hive)
        return static_cast<LSTATUS>(at.key->hive->save());
    const LSTATUS first = static_cast<LSTATUS>(user_->save());
    const LSTATUS second = static_cast<LSTATUS>(defaultUser_->save());
    return first != ERROR_SUCCESS ? first : second;
}

LSTATUS Registry::flushAll() {
    beginCall();
    LSTATUS result = ERROR_SUCCESS;
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()}) {
        const auto status = static_cast<LSTATUS>(hive->save());
        if (result == ERROR_SUCCESS)
            result = status;
    }
    return result;
}

void Registry::closeAllHandles() {
    for (auto &[id, handle] : handles_) {
        if (handle.hive)
            --handle.hive->openHandles;
    }
    handles_.clear();
}

bool Registry::forcedReadOnly(std::string_view fileName) {
    const Hive *hive = hiveByFile(fileName);
    return hive && hive->forcedReadOnly();
}

LSTATUS Registry::setReadOnly(const char *fileName, bool readOnly) {
    if (!fileName) {
        for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
            hive->forceReadOnly(readOnly);
        return ERROR_SUCCESS;
    }
    Hive *hive = hiveByFile(fileName);
    if (!hive)
        return ERROR_FILE_NOT_FOUND;
    hive->forceReadOnly(readOnly);
    return ERROR_SUCCESS;
}

} // namespace winreg
