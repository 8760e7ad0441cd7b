#include "ansi.h"

#include "text.h"

#include <cstring>

namespace winreg {

namespace {

std::u16string storedText(std::string_view stored) {
    return bytesToUtf16(reinterpret_cast<const uint8_t *>(stored.data()), stored.size());
}

} // namespace

bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::string_view ansiData(DWORD type, std::string_view stored, std::string &converted) {
    if (!isStringType(type))
        return stored;
    converted = utf16ToUtf8(storedText(stored));
    return converted;
}

size_t ansiDataSize(DWORD type, std::string_view stored) {
    return isStringType(type) ? utf8LengthOf(storedText(stored)) : stored.size();
}

// A short buffer gets ERROR_MORE_DATA and the size needed, and is left as it
// was. Text stored without its final zero gets one after the data where the
// buffer has room, uncounted, so that C callers can read it as a string.
LSTATUS copyData(DWORD type, std::string_view stored, LPBYTE data, LPDWORD size) {
    std::string converted;
    const std::string_view bytes = ansiData(type, stored, converted);
    if (data) {
        if (*size < bytes.size()) {
            *size = static_cast<DWORD>(bytes.size());
            return ERROR_MORE_DATA;
        }
        if (!bytes.empty())
            std::memcpy(data, bytes.data(), bytes.size());
        if (isStringType(type) && *size > bytes.size() && !bytes.empty() && bytes.back() != '\0')
            data[bytes.size()] = 0;
    }
    if (size)
        *size = static_cast<DWORD>(bytes.size());
    return ERROR_SUCCESS;
}

std::string dataFromAnsi(DWORD type, const BYTE *data, DWORD size) {
    if (size == 0)
        return {};
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if (!isStringType(type))
        return std::string(bytes);
    return utf16ToBytes(utf8ToUtf16(bytes));
}

bool copyName(const std::string &text, LPSTR buffer, DWORD capacity) {
    if (capacity <= text.size())
        return false;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return true;
}

void putFileTime(uint64_t fileTime, PFILETIME out) {
    if (!out)
        return;
    out->dwLowDateTime = static_cast<DWORD>(fileTime & 0xFFFFFFFFu);
    out->dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
}

} // namespace winreg
