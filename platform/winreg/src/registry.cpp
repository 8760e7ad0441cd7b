#include "registry.h"

#include "format.h"
#include "text.h"
#include "textconv.h"

#include <algorithm>
#include <cstring>

namespace winreg {

namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr int kMaxLinkHops = 16;
constexpr char16_t kUserSid[] = u"S-1-5-21-0-0-0-1000";
constexpr char16_t kDefaultUser[] = u".Default";

// Handle values are never reused within a process, not even across
// VtrRegReset, so that a stale handle is always told apart.
Handle g_nextHandle = 0x1000;

// The bytes a value holds in the A functions' view, where text is UTF-8.
size_t utf8DataSize(const Value &value) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ && value.type != REG_MULTI_SZ)
        return value.data.size();
    return textconv::utf8LengthOfBytes(value.data);
}

uint32_t effectiveAccess(uint32_t access) {
    constexpr uint32_t kGenericRead = 0x80000000u;
    constexpr uint32_t kGenericWrite = 0x40000000u;
    constexpr uint32_t kGenericExecute = 0x20000000u;
    constexpr uint32_t kGenericAll = 0x10000000u;
    uint32_t result = access & ~static_cast<uint32_t>(KEY_WOW64_RES);
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

} // namespace

Registry::Registry(std::string directory) : directory_(std::move(directory)) {
    usersKey_.name = u"User";
    machine_ = std::make_unique<Hive>(directory_, "system.reg", "REGISTRY\\\\Machine", u"Machine", *this);
    user_ = std::make_unique<Hive>(directory_, "user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000", kUserSid,
                                   *this);
    defaultUser_ = std::make_unique<Hive>(directory_, "userdef.reg", "REGISTRY\\\\User\\\\.Default", kDefaultUser,
                                          *this);
    refreshedInCall_ = {{{machine_.get(), 0}, {user_.get(), 0}, {defaultUser_.get(), 0}}};
    user_->setParentOfRoot(&usersKey_);
    defaultUser_->setParentOfRoot(&usersKey_);
    isNew_ = true;
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
        isNew_ = isNew_ && !stampOf(hive->filePath()).exists;
}

Registry::~Registry() = default;

