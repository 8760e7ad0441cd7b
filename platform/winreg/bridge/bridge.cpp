// The bridge: a Windows console program that the engine starts inside a
// prefix whose Wine server is running. It answers registry calls, read from
// standard input, with the real registry API of that Wine (the W functions),
// and writes each answer to standard output (protocol.h). It ends when its
// input ends.
#include "protocol.h"

#include <windows.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

const wchar_t *wide(const std::optional<std::u16string> &text) {
    return text ? reinterpret_cast<const wchar_t *>(text->c_str()) : nullptr;
}

std::u16string_view viewOf(const wchar_t *text, DWORD length) {
    return {reinterpret_cast<const char16_t *>(text), length};
}

uint64_t timeOf(const FILETIME &t) {
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

class Keys {
  public:
    HKEY find(uint32_t id) const {
        if (id >= 0x80000000u && id <= 0x80000006u)
            return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(id))));
        const auto found = open_.find(id);
        return found == open_.end() ? nullptr : found->second;
    }
    uint32_t add(HKEY key) {
        const uint32_t id = next_++;
        open_.emplace(id, key);
        return id;
    }
    LSTATUS close(uint32_t id) {
        const auto found = open_.find(id);
        if (found == open_.end())
            return find(id) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
        const LSTATUS status = RegCloseKey(found->second);
        open_.erase(found);
        return status;
    }

  private:
    std::unordered_map<uint32_t, HKEY> open_;
    uint32_t next_ = 1;
};

Keys g_keys;

// Each call reads its fields from the request and writes its results after
// the status, which the caller puts in front.
using Answer = bridge::Writer;

LSTATUS openKey(bridge::Reader &in, Answer &out) {
    HKEY base = g_keys.find(in.u32());
    const DWORD options = in.u32();
    const REGSAM access = in.u32();
    const auto subKey = in.text();
    HKEY key = nullptr;
    const LSTATUS status = RegOpenKeyExW(base, wide(subKey), options, access, &key);
    out.u32(status == ERROR_SUCCESS ? g_keys.add(key) : 0);
    return status;
}

LSTATUS createKey(bridge::Reader &in, Answer &out) {
    HKEY base = g_keys.find(in.u32());
    const DWORD options = in.u32();
    const REGSAM access = in.u32();
    const auto subKey = in.text();
    const auto keyClass = in.text();
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LSTATUS status = RegCreateKeyExW(base, wide(subKey), 0, const_cast<wchar_t *>(wide(keyClass)), options,
                                           access, nullptr, &key, &disposition);
    out.u32(status == ERROR_SUCCESS ? g_keys.add(key) : 0).u32(disposition);
    return status;
}

// Asks again with a larger buffer for as long as the data grows under us.
template <typename Call> LSTATUS withData(std::vector<BYTE> &data, DWORD &size, Call call) {
    for (;;) {
        size = static_cast<DWORD>(data.size());
        const LSTATUS status = call(data.empty() ? nullptr : data.data(), &size);
        if (status != ERROR_MORE_DATA || size <= data.size())
            return status;
        data.resize(size);
    }
}

LSTATUS queryValue(bridge::Reader &in, Answer &out) {
    HKEY key = g_keys.find(in.u32());
    const auto name = in.text();
    static std::vector<BYTE> data(4096);
    DWORD type = 0;
    DWORD size = 0;
    const LSTATUS status = withData(data, size, [&](BYTE *buffer, DWORD *length) {
        return RegQueryValueExW(key, wide(name), nullptr, &type, buffer, length);
    });
    out.u32(type).bytes(status == ERROR_SUCCESS ? std::string_view(reinterpret_cast<char *>(data.data()), size)
                                                : std::string_view());
    return status;
}

LSTATUS setValue(bridge::Reader &in, Answer &) {
    HKEY key = g_keys.find(in.u32());
    const auto name = in.text();
    const DWORD type = in.u32();
    std::string data = in.bytes();
    const auto size = static_cast<DWORD>(data.size());
    // The registry API counts a terminator that stands right after text data
    // without being counted; the size the caller gave is the one it meant, so
    // what follows the data here is never a zero.
    data.append(2, '\xff');
    return RegSetValueExW(key, wide(name), 0, type, reinterpret_cast<const BYTE *>(data.data()), size);
}

// Room for the longest key name, class and value name the registry allows.
constexpr DWORD kNameRoom = 32768;

LSTATUS enumKey(bridge::Reader &in, Answer &out) {
    HKEY key = g_keys.find(in.u32());
    const DWORD index = in.u32();
    static wchar_t name[kNameRoom];
    static wchar_t keyClass[kNameRoom];
    DWORD nameLength = kNameRoom;
    DWORD classLength = kNameRoom;
    FILETIME time{};
    const LSTATUS status = RegEnumKeyExW(key, index, name, &nameLength, nullptr, keyClass, &classLength, &time);
    const bool found = status == ERROR_SUCCESS;
    out.text(viewOf(name, found ? nameLength : 0)).text(viewOf(keyClass, found ? classLength : 0)).u64(timeOf(time));
    return status;
}

