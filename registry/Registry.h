// TRegistry: the one way the program reads and writes the registry.
//
// An object is bound to one root key and holds at most one open key, the
// current key. Texts are UTF-8 on Linux and the ANSI code page on Windows.
#pragma once

#include "Exception.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <winreg.h>
#endif

#include <string>

class ERegistryException : public Exception {
public:
    // The message, and the engine's word on why the registry call just made
    // failed where it has one (a running Wine server it could not reach).
    explicit ERegistryException(const std::string &message);
};

class TRegistry {
public:
    TRegistry();
    virtual ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    void SelectRoot(HKEY root);
    bool EnterKey(const std::string &path, bool canCreate);
    // Closes the current key; what the close reports (a failed save of
    // changes made outside WriteText) is returned.
    LONG LeaveKey();

    std::string ReadText(const std::string &name);
    void WriteText(const std::string &name, const std::string &value);
    bool HasValue(const std::string &name);
    // Deletes one value of the current key. False when there was no such
    // value; a delete the system refuses raises "Failed to delete value '%s'".
    bool DeleteValue(const std::string &name);
    // Deletes the key at the path with all its subkeys. A key that can never
    // be deleted (see IsHiveRoot) is refused before anything below it goes.
    bool RemoveKey(const std::string &path);
    // True when the path names a predefined root or the top key of a hive
    // (a direct subkey of HKEY_USERS): keys the system never deletes.
    bool IsHiveRoot(const std::string &path) const;

    HKEY RootKey() const { return rootKey_; }
    HKEY CurrentKey() const { return currentKey_; }
    const std::string &CurrentPath() const { return currentPath_; }
    DWORD Access() const { return access_; }

private:
    struct Target {
        HKEY base;
        std::string path;
        bool relative;
    };
    Target Resolve(const std::string &path) const;
    bool RemoveTree(const std::string &path);
    static std::string Format(const char *pattern, const std::string &name);
    ERegistryException Refused(const char *pattern, const std::string &name) const;

    HKEY currentKey_ = nullptr;
    HKEY rootKey_ = HKEY_CURRENT_USER;
    std::string currentPath_;
    std::string entryNote_; // the engine's word on the last key that could not be entered
    DWORD access_ = KEY_ALL_ACCESS;
};