void Registry::refresh(Hive &hive) {
    for (LookedAt &lookedAt : refreshedInCall_) {
        if (lookedAt.hive != &hive)
            continue;
        if (lookedAt.call == call_)
            return;
        lookedAt.call = call_;
        break;
    }
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
        if (key->hive) // a link may lead to the key above the users' hives, which has none
            key->hive->ensureChildren(*key);
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

Key *Registry::predefinedKey(Handle key) {
    if (key == root::localMachine) {
        refresh(*machine_);
        return &machine_->root();
    }
    if (key == root::currentUser) {
        refresh(*user_);
        return &user_->root();
    }
    if (key == root::users)
        return &usersKey_;
    if (key == root::classesRoot) {
        refresh(*machine_);
        return ensurePath(*machine_, {u"Software", u"Classes"});
    }
    if (key == root::currentConfig) {
        refresh(*machine_);
        return ensurePath(*machine_, {u"System", u"CurrentControlSet", u"Hardware Profiles", u"Current"});
    }
    return nullptr;
}

Registry::Target Registry::target(Handle key) {
    Target result;
    if (!key) {
        result.status = status::invalidHandle;
        return result;
    }
    if (root::isPredefined(key)) {
        result.key = predefinedKey(key);
        result.access = KEY_ALL_ACCESS;
        if (!result.key)
            result.status = status::invalidHandle;
        return result;
    }
    const auto found = handles_.find(key);
    if (found == handles_.end()) {
        result.status = status::invalidHandle;
        return result;
    }
    OpenHandle &handle = found->second;
    if (!handle.deleted && handle.hive)
        refresh(*handle.hive); // may find the key deleted by another program
    if (handle.deleted) {
        result.status = status::keyDeleted;
        return result;
    }
    result.key = handle.key;
    result.access = handle.access;
    return result;
}

Registry::ParsedPath Registry::parsePath(std::u16string_view text) {
    ParsedPath result;
    if (!text.empty() && text.front() == u'\\') {
        result.status = status::badPathname;
        return result;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = text.size();
        if (end > start) {
            if (end - start > kMaxKeyNameLength) {
                result.status = status::invalidParameter;
                return result;
            }
            result.parts.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    if (result.parts.size() > kMaxKeyDepth)
        result.status = status::invalidParameter;
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
    key.hive->ensureChildren(key);
    return findChild(key, name);
}

size_t Registry::childCount(Key &key) {
    if (&key == &usersKey_)
        return 2;
    key.hive->ensureChildren(key);
    return key.children.size();
}

Key *Registry::childAt(Key &key, size_t index) {
    if (&key == &usersKey_)
        return childOf(key, index == 0 ? kDefaultUser : kUserSid);
    key.hive->ensureChildren(key);
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
    std::u16string path = textconv::fromBytes(value->data);
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

Status Registry::walk(Key *&key, const ParsedPath &path, bool openLink) {
    for (size_t i = 0; i < path.parts.size(); ++i) {
        Key *next = childOf(*key, path.parts[i]);
        if (!next)
            return status::fileNotFound;
        const bool last = i + 1 == path.parts.size();
        if (next->isLink && !(last && openLink)) {
            next = followLink(*next, 0);
            if (!next)
                return status::fileNotFound;
        }
        key = next;
    }
    return status::ok;
}

Handle Registry::newHandle(Key *key, uint32_t access) {
    const Handle id = g_nextHandle;
    g_nextHandle += 4;
    OpenHandle handle;
    handle.key = key;
    handle.hive = key->hive;
    handle.access = effectiveAccess(access);
    if (handle.hive)
        ++handle.hive->openHandles;
    handles_.emplace(id, std::move(handle));
    return id;
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

// The first failed save is the caller's answer. A batch saves when it ends.
Status Registry::commitIdleHives() {
    Status result = status::ok;
    if (inBatch_)
        return result;
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()}) {
        if (hive->hasPendingChanges() && hive->openHandles == 0) {
            const Status saved = hive->save();
            if (result == status::ok)
                result = saved;
        }
    }
    return result;
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
        handle.key = hive.findPath(handle.pathDuringReload);
        handle.deleted = handle.key == nullptr;
        handle.pathDuringReload.clear();
    }
}

const Hive *Registry::probeHive(std::string_view fileName, bool throughServer, Refusal &refusal) {
    beginCall();
    Hive *hive = hiveByFile(fileName);
    if (!hive)
        return nullptr;
    if (!throughServer)
        refresh(*hive);
    const Status status = throughServer ? hive->checkRequested() : hive->checkWritableNow();
    refusal = status == status::ok ? Refusal() : hive->lastRefusal();
    return hive;
}

Status Registry::markRefusalTold(std::string_view fileName) {
    Hive *hive = hiveByFile(fileName);
    if (!hive)
        return status::fileNotFound;
    hive->markRefusalTold();
    return status::ok;
}

Status Registry::openKey(Handle base, std::u16string_view subKey, uint32_t options, uint32_t access,
                         Handle &result) {
    beginCall();
    result = 0;
    const Target start = target(base);
    if (start.status != status::ok)
        return start.status;
    const ParsedPath path = parsePath(subKey);
    if (path.status != status::ok)
        return path.status;
    // A predefined root opened with an empty path is handed back as it is.
    if (root::isPredefined(base) && path.parts.empty()) {
        result = base;
        return status::ok;
    }
    Key *key = start.key;
    if (const Status walked = walk(key, path, (options & REG_OPTION_OPEN_LINK) != 0))
        return walked;
    result = newHandle(key, access);
    return status::ok;
}

Status Registry::createKey(Handle base, std::u16string_view subKey, const std::u16string *keyClass, uint32_t options,
                           uint32_t access, Handle &result, bool &created) {
    beginCall();
    result = 0;
    created = false;
    const Target start = target(base);
    if (start.status != status::ok)
        return start.status;
    const ParsedPath path = parsePath(subKey);
    if (path.status != status::ok)
        return path.status;
    const bool isVolatile = (options & REG_OPTION_VOLATILE) != 0;
    const bool makeLink = (options & REG_OPTION_CREATE_LINK) != 0;
    const bool openLink = (options & (REG_OPTION_OPEN_LINK | REG_OPTION_CREATE_LINK)) != 0;
    Key *key = start.key;
    if (depthOf(*key) + path.parts.size() > kMaxKeyDepth)
        return status::invalidParameter;
    for (size_t i = 0; i < path.parts.size(); ++i) {
        const bool last = i + 1 == path.parts.size();
        Key *next = childOf(*key, path.parts[i]);
        if (!next) {
            if (!key->hive)
                return status::accessDenied;
            if (const Status denied = key->hive->checkWritable())
                return denied;
            if (key->isVolatile && !isVolatile)
                return status::childMustBeVolatile;
            next = key->hive->createKey(*key, std::u16string(path.parts[i]), last ? keyClass : nullptr, isVolatile,
                                        last && makeLink);
            created = last;
        }
        if (next->isLink && !(last && openLink)) {
            next = followLink(*next, 0);
            if (!next)
                return status::fileNotFound;
        }
        key = next;
    }
    result = newHandle(key, access);
    return commitIdleHives();
}

Status Registry::closeKey(Handle key) {
    beginCall();
    if (!key)
        return status::invalidHandle;
    if (root::isPredefined(key))
        return status::ok;
    const auto found = handles_.find(key);
    if (found == handles_.end())
        return status::invalidHandle;
    if (found->second.hive)
        --found->second.hive->openHandles;
    handles_.erase(found);
    return commitIdleHives();
}

Status Registry::queryValue(Handle key, std::u16string_view name, Value &result) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (!(at.access & KEY_QUERY_VALUE))
        return status::accessDenied;
    if (name.size() > kMaxValueNameLength || !at.key->hive)
        return status::fileNotFound; // no value can have a longer name
    at.key->hive->ensureValues(*at.key);
    const Value *value = findValue(*at.key, name);
    if (!value)
        return status::fileNotFound;
    result = *value;
    return status::ok;
}

Status Registry::setValue(Handle key, Value value) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (!(at.access & KEY_SET_VALUE))
        return status::accessDenied;
    if (value.name.size() > kMaxValueNameLength)
        return status::invalidParameter;
    if (!at.key->hive)
        return status::accessDenied;
    if (const Status denied = at.key->hive->checkWritable())
        return denied;
    at.key->hive->setValue(*at.key, std::move(value));
    return commitIdleHives();
}

