#include "live.h"

#include "../bridge/protocol.h"
#include "hive.h"
#include "text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace winreg {

namespace {

constexpr int kCallTimeoutMs = 5000;
// A server on its way out still holds its lock while it saves.
constexpr auto kServerSaveWait = std::chrono::seconds(3);

// Live handles are numbers of their own range, never reused in a process.
constexpr Handle kFirstHandle = 0x50000000u;
constexpr Handle kHandleSpan = 0x20000000u;
Handle g_nextHandle = kFirstHandle;

bool isPredefinedRoot(Handle key) {
    return root::isPredefined(key);
}

std::u16string joined(const std::u16string &path, std::u16string_view subKey) {
    std::u16string tail(subKey);
    while (!tail.empty() && tail.back() == u'\\')
        tail.pop_back();
    if (path.empty() || tail.empty())
        return path.empty() ? tail : path;
    return path + u'\\' + tail;
}

// The hive file a key of the live registry belongs to.
std::string hiveFileOf(uint32_t root, const std::u16string &path) {
    if (root == static_cast<uint32_t>(root::currentUser))
        return "user.reg";
    if (root == static_cast<uint32_t>(root::users))
        return sameName(path.substr(0, path.find(u'\\')), u".Default") ? "userdef.reg" : "user.reg";
    return "system.reg";
}

} // namespace

LiveRegistry::LiveRegistry(std::string prefix, std::function<bool(const std::string &)> forcedReadOnly)
    : prefix_(std::move(prefix)), forcedReadOnly_(std::move(forcedReadOnly)) {}

bool LiveRegistry::isLiveHandle(Handle key) {
    return key >= kFirstHandle && key < kFirstHandle + kHandleSpan;
}

Status LiveRegistry::place(Handle key, Place &out) {
    if (isPredefinedRoot(key)) {
        out.root = static_cast<uint32_t>(key);
        return status::ok;
    }
    const auto found = handles_.find(key);
    if (found == handles_.end())
        return status::invalidHandle;
    out.root = found->second.root;
    out.path = found->second.path;
    out.key = &found->second;
    return status::ok;
}

Status LiveRegistry::fail(Status status, const std::string &why) {
    note_ = "Through the running Wine server of " + prefix_ + ": " + why;
    std::fprintf(stderr, "vantor registry: %s\n", note_.c_str());
    return status;
}

LiveRegistry::Trouble LiveRegistry::startBridge(std::string &why) {
    const std::string folder = wineServerFolder(prefix_);
    if (folder.empty()) {
        why = "the Wine server has ended";
        return Trouble::Died;
    }
    const std::string loader = wineLoaderFor(folder, why);
    if (loader.empty())
        return Trouble::CannotStart;
    const std::string program = bridgeProgram();
    if (program.empty()) {
        why = "the bridge into Wine is missing (it is built only where mingw-w64 is installed)";
        return Trouble::CannotStart;
    }
    why = process_.start(loader, program, prefix_);
    if (!why.empty())
        return Trouble::CannotStart;
    loader_ = loader;
    answered_ = false;
    ++generation_;
    return Trouble::None;
}

LiveRegistry::Trouble LiveRegistry::exchange(const std::string &message, std::string &answer, std::string &why) {
    BridgeProcess::Exchange result = process_.exchange(message, kCallTimeoutMs);
    if (result.outcome == BridgeProcess::Outcome::Answered && result.body.size() >= 4) {
        answered_ = true;
        answer = std::move(result.body);
        return Trouble::None;
    }
    if (result.outcome == BridgeProcess::Outcome::Answered) {
        process_.stop();
        why = "the bridge into Wine answered out of step";
        return Trouble::Died;
    }
    why = result.error;
    return result.outcome == BridgeProcess::Outcome::TimedOut ? Trouble::TimedOut : Trouble::Died;
}

