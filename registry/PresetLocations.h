// The registry locations the presets dialog fills in, which a new registry of
// the program's own is given (NewRegistry.h).
#pragma once

namespace PresetLocations {

// Under HKEY_LOCAL_MACHINE.
inline const char *const WindowsNtCurrentVersion = "Software\\Microsoft\\Windows NT\\CurrentVersion";
inline const char *const RegisteredOwnerValue = "RegisteredOwner";
inline const char *const RegisteredOrganizationValue = "RegisteredOrganization";
inline const char *const SystemFolderValue = "PathName";
inline const char *const CdRomService = "SYSTEM\\CurrentControlSet\\Services\\CDRom";
inline const char *const StartupPrograms = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Under HKEY_CURRENT_USER.
inline const char *const OpenWithLists = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
inline const char *const TypedUrls = "Software\\Microsoft\\Internet Explorer\\TypedURLs";

} // namespace PresetLocations
