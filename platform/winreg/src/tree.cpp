#include "tree.h"

#include "text.h"

#include <algorithm>
#include <cassert>
#include <ctime>

namespace winreg {

static size_t childInsertPosition(const Key &parent, std::u16string_view name, bool *exists) {
    assert(!parent.hasPendingChildren());
    const auto &kids = parent.children;
    size_t lo = 0;
    size_t hi = kids.size();
    // Loading appends in sorted order; check the end first.
    if (hi > 0) {
        const int last = compareNames(kids[hi - 1]->name, name);
        if (last < 0) {
            *exists = false;
            return hi;
        }
        if (last == 0) {
            *exists = true;
            return hi - 1;
        }
    }
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        const int c = compareNames(kids[mid]->name, name);
        if (c == 0) {
            *exists = true;
            return mid;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *exists = false;
    return lo;
}

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

namespace {

size_t valuePosition(const Key &key, std::u16string_view name, bool *exists) {
    const auto &vals = key.values;
    if (!vals.empty()) {
        const int last = compareNames(vals.back().name, name);
        if (last < 0) {
            *exists = false;
            return vals.size();
        }
    }
    const auto it = std::lower_bound(vals.begin(), vals.end(), name,
                                     [](const Value &v, std::u16string_view n) { return compareNames(v.name, n) < 0; });
    *exists = it != vals.end() && compareNames(it->name, name) == 0;
    return static_cast<size_t>(it - vals.begin());
}

} // namespace

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
