// How the A functions hand text and data over: the registry keeps names and
// strings in UTF-16, the A functions show them in UTF-8.
#pragma once

#include "winreg.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace winreg {

bool isStringType(DWORD type);

// The bytes an A function shows for stored data, and their count.
std::string_view ansiData(DWORD type, std::string_view stored, std::string &converted);
size_t ansiDataSize(DWORD type, std::string_view stored);

// Hands stored data to the caller as RegQueryValueExA and RegEnumValueA do.
LSTATUS copyData(DWORD type, std::string_view stored, LPBYTE data, LPDWORD size);

// The stored form of data an A function was given.
std::string dataFromAnsi(DWORD type, const BYTE *data, DWORD size);

// Copies text and its terminator into a caller's buffer of capacity
// characters; false (and nothing written) when it does not fit.
bool copyName(const std::string &text, LPSTR buffer, DWORD capacity);

void putFileTime(uint64_t fileTime, PFILETIME out);

} // namespace winreg
