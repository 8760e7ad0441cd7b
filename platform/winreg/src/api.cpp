// The C entry points: one lock around everything, and the registry object
// created on first use in the folder the environment names. While a Wine
// server runs for that folder, the calls go to the live registry instead.
#include "live.h"
#include "registry.h"
#include "vantor_registry.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
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
std::string g_failureNote;
std::string g_chosenDirectory; // set by VtrRegReset(dir)
bool g_exitHookInstalled = false;

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

void makeDirectories(const std::string &dir) {
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        mkdir(dir.substr(0, slash).c_str(), 0755);
    mkdir(dir.c_str(), 0755);
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
        makeDirectories(dir);
        g_registry = std::make_unique<Registry>(dir);
        applyReadOnlyRequest(*g_registry);
        if (!g_exitHookInstalled) {
            g_exitHookInstalled = true;
            std::atexit(saveAtExit);
        }
    }
    return *g_registry;
}

bool isPredefinedRoot(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    return value >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
           value <= reinterpret_cast<uintptr_t>(HKEY_DYN_DATA);
}

// The live registry when it is the one to answer a call on key: for its own
// handles, and for the predefined roots while a Wine server runs.
LiveRegistry *liveFor(HKEY key) {
    g_failureNote.clear();
    if (LiveRegistry::isLiveHandle(reinterpret_cast<uintptr_t>(key)))
        return g_live.get();
    if (!isPredefinedRoot(key))
        return nullptr;
    Registry &files = registry();
    if (g_live && !g_live->ended())
        return g_live.get();
    if (!winreg::wineServerRunning(files.directory()))
        return nullptr;
    g_live = std::make_unique<LiveRegistry>(files.directory(), [&files](const std::string &fileName) {
        return files.forcedReadOnly(fileName);
    });
    return g_live.get();
}

// Runs one call on the registry that answers for key.
template <typename Call> LSTATUS dispatch(HKEY key, Call call) {
    const std::lock_guard lock(g_mutex);
    if (LiveRegistry *live = liveFor(key)) {
        const LSTATUS status = call(*live);
        g_failureNote = live->failureNote();
        live->clearFailureNote();
        return status;
    }
    return call(registry());
}

} // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return dispatch(hKey, [&](auto &r) { return r.openKey(hKey, lpSubKey, ulOptions, samDesired, phkResult); });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return dispatch(hKey, [&](auto &r) {
        return r.createKey(hKey, lpSubKey, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition);
    });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return dispatch(hKey, [&](auto &r) { return r.closeKey(hKey); });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return dispatch(hKey,
                    [&](auto &r) { return r.queryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData); });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
    return dispatch(hKey, [&](auto &r) { return r.setValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime) {
    return dispatch(hKey, [&](auto &r) {
        return r.queryInfo(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                           lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor, lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return dispatch(hKey, [&](auto &r) {
        return r.enumKey(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass, lpftLastWriteTime);
    });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return dispatch(hKey, [&](auto &r) { return r.deleteKey(hKey, lpSubKey); });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return dispatch(hKey, [&](auto &r) { return r.deleteValue(hKey, lpValueName); });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return dispatch(hKey, [&](auto &r) {
        return r.enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    return dispatch(hKey, [&](auto &r) { return r.flushKey(hKey); });
}

LSTATUS VtrRegReset(const char *dir) {
    const std::lock_guard lock(g_mutex);
    g_live.reset();
    g_failureNote.clear();
    LSTATUS status = ERROR_SUCCESS;
    if (g_registry) {
        status = g_registry->flushAll();
        g_registry->closeAllHandles();
        g_registry.reset();
    }
    g_chosenDirectory = dir ? dir : "";
    return status;
}

LSTATUS VtrRegFlushAll(void) {
    const std::lock_guard lock(g_mutex);
    return registry().flushAll();
}

const char *VtrRegDirectory(void) {
    const std::lock_guard lock(g_mutex);
    return g_registry ? g_registry->directory().c_str() : nullptr;
}

const char *VtrRegFailureNote(void) {
    const std::lock_guard lock(g_mutex);
    return g_failureNote.empty() ? nullptr : g_failureNote.c_str();
}

LSTATUS VtrRegSetReadOnly(const char *fileName, BOOL readOnly) {
    const std::lock_guard lock(g_mutex);
    return registry().setReadOnly(fileName, readOnly != FALSE);
}

} // extern "C"
