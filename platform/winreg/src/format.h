// Wine's "WINE REGISTRY Version 2" text format: a lenient, validating reader
// and a writer that produces exactly what Wine writes.
#pragma once

#include "tree.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <string>
#include <string_view>
#include <vector>

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

// One key line of a hive's text, as the checking read found it.
struct KeyLine {
    uint32_t offset = 0;      // of its '['
    uint32_t blockLength = 0; // as Key::blockLength
    uint32_t valueCount = 0;
    uint32_t lastNameAt = 0;   // where the last name of its path starts, from offset
    uint16_t levels = 0;       // names in its path
    uint16_t sharedLevels = 0; // leading names spelled byte for byte as in the line before
};

// Room set aside for a key index, in memory already owned: the lines go
// there when they fit, and to the heap otherwise.
struct KeyLineRoom {
    std::shared_ptr<char> owner;
    KeyLine *start = nullptr;
    size_t capacity = 0; // lines
    bool taken = false;
};

template <typename T> class KeyLineAllocator {
public:
    using value_type = T;
    using propagate_on_container_copy_assignment = std::true_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    KeyLineAllocator() = default;
    explicit KeyLineAllocator(std::shared_ptr<KeyLineRoom> room) : room_(std::move(room)) {}
    template <typename U> KeyLineAllocator(const KeyLineAllocator<U> &other) : room_(other.room()) {}
    T *allocate(size_t n) {
        if (room_ && !room_->taken && n <= room_->capacity) {
            room_->taken = true;
            return room_->start;
        }
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T *p, size_t n) {
        if (room_ && p == room_->start)
            room_->taken = false;
        else
            std::allocator<T>().deallocate(p, n);
    }
    // Lines made without a value are left as the memory holds them: a
    // room's lines may be put in place before the index takes them.
    template <typename U> void construct(U *) noexcept {}
    template <typename U, typename... Args> void construct(U *p, Args &&...args) {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    const std::shared_ptr<KeyLineRoom> &room() const { return room_; }
    bool operator==(const KeyLineAllocator &other) const { return room_ == other.room_; }

private:
    std::shared_ptr<KeyLineRoom> room_;
};

// The key lines of a hive's text in file order. A key's children are made
// from them when first looked at, so that a load touches little more memory
// than the text itself.
struct KeyIndex {
    std::vector<KeyLine, KeyLineAllocator<KeyLine>> lines;
};

// Checks the whole text as loadHiveText does but leaves the keys below root
// pending in index. Only a text in the order Wine writes (each path after
// the one before it, as compareNames orders names) is read that way; any
// other is read whole into root at once, and index stays empty.
LoadResult indexHiveText(std::string_view text, Key &root, KeyIndex &index);

// Reads [offset, offset + length) of a file into into; false when it could not.
using ReadRange = std::function<bool(size_t offset, char *into, size_t length)>;

// Reads a hive's text of size bytes into the start of block (of
// blockCapacity bytes) through readRange, range by range on this thread and
// a second one, and checks and lists it as indexHiveText does, each range as
// soon as it is there; the index goes into the rest of the block when it
// fits. True when every range was read, and result and index are then what
// indexHiveText gives; false when one could not be, and the caller should
// read the file again.
bool readAndIndexHiveText(const std::shared_ptr<char> &block, size_t blockCapacity, size_t size,
                          const ReadRange &readRange, Key &root, KeyIndex &index, LoadResult &result);

// The bytes of the text the index was made from, at [offset, offset + length).
using BlockText = std::function<std::string_view(size_t offset, size_t length)>;
// Makes the pending children of key (not their children).
void makeChildren(Key &key, const KeyIndex &index, const BlockText &blockText);
// Makes every pending key below key.
void makeAllChildren(Key &key, const KeyIndex &index, const BlockText &blockText);

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
