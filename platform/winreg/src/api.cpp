// The C entry points: one lock around everything, and the registry object
// created on first use in the folder the environment names. While a Wine
// server runs for that folder, the calls go to the live registry instead.
#include "live.h"
#include "registry.h"
#include "status.h"
#include "textconv.h"
#include "vantor_registry.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <type_traits>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using winreg::LiveRegistry;
using winreg::Registry;

namespace {

std::mutex g_mutex;
std::unique_ptr<Registry> g_registry;
std::unique_ptr<LiveRegistry> g_live;
// What the last call left when it failed: its note, and the refusal of the
// hive that refused it with that hive's file.
struct Failure {
    std::string note;
    std::optional<winreg::Refusal> refusal;
    std::string file;
};
Failure g_failure;
std::string g_chosenDirectory; // set by VtrRegReset(dir)
bool g_exitHookInstalled = false;
// Inside a batch: whether Wine could reach a server for the prefix, once asked.
std::optional<bool> g_serverReachableInBatch;

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string homeDirectory() {
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return home.empty() ? std::string("/tmp") : home;
}

std::string registryDirectory() {
    std::string dir = g_chosenDirectory;
    if (dir.empty())
        dir = environment("VANTOR_REGISTRY");
    if (dir.empty())
        dir = environment("WINEPREFIX");
    if (dir.empty()) {
        std::string data = environment("XDG_DATA_HOME");
        if (data.empty() || data.front() != '/')
            data = homeDirectory() + "/.local/share";
        dir = data + "/vantor/registry";
    }
    if (dir.front() != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            dir = std::string(cwd) + "/" + dir;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

// Makes the folder and the missing ones above it (that one stands already
// is no failure: the registry's own calls tell what is wrong with it).
void makeDirectories(const std::string &dir, mode_t mode) {
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        (void)mkdir(dir.substr(0, slash).c_str(), mode);
    (void)mkdir(dir.c_str(), mode);
}

// The program's own registry (not a Wine prefix, nor a folder a caller
// chose) holds its start-up password: only its user may enter it. The
// default folder is the program's alone, and is made private even when an
// earlier version made it; another folder keeps the mode it has.
void makeRegistryFolder(const std::string &dir) {
    const bool own = g_chosenDirectory.empty() && (!environment("VANTOR_REGISTRY").empty() || environment("WINEPREFIX").empty());
    makeDirectories(dir, own ? 0700 : 0755);
    struct stat st{};
    if (own && environment("VANTOR_REGISTRY").empty() && stat(dir.c_str(), &st) == 0 && st.st_uid == geteuid() &&
        (st.st_mode & 077) != 0)
        (void)chmod(dir.c_str(), 0700); // one that stays open is no worse than before
}

// Hives named in $VANTOR_REGISTRY_READONLY ("1" or "all" for every hive, or
// file names separated by commas) start out read-only.
void applyReadOnlyRequest(Registry &registry) {
    const std::string request = environment("VANTOR_REGISTRY_READONLY");
    if (request.empty() || request == "0")
        return;
    if (request == "1" || request == "all") {
        registry.setReadOnly(nullptr, true);
        return;
    }
    size_t start = 0;
    while (start <= request.size()) {
        size_t end = request.find(',', start);
        if (end == std::string::npos)
            end = request.size();
        if (end > start)
            registry.setReadOnly(request.substr(start, end - start).c_str(), true);
        start = end + 1;
    }
}

void saveAtExit() {
    const std::lock_guard lock(g_mutex);
    g_live.reset();
    if (g_registry)
        g_registry->flushAll();
    g_registry.reset();
}

Registry &registry() {
    if (!g_registry) {
        const std::string dir = registryDirectory();
        makeRegistryFolder(dir);
        g_registry = std::make_unique<Registry>(dir);
        applyReadOnlyRequest(*g_registry);
        if (!g_exitHookInstalled) {
            g_exitHookInstalled = true;
            std::atexit(saveAtExit);
        }
    }
    return *g_registry;
}

// Whether Wine can reach a server for the prefix: asked on every call, or
// once in a batch.
bool serverReachable(const Registry &files) {
    if (files.inBatch() && g_serverReachableInBatch)
        return *g_serverReachableInBatch;
    const bool reachable = winreg::wineServerReachable(files.directory());
    if (files.inBatch())
        g_serverReachableInBatch = reachable;
    return reachable;
}

// The registry that answers a call on key: the live one for its own handles,
// and for the predefined roots while a Wine server that Wine can reach runs;
// else the files (read-only while a server holds the prefix's lock).
winreg::Core &coreFor(winreg::Handle key) {
    if (LiveRegistry::isLiveHandle(key) && g_live)
        return *g_live;
    if (!winreg::root::isPredefined(key))
        return registry();
    Registry &files = registry();
    if (g_live && !g_live->ended())
        return *g_live;
    if (!serverReachable(files))
        return files;
    g_live = std::make_unique<LiveRegistry>(
        files.directory(), [&files](const std::string &fileName) { return files.forcedReadOnly(fileName); });
    return *g_live;
}

// The note a failed call leaves: why the way to a running Wine server
// failed, or why a hive refused the change or its save.
void takeFailureNote(LSTATUS status) {
    if (g_live && !g_live->failureNote().empty()) {
        g_failure.note = g_live->failureNote();
        g_live->clearFailureNote();
    } else if (status != ERROR_SUCCESS && g_registry && g_registry->refusedHive()) {
        const winreg::Hive &hive = *g_registry->refusedHive();
        g_failure = {hive.filePath() + ": " + hive.lastRefusal().reason, hive.lastRefusal(), hive.filePath()};
    }
}

using Cause = winreg::Refusal::Cause;
static_assert(VTR_HIVE_WRITABLE == int(Cause::None));
static_assert(VTR_HIVE_READ_ONLY_REQUESTED == int(Cause::Requested));
static_assert(VTR_HIVE_NOT_UNDERSTOOD == int(Cause::NotUnderstood));
static_assert(VTR_HIVE_FILE_NOT_WRITABLE == int(Cause::FileNotWritable));
static_assert(VTR_HIVE_FOLDER_NOT_WRITABLE == int(Cause::FolderNotWritable));
static_assert(VTR_HIVE_WINE_SERVER_RUNNING == int(Cause::WineServerRunning));
static_assert(VTR_HIVE_SAVE_FAILED == int(Cause::SaveFailed));

using winreg::Problem;
static_assert(VTR_PROBLEM_NONE == int(Problem::None));
static_assert(VTR_PROBLEM_NOT_REGISTRY_FILE == int(Problem::NotRegistryFile));
static_assert(VTR_PROBLEM_CUT_SHORT == int(Problem::CutShort));
static_assert(VTR_PROBLEM_TEXT_BEFORE_FIRST_KEY == int(Problem::TextBeforeFirstKey));
static_assert(VTR_PROBLEM_KEY_LINE == int(Problem::KeyLine));
static_assert(VTR_PROBLEM_KEY_PATH_TOO_DEEP == int(Problem::KeyPathTooDeep));
static_assert(VTR_PROBLEM_KEY_OPTION == int(Problem::KeyOption));
static_assert(VTR_PROBLEM_VALUE_LINE == int(Problem::ValueLine));
static_assert(VTR_PROBLEM_LINE == int(Problem::Line));
static_assert(VTR_PROBLEM_TOO_LARGE == int(Problem::TooLarge));
static_assert(VTR_PROBLEM_NOT_REGULAR_FILE == int(Problem::NotRegularFile));
static_assert(VTR_PROBLEM_UNREADABLE == int(Problem::Unreadable));
static_assert(VTR_PROBLEM_FOLDER_LOCKED == int(Problem::FolderLocked));
static_assert(VTR_PROBLEM_LOCK_FAILED == int(Problem::LockFailed));
static_assert(VTR_PROBLEM_WRITE_FAILED == int(Problem::WriteFailed));
static_assert(VTR_PROBLEM_REWRITE_WAITS == int(Problem::RewriteWaits));
static_assert(VTR_PROBLEM_REWRITE_UNFINISHED == int(Problem::RewriteUnfinished));

// The texts point into file and refusal, which must outlive the state.
VtrHiveState stateOf(const winreg::Refusal &refusal, const std::string &file) {
    return {static_cast<VtrHiveCause>(refusal.cause), file.c_str(), static_cast<DWORD>(refusal.line),
            refusal.reason.c_str(), static_cast<VtrHiveProblem>(refusal.problem), refusal.error,
            refusal.toldToUser ? TRUE : FALSE};
}

// What the last call left, as the calling thread's copy taken under the
// lock: another thread's call cannot change it while it is read. Null when
// there is no room for the copy.
const Failure *failureCopy() {
    thread_local Failure copy;
    try {
        const std::lock_guard lock(g_mutex);
        copy = g_failure;
        return &copy;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// Runs one entry point under the lock; no C++ exception leaves the C API.
template <typename Call> LSTATUS guarded(Call call) {
    try {
        const std::lock_guard lock(g_mutex);
        g_failure = {};
        if (g_registry)
            g_registry->forgetRefusal();
        const LSTATUS status = call();
        takeFailureNote(status);
        return status;
    } catch (const std::bad_alloc &) {
        return winreg::status::outOfMemory;
    } catch (...) {
        return winreg::status::internalError;
    }
}

} // namespace

namespace conversion {

using winreg::Handle;
using winreg::Value;
using winreg::status::invalidParameter;
using winreg::status::moreData;
using winreg::status::ok;

Handle handleOf(HKEY key) { return static_cast<Handle>(reinterpret_cast<uintptr_t>(key)); }
HKEY keyOf(Handle handle) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(handle)); }

// Room the calls reuse from one call to the next (every call holds the
// lock), so that listing a large key allocates nothing per item.
struct Scratch {
    std::u16string name;
    Value value;
    winreg::SubKey subKey;
    std::string text;
    std::string data;
};
Scratch g_scratch;

// The A functions speak UTF-8; a null name is the empty one.
std::u16string wide(LPCSTR text) { return textconv::toUtf16(text ? text : ""); }

// The W functions speak UTF-16.
std::u16string_view wide(LPCWSTR text) { return text ? std::u16string_view(text) : std::u16string_view(); }

// The same in the scratch room, for a name that the call only looks up.
std::u16string_view wideName(LPCSTR text) {
    g_scratch.name.clear();
    textconv::appendUtf16(text ? text : "", g_scratch.name);
    return g_scratch.name;
}

const std::string &utf8In(std::string &room, std::u16string_view text) {
    room.clear();
    textconv::appendUtf8(text, room);
    return room;
}

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The bytes that the A functions show for a value: text in UTF-8.
std::string_view ansiData(const Value &value) {
    if (!isText(value.type))
        return value.data;
    g_scratch.data.clear();
    textconv::appendUtf8FromBytes(value.data, g_scratch.data);
    return g_scratch.data;
}

std::string dataFromAnsi(DWORD type, const BYTE *data, DWORD size) {
    if (size == 0)
        return {};
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (!isText(type))
        return std::string(bytes);
    std::string wideBytes;
    textconv::appendUtf16Bytes(bytes, wideBytes);
    return wideBytes;
}

// Hands a value's data to the caller as RegQueryValueExA and RegEnumValueA do:
// a short buffer gets ERROR_MORE_DATA and the size needed, and is left as it
// was. Text stored without its final zero gets one after the data where the
// buffer has room, uncounted, so that C callers can read it as a string.
// The W functions hand over the stored bytes as they are.
LSTATUS copyData(const Value &value, LPBYTE data, LPDWORD size, bool wideData) {
    const std::string_view bytes = wideData ? std::string_view(value.data) : ansiData(value);
    if (data) {
        if (*size < bytes.size()) {
            *size = static_cast<DWORD>(bytes.size());
            return moreData;
        }
        if (!bytes.empty())
            std::memcpy(data, bytes.data(), bytes.size());
        if (!wideData && isText(value.type) && *size > bytes.size() && !bytes.empty() && bytes.back() != '\0')
            data[bytes.size()] = 0;
    }
    if (size)
        *size = static_cast<DWORD>(bytes.size());
    return ok;
}

// Copies text and its terminator into a caller's buffer of capacity
// characters; false (and nothing written) when it does not fit.
template <typename Char> bool copyName(std::basic_string_view<Char> text, Char *buffer, DWORD capacity) {
    if (capacity <= text.size())
        return false;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return true;
}

// A name as the A functions (UTF-8) or the W functions (UTF-16) give it.
std::string_view nameFor(LPSTR, std::u16string_view name) { return utf8In(g_scratch.text, name); }
std::u16string_view nameFor(LPWSTR, std::u16string_view name) { return name; }

void putFileTime(uint64_t fileTime, PFILETIME out) {
    if (!out)
        return;
    out->dwLowDateTime = static_cast<DWORD>(fileTime & 0xFFFFFFFFu);
    out->dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
}

LSTATUS openKey(HKEY base, std::u16string_view subKey, DWORD options, REGSAM access, PHKEY result) {
    if (!result)
        return invalidParameter;
    Handle opened = 0;
    const LSTATUS status = coreFor(handleOf(base)).openKey(handleOf(base), subKey, options, access, opened);
    *result = keyOf(opened);
    return status;
}

template <typename Text>
LSTATUS createKey(HKEY base, Text subKey, DWORD reserved, Text keyClass, DWORD options, REGSAM access, PHKEY result,
                  LPDWORD disposition) {
    if (!result || reserved != 0)
        return invalidParameter;
    const std::u16string classText(wide(keyClass));
    Handle opened = 0;
    bool created = false;
    const LSTATUS status = coreFor(handleOf(base)).createKey(handleOf(base), std::u16string(wide(subKey)),
                                                             keyClass ? &classText : nullptr, options, access, opened,
                                                             created);
    *result = keyOf(opened);
    if (opened && disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return status;
}

LSTATUS queryValue(HKEY key, std::u16string_view name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size,
                   bool wideData) {
    Value &value = g_scratch.value;
    const LSTATUS status = coreFor(handleOf(key)).queryValue(handleOf(key), name, value);
    if (status == winreg::status::invalidHandle || status == winreg::status::keyDeleted)
        return status;
    if (reserved || (data && !size))
        return invalidParameter;
    if (status != ok)
        return status;
    if (type)
        *type = value.type;
    return copyData(value, data, size, wideData);
}

LSTATUS setValue(HKEY key, std::u16string_view name, DWORD type, const BYTE *data, DWORD size, bool wideData) {
    if (!data && size)
        return winreg::status::noAccess;
    Value value;
    value.name = name;
    value.type = type;
    value.data = wideData ? std::string(reinterpret_cast<const char *>(data), size) : dataFromAnsi(type, data, size);
    return coreFor(handleOf(key)).setValue(handleOf(key), std::move(value));
}

LSTATUS queryInfo(HKEY key, LPSTR keyClass, LPDWORD classLength, LPDWORD reserved, LPDWORD subKeys,
                  LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values, LPDWORD maxValueNameLength,
                  LPDWORD maxValueLength, LPDWORD securityDescriptorSize, PFILETIME lastWriteTime) {
    winreg::KeyInfo info;
    const LSTATUS status = coreFor(handleOf(key)).queryInfo(handleOf(key), info);
    if (status == winreg::status::invalidHandle || status == winreg::status::keyDeleted)
        return status;
    if (reserved || (keyClass && !classLength))
        return invalidParameter;
    if (status != ok)
        return status;
    const std::string classText = textconv::toUtf8(info.keyClass);
    if (keyClass && !copyName(std::string_view(classText), keyClass, *classLength)) {
        *classLength = static_cast<DWORD>(classText.size());
        return moreData;
    }
    const auto put = [](LPDWORD out, uint32_t number) {
        if (out)
            *out = number;
    };
    put(classLength, static_cast<DWORD>(classText.size()));
    put(subKeys, info.subKeys);
    put(maxSubKeyLength, info.maxSubKeyLength);
    put(maxClassLength, info.maxClassLength);
    put(values, info.values);
    put(maxValueNameLength, info.maxValueNameLength);
    put(maxValueLength, std::max(info.maxValueLength, info.maxValueLengthAsUtf8));
    put(securityDescriptorSize, 0);
    putFileTime(info.lastWriteTime, lastWriteTime);
    return ok;
}

template <typename Char>
LSTATUS enumKey(HKEY key, DWORD index, Char *name, LPDWORD nameLength, LPDWORD reserved, Char *keyClass,
                LPDWORD classLength, PFILETIME lastWriteTime) {
    winreg::SubKey &subKey = g_scratch.subKey;
    const LSTATUS status = coreFor(handleOf(key)).enumKey(handleOf(key), index, subKey);
    if (status == winreg::status::invalidHandle || status == winreg::status::keyDeleted)
        return status;
    if (!name || !nameLength || reserved || (keyClass && !classLength))
        return invalidParameter;
    if (status != ok)
        return status;
    const auto childName = nameFor(name, subKey.name);
    if (!copyName(childName, name, *nameLength))
        return moreData;
    *nameLength = static_cast<DWORD>(childName.size());
    const auto classText = nameFor(name, subKey.keyClass);
    if (keyClass && !copyName(classText, keyClass, *classLength))
        return moreData;
    if (classLength)
        *classLength = static_cast<DWORD>(classText.size());
    putFileTime(subKey.lastWriteTime, lastWriteTime);
    return ok;
}

template <typename Char>
LSTATUS enumValue(HKEY key, DWORD index, Char *name, LPDWORD nameLength, LPDWORD reserved, LPDWORD type, LPBYTE data,
                  LPDWORD size) {
    Value &value = g_scratch.value;
    const LSTATUS status = coreFor(handleOf(key)).enumValue(handleOf(key), index, value);
    if (status == winreg::status::invalidHandle || status == winreg::status::keyDeleted)
        return status;
    if (!name || !nameLength || reserved || (data && !size))
        return invalidParameter;
    if (status != ok)
        return status;
    const auto valueName = nameFor(name, value.name);
    if (!copyName(valueName, name, *nameLength))
        return moreData;
    *nameLength = static_cast<DWORD>(valueName.size());
    if (type)
        *type = value.type;
    return copyData(value, data, size, std::is_same_v<Char, WCHAR>);
}

template <typename Text> LSTATUS deleteKey(HKEY base, Text subKey) {
    if (!subKey) {
        // The handle's own answer comes first.
        winreg::KeyInfo info;
        const LSTATUS status = coreFor(handleOf(base)).queryInfo(handleOf(base), info);
        return status == winreg::status::invalidHandle || status == winreg::status::keyDeleted ? status
                                                                                               : invalidParameter;
    }
    return coreFor(handleOf(base)).deleteKey(handleOf(base), std::u16string(wide(subKey)));
}

} // namespace conversion

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return guarded([&] { return conversion::openKey(hKey, conversion::wideName(lpSubKey), ulOptions, samDesired, phkResult); });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    return guarded([&] {
        return conversion::createKey<LPCSTR>(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult,
                                             lpdwDisposition);
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return guarded([&] { return coreFor(conversion::handleOf(hKey)).closeKey(conversion::handleOf(hKey)); });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return guarded([&] {
        return conversion::queryValue(hKey, conversion::wideName(lpValueName), lpReserved, lpType, lpData, lpcbData,
                                      false);
    });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
    return guarded([&] {
        return conversion::setValue(hKey, conversion::wide(lpValueName), dwType, lpData, cbData, false);
    });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime) {
    return guarded([&] {
        return conversion::queryInfo(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen,
                                     lpcbMaxClassLen, lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen,
                                     lpcbSecurityDescriptor, lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return guarded([&] {
        return conversion::enumKey(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                                   lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return guarded([&] { return conversion::deleteKey<LPCSTR>(hKey, lpSubKey); });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return guarded([&] { return coreFor(conversion::handleOf(hKey)).deleteValue(conversion::handleOf(hKey), conversion::wide(lpValueName)); });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&] {
        return conversion::enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return guarded([&] { return conversion::openKey(hKey, conversion::wide(lpSubKey), ulOptions, samDesired, phkResult); });
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                               REGSAM samDesired, const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    return guarded([&] {
        return conversion::createKey<LPCWSTR>(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult,
                                              lpdwDisposition);
    });
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return guarded([&] {
        return conversion::queryValue(hKey, conversion::wide(lpValueName), lpReserved, lpType, lpData, lpcbData, true);
    });
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
    return guarded([&] { return conversion::setValue(hKey, conversion::wide(lpValueName), dwType, lpData, cbData, true); });
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return guarded([&] {
        return conversion::enumKey(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass,
                                   lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&] {
        return conversion::enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return guarded([&] { return conversion::deleteKey<LPCWSTR>(hKey, lpSubKey); });
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return guarded([&] {
        return coreFor(conversion::handleOf(hKey))
            .deleteValue(conversion::handleOf(hKey), std::u16string(conversion::wide(lpValueName)));
    });
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    return guarded([&] { return coreFor(conversion::handleOf(hKey)).flushKey(conversion::handleOf(hKey)); });
}

LSTATUS VtrRegReset(const char *dir) {
    return guarded([&] {
        g_live.reset();
        LSTATUS status = ERROR_SUCCESS;
        if (g_registry) {
            status = g_registry->flushAll();
            g_registry->closeAllHandles();
            g_registry.reset();
        }
        g_chosenDirectory = dir ? dir : "";
        g_serverReachableInBatch.reset();
        return status;
    });
}

LSTATUS VtrRegBeginBatch(void) {
    return guarded([&] {
        g_serverReachableInBatch.reset();
        registry().beginBatch();
        return ERROR_SUCCESS;
    });
}

LSTATUS VtrRegEndBatch(void) {
    return guarded([&] {
        g_serverReachableInBatch.reset();
        return g_registry ? g_registry->endBatch() : ERROR_SUCCESS;
    });
}

LSTATUS VtrRegFlushAll(void) {
    return guarded([&] { return registry().flushAll(); });
}

const char *VtrRegDirectory(void) {
    const std::lock_guard lock(g_mutex);
    return g_registry ? g_registry->directory().c_str() : nullptr;
}

BOOL VtrRegIsNew(void) {
    BOOL isNew = FALSE;
    guarded([&] {
        isNew = registry().isNew() ? TRUE : FALSE;
        return ERROR_SUCCESS;
    });
    return isNew;
}

const char *VtrRegFailureNote(void) {
    const Failure *failure = failureCopy();
    return failure && !failure->note.empty() ? failure->note.c_str() : nullptr;
}

LSTATUS VtrRegHiveState(const char *fileName, VtrHiveState *state) {
    thread_local std::string file;
    thread_local winreg::Refusal refusal;
    if (!fileName || !state)
        return ERROR_INVALID_PARAMETER;
    return guarded([&] {
        Registry &files = registry();
        const bool throughServer = (g_live && !g_live->ended()) || serverReachable(files);
        const winreg::Hive *hive = files.probeHive(fileName, throughServer, refusal);
        if (!hive)
            return ERROR_FILE_NOT_FOUND;
        file = hive->filePath();
        *state = stateOf(refusal, file);
        return ERROR_SUCCESS;
    });
}

LSTATUS VtrRegFailureState(VtrHiveState *state) {
    if (!state)
        return ERROR_INVALID_PARAMETER;
    const Failure *failure = failureCopy();
    if (!failure)
        return winreg::status::outOfMemory;
    if (!failure->refusal)
        return ERROR_FILE_NOT_FOUND;
    *state = stateOf(*failure->refusal, failure->file);
    return ERROR_SUCCESS;
}

LSTATUS VtrRegMarkTold(const char *fileName) {
    if (!fileName)
        return ERROR_INVALID_PARAMETER;
    return guarded([&] { return registry().markRefusalTold(fileName); });
}

LSTATUS VtrRegSetReadOnly(const char *fileName, BOOL readOnly) {
    return guarded([&] { return registry().setReadOnly(fileName, readOnly != FALSE); });
}

} // extern "C"
