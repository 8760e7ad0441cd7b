// The one way a file we make is written. What stands at the path is looked
// at once, and that is what gets written:
//
// - /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N: descriptor N
//   itself is written to, never reopened, so that what was written there
//   before stays. A closed descriptor is refused (EBADF).
// - nothing yet, or a regular file: the text goes to a temporary file of a
//   fresh name beside it, is synced to the disk and renamed over it, and the
//   folder is synced; a crash leaves the old file or the new one. A file that
//   stood there keeps its mode (and, for root, its owner), even a 0444 one.
//   A symbolic link stays: the file it points to is replaced. A link that
//   points nowhere is refused (ENOENT).
// - a regular file with other hard links: rewritten in place, so that every
//   link sees the new text. The room for all of it is reserved before its
//   first byte changes, so a full disk leaves it as it was. Its old text goes
//   first to a journal beside it ("<name>.vantor-journal"), synced; a failure
//   midway puts the old text back at once, and a crash midway leaves the
//   journal, which puts it back at the next write of the file (or
//   finishRewrite). Until then, whoever reads the file through another link
//   sees it half rewritten.
// - a FIFO or a character device (/dev/null): written straight to; a FIFO
//   that nobody reads is refused (ENXIO) rather than waited for.
// - a directory (EISDIR), a block device or a socket (ENOTSUP): refused.
// - whatever took the place of what was looked at before the text is put in
//   place: refused (EBUSY).
//
// Every call answers 0 or the errno of the step that failed. No file but the
// destination is touched. Each temporary file is locked by its writer while
// it lives; before writing, those of the same name that no writer holds any
// more (a killed writer's) are removed, and no other file.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <vector>

#include "files/file_system.h"

namespace files {

// Marks the temporary files: "<name>.vantor-<16 hexadecimal digits>".
inline constexpr std::string_view kTempInfix = ".vantor-";

// Marks the journal of an in-place rewrite: "<name>.vantor-journal".
inline constexpr std::string_view kJournalSuffix = ".vantor-journal";

// Whether a rewrite of path in place that a crash cut short waits to be undone.
bool rewriteWaits(const std::string &path);
// Undoes it: the file gets back the text it had before (when it is still
// the file the rewrite was for), and the journal goes; 0 or errno. For
// every file of a folder: finishRewritesIn.
int finishRewrite(const std::string &path);
int finishRewritesIn(const std::string &folder);

// Whether entry is one of our temporary files for the file called name.
bool isTemporaryOf(std::string_view entry, std::string_view name);

// Whether a file of this kind is written straight to rather than replaced.
bool isWrittenThrough(mode_t mode);

// Whether a write to path would replace a file that stands there (rather
// than make a new one, write into one, or be refused).
bool replacesAFile(const std::string &path);

class SafeFile {
public:
    SafeFile() = default;
    // Without commit the destination stays as it was.
    ~SafeFile();
    SafeFile(const SafeFile &) = delete;
    SafeFile &operator=(const SafeFile &) = delete;

    // Looks at what stands at path and gets ready to write it. A new file
    // gets newFileMode, less the process's umask.
    int open(const std::string &path, mode_t newFileMode = 0666);
    int write(std::string_view bytes);
    // Puts the text in place and, unless written through, on the disk.
    int commit();

    friend int writeFile(const std::string &path, const std::vector<iovec> &parts, mode_t newFileMode);

private:
    enum class Way { Replace, InPlace, Through, Descriptor };

    int openDescriptor(int fd);
    int openThrough(int found, const struct stat &st);
    int openForReplacing(const struct stat *old);
    int writeParts(const std::vector<iovec> &parts);
    int rewrite(const std::vector<iovec> &parts);
    int replace();
    bool placeChanged();

    Way way_ = Way::Replace;
    std::string path_;
    FileDescriptor folder_;  // Replace, InPlace: of the file itself
    std::string name_;       // Replace, InPlace: the file's name in it
    bool existed_ = false;   // Replace, InPlace: what the name led to when looked at
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    std::string temporary_;  // Replace: the temporary file's name, until renamed
    FileDescriptor fd_;      // Replace: the temporary file; Through: the destination
    int descriptor_ = -1;    // Descriptor: the caller's, never closed here
    std::string text_;       // InPlace: the text, written at commit
    mode_t newFileMode_ = 0666;
};

// A whole text at once; a file rewritten in place is written from the parts
// where they lie.
int writeFile(const std::string &path, const std::vector<iovec> &parts, mode_t newFileMode = 0666);

} // namespace files
