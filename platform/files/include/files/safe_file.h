// The one way a file we make is written, whatever stands at its path:
//
// - nothing yet, or a regular file: the text goes to a temporary file of a
//   fresh name beside it, is synced to the disk and renamed over it, and the
//   folder is synced; a crash leaves the old file or the new one. A file that
//   stood there keeps its mode (and, for root, its owner). A symbolic link
//   stays: the file it points to is replaced.
// - a regular file with other hard links: rewritten in place, so that every
//   link sees the new text. The room for all of it is reserved before its
//   first byte changes, so a full disk leaves it as it was (on a copy-on-write
//   file system an overwrite needs new blocks, and can still fail midway).
// - a FIFO, a pipe or a character device (/dev/stdout, /dev/null): written
//   straight to; nothing is replaced.
// - a directory (EISDIR), a block device or a socket (ENOTSUP): refused.
//
// Every call answers 0 or the errno of the step that failed. No file but the
// destination is touched, and a temporary file does not outlive the writer.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <sys/uio.h>
#include <vector>

#include "files/file_system.h"

namespace files {

// Marks the temporary files: "<name>.vantor-<16 hexadecimal digits>".
inline constexpr std::string_view kTempInfix = ".vantor-";

// Whether a file of this kind is written straight to rather than replaced.
bool isWrittenThrough(mode_t mode);

class SafeFile {
public:
    SafeFile() = default;
    // Without commit the destination stays as it was.
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Looks at what stands at path and gets ready to write it.
    int open(const std::string &path);
    int write(std::string_view bytes);
    // Puts the text in place and, unless written through, on the disk.
    int commit();

    friend int writeFile(const std::string &path, const std::vector<iovec> &parts);

private:
    enum class Way { Replace, InPlace, Through };

    int openForReplacing(const std::string &path, const struct stat *old);
    int replace();

    Way way_ = Way::Replace;
    FileDescriptor folder_;  // Replace, InPlace: of the file itself
    std::string name_;       // Replace, InPlace: the file's name in it
    std::string temporary_;  // Replace: the temporary file's name, until renamed
    FileDescriptor fd_;      // Replace: the temporary file; Through: the destination
    std::string text_;       // InPlace: the text, written at commit
};

// A whole text at once; a file rewritten in place is written from the parts
// where they lie.
int writeFile(const std::string &path, const std::vector<iovec> &parts);

} // namespace files
