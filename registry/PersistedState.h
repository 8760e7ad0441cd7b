// Where the program keeps its own state: two registry keys and their values.
#pragma once

#include "Registry.h"

#include <string>

namespace PersistedState {

// The password store, one per user.
inline const HKEY PasswordStoreRoot = HKEY_CURRENT_USER;
inline const char *const PasswordStorePath = "AppEvents\\Schemes\\Apps\\System";
inline const char *const PasswordValue = "configuration";
inline const char *const ProtectionFlagValue = "ok";
inline const char *const DefaultPassword = "brightcanoe";
inline const char *const ProtectionOn = "1";
inline const char *const ProtectionOff = "0";

// The program key, one per machine.
inline const HKEY ProgramKeyRoot = HKEY_LOCAL_MACHINE;
inline const char *const ProgramKeyPath = "Software\\VTR";
inline const char *const LastPathValue = "Path";
inline const char *const LastNameValue = "Name";
inline const char *const LastWordValue = "Word";
inline const char *const LastLanguageValue = "lastlang";

inline constexpr int TemplateSlotCount = 10;

// Template slot n (1..10) is the triple "Paths"n, "Names"n, "Words"n.
inline std::string TemplatePathValue(int slot) { return "Paths" + std::to_string(slot); }
inline std::string TemplateNameValue(int slot) { return "Names" + std::to_string(slot); }
inline std::string TemplateWordValue(int slot) { return "Words" + std::to_string(slot); }

} // namespace PersistedState