// One try of a call: the bridge started if need be, the key opened again in
// it if it was opened in a bridge that has ended since.
LiveRegistry::Trouble LiveRegistry::attempt(const Place &at, bridge::Op op, const Fields &fields, std::string &results,
                                            Status &status, std::string &why) {
    if (!process_.running()) {
        if (const Trouble trouble = startBridge(why); trouble != Trouble::None)
            return trouble;
    }
    uint32_t remote = at.root;
    std::string answer;
    if (LiveKey *handle = at.key) {
        if (handle->generation != generation_) {
            bridge::Writer reopen;
            reopen.u8(static_cast<uint8_t>(bridge::Op::OpenKey)).u32(handle->root).u32(handle->options);
            reopen.u32(handle->access).text(handle->path);
            if (const Trouble trouble = exchange(reopen.message(), answer, why); trouble != Trouble::None)
                return trouble;
            bridge::Reader reopened(answer);
            if (reopened.u32() != status::ok) {
                status = status::keyDeleted;
                return Trouble::None;
            }
            handle->remote = reopened.u32();
            handle->generation = generation_;
        }
        remote = handle->remote;
    }
    bridge::Writer request;
    request.u8(static_cast<uint8_t>(op)).u32(remote);
    fields(request);
    if (const Trouble trouble = exchange(request.message(), answer, why); trouble != Trouble::None)
        return trouble;
    bridge::Reader reply(answer);
    status = static_cast<Status>(reply.u32());
    results = answer.substr(4);
    return Trouble::None;
}