Status Registry::deleteValue(Handle key, std::u16string_view name) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (!(at.access & KEY_SET_VALUE))
        return status::accessDenied;
    if (name.size() > kMaxValueNameLength)
        return status::invalidParameter;
    if (!at.key->hive)
        return status::fileNotFound;
    at.key->hive->ensureValues(*at.key);
    if (!findValue(*at.key, name))
        return status::fileNotFound;
    if (const Status denied = at.key->hive->checkWritable())
        return denied;
    at.key->hive->deleteValue(*at.key, name);
    return commitIdleHives();
}

Status Registry::queryInfo(Handle key, KeyInfo &info) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (!(at.access & KEY_QUERY_VALUE))
        return status::accessDenied;
    Key &k = *at.key;
    info = KeyInfo();
    if (k.keyClass)
        info.keyClass = *k.keyClass;
    const size_t count = childCount(k);
    info.subKeys = static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; ++i) {
        const Key *child = childAt(k, i);
        info.maxSubKeyLength = std::max(info.maxSubKeyLength, static_cast<uint32_t>(child->name.size()));
        if (child->keyClass)
            info.maxClassLength = std::max(info.maxClassLength, static_cast<uint32_t>(child->keyClass->size()));
    }
    if (k.hive)
        k.hive->ensureValues(k);
    info.values = static_cast<uint32_t>(k.values.size());
    for (const Value &value : k.values) {
        info.maxValueNameLength = std::max(info.maxValueNameLength, static_cast<uint32_t>(value.name.size()));
        info.maxValueLength = std::max(info.maxValueLength, static_cast<uint32_t>(value.data.size()));
        info.maxValueLengthAsUtf8 = std::max(info.maxValueLengthAsUtf8, static_cast<uint32_t>(utf8DataSize(value)));
    }
    info.lastWriteTime = k.hasFileTime ? k.fileTime : 0;
    return status::ok;
}

Status Registry::enumKey(Handle key, uint32_t index, SubKey &result) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (!(at.access & KEY_ENUMERATE_SUB_KEYS))
        return status::accessDenied;
    if (index >= childCount(*at.key))
        return status::noMoreItems;
    const Key *child = childAt(*at.key, index);
    result.name = child->name;
    result.keyClass = child->keyClass ? *child->keyClass : std::u16string();
    result.lastWriteTime = child->hasFileTime ? child->fileTime : 0;
    return status::ok;
}

Status Registry::enumValue(Handle key, uint32_t index, Value &result) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (!(at.access & KEY_QUERY_VALUE))
        return status::accessDenied;
    if (!at.key->hive)
        return status::noMoreItems;
    at.key->hive->ensureValues(*at.key);
    if (index >= at.key->values.size())
        return status::noMoreItems;
    result = at.key->values[index];
    return status::ok;
}

Status Registry::deleteKey(Handle base, std::u16string_view subKey) {
    beginCall();
    const Target start = target(base);
    if (start.status != status::ok)
        return start.status;
    const ParsedPath path = parsePath(subKey);
    if (path.status != status::ok)
        return path.status;
    Key *key = start.key;
    if (const Status walked = walk(key, path, true))
        return walked;
    if (!key->hive || isRootOfHive(*key) || hasChildren(*key))
        return status::accessDenied;
    if (const Status denied = key->hive->checkWritable())
        return denied;
    forgetKey(key);
    key->hive->deleteKey(*key);
    return commitIdleHives();
}

Status Registry::flushKey(Handle key) {
    beginCall();
    const Target at = target(key);
    if (at.status != status::ok)
        return at.status;
    if (at.key->hive)
        return at.key->hive->save();
    const Status first = user_->save();
    const Status second = defaultUser_->save();
    return first != status::ok ? first : second;
}

Status Registry::flushAll() {
    beginCall();
    Status result = status::ok;
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()}) {
        const Status saved = hive->save();
        if (result == status::ok)
            result = saved;
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

Status Registry::setReadOnly(const char *fileName, bool readOnly) {
    if (!fileName) {
        for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
            hive->forceReadOnly(readOnly);
        return status::ok;
    }
    Hive *hive = hiveByFile(fileName);
    if (!hive)
        return status::fileNotFound;
    hive->forceReadOnly(readOnly);
    return status::ok;
}

void Registry::beginBatch() {
    ++call_; // the batch's first use of each hive looks at its file
    inBatch_ = true;
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
        hive->trustProbes(true);
}

Status Registry::endBatch() {
    inBatch_ = false;
    for (Hive *hive : {machine_.get(), user_.get(), defaultUser_.get()})
        hive->trustProbes(false);
    return flushAll();
}

} // namespace winreg
