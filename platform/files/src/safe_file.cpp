#include "files/safe_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace files {

namespace {

// Writes all of parts, repeating short writes and gathering as many parts
// into one call as the system takes; 0 or errno.
int writeAll(int fd, std::vector<iovec> parts) {
    std::erase_if(parts, [](const iovec &part) { return part.iov_len == 0; });
    size_t next = 0;
    while (next < parts.size()) {
        const int count = static_cast<int>(std::min<size_t>(parts.size() - next, IOV_MAX));
        const ssize_t n = fileSystem().writev(fd, parts.data() + next, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        // A short write leaves the rest of its parts for the next call.
        size_t written = static_cast<size_t>(n);
        while (next < parts.size() && written >= parts[next].iov_len)
            written -= parts[next++].iov_len;
        if (written > 0) {
            parts[next].iov_base = static_cast<char *>(parts[next].iov_base) + written;
            parts[next].iov_len -= written;
        }
    }
    return 0;
}

// While it lives, a write to a pipe whose reader has quit fails with EPIPE
// instead of ending the process: SIGPIPE is held back, and one that such a
// write raised is taken before the old mask returns. Only the writes of
// this thread are concerned.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        wasPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
        held_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
    }
    ~PipeSignalHeld() {
        if (!held_)
            return;
        sigset_t pending;
        if (!wasPending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{};
            (void)sigtimedwait(&pipe_, nullptr, &now); // it is pending: taking it cannot fail
        }
        (void)pthread_sigmask(SIG_SETMASK, &old_, nullptr); // restores a mask that was valid
    }
    PipeSignalHeld(const PipeSignalHeld &) = delete;
    PipeSignalHeld &operator=(const PipeSignalHeld &) = delete;

private:
    sigset_t pipe_{};
    sigset_t old_{};
    bool wasPending_ = false;
    bool held_ = false;
};

int writeThrough(int fd, const std::vector<iovec> &parts) {
    const PipeSignalHeld held;
    return writeAll(fd, parts);
}

off_t sizeOf(const std::vector<iovec> &parts) {
    off_t size = 0;
    for (const iovec &part : parts)
        size += static_cast<off_t>(part.iov_len);
    return size;
}

// /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N name a descriptor
// of this process: N, or -1 for any other path.
int descriptorNamed(std::string_view path) {
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    for (const std::string_view folder : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
        if (!path.starts_with(folder))
            continue;
        const std::string_view digits = path.substr(folder.size());
        if (digits.empty() || digits.size() > 9 || !std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        return std::atoi(std::string(digits).c_str());
    }
    return -1;
}

// The folder and name of the file a path stands for: for a symbolic link,
// the file it points to, so that the link stays. A new name, or a link that
// points nowhere, is taken as it is.
struct Place {
    std::string folder;
    std::string name;
};

Place placeOf(const std::string &path) {
    std::string real = path;
    if (char *resolved = realpath(path.c_str(), nullptr)) {
        real = resolved;
        std::free(resolved);
    }
    const size_t slash = real.rfind('/');
    if (slash == std::string::npos)
        return {".", real};
    return {slash == 0 ? std::string("/") : real.substr(0, slash), real.substr(slash + 1)};
}

bool sameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether name in folder still leads to the file open as fd.
bool nameLeadsTo(int folder, const std::string &name, const struct stat &open) {
    struct stat now{};
    return fileSystem().lstatat(folder, name, &now) == 0 && sameFile(now, open);
}

std::string randomSuffix(int &error) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        error = errno ? errno : EIO;
        return {};
    }
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random));
    return suffix;
}

// Creates name in the folder, where it must not stand yet, and locks it, so
// that no sweep or recovery takes it while its writer lives; the
// descriptor, or -1 with errno set (EEXIST: taken; EAGAIN: taken away before
// it was locked).
int createLocked(int folder, const std::string &name, mode_t mode) {
    FileSystem &fs = fileSystem();
    FileDescriptor fd(fs.openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.get() < 0)
        return -1;
    struct stat st{};
    if (fs.fstat(fd.get(), &st) != 0) {
        const int error = errno;
        (void)fs.unlinkat(folder, name); // ours: nothing more to be done when it stays
        errno = error;
        return -1;
    }
    // A file system without locks leaves it unlocked; nobody else can lock it then either.
    const bool locked = fs.tryLock(fd.get()) == 0 || errno != EWOULDBLOCK;
    if (locked && nameLeadsTo(folder, name, st))
        return fd.release();
    errno = EAGAIN;
    return -1;
}

