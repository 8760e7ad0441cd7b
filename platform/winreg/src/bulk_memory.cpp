#include "bulk_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

namespace winreg {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below this a huge page would cost more to clear than the faults it saves.
constexpr size_t kBulkThreshold = size_t{1} << 20;

size_t roundUp(size_t size, size_t unit) { return (size + unit - 1) / unit * unit; }

// A mapping whose huge-page-sized middle is aligned, so the kernel can back
// it with huge pages; the unaligned ends are given back.
char *mapAligned(size_t size) {
    const size_t length = roundUp(size, kHugePage);
    void *raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = roundUp(start, kHugePage);
    // Giving back the unaligned ends cannot lose anything: a failure only
    // leaves them reserved.
    if (aligned > start)
        (void)munmap(raw, aligned - start);
    if (const size_t tail = start + length + kHugePage - (aligned + length))
        (void)munmap(reinterpret_cast<void *>(aligned + length), tail);
    // Advice only: without huge pages the block is ordinary memory.
    (void)madvise(reinterpret_cast<void *>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<char *>(aligned);
}

} // namespace

std::shared_ptr<char> allocateBulk(size_t size) {
    if (size < kBulkThreshold)
        return std::shared_ptr<char>(new char[size], std::default_delete<char[]>());
    const size_t length = roundUp(size, kHugePage);
    return std::shared_ptr<char>(mapAligned(size), [length](char *block) { (void)munmap(block, length); });
}

} // namespace winreg
