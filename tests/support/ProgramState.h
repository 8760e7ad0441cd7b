// The program's two keys of its own, written and read directly by the tests.
#pragma once

#include "PersistedState.h"
#include "Registry.h"
#include "ScratchRegistry.h"

#include <string>

namespace ProgramState {

inline void Open(TRegistry &access, HKEY root, const char *path)
{
    access.SelectRoot(root);
    access.EnterKey(path, true);
}

inline void Write(HKEY root, const char *path, const std::string &name, const std::string &value)
{
    TRegistry access;
    Open(access, root, path);
    access.WriteText(name, value);
}

inline std::string Read(HKEY root, const char *path, const std::string &name)
{
    TRegistry access;
    Open(access, root, path);
    return access.ReadText(name);
}

inline bool Has(HKEY root, const char *path, const std::string &name)
{
    TRegistry access;
    Open(access, root, path);
    return access.HasValue(name);
}

} // namespace ProgramState

// The program key.
inline void SetProgramText(const std::string &name, const std::string &value)
{
    ProgramState::Write(PersistedState::ProgramKeyRoot, PersistedState::ProgramKeyPath, name, value);
}
inline std::string ProgramText(const std::string &name)
{
    return ProgramState::Read(PersistedState::ProgramKeyRoot, PersistedState::ProgramKeyPath, name);
}
inline bool ProgramHas(const std::string &name)
{
    return ProgramState::Has(PersistedState::ProgramKeyRoot, PersistedState::ProgramKeyPath, name);
}

// The password store.
inline void SetStoreText(const std::string &name, const std::string &value)
{
    ProgramState::Write(PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath, name, value);
}
inline std::string StoreText(const std::string &name)
{
    return ProgramState::Read(PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath, name);
}
inline bool StoreHas(const std::string &name)
{
    return ProgramState::Has(PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath, name);
}

// Puts a four-byte number where text is expected.
inline void SetStoreNumber(const std::string &name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(PersistedState::PasswordStoreRoot, PersistedState::PasswordStorePath, 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot open the password store");
    const LSTATUS status =
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot write " + name);
}

// Takes the write permission from the file that holds HKEY_CURRENT_USER (the
// password store's hive), so that every later write there is refused.
inline void MakeUserHiveReadOnly(ScratchRegistry &registry)
{
    SetStoreText("hive marker", ""); // a hive file is written only with something in it
    registry.MakeHiveReadOnly("user.reg");
}
