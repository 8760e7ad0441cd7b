#include "files/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace files {

namespace {
FileSystem g_real;
FileSystem *g_current = &g_real;
} // namespace

FileSystem &fileSystem() { return *g_current; }
void useFileSystem(FileSystem *fs) { g_current = fs ? fs : &g_real; }

int FileSystem::open(const std::string &path, int flags, mode_t mode) { return ::open(path.c_str(), flags, mode); }
int FileSystem::openat(int dirFd, const std::string &name, int flags, mode_t mode) {
    return ::openat(dirFd, name.c_str(), flags, mode);
}
ssize_t FileSystem::read(int fd, void *buffer, size_t size) { return ::read(fd, buffer, size); }
ssize_t FileSystem::pread(int fd, void *buffer, size_t size, off_t offset) {
    return ::pread(fd, buffer, size, offset);
}
ssize_t FileSystem::writev(int fd, const iovec *parts, int count) { return ::writev(fd, parts, count); }
int FileSystem::fsync(int fd) { return ::fsync(fd); }
int FileSystem::close(int fd) { return ::close(fd); }
int FileSystem::fstat(int fd, struct stat *st) { return ::fstat(fd, st); }
int FileSystem::stat(const std::string &path, struct stat *st) { return ::stat(path.c_str(), st); }
int FileSystem::lstatat(int dirFd, const std::string &name, struct stat *st) {
    return ::fstatat(dirFd, name.c_str(), st, AT_SYMLINK_NOFOLLOW);
}
int FileSystem::access(const std::string &path, int mode) { return ::access(path.c_str(), mode); }
int FileSystem::fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int FileSystem::fchown(int fd, uid_t uid, gid_t gid) { return ::fchown(fd, uid, gid); }
int FileSystem::ftruncate(int fd, off_t size) { return ::ftruncate(fd, size); }
int FileSystem::fallocate(int fd, int mode, off_t offset, off_t length) {
    return ::fallocate(fd, mode, offset, length);
}
int FileSystem::renameat(int dirFd, const std::string &from, const std::string &to) {
    return ::renameat(dirFd, from.c_str(), dirFd, to.c_str());
}
int FileSystem::unlinkat(int dirFd, const std::string &name) { return ::unlinkat(dirFd, name.c_str(), 0); }
int FileSystem::tryLock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB); }

} // namespace files
