// Wine's "WINE REGISTRY Version 2" text format: a lenient, validating reader
// and a writer that produces exactly what Wine writes.
#pragma once

#include "tree.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace winreg {

// What made a hive file, or a save of it, fail.
enum class Problem : uint8_t {
    None,
    NotRegistryFile,
    CutShort,
    TextBeforeFirstKey,
    KeyLine,
    KeyPathTooDeep,
    KeyOption,
    ValueLine,
    Line,
    TooLarge,
    NotRegularFile,
    Unreadable,   // with its errno
    FolderLocked, // by another program, for too long
    LockFailed,   // with its errno
    WriteFailed,  // with its errno
    RewriteWaits, // a rewrite in place that a crash cut short is not undone yet
    RewriteUnfinished, // undoing it failed, with its errno
};

// In words, as stderr and the tools tell it.
const char *problemWords(Problem problem);

struct LoadResult {
    std::string header; // the text before the first key, without the blank line that ends it
    bool ok = true;     // false: something in the text was not understood
    Problem problem = Problem::None; // the first problem
    std::string error;  // that problem in words, with its line number
    size_t errorLine = 0; // that line, from 1
};

inline constexpr std::string_view kSignature = "WINE REGISTRY Version 2";

// The digits of a "dword:" value.
inline constexpr size_t kDwordDigits = 8;

// Windows allows 512 levels of keys; deeper paths are refused.
inline constexpr size_t kMaxKeyDepth = 512;

// Reads a whole hive file into root (which must be empty). Values are only
// checked here; each key remembers where its block lies in text.
LoadResult loadHiveText(std::string_view text, Key &root);

// One key line of a hive's text, as the checking read found it.
struct KeyLine {
    Block block; // of the key not made yet; a key made from the line takes it
    uint32_t lastNameAt = 0;   // where the last name of its path starts, from block.offset
    uint16_t levels = 0;       // names in its path
    uint16_t sharedLevels = 0; // leading names spelled byte for byte as in the line before
};

// The key lines of a hive's text in file order. A key's children are made
// from them when first looked at, so that a load touches little more memory
// than the text itself.
struct KeyIndex {
    std::vector<KeyLine> lines;
};

// Checks the whole text as loadHiveText does but leaves the keys below root
// pending in index. Only a text in the order Wine writes (each path after
// the one before it, as compareNames orders names) is read that way; any
// other is read whole into root at once, and index stays empty.
LoadResult indexHiveText(std::string_view text, Key &root, KeyIndex &index);

// The bytes of the text the index was made from, at [offset, offset + length).
using BlockText = std::function<std::string_view(size_t offset, size_t length)>;
// Makes the pending children of key (not their children).
void makeChildren(Key &key, const KeyIndex &index, const BlockText &textAt);
// Makes every pending key below key.
void makeAllChildren(Key &key, const KeyIndex &index, const BlockText &textAt);

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
