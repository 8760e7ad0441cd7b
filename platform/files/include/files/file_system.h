// The only way of the engine and of the files we make to the file system: a
// narrow set of calls that tests can replace to inject faults or watch the
// order of operations. Each call answers like the POSIX call it stands for
// (-1 and errno on failure).
#pragma once

#include <chrono>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

namespace files {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual int open(const std::string &path, int flags, mode_t mode = 0);
    virtual int openat(int dirFd, const std::string &name, int flags, mode_t mode = 0);
    virtual ssize_t read(int fd, void *buffer, size_t size);
    virtual ssize_t pread(int fd, void *buffer, size_t size, off_t offset);
    virtual ssize_t writev(int fd, const iovec *parts, int count);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int fstat(int fd, struct stat *st);
    virtual int stat(const std::string &path, struct stat *st);
    // fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW): the name itself, never a link's target.
    virtual int lstatat(int dirFd, const std::string &name, struct stat *st);
    virtual int access(const std::string &path, int mode);
    virtual int fchmod(int fd, mode_t mode);
    virtual int fchown(int fd, uid_t uid, gid_t gid);
    virtual int ftruncate(int fd, off_t size);
    virtual int fallocate(int fd, int mode, off_t offset, off_t length);
    virtual int renameat(int dirFd, const std::string &from, const std::string &to);
    virtual int unlinkat(int dirFd, const std::string &name);
    // flock(fd, LOCK_EX | LOCK_NB).
    virtual int tryLock(int fd);
    // How long a save waits for the folder lock before it gives up.
    virtual std::chrono::milliseconds lockPatience() const { return std::chrono::seconds(10); }
};

// The file system in use; tests may install their own (null: the real one).
FileSystem &fileSystem();
void useFileSystem(FileSystem *fs);

// Closes a descriptor on every path out; close() reports what it found.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            fileSystem().close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }
    void adopt(int fd) {
        if (fd_ >= 0)
            fileSystem().close(fd_);
        fd_ = fd;
    }
    // Hands the descriptor over, no longer closed here.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return fileSystem().close(fd);
    }

private:
    int fd_;
};

} // namespace files
