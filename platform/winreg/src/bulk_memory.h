// Memory for the large, long-lived blocks of a loaded hive: its text and its
// keys. A fresh process pays one page fault for every 4 KB it touches, which
// costs more than parsing what those 4 KB hold; blocks of a megabyte or more
// are therefore asked from the kernel as huge pages where it offers them.
#pragma once

#include <cstddef>
#include <memory>

namespace winreg {

// size bytes, not zero-filled for small blocks; throws std::bad_alloc.
std::shared_ptr<char> allocateBulk(size_t size);

} // namespace winreg
