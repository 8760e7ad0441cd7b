// Walking keys through the registry API alone: listing a key's subkeys and
// values, and removing a whole subtree, so a test starts and ends on a clean
// key. Builds against our engine and against the real Windows API alike.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <winreg.h>
#endif

#include <string>
#include <vector>

// Calls visit with the name of each subkey, in the registry's order; returns
// the code that ended the listing, ERROR_NO_MORE_ITEMS when it ran through.
template <typename Visit> LSTATUS ForEachSubKey(HKEY key, Visit visit)
{
    for (DWORD index = 0;; ++index) {
        char name[1024];
        DWORD length = sizeof name;
        const LSTATUS status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        visit(std::string(name, length));
    }
}

// The same for values: visit gets each value's name and type. The names may
// be as long as the registry allows.
template <typename Visit> LSTATUS ForEachValue(HKEY key, Visit visit)
{
    std::vector<char> name(65536);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        const LSTATUS status = RegEnumValueA(key, index, name.data(), &length, nullptr, &type, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        visit(std::string(name.data(), length), type);
    }
}

inline bool KeyExists(HKEY root, const std::string &path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

inline void DeleteKeyTree(HKEY parent, const std::string &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::string> children;
    ForEachSubKey(key, [&](const std::string &child) { children.push_back(child); });
    for (const std::string &child : children)
        DeleteKeyTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyA(parent, name.c_str());
}
