// TRegistry: the one way the program reads and writes the registry.
//
// An object is bound to one root key and holds at most one open key, the
// current key. Texts are UTF-8 on Linux and the ANSI code page on Windows.
#pragma once

#include "Exception.h"
#include "Refusal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <winreg.h>
#endif

#include <optional>
#include <string>

class ERegistryException : public Exception {
public:
    // The message, and why the registry call just made failed, where the
    // registry tells it.
    explicit ERegistryException(const std::string &message);
    // The message and the reason; the text is the message, and on its second
    // line the reason in English.
    ERegistryException(const std::string &message, std::optional<RegistryRefusal> reason);

    const std::string &FirstLine() const { return firstLine_; }
    const std::optional<RegistryRefusal> &Reason() const { return reason_; }

private:
    std::string firstLine_;
    std::optional<RegistryRefusal> reason_;
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
    // Why such a key is not deleted.
    static RegistryRefusal RootKeyRefusal();

    // Why the last call that failed did, where it can be told; cleared by a
    // call that succeeds.
    const std::optional<RegistryRefusal> &LastRefusal() const { return lastRefusal_; }

    // Why the program may not change a registry file now ("system.reg",
    // "user.reg", "userdef.reg"); none when it may. Through a running Wine
    // server, only a request makes a file unchangeable.
    static std::optional<RegistryRefusal> FileRefusal(const std::string &fileName);
    // Records that the user was told why that file refuses changes: its
    // refusals then say so (told), until it refuses for another reason.
    static void MarkTold(const std::string &fileName);

    // The limits of the registry, in UTF-16 units and levels.
    static constexpr unsigned MaxKeyNameLength = 255;
    static constexpr unsigned MaxValueNameLength = 16383;
    static constexpr unsigned MaxKeyDepth = 512;

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
    ERegistryException Refused(const char *pattern, const std::string &name);
    void NoteFailure(LONG rc, const std::string &path, const std::string &valueName);

    HKEY currentKey_ = nullptr;
    HKEY rootKey_ = HKEY_CURRENT_USER;
    std::string currentPath_;
    std::optional<RegistryRefusal> lastRefusal_;
    DWORD access_ = KEY_ALL_ACCESS;
};
