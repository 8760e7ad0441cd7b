#include "live.h"

#include "../bridge/protocol.h"
#include "ansi.h"
#include "hive.h"
#include "text.h"

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
constexpr uintptr_t kFirstLiveHandle = 0x50000000u;
constexpr uintptr_t kLiveHandleSpan = 0x20000000u;
uintptr_t g_nextLiveHandle = kFirstLiveHandle;

bool isPredefinedRoot(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    return value >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<uintptr_t>(HKEY_DYN_DATA);
}

std::optional<std::u16string> utf16Of(LPCSTR text) {
    return text ? std::optional<std::u16string>(utf8ToUtf16(text)) : std::nullopt;
}

std::u16string joined(const std::u16string &path, const std::optional<std::u16string> &subKey) {
    std::u16string tail = subKey.value_or(u"");
    while (!tail.empty() && tail.back() == u'\\')
        tail.pop_back();
    if (path.empty() || tail.empty())
        return path.empty() ? tail : path;
    return path + u'\\' + tail;
}

// The hive file a key of the live registry belongs to.
std::string hiveFileOf(uint32_t root, const std::u16string &path) {
    if (root == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER)))
        return "user.reg";
    if (root == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_USERS)))
        return sameName(path.substr(0, path.find(u'\\')), u".Default") ? "userdef.reg" : "user.reg";
    return "system.reg";
}

} // namespace

LiveRegistry::LiveRegistry(std::string prefix, std::function<bool(const std::string &)> forcedReadOnly)
    : prefix_(std::move(prefix)), forcedReadOnly_(std::move(forcedReadOnly)) {}

bool LiveRegistry::isLiveHandle(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    return value >= kFirstLiveHandle && value < kFirstLiveHandle + kLiveHandleSpan;
}

LSTATUS LiveRegistry::place(HKEY key, Place &out) {
    if (isPredefinedRoot(key)) {
        out.root = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
        return ERROR_SUCCESS;
    }
    const auto found = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (found == handles_.end())
        return ERROR_INVALID_HANDLE;
    out.root = found->second.root;
    out.path = found->second.path;
    out.handle = &found->second;
    return ERROR_SUCCESS;
}

