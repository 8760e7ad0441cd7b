#include "tree.h"

#include "text.h"

#include <algorithm>
#include <cassert>
#include <ctime>

namespace winreg {

namespace {

// Where name is, or would go, among items sorted by name. Loading appends in
// order: the last item is looked at first.
template <typename Items, typename NameOf>
size_t positionOf(const Items &items, std::u16string_view name, NameOf nameOf, bool *exists) {
    const int last = items.empty() ? -1 : compareNames(nameOf(items.back()), name);
    if (last <= 0) {
        *exists = last == 0;
        return items.size() - (last == 0 ? 1 : 0);
    }
    const auto it = std::lower_bound(items.begin(), items.end(), name, [&](const auto &item, std::u16string_view n) {
        return compareNames(nameOf(item), n) < 0;
    });
    *exists = compareNames(nameOf(*it), name) == 0; // the last item comes after name
    return static_cast<size_t>(it - items.begin());
}

// Among the children made: a lookup never makes keys.
size_t childInsertPosition(const Key &parent, std::u16string_view name, bool *exists) {
    assert(!parent.hasPendingChildren());
    return positionOf(parent.children, name, [](const auto &child) -> const std::u16string & { return child->name; },
                      exists);
}

size_t valuePosition(const Key &key, std::u16string_view name, bool *exists) {
    return positionOf(key.values, name, [](const Value &value) -> const std::u16string & { return value.name; },
                      exists);
}

} // namespace

Key *findChild(const Key &parent, std::u16string_view name) {
    bool exists;
    const size_t at = childInsertPosition(parent, name, &exists);
    return exists ? parent.children[at].get() : nullptr;
}

Key *addChild(Key &parent, std::u16string name) {
    bool exists;
    const size_t at = childInsertPosition(parent, name, &exists);
    if (exists)
        return parent.children[at].get();
    auto key = std::make_unique<Key>();
    key->name = std::move(name);
    key->parent = &parent;
    key->hive = parent.hive;
    Key *raw = key.get();
    parent.children.insert(parent.children.begin() + static_cast<std::ptrdiff_t>(at), std::move(key));
    return raw;
}

Value *findValue(Key &key, std::u16string_view name) {
    bool exists;
    const size_t at = valuePosition(key, name, &exists);
    return exists ? &key.values[at] : nullptr;
}

Value &putValue(Key &key, Value value) {
    bool exists;
    const size_t at = valuePosition(key, value.name, &exists);
    if (!exists)
        return *key.values.insert(key.values.begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
    // The first spelling of the name stays.
    Value &held = key.values[at];
    held.type = value.type;
    held.data = std::move(value.data);
    return held;
}

bool eraseValue(Key &key, std::u16string_view name) {
    bool exists;
    const size_t at = valuePosition(key, name, &exists);
    if (!exists)
        return false;
    key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

std::vector<std::u16string> pathOf(const Key &key) {
    std::vector<std::u16string> path(depthOf(key));
    const Key *k = &key;
    for (auto name = path.rbegin(); name != path.rend(); ++name, k = k->parent)
        *name = k->name;
    return path;
}

size_t depthOf(const Key &key) {
    size_t depth = 0;
    for (const Key *k = &key; k->parent && k->hive == k->parent->hive; k = k->parent)
        ++depth;
    return depth;
}

constexpr uint64_t kEpochDifference = 116444736000000000ULL; // 1601 to 1970 in 100 ns

uint64_t currentFileTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return kEpochDifference + static_cast<uint64_t>(ts.tv_sec) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100;
}

int64_t unixSecondsOf(uint64_t fileTime) {
    if (fileTime < kEpochDifference)
        return 0;
    return static_cast<int64_t>((fileTime - kEpochDifference) / 10000000ULL);
}

void touch(Key &key, uint64_t fileTime) {
    key.fileTime = fileTime;
    key.unixTime = unixSecondsOf(fileTime);
    key.hasFileTime = true;
    key.hasUnixTime = true;
    key.dirty = true;
}

} // namespace winreg