// Creates "<name>.vantor-<random>" in the folder, which no other file has;
// the descriptor, locked, or -1 with errno set and temporary left empty.
int createTemporary(int folder, const std::string &name, mode_t mode, std::string &temporary) {
    // Only a sweep that keeps taking each new name away before its lock could use them all.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int error = 0;
        temporary = name + std::string(kTempInfix) + randomSuffix(error);
        const int fd = error ? -1 : createLocked(folder, temporary, mode);
        if (fd >= 0)
            return fd;
        if (error || (errno != EEXIST && errno != EAGAIN)) {
            errno = error ? error : errno;
            temporary.clear();
            return -1;
        }
    }
    temporary.clear();
    errno = EAGAIN;
    return -1;
}

// Every name in the folder; 0 or errno.
int listNames(int folder, std::vector<std::string> &names) {
    const int listFd = dup(folder);
    DIR *dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        const int error = errno;
        if (listFd >= 0)
            close(listFd);
        return error;
    }
    while (const dirent *entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    return 0;
}

// Removes the temporary files of name that no writer holds: a killed
// writer's. Nothing else is touched, and what cannot be removed now is
// tried again by the next writer.
void sweepTemporaries(int folder, const std::string &name) {
    FileSystem &fs = fileSystem();
    std::vector<std::string> entries;
    (void)listNames(folder, entries); // a folder that cannot be listed is swept next time
    std::erase_if(entries, [&name](const std::string &entry) { return !isTemporaryOf(entry, name); });
    for (const std::string &entry : entries) {
        const FileDescriptor fd(fs.openat(folder, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st{};
        if (fd.get() < 0 || fs.fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (fs.tryLock(fd.get()) != 0 || !nameLeadsTo(folder, entry, st))
            continue; // its writer lives, or the name went meanwhile
        (void)fs.unlinkat(folder, entry);
    }
}

// The journal of an in-place rewrite, "<name>.vantor-journal" beside the
// file: a line that names the file (device and inode) and the length and
// checksum of its old text, then that text. It is written whole and synced
// before the file's first byte changes, and removed once the new text is on
// the disk; removing it is the moment the rewrite counts as done. A journal
// that outlives its writer gives the file its old text back.
std::string journalOf(const std::string &name) { return name + std::string(kJournalSuffix); }

// Tells a journal whose text a crash left unwritten from a whole one.
uint64_t checksumOf(std::string_view bytes) {
    uint64_t sum = 0xcbf29ce484222325ULL ^ bytes.size();
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        sum = (sum ^ word) * 0x100000001b3ULL;
        sum ^= sum >> 29;
    }
    for (; at < bytes.size(); ++at)
        sum = (sum ^ static_cast<unsigned char>(bytes[at])) * 0x100000001b3ULL;
    return sum;
}

std::string journalHeader(const struct stat &st, std::string_view old) {
    char line[128];
    std::snprintf(line, sizeof line, "vantor rewrite journal %llu %llu %zu %016llx\n",
                  static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino), old.size(),
                  static_cast<unsigned long long>(checksumOf(old)));
    return line;
}

// Reads a whole open file from its start; 0 or errno.
int readAll(int fd, std::string &bytes) {
    FileSystem &fs = fileSystem();
    struct stat st{};
    if (fs.fstat(fd, &st) != 0)
        return errno;
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = fs.pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return 0;
}

// Waits for a lock that a live writer holds, as long as the file system's patience lasts.
int lockWaiting(int fd) {
    FileSystem &fs = fileSystem();
    const auto deadline = std::chrono::steady_clock::now() + fs.lockPatience();
    while (fs.tryLock(fd) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return 0; // a file system without locks
        if (std::chrono::steady_clock::now() >= deadline)
            return EWOULDBLOCK;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

// Gives the open file the text of parts, durably; 0 or errno.
int rewriteWhole(int fd, const std::vector<iovec> &parts) {
    FileSystem &fs = fileSystem();
    if (const int error = writeAll(fd, parts))
        return error;
    return fs.ftruncate(fd, sizeOf(parts)) == 0 && fs.fsync(fd) == 0 ? 0 : errno;
}

int putBack(int folder, const std::string &name, std::string_view old) {
    const FileDescriptor fd(fileSystem().openat(folder, name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    return rewriteWhole(fd.get(), {{const_cast<char *>(old.data()), old.size()}});
}

int removeJournal(int folder, const std::string &name) {
    FileSystem &fs = fileSystem();
    return fs.unlinkat(folder, journalOf(name)) == 0 && fs.fsync(folder) == 0 ? 0 : errno;
}

// Undoes the rewrite that the open, locked journal tells of, when its file
// is still the one the journal was for; a journal that was not written whole
// tells of a rewrite that had not begun. Then the journal goes.
int undoRewrite(int folder, const std::string &name, int journal) {
    std::string bytes;
    if (const int error = readAll(journal, bytes))
        return error;
    unsigned long long dev = 0, ino = 0, sum = 0;
    size_t length = 0;
    const size_t headerEnd = bytes.find('\n');
    const bool parsed = headerEnd != std::string::npos &&
                        std::sscanf(bytes.c_str(), "vantor rewrite journal %llu %llu %zu %llx", &dev, &ino, &length, &sum) == 4;
    const std::string_view old = parsed ? std::string_view(bytes).substr(headerEnd + 1) : std::string_view();
    struct stat st{};
    if (parsed && old.size() == length && checksumOf(old) == sum && fileSystem().lstatat(folder, name, &st) == 0 &&
        st.st_dev == dev && st.st_ino == ino) {
        if (const int error = putBack(folder, name, old))
            return error;
    }
    return removeJournal(folder, name);
}

int finishRewriteIn(int folder, const std::string &name) {
    FileSystem &fs = fileSystem();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const FileDescriptor fd(fs.openat(folder, journalOf(name), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0)
            return errno == ENOENT ? 0 : errno;
        struct stat st{};
        if (fs.fstat(fd.get(), &st) != 0)
            return errno;
        if (const int error = lockWaiting(fd.get()))
            return error;
        // Only a journal of this user's own is trusted to say what the file held.
        if (st.st_uid != geteuid())
            return EPERM;
        // Its writer finished meanwhile, or another rewrite began.
        if (nameLeadsTo(folder, journalOf(name), st))
            return S_ISREG(st.st_mode) ? undoRewrite(folder, name, fd.get()) : EEXIST;
    }
    return EBUSY;
}

// Creates the journal of name, after undoing a rewrite a crash left
// unfinished; the descriptor, locked, or -1 with errno set.
int createJournal(int folder, const std::string &name) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = createLocked(folder, journalOf(name), 0600);
        if (fd >= 0 || (errno != EEXIST && errno != EAGAIN))
            return fd;
        if (errno == EEXIST) {
            if (const int error = finishRewriteIn(folder, name)) {
                errno = error;
                return -1;
            }
        }
    }
    errno = EBUSY;
    return -1;
}

// Writes the journal of the open file and makes it durable, name and all.
int writeJournal(int folder, int journal, const struct stat &st, std::string_view old) {
    FileSystem &fs = fileSystem();
    std::string header = journalHeader(st, old);
    if (const int error = writeAll(journal, {{header.data(), header.size()}, {const_cast<char *>(old.data()), old.size()}}))
        return error;
    return fs.fsync(journal) == 0 && fs.fsync(folder) == 0 ? 0 : errno;
}

// Where blocks cannot be reserved, the text is written whole to a temporary
// file beside the file, synced, and removed again: a disk without room for
// it fails there, and the room it took is free for the rewrite.
int proveRoom(int folder, const std::string &name, const std::vector<iovec> &parts) {
    FileSystem &fs = fileSystem();
    std::string temporary;
    FileDescriptor fd(createTemporary(folder, name, 0600, temporary));
    if (fd.get() < 0)
        return errno;
    int error = writeAll(fd.get(), parts);
    if (!error && fs.fsync(fd.get()) != 0)
        error = errno;
    if (fs.unlinkat(folder, temporary) != 0 && !error)
        error = errno;
    if (fd.close() != 0 && !error)
        error = errno;
    return error;
}

// Makes sure the disk has room for the whole new text of an open file
// before its first byte changes.
int reserveRoom(int folder, const std::string &name, int fd, const std::vector<iovec> &parts) {
    const off_t size = sizeOf(parts);
    if (size == 0 || fileSystem().fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    return proveRoom(folder, name, parts);
}

// The file is in place; only the durability of its name is unknown. The
// save stands, as the file system's own journal will most likely keep it.
void tellFolderNotSynced(const std::string &path, int error) {
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        std::fprintf(stderr, "vantor: %s is written, but its folder could not be synced (%s); a power loss may "
                             "bring back the file it replaced\n",
                     path.c_str(), std::strerror(error));
}

} // namespace

bool isTemporaryOf(std::string_view entry, std::string_view name) {
    constexpr size_t kDigits = 16;
    if (entry.size() != name.size() + kTempInfix.size() + kDigits || !entry.starts_with(name) ||
        entry.substr(name.size(), kTempInfix.size()) != kTempInfix)
        return false;
    return std::ranges::all_of(entry.substr(entry.size() - kDigits),
                               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool isWrittenThrough(mode_t mode) { return S_ISFIFO(mode) || S_ISCHR(mode); }

bool replacesAFile(const std::string &path) {
    struct stat st{};
    return descriptorNamed(path) < 0 && fileSystem().stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool rewriteWaits(const std::string &path) {
    const Place place = placeOf(path);
    struct stat st{};
    return fileSystem().stat(place.folder + "/" + journalOf(place.name), &st) == 0;
}

int finishRewrite(const std::string &path) {
    const Place place = placeOf(path);
    const FileDescriptor folder(fileSystem().open(place.folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return errno == ENOENT ? 0 : errno;
    return finishRewriteIn(folder.get(), place.name);
}

int finishRewritesIn(const std::string &folderPath) {
    const FileDescriptor folder(fileSystem().open(folderPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return errno;
    std::vector<std::string> entries;
    int firstError = listNames(folder.get(), entries);
    for (const std::string_view entry : entries) {
        if (entry.size() <= kJournalSuffix.size() || !entry.ends_with(kJournalSuffix))
            continue;
        const std::string name(entry.substr(0, entry.size() - kJournalSuffix.size()));
        if (const int error = finishRewriteIn(folder.get(), name); error && !firstError)
            firstError = error;
    }
    return firstError;
}

SafeFile::~SafeFile() {
    if (!temporary_.empty())
        (void)fileSystem().unlinkat(folder_.get(), temporary_); // nothing more to be done when it stays
}

int SafeFile::open(const std::string &path, mode_t newFileMode) {
    FileSystem &fs = fileSystem();
    path_ = path;
    newFileMode_ = newFileMode;
    if (const int fd = descriptorNamed(path); fd >= 0)
        return openDescriptor(fd);
    const Place place = placeOf(path);
    folder_.adopt(fs.open(place.folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder_.get() < 0)
        return errno;
    name_ = place.name;
    // Looked at once, without following a link: what is written is this.
    const FileDescriptor found(fs.openat(folder_.get(), name_, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (found.get() < 0)
        return errno == ENOENT ? openForReplacing(nullptr) : errno;
    struct stat st{};
    if (fs.fstat(found.get(), &st) != 0)
        return errno;
    existed_ = true;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    if (S_ISLNK(st.st_mode))
        return ENOENT; // a link that points nowhere
    if (isWrittenThrough(st.st_mode))
        return openThrough(found.get(), st);
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return ENOTSUP;
    return openForReplacing(&st);
}

int SafeFile::openDescriptor(int fd) {
    struct stat st{};
    if (fileSystem().fstat(fd, &st) != 0)
        return errno; // EBADF: closed, so there is nothing to write to
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    way_ = Way::Descriptor;
    descriptor_ = fd;
    return 0;
}

// Opens the very FIFO or device that was looked at, through the descriptor
// that found it, without waiting for a FIFO's reader.
int SafeFile::openThrough(int found, const struct stat &st) {
    FileSystem &fs = fileSystem();
    way_ = Way::Through;
    fd_.adopt(fs.open("/proc/self/fd/" + std::to_string(found), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd_.get() < 0)
        return errno; // ENXIO: a FIFO that nobody reads
    struct stat now{};
    if (fs.fstat(fd_.get(), &now) != 0)
        return errno;
    if (!sameFile(now, st))
        return EBUSY;
    const int flags = fcntl(fd_.get(), F_GETFL);
    if (flags < 0 || fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return errno;
    return 0;
}

int SafeFile::openForReplacing(const struct stat *old) {
    FileSystem &fs = fileSystem();
    if (const int error = finishRewriteIn(folder_.get(), name_))
        return error;
    sweepTemporaries(folder_.get(), name_);
    if (old && old->st_nlink > 1) {
        way_ = Way::InPlace;
        return 0;
    }
    way_ = Way::Replace;
    fd_.adopt(createTemporary(folder_.get(), name_, old ? 0600 : newFileMode_, temporary_));
    if (fd_.get() < 0)
        return errno;
    if (!old)
        return 0;
    if (geteuid() == 0 && fs.fchown(fd_.get(), old->st_uid, old->st_gid) != 0)
        return errno;
    return fs.fchmod(fd_.get(), old->st_mode & 07777) == 0 ? 0 : errno;
}

// Whether the name now leads elsewhere than it did when looked at.
bool SafeFile::placeChanged() {
    struct stat now{};
    if (fileSystem().lstatat(folder_.get(), name_, &now) != 0)
        return existed_;
    return !existed_ || now.st_dev != dev_ || now.st_ino != ino_;
}

int SafeFile::write(std::string_view bytes) {
    if (way_ == Way::InPlace) {
        text_.append(bytes);
        return 0;
    }
    return writeParts({{const_cast<char *>(bytes.data()), bytes.size()}});
}

int SafeFile::writeParts(const std::vector<iovec> &parts) {
    switch (way_) {
    case Way::Replace:
        return writeAll(fd_.get(), parts);
    case Way::Through:
        return writeThrough(fd_.get(), parts);
    case Way::Descriptor:
        return writeThrough(descriptor_, parts);
    case Way::InPlace:
        break;
    }
    return EINVAL;
}

int SafeFile::commit() {
    switch (way_) {
    case Way::Through:
        return fd_.close() == 0 ? 0 : errno;
    case Way::Descriptor:
        return 0;
    case Way::InPlace:
        return rewrite({{text_.data(), text_.size()}});
    case Way::Replace:
        return replace();
    }
    return EINVAL;
}

// The rewrite in place, journaled: a crash at any step leaves the old text
// or, once the journal is gone, the new one; a failure puts the old text back.
int SafeFile::rewrite(const std::vector<iovec> &parts) {
    FileSystem &fs = fileSystem();
    FileDescriptor fd(fs.openat(folder_.get(), name_, O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    struct stat st{};
    if (fs.fstat(fd.get(), &st) != 0)
        return errno;
    if (st.st_dev != dev_ || st.st_ino != ino_)
        return EBUSY;
    if (const int error = reserveRoom(folder_.get(), name_, fd.get(), parts))
        return error;
    const FileDescriptor journal(createJournal(folder_.get(), name_));
    if (journal.get() < 0)
        return errno;
    std::string old;
    int error = readAll(fd.get(), old);
    if (!error)
        error = writeJournal(folder_.get(), journal.get(), st, old);
    if (error) {
        (void)removeJournal(folder_.get(), name_); // the file is untouched: a journal that stays only costs its undo
        return error;
    }
    error = rewriteWhole(fd.get(), parts);
    if (!error && fd.close() != 0)
        error = errno;
    if (error) {
        // A journal that stays when this fails puts the old text back at the next save or load.
        if (putBack(folder_.get(), name_, old) == 0)
            (void)removeJournal(folder_.get(), name_);
        return error;
    }
    if (fs.unlinkat(folder_.get(), journalOf(name_)) != 0)
        return errno; // the journal puts the old text back
    if (fs.fsync(folder_.get()) != 0)
        tellFolderNotSynced(path_, errno);
    return 0;
}

int SafeFile::replace() {
    FileSystem &fs = fileSystem();
    if (fs.fsync(fd_.get()) != 0)
        return errno;
    if (placeChanged())
        return EBUSY;
    // Renamed while still locked, so that no sweep takes it first.
    if (fs.renameat(folder_.get(), temporary_, name_) != 0)
        return errno;
    temporary_.clear();
    (void)fd_.close(); // its text is on the disk already
    if (fs.fsync(folder_.get()) != 0)
        tellFolderNotSynced(path_, errno);
    return 0;
}

int writeFile(const std::string &path, const std::vector<iovec> &parts, mode_t newFileMode) {
    SafeFile file;
    if (const int error = file.open(path, newFileMode))
        return error;
    if (file.way_ == SafeFile::Way::InPlace)
        return file.rewrite(parts);
    if (const int error = file.writeParts(parts))
        return error;
    return file.commit();
}

} // namespace files
