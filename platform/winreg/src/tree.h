// The in-memory form of a registry hive: a tree of keys, each holding its
// values. A key loaded from a file keeps the place of its text in that file,
// so that an unchanged key is written back exactly as it was read, and its
// values are decoded only when somebody looks at them. The tree only holds
// keys: its hive makes them, and decodes their text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winreg {

class Hive;

struct Value {
    std::u16string name;
    uint32_t type = 0;
    // Set by this process since its hive's journal last took the key's
    // values (see Change::Kind::SetValues).
    bool unsaved = false;
    std::string data; // raw bytes, strings as UTF-16LE
};

// Where a key's block lies in its hive's text: from its '[' line to the end
// of its last line. Length 0: the text holds no block for the key.
struct Block {
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t valueCount = 0; // values in it, before decoding
};

struct Key {
    std::u16string name;
    Key *parent = nullptr;
    Hive *hive = nullptr;
    std::vector<std::unique_ptr<Key>> children; // sorted case-insensitively

    std::vector<Value> values; // sorted case-insensitively; valid once valuesLoaded
    std::unique_ptr<std::u16string> keyClass;

    Block block; // from the index line it was made from, moved by each save

    int64_t unixTime = 0;  // the number after the key line
    uint64_t fileTime = 0; // #time=
    bool hasUnixTime = false;
    bool hasFileTime = false;
    bool isLink = false;
    bool isVolatile = false;
    bool valuesLoaded = true;
    bool dirty = false; // must be written from its decoded form

    // Lines of the hive's key index below this key that are no keys yet.
    uint32_t pendingFirst = 0;
    uint32_t pendingEnd = 0;

    size_t valueCount() const { return valuesLoaded ? values.size() : block.valueCount; }
    bool hasBlock() const { return block.length != 0; }
    bool hasPendingChildren() const { return pendingEnd != pendingFirst; }
};

inline bool hasChildren(const Key &key) { return key.hasPendingChildren() || !key.children.empty(); }

// Child lookup and insertion, case-insensitive, among the children made:
// a key with pending children has them made by its hive first.
Key *findChild(const Key &parent, std::u16string_view name);
Key *addChild(Key &parent, std::u16string name);

// Value lookup in a key whose values are loaded.
Value *findValue(Key &key, std::u16string_view name);
// Adds the value or changes the one of its name; the value as the key holds it.
Value &putValue(Key &key, Value value);
bool eraseValue(Key &key, std::u16string_view name);

// The names from the hive's root down to key, and how many they are.
std::vector<std::u16string> pathOf(const Key &key);
size_t depthOf(const Key &key);

// The current time as FILETIME (100 ns since 1601) and its whole seconds.
uint64_t currentFileTime();
int64_t unixSecondsOf(uint64_t fileTime);
void touch(Key &key, uint64_t fileTime);

} // namespace winreg
