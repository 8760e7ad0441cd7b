// Test set-up through the registry API alone: removing a whole subtree, so a
// test starts and ends on a clean key. Builds against our engine and against
// the real Windows API alike.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <winreg.h>
#endif

#include <string>

inline void DeleteKeyTree(HKEY parent, const std::string &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    for (;;) {
        char child[1024];
        DWORD length = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        DeleteKeyTree(key, std::string(child, length));
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name.c_str());
}
