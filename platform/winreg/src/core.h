// The registry as this engine serves it, before any calling convention:
// names and class texts in UTF-16, value data as raw bytes (text in
// UTF-16LE), keys behind opaque handle numbers, every answer a Status. The
// Windows A functions (api.cpp) sit on top of this interface; the files
// engine implements it, and so may any other backend.
#pragma once

#include "status.h"
#include "tree.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace winreg {

using Handle = uint64_t;

// The predefined roots, with the numbers Windows gives them.
namespace root {
inline constexpr Handle classesRoot = 0xFFFFFFFF80000000u;
inline constexpr Handle currentUser = classesRoot + 1;
inline constexpr Handle localMachine = classesRoot + 2;
inline constexpr Handle users = classesRoot + 3;
inline constexpr Handle currentConfig = classesRoot + 5;
inline bool isPredefined(Handle h) { return h >= classesRoot && h <= classesRoot + 6; }
} // namespace root

struct KeyInfo {
    std::u16string keyClass;
    uint32_t subKeys = 0;
    uint32_t maxSubKeyLength = 0; // UTF-16 units
    uint32_t maxClassLength = 0;
    uint32_t values = 0;
    uint32_t maxValueNameLength = 0;
    uint32_t maxValueLength = 0;       // bytes as stored
    uint32_t maxValueLengthAsUtf8 = 0; // the same, with text as UTF-8
    uint64_t lastWriteTime = 0;  // FILETIME, 0 when unknown
};

struct SubKey {
    std::u16string name;
    std::u16string keyClass;
    uint64_t lastWriteTime = 0;
};

class Core {
public:
    virtual ~Core() = default;
    // options and access are the Windows REG_OPTION_* and KEY_* bits; a null
    // keyClass gives the new key none.
    virtual Status openKey(Handle base, std::u16string_view path, uint32_t options, uint32_t access,
                           Handle &key) = 0;
    virtual Status createKey(Handle base, std::u16string_view path, const std::u16string *keyClass,
                             uint32_t options, uint32_t access, Handle &key, bool &created) = 0;
    virtual Status closeKey(Handle key) = 0;
    virtual Status queryValue(Handle key, std::u16string_view name, Value &value) = 0;
    virtual Status setValue(Handle key, Value value) = 0;
    virtual Status deleteValue(Handle key, std::u16string_view name) = 0;
    virtual Status queryInfo(Handle key, KeyInfo &info) = 0;
    virtual Status enumKey(Handle key, uint32_t index, SubKey &subKey) = 0;
    virtual Status enumValue(Handle key, uint32_t index, Value &value) = 0;
    virtual Status deleteKey(Handle base, std::u16string_view path) = 0;
    virtual Status flushKey(Handle key) = 0;
    virtual Status flushAll() = 0;
};

} // namespace winreg