LSTATUS LiveRegistry::fail(LSTATUS status, const std::string &why) {
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
                                            LSTATUS &status, std::string &why) {
    if (!process_.running()) {
        if (const Trouble trouble = startBridge(why); trouble != Trouble::None)
            return trouble;
    }
    uint32_t remote = at.root;
    std::string answer;
    if (Handle *handle = at.handle) {
        if (handle->generation != generation_) {
            bridge::Writer reopen;
            reopen.u8(static_cast<uint8_t>(bridge::Op::OpenKey)).u32(handle->root).u32(handle->options);
            reopen.u32(handle->access).text(handle->path);
            if (const Trouble trouble = exchange(reopen.message(), answer, why); trouble != Trouble::None)
                return trouble;
            bridge::Reader reopened(answer);
            if (reopened.u32() != ERROR_SUCCESS) {
                status = ERROR_KEY_DELETED;
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
    status = static_cast<LSTATUS>(reply.u32());
    results = answer.substr(4);
    return Trouble::None;
}

// A bridge that ended is started again once; a server that ended hands the
// prefix back to the files, once it has saved them (released its lock).
LSTATUS LiveRegistry::call(const Place &at, bridge::Op op, const Fields &fields, std::string &results) {
    const std::string handBack = "; it has ended, and the registry files serve the next calls";
    std::string why;
    for (int round = 0; round < 2; ++round) {
        LSTATUS status = ERROR_SUCCESS;
        switch (attempt(at, op, fields, results, status, why)) {
        case Trouble::None: return status;
        case Trouble::CannotStart: return fail(ERROR_NOT_SUPPORTED, why);
        case Trouble::TimedOut:
            return fail(ERROR_TIMEOUT, why + " within " + std::to_string(kCallTimeoutMs / 1000) + " s");
        case Trouble::Died: break;
        }
        if (!wineServerRunning(prefix_)) {
            ended_ = true;
            return fail(ERROR_BROKEN_PIPE, why + handBack);
        }
    }
    if (!answered_)
        return fail(ERROR_NOT_SUPPORTED, "the Wine loader " + loader_ + " could not run the bridge: " + why);
    const auto deadline = std::chrono::steady_clock::now() + kServerSaveWait;
    while (wineServerRunning(prefix_) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ended_ = !wineServerRunning(prefix_);
    return fail(ERROR_BROKEN_PIPE, why + (ended_ ? handBack : ""));
}

LSTATUS LiveRegistry::refuseChange(const Place &at, LPCSTR subKey) {
    const std::string file = hiveFileOf(at.root, joined(at.path, utf16Of(subKey)));
    return forcedReadOnly_(file) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

HKEY LiveRegistry::newHandle(const Place &at, LPCSTR subKey, REGSAM access, DWORD options, uint32_t remote) {
    Handle handle;
    handle.root = at.root;
    handle.path = joined(at.path, utf16Of(subKey));
    handle.access = access;
    handle.options = (options & (REG_OPTION_OPEN_LINK | REG_OPTION_CREATE_LINK)) ? REG_OPTION_OPEN_LINK : 0;
    handle.remote = remote;
    handle.generation = generation_;
    const uintptr_t id = g_nextLiveHandle;
    g_nextLiveHandle += 4;
    handles_.emplace(id, std::move(handle));
    return reinterpret_cast<HKEY>(id);
}

LSTATUS LiveRegistry::openKey(HKEY base, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Place at;
    if (const LSTATUS status = place(base, at))
        return status;
    // A predefined root opened with an empty path is handed back as it is.
    if (isPredefinedRoot(base) && (!subKey || !*subKey)) {
        *result = base;
        return ERROR_SUCCESS;
    }
    const auto name = utf16Of(subKey);
    std::string results;
    const LSTATUS status = call(
        at, bridge::Op::OpenKey, [&](bridge::Writer &w) { w.u32(options).u32(access).text(name); }, results);
    if (status != ERROR_SUCCESS)
        return status;
    *result = newHandle(at, subKey, access, options, bridge::Reader(results).u32());
    return ERROR_SUCCESS;
}

LSTATUS LiveRegistry::createKey(HKEY base, LPCSTR subKey, LPCSTR keyClass, DWORD options, REGSAM access, PHKEY result,
                                LPDWORD disposition) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Place at;
    if (const LSTATUS status = place(base, at))
        return status;
    // A read-only hive still opens its existing keys.
    if (const LSTATUS denied = refuseChange(at, subKey)) {
        const LSTATUS status = openKey(base, subKey, options & REG_OPTION_OPEN_LINK, access, result);
        if (status == ERROR_SUCCESS && disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        return status == ERROR_FILE_NOT_FOUND ? denied : status;
    }
    const auto name = utf16Of(subKey);
    const auto classText = utf16Of(keyClass);
    std::string results;
    const LSTATUS status = call(
        at, bridge::Op::CreateKey, [&](bridge::Writer &w) { w.u32(options).u32(access).text(name).text(classText); },
        results);
    if (status != ERROR_SUCCESS)
        return status;
    bridge::Reader reply(results);
    const uint32_t remote = reply.u32();
    const uint32_t created = reply.u32();
    *result = newHandle(at, subKey, access, options, remote);
    if (disposition)
        *disposition = created;
    return ERROR_SUCCESS;
}

LSTATUS LiveRegistry::closeKey(HKEY key) {
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (isPredefinedRoot(key))
        return ERROR_SUCCESS;
    const auto found = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (found == handles_.end())
        return ERROR_INVALID_HANDLE;
    const Handle handle = found->second;
    handles_.erase(found);
    // A key of a bridge that has ended was closed with it.
    if (handle.generation != generation_ || !process_.running())
        return ERROR_SUCCESS;
    bridge::Writer request;
    request.u8(static_cast<uint8_t>(bridge::Op::CloseKey)).u32(handle.remote);
    std::string answer;
    std::string why;
    if (exchange(request.message(), answer, why) != Trouble::None)
        return ERROR_SUCCESS;
    return static_cast<LSTATUS>(bridge::Reader(answer).u32());
}

LSTATUS LiveRegistry::queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    if (reserved || (data && !size))
        return ERROR_INVALID_PARAMETER;
    const std::u16string valueName = utf8ToUtf16(name ? name : "");
    std::string results;
    const LSTATUS status = call(
        at, bridge::Op::QueryValue, [&](bridge::Writer &w) { w.text(valueName); }, results);
    if (status != ERROR_SUCCESS)
        return status;
    bridge::Reader reply(results);
    const DWORD storedType = reply.u32();
    const std::string stored = reply.bytes();
    if (type)
        *type = storedType;
    return copyData(storedType, stored, data, size);
}

LSTATUS LiveRegistry::setValue(HKEY key, LPCSTR name, DWORD type, const BYTE *data, DWORD size) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    if (!data && size)
        return ERROR_NOACCESS;
    if (const LSTATUS denied = refuseChange(at, nullptr))
        return denied;
    const std::u16string valueName = utf8ToUtf16(name ? name : "");
    const std::string stored = dataFromAnsi(type, data, size);
    std::string results;
    return call(
        at, bridge::Op::SetValue, [&](bridge::Writer &w) { w.text(valueName).u32(type).bytes(stored); }, results);
}

LSTATUS LiveRegistry::deleteValue(HKEY key, LPCSTR name) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    if (const LSTATUS denied = refuseChange(at, nullptr))
        return denied;
    const std::u16string valueName = utf8ToUtf16(name ? name : "");
    std::string results;
    return call(
        at, bridge::Op::DeleteValue, [&](bridge::Writer &w) { w.text(valueName); }, results);
}

LSTATUS LiveRegistry::queryInfo(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved, LPDWORD subKeys,
                                LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                                LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptorSize,
                                PFILETIME lastWriteTime) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    if (reserved || (keyClass && !classLength))
        return ERROR_INVALID_PARAMETER;
    std::string results;
    if (const LSTATUS status = call(
            at, bridge::Op::QueryInfo, [](bridge::Writer &) {}, results))
        return status;
    bridge::Reader reply(results);
    const std::string classText = utf16ToUtf8(reply.text().value_or(u""));
    DWORD figures[7];
    for (DWORD &figure : figures)
        figure = reply.u32();
    const uint64_t time = reply.u64();
    if (keyClass && !copyName(classText, keyClass, *classLength)) {
        *classLength = static_cast<DWORD>(classText.size());
        return ERROR_MORE_DATA;
    }
    if (classLength)
        *classLength = static_cast<DWORD>(classText.size());
    // Text data may take more bytes in UTF-8 than in UTF-16.
    DWORD longestData = figures[5];
    for (DWORD index = 0; maxValueLength && index < figures[3]; ++index) {
        const LSTATUS status = call(
            at, bridge::Op::EnumValue, [&](bridge::Writer &w) { w.u32(index); }, results);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return status;
        bridge::Reader value(results);
        value.text();
        const DWORD type = value.u32();
        longestData = std::max(longestData, static_cast<DWORD>(ansiDataSize(type, value.bytes())));
    }
    DWORD *const outputs[] = {subKeys,        maxSubKeyLength,       maxClassLength, values, maxValueNameLength,
                              maxValueLength, securityDescriptorSize};
    figures[5] = longestData;
    for (size_t i = 0; i < 7; ++i) {
        if (outputs[i])
            *outputs[i] = figures[i];
    }
    putFileTime(time, lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS LiveRegistry::enumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPSTR keyClass,
                              LPDWORD classLength, PFILETIME lastWriteTime) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    if (!name || !nameLength || reserved || (keyClass && !classLength))
        return ERROR_INVALID_PARAMETER;
    std::string results;
    if (const LSTATUS status = call(
            at, bridge::Op::EnumKey, [&](bridge::Writer &w) { w.u32(index); }, results))
        return status;
    bridge::Reader reply(results);
    const std::string childName = utf16ToUtf8(reply.text().value_or(u""));
    const std::string classText = utf16ToUtf8(reply.text().value_or(u""));
    const uint64_t time = reply.u64();
    if (!copyName(childName, name, *nameLength))
        return ERROR_MORE_DATA;
    *nameLength = static_cast<DWORD>(childName.size());
    if (keyClass && !copyName(classText, keyClass, *classLength))
        return ERROR_MORE_DATA;
    if (classLength)
        *classLength = static_cast<DWORD>(classText.size());
    putFileTime(time, lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS LiveRegistry::enumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD size) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    if (!name || !nameLength || reserved || (data && !size))
        return ERROR_INVALID_PARAMETER;
    std::string results;
    if (const LSTATUS status = call(
            at, bridge::Op::EnumValue, [&](bridge::Writer &w) { w.u32(index); }, results))
        return status;
    bridge::Reader reply(results);
    const std::string valueName = utf16ToUtf8(reply.text().value_or(u""));
    const DWORD storedType = reply.u32();
    const std::string stored = reply.bytes();
    if (!copyName(valueName, name, *nameLength))
        return ERROR_MORE_DATA;
    *nameLength = static_cast<DWORD>(valueName.size());
    if (type)
        *type = storedType;
    return copyData(storedType, stored, data, size);
}

LSTATUS LiveRegistry::deleteKey(HKEY base, LPCSTR subKey) {
    Place at;
    if (const LSTATUS status = place(base, at))
        return status;
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    if (const LSTATUS denied = refuseChange(at, subKey))
        return denied;
    const auto name = utf16Of(subKey);
    std::string results;
    return call(
        at, bridge::Op::DeleteKey, [&](bridge::Writer &w) { w.text(name); }, results);
}

LSTATUS LiveRegistry::flushKey(HKEY key) {
    Place at;
    if (const LSTATUS status = place(key, at))
        return status;
    std::string results;
    return call(
        at, bridge::Op::FlushKey, [](bridge::Writer &) {}, results);
}

} // namespace winreg