LSTATUS enumValue(bridge::Reader &in, Answer &out) {
    HKEY key = g_keys.find(in.u32());
    const DWORD index = in.u32();
    static wchar_t name[kNameRoom];
    static std::vector<BYTE> data(4096);
    DWORD nameLength = 0;
    DWORD type = 0;
    DWORD size = 0;
    const LSTATUS status = withData(data, size, [&](BYTE *buffer, DWORD *length) {
        nameLength = kNameRoom;
        return RegEnumValueW(key, index, name, &nameLength, nullptr, &type, buffer, length);
    });
    const bool found = status == ERROR_SUCCESS;
    out.text(viewOf(name, found ? nameLength : 0))
        .u32(type)
        .bytes(std::string_view(reinterpret_cast<char *>(data.data()), found ? size : 0));
    return status;
}

// The most bytes any value's data takes with its text in UTF-8, as the A
// functions hand it out.
DWORD longestDataAsUtf8(HKEY key) {
    static wchar_t name[kNameRoom];
    static std::vector<BYTE> data(4096);
    DWORD longest = 0;
    for (DWORD index = 0;; ++index) {
        DWORD type = 0;
        DWORD size = 0;
        const LSTATUS status = withData(data, size, [&](BYTE *buffer, DWORD *length) {
            DWORD nameLength = kNameRoom;
            return RegEnumValueW(key, index, name, &nameLength, nullptr, &type, buffer, length);
        });
        if (status != ERROR_SUCCESS)
            return longest;
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
            size = static_cast<DWORD>(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<wchar_t *>(data.data()),
                                                          static_cast<int>(size / 2), nullptr, 0, nullptr, nullptr));
        longest = std::max(longest, size);
    }
}

LSTATUS queryInfo(bridge::Reader &in, Answer &out) {
    HKEY key = g_keys.find(in.u32());
    static wchar_t keyClass[kNameRoom];
    DWORD classLength = kNameRoom;
    DWORD n[7] = {};
    FILETIME time{};
    const LSTATUS status = RegQueryInfoKeyW(key, keyClass, &classLength, nullptr, &n[0], &n[1], &n[2], &n[3], &n[4],
                                            &n[5], &n[6], &time);
    out.text(viewOf(keyClass, status == ERROR_SUCCESS ? classLength : 0));
    for (DWORD figure : n)
        out.u32(figure);
    out.u64(timeOf(time)).u32(status == ERROR_SUCCESS ? longestDataAsUtf8(key) : 0);
    return status;
}

LSTATUS deleteKey(bridge::Reader &in, Answer &) {
    HKEY key = g_keys.find(in.u32());
    const auto subKey = in.text();
    return RegDeleteKeyW(key, wide(subKey));
}

LSTATUS deleteValue(bridge::Reader &in, Answer &) {
    HKEY key = g_keys.find(in.u32());
    const auto name = in.text();
    return RegDeleteValueW(key, wide(name));
}

LSTATUS closeKey(bridge::Reader &in, Answer &) {
    return g_keys.close(in.u32());
}

LSTATUS flushKey(bridge::Reader &in, Answer &) {
    return RegFlushKey(g_keys.find(in.u32()));
}

using Handler = LSTATUS (*)(bridge::Reader &, Answer &);

Handler handlerOf(uint8_t op) {
    switch (static_cast<bridge::Op>(op)) {
    case bridge::Op::OpenKey: return openKey;
    case bridge::Op::CreateKey: return createKey;
    case bridge::Op::QueryValue: return queryValue;
    case bridge::Op::SetValue: return setValue;
    case bridge::Op::EnumKey: return enumKey;
    case bridge::Op::EnumValue: return enumValue;
    case bridge::Op::QueryInfo: return queryInfo;
    case bridge::Op::DeleteKey: return deleteKey;
    case bridge::Op::DeleteValue: return deleteValue;
    case bridge::Op::CloseKey: return closeKey;
    case bridge::Op::FlushKey: return flushKey;
    }
    return nullptr;
}

std::string answer(std::string_view request) {
    bridge::Reader in(request);
    const Handler handler = handlerOf(in.u8());
    Answer results;
    LSTATUS status = ERROR_INVALID_FUNCTION;
    if (handler)
        status = handler(in, results);
    if (!in.ok())
        status = ERROR_INVALID_PARAMETER;
    bridge::Writer reply;
    reply.u32(static_cast<uint32_t>(status)).append(results.body());
    return reply.message();
}

// Reads exactly size bytes; false at the end of the input or on an error.
bool readExactly(HANDLE in, void *buffer, DWORD size) {
    auto *at = static_cast<char *>(buffer);
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(in, at, size, &got, nullptr) || got == 0)
            return false;
        at += got;
        size -= got;
    }
    return true;
}

bool writeAll(HANDLE out, const std::string &bytes) {
    const char *at = bytes.data();
    DWORD left = static_cast<DWORD>(bytes.size());
    while (left > 0) {
        DWORD put = 0;
        if (!WriteFile(out, at, left, &put, nullptr) || put == 0)
            return false;
        at += put;
        left -= put;
    }
    return true;
}

} // namespace

int wmain() {
    // Raw handles: no C runtime text translation or buffering in between.
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE)
        return 2;
    std::string request;
    for (;;) {
        uint32_t length = 0;
        if (!readExactly(in, &length, 4))
            return 0;
        if (length == 0 || length > bridge::kMaxMessage)
            return 3;
        request.resize(length);
        if (!readExactly(in, request.data(), length))
            return 3;
        if (!writeAll(out, answer(request)))
            return 4;
    }
}