// A bridge that ended is started again once; a server that ended hands the
// prefix back to the files, once it has saved them (released its lock).
Status LiveRegistry::call(const Place &at, bridge::Op op, const Fields &fields, std::string &results) {
    const std::string handBack = "; it has ended, and the registry files serve the next calls";
    std::string why;
    for (int round = 0; round < 2; ++round) {
        Status status = status::ok;
        switch (attempt(at, op, fields, results, status, why)) {
        case Trouble::None: return status;
        case Trouble::CannotStart: return fail(status::notSupported, why);
        case Trouble::TimedOut:
            return fail(status::timeout, why + " within " + std::to_string(kCallTimeoutMs / 1000) + " s");
        case Trouble::Died: break;
        }
        if (!wineServerRunning(prefix_)) {
            ended_ = true;
            return fail(status::brokenPipe, why + handBack);
        }
    }
    if (!answered_)
        return fail(status::notSupported, "the Wine loader " + loader_ + " could not run the bridge: " + why);
    const auto deadline = std::chrono::steady_clock::now() + kServerSaveWait;
    while (wineServerRunning(prefix_) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ended_ = !wineServerRunning(prefix_);
    return fail(status::brokenPipe, why + (ended_ ? handBack : ""));
}

Status LiveRegistry::refuseChange(const Place &at, std::u16string_view path) {
    return forcedReadOnly_(hiveFileOf(at.root, joined(at.path, path))) ? status::accessDenied : status::ok;
}

Handle LiveRegistry::newHandle(const Place &at, std::u16string_view path, uint32_t access, uint32_t options,
                               uint32_t remote) {
    LiveKey handle;
    handle.root = at.root;
    handle.path = joined(at.path, path);
    handle.access = access;
    handle.options = (options & (REG_OPTION_OPEN_LINK | REG_OPTION_CREATE_LINK)) ? REG_OPTION_OPEN_LINK : 0;
    handle.remote = remote;
    handle.generation = generation_;
    const Handle id = g_nextHandle;
    g_nextHandle += 4;
    handles_.emplace(id, std::move(handle));
    return id;
}

Status LiveRegistry::openKey(Handle base, std::u16string_view path, uint32_t options, uint32_t access, Handle &key) {
    Place at;
    if (const Status status = place(base, at))
        return status;
    // A predefined root opened with an empty path is handed back as it is.
    if (isPredefinedRoot(base) && path.empty()) {
        key = base;
        return status::ok;
    }
    std::string results;
    const Status status = call(
        at, bridge::Op::OpenKey, [&](bridge::Writer &w) { w.u32(options).u32(access).text(path); }, results);
    if (status == status::ok)
        key = newHandle(at, path, access, options, bridge::Reader(results).u32());
    return status;
}

Status LiveRegistry::createKey(Handle base, std::u16string_view path, const std::u16string *keyClass, uint32_t options,
                               uint32_t access, Handle &key, bool &created) {
    Place at;
    if (const Status status = place(base, at))
        return status;
    // A read-only hive still opens its existing keys.
    if (const Status denied = refuseChange(at, path)) {
        created = false;
        const Status status = openKey(base, path, options & REG_OPTION_OPEN_LINK, access, key);
        return status == status::fileNotFound ? denied : status;
    }
    const std::optional<std::u16string_view> classText =
        keyClass ? std::optional<std::u16string_view>(*keyClass) : std::nullopt;
    std::string results;
    const Status status = call(
        at, bridge::Op::CreateKey, [&](bridge::Writer &w) { w.u32(options).u32(access).text(path).text(classText); },
        results);
    if (status != status::ok)
        return status;
    bridge::Reader reply(results);
    const uint32_t remote = reply.u32();
    created = reply.u32() == REG_CREATED_NEW_KEY;
    key = newHandle(at, path, access, options, remote);
    return status::ok;
}

Status LiveRegistry::closeKey(Handle key) {
    if (isPredefinedRoot(key))
        return status::ok;
    const auto found = handles_.find(key);
    if (found == handles_.end())
        return status::invalidHandle;
    const LiveKey handle = found->second;
    handles_.erase(found);
    // A key of a bridge that has ended was closed with it.
    if (handle.generation != generation_ || !process_.running())
        return status::ok;
    bridge::Writer request;
    request.u8(static_cast<uint8_t>(bridge::Op::CloseKey)).u32(handle.remote);
    std::string answer;
    std::string why;
    if (exchange(request.message(), answer, why) != Trouble::None)
        return status::ok;
    return static_cast<Status>(bridge::Reader(answer).u32());
}

// One call on the key behind a handle.
Status LiveRegistry::ask(Handle key, bridge::Op op, const Fields &fields, std::string &results) {
    Place at;
    if (const Status status = place(key, at))
        return status;
    return call(at, op, fields, results);
}

// One change at path below the key behind a handle, unless its hive is read-only.
Status LiveRegistry::change(Handle key, std::u16string_view path, bridge::Op op, const Fields &fields) {
    Place at;
    if (const Status status = place(key, at))
        return status;
    if (const Status denied = refuseChange(at, path))
        return denied;
    std::string results;
    return call(at, op, fields, results);
}

Status LiveRegistry::queryValue(Handle key, std::u16string_view name, Value &value) {
    std::string results;
    if (const Status status = ask(key, bridge::Op::QueryValue, [&](bridge::Writer &w) { w.text(name); }, results))
        return status;
    bridge::Reader reply(results);
    value.name = name;
    value.type = reply.u32();
    value.data = reply.bytes();
    return status::ok;
}

Status LiveRegistry::setValue(Handle key, Value value) {
    return change(key, u"", bridge::Op::SetValue,
                  [&](bridge::Writer &w) { w.text(value.name).u32(value.type).bytes(value.data); });
}

Status LiveRegistry::deleteValue(Handle key, std::u16string_view name) {
    return change(key, u"", bridge::Op::DeleteValue, [&](bridge::Writer &w) { w.text(name); });
}

Status LiveRegistry::queryInfo(Handle key, KeyInfo &info) {
    std::string results;
    if (const Status status = ask(key, bridge::Op::QueryInfo, [](bridge::Writer &) {}, results))
        return status;
    bridge::Reader reply(results);
    info.keyClass = reply.text().value_or(u"");
    uint32_t securityDescriptorSize = 0;
    for (uint32_t *figure : {&info.subKeys, &info.maxSubKeyLength, &info.maxClassLength, &info.values,
                             &info.maxValueNameLength, &info.maxValueLength, &securityDescriptorSize})
        *figure = reply.u32();
    info.lastWriteTime = reply.u64();
    info.maxValueLengthAsUtf8 = reply.u32();
    return status::ok;
}

Status LiveRegistry::enumKey(Handle key, uint32_t index, SubKey &subKey) {
    std::string results;
    if (const Status status = ask(key, bridge::Op::EnumKey, [&](bridge::Writer &w) { w.u32(index); }, results))
        return status;
    bridge::Reader reply(results);
    subKey.name = reply.text().value_or(u"");
    subKey.keyClass = reply.text().value_or(u"");
    subKey.lastWriteTime = reply.u64();
    return status::ok;
}

Status LiveRegistry::enumValue(Handle key, uint32_t index, Value &value) {
    std::string results;
    if (const Status status = ask(key, bridge::Op::EnumValue, [&](bridge::Writer &w) { w.u32(index); }, results))
        return status;
    bridge::Reader reply(results);
    value.name = reply.text().value_or(u"");
    value.type = reply.u32();
    value.data = reply.bytes();
    return status::ok;
}

Status LiveRegistry::deleteKey(Handle base, std::u16string_view path) {
    return change(base, path, bridge::Op::DeleteKey, [&](bridge::Writer &w) { w.text(path); });
}

Status LiveRegistry::flushKey(Handle key) {
    std::string results;
    return ask(key, bridge::Op::FlushKey, [](bridge::Writer &) {}, results);
}

} // namespace winreg
