// The C entry points: one lock around everything, and the registry object
// created on first use in the folder the environment names.
#include "registry.h"
#include "status.h"
#include "vantor_registry.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using winreg::Registry;

namespace {

std::mutex g_mutex;
std::unique_ptr<Registry> g_registry;
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

// Runs one entry point under the lock; no C++ exception leaves the C API.
template <typename Call> LSTATUS guarded(Call call) {
    try {
        const std::lock_guard lock(g_mutex);
        return call();
    } catch (const std::bad_alloc &) {
        return winreg::status::outOfMemory;
    } catch (...) {
        return winreg::status::internalError;
    }
}

} // namespace

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    return guarded([&] { return registry().openKey(hKey, lpSubKey, ulOptions, samDesired, phkResult); });
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return guarded([&] { return registry().createKey(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired, phkResult, lpdwDisposition); });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    return guarded([&] { return registry().closeKey(hKey); });
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
    return guarded([&] { return registry().queryValue(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData); });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
    return guarded([&] { return registry().setValue(hKey, lpValueName, dwType, lpData, cbData); });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime) {
    return guarded([&] { return registry().queryInfo(hKey, lpClass, lpcchClass, lpReserved, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                                lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                                lpftLastWriteTime); });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return guarded([&] { return registry().enumKey(hKey, dwIndex, lpName, lpcchName, lpReserved, lpClass, lpcchClass, lpftLastWriteTime); });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return guarded([&] { return registry().deleteKey(hKey, lpSubKey); });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return guarded([&] { return registry().deleteValue(hKey, lpValueName); });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return guarded([&] { return registry().enumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData, lpcbData); });
}

LSTATUS WINAPI RegFlushKey(HKEY hKey) {
    return guarded([&] { return registry().flushKey(hKey); });
}

LSTATUS VtrRegReset(const char *dir) {
    return guarded([&] {
        LSTATUS status = ERROR_SUCCESS;
        if (g_registry) {
            status = g_registry->flushAll();
            g_registry->closeAllHandles();
            g_registry.reset();
        }
        g_chosenDirectory = dir ? dir : "";
        return status;
    });
}

LSTATUS VtrRegFlushAll(void) {
    return guarded([&] { return registry().flushAll(); });
}

const char *VtrRegDirectory(void) {
    const std::lock_guard lock(g_mutex);
    return g_registry ? g_registry->directory().c_str() : nullptr;
}

LSTATUS VtrRegSetReadOnly(const char *fileName, BOOL readOnly) {
    return guarded([&] { return registry().setReadOnly(fileName, readOnly != FALSE); });
}

} // extern "C"
