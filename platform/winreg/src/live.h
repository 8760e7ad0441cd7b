// The registry of a prefix whose Wine server runs: the server holds the real
// registry in memory and saves its files on its own schedule, so every call
// goes to the server, through the bridge program running inside that Wine.
// Names and class texts are UTF-16, value data raw bytes as stored (text in
// UTF-16LE), answers Windows status codes; the A functions' conventions sit
// on top (the last section of live.cpp), kept exactly as the file engine
// keeps them (ansi.h), so that a caller cannot tell the two apart.
#pragma once

#include "bridge_client.h"
#include "tree.h"
#include "winreg.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace bridge {
class Writer;
enum class Op : uint8_t;
} // namespace bridge

namespace winreg {

using LiveHandle = uint64_t;

struct LiveKeyInfo {
    std::u16string keyClass;
    uint32_t subKeys = 0;
    uint32_t maxSubKeyLength = 0; // UTF-16 units
    uint32_t maxClassLength = 0;
    uint32_t values = 0;
    uint32_t maxValueNameLength = 0;
    uint32_t maxValueLength = 0;       // bytes as stored
    uint32_t maxValueLengthAsUtf8 = 0; // the same, with text as UTF-8
    uint32_t securityDescriptorSize = 0;
    uint64_t lastWriteTime = 0;
};

struct LiveSubKey {
    std::u16string name;
    std::u16string keyClass;
    uint64_t lastWriteTime = 0;
};

class LiveRegistry {
public:
    // forcedReadOnly tells whether the hive file of that name was made
    // read-only by request; its keys then refuse every change here too.
    LiveRegistry(std::string prefix, std::function<bool(const std::string &)> forcedReadOnly);

    // The server has ended and saved its files: the files serve from now on.
    bool ended() const { return ended_; }
    // Handles this object gave out, open or not.
    static bool isLiveHandle(LiveHandle key);
    // Why the last failed call failed, for the user; empty when none did.
    const std::string &failureNote() const { return note_; }
    void clearFailureNote() { note_.clear(); }

    LSTATUS openKey(LiveHandle base, std::u16string_view path, uint32_t options, uint32_t access, LiveHandle &key);
    LSTATUS createKey(LiveHandle base, std::u16string_view path, const std::u16string *keyClass, uint32_t options,
                      uint32_t access, LiveHandle &key, bool &created);
    LSTATUS closeKey(LiveHandle key);
    LSTATUS queryValue(LiveHandle key, std::u16string_view name, Value &value);
    LSTATUS setValue(LiveHandle key, Value value);
    LSTATUS deleteValue(LiveHandle key, std::u16string_view name);
    LSTATUS queryInfo(LiveHandle key, LiveKeyInfo &info);
    LSTATUS enumKey(LiveHandle key, uint32_t index, LiveSubKey &subKey);
    LSTATUS enumValue(LiveHandle key, uint32_t index, Value &value);
    LSTATUS deleteKey(LiveHandle base, std::u16string_view path);
    LSTATUS flushKey(LiveHandle key);
    // Every change is in the server once its call has returned.
    LSTATUS flushAll() { return ERROR_SUCCESS; }

    // The A functions.
    LSTATUS openKey(HKEY base, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
    LSTATUS createKey(HKEY base, LPCSTR subKey, LPCSTR keyClass, DWORD options, REGSAM access, PHKEY result,
                      LPDWORD disposition);
    LSTATUS closeKey(HKEY key);
    LSTATUS queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
    LSTATUS setValue(HKEY key, LPCSTR name, DWORD type, const BYTE *data, DWORD size);
    LSTATUS deleteValue(HKEY key, LPCSTR name);
    LSTATUS queryInfo(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved, LPDWORD subKeys,
                      LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength,
                      LPDWORD maxValueLength, LPDWORD securityDescriptorSize, PFILETIME lastWriteTime);
    LSTATUS enumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPSTR keyClass,
                    LPDWORD classLength, PFILETIME lastWriteTime);
    LSTATUS enumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size);
    LSTATUS deleteKey(HKEY base, LPCSTR subKey);
    LSTATUS flushKey(HKEY key);

private:
    // A key as the caller holds it: where it is, so that a restarted bridge
    // can open it again, and its number in the bridge that opened it.
    struct Handle {
        uint32_t root = 0;
        std::u16string path;
        uint32_t access = 0;
        uint32_t options = 0;
        uint32_t remote = 0;
        uint64_t generation = 0;
    };
    // What a key argument stands for: a predefined root or a live handle.
    struct Place {
        uint32_t root = 0;
        std::u16string path;
        Handle *handle = nullptr;
    };
    enum class Trouble { None, CannotStart, Died, TimedOut };
    using Fields = std::function<void(bridge::Writer &)>;

    LSTATUS place(LiveHandle key, Place &out);
    LSTATUS call(const Place &at, bridge::Op op, const Fields &fields, std::string &results);
    Trouble attempt(const Place &at, bridge::Op op, const Fields &fields, std::string &results, LSTATUS &status,
                    std::string &why);
    Trouble startBridge(std::string &why);
    Trouble exchange(const std::string &message, std::string &answer, std::string &why);
    LSTATUS fail(LSTATUS status, const std::string &why);
    LSTATUS refuseChange(const Place &at, std::u16string_view path);
    LiveHandle newHandle(const Place &at, std::u16string_view path, uint32_t access, uint32_t options,
                         uint32_t remote);

    std::string prefix_;
    std::function<bool(const std::string &)> forcedReadOnly_;
    BridgeProcess process_;
    uint64_t generation_ = 0; // bridges started so far
    bool ended_ = false;
    std::string loader_;
    bool answered_ = false; // by the bridge last started
    std::string note_;
    std::unordered_map<LiveHandle, Handle> handles_;
};

} // namespace winreg
