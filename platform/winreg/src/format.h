// Wine's "WINE REGISTRY Version 2" text format: a lenient, validating reader
// and a writer that produces exactly what Wine writes.
#pragma once

#include "tree.h"

#include <string>
#include <string_view>

namespace winreg {

struct LoadResult {
    std::string header; // the text before the first key, without the blank line that ends it
    bool ok = true;     // false: something in the text was not understood
    std::string error;  // the first problem, with its line number
};

inline constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

// The digits of a "dword:" value.
inline constexpr size_t kDwordDigits = 8;

// Windows allows 512 levels of keys; deeper paths are refused.
inline constexpr size_t kMaxKeyDepth = 512;

// Reads a whole hive file into root (which must be empty). Values are only
// checked here; each key remembers where its block lies in text.
LoadResult loadHiveText(std::string_view text, Key &root);

// Decodes the values of one key block (as remembered by loadHiveText) into
// key.values. Lines that do not parse are skipped.
void decodeBlockValues(std::string_view block, Key &key);

// Writes one key's block as Wine does, from the key line to the last value
// line, each line ending in '\n'. The key's values must be loaded.
void appendKeyBlock(const Key &key, std::string &out);
void appendValueLine(const Value &value, std::string &out);

// Escapes text the way Wine's writer does; extra lists the characters that
// get a backslash in front (`"` in strings, `[]` in key paths).
void appendEscaped(std::u16string_view text, std::string_view extra, std::string &out);

} // namespace winreg
