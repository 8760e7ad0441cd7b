#include "files/safe_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

// Writes all of parts, repeating short writes and gathering as many parts
// into one call as the system takes; 0 or errno.
int writeAll(int fd, std::vector<iovec> parts) {
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

off_t sizeOf(const std::vector<iovec> &parts) {
    off_t size = 0;
    for (const iovec &part : parts)
        size += static_cast<off_t>(part.iov_len);
    return size;
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

// Creates "<name>.vantor-<random>" in the folder, which no other file has;
// the descriptor, or -1 with errno set and temporary left empty.
int createTemporary(int folder, const std::string &name, mode_t mode, std::string &temporary) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (;;) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
        temporary = name + std::string(kTempInfix) + suffix;
        const int fd = fileSystem().openat(folder, temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            temporary.clear();
            return -1;
        }
    }
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
    if (fd.close() != 0 && !error)
        error = errno;
    if (fs.unlinkat(folder, temporary) != 0 && !error)
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

int rewriteInPlace(int folder, const std::string &name, const std::vector<iovec> &parts) {
    FileSystem &fs = fileSystem();
    FileDescriptor fd(fs.openat(folder, name, O_WRONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    if (const int error = reserveRoom(folder, name, fd.get(), parts))
        return error;
    if (const int error = writeAll(fd.get(), parts))
        return error;
    if (fs.ftruncate(fd.get(), sizeOf(parts)) != 0 || fs.fsync(fd.get()) != 0 || fd.close() != 0)
        return errno;
    return fs.fsync(folder) == 0 ? 0 : errno;
}

} // namespace

bool isWrittenThrough(mode_t mode) { return S_ISFIFO(mode) || S_ISCHR(mode); }

SafeFile::~SafeFile() {
    if (!temporary_.empty()) {
        fd_.adopt(-1);
        (void)fileSystem().unlinkat(folder_.get(), temporary_); // nothing more to be done when it stays
    }
}

int SafeFile::open(const std::string &path) {
    FileSystem &fs = fileSystem();
    struct stat st{};
    if (fs.stat(path, &st) != 0)
        return errno == ENOENT ? openForReplacing(path, nullptr) : errno;
    if (isWrittenThrough(st.st_mode)) {
        way_ = Way::Through;
        fd_.adopt(fs.open(path, O_WRONLY | O_CLOEXEC));
        return fd_.get() < 0 ? errno : 0;
    }
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return ENOTSUP;
    return openForReplacing(path, &st);
}

int SafeFile::openForReplacing(const std::string &path, const struct stat *old) {
    FileSystem &fs = fileSystem();
    const Place place = placeOf(path);
    folder_.adopt(fs.open(place.folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder_.get() < 0)
        return errno;
    name_ = place.name;
    if (old && old->st_nlink > 1) {
        way_ = Way::InPlace;
        return 0;
    }
    way_ = Way::Replace;
    // A new file gets the usual mode, which the process's umask cuts down.
    fd_.adopt(createTemporary(folder_.get(), name_, old ? 0600 : 0666, temporary_));
    if (fd_.get() < 0)
        return errno;
    if (!old)
        return 0;
    if (geteuid() == 0 && fs.fchown(fd_.get(), old->st_uid, old->st_gid) != 0)
        return errno;
    return fs.fchmod(fd_.get(), old->st_mode & 07777) == 0 ? 0 : errno;
}

int SafeFile::write(std::string_view bytes) {
    if (way_ == Way::InPlace) {
        text_.append(bytes);
        return 0;
    }
    return writeAll(fd_.get(), {{const_cast<char *>(bytes.data()), bytes.size()}});
}

int SafeFile::commit() {
    switch (way_) {
    case Way::Through:
        return fd_.close() == 0 ? 0 : errno;
    case Way::InPlace:
        return rewriteInPlace(folder_.get(), name_, {{text_.data(), text_.size()}});
    case Way::Replace:
        return replace();
    }
    return EINVAL;
}

int SafeFile::replace() {
    FileSystem &fs = fileSystem();
    int error = fs.fsync(fd_.get()) == 0 ? 0 : errno;
    if (fd_.close() != 0 && !error)
        error = errno;
    if (!error && fs.renameat(folder_.get(), temporary_, name_) != 0)
        error = errno;
    if (error)
        return error;
    temporary_.clear();
    return fs.fsync(folder_.get()) == 0 ? 0 : errno;
}

int writeFile(const std::string &path, const std::vector<iovec> &parts) {
    SafeFile file;
    if (const int error = file.open(path))
        return error;
    if (file.way_ == SafeFile::Way::InPlace)
        return rewriteInPlace(file.folder_.get(), file.name_, parts);
    if (const int error = writeAll(file.fd_.get(), parts))
        return error;
    return file.commit();
}

} // namespace files
