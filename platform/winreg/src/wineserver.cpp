// Telling whether a Wine server runs for a prefix. The server keeps its
// socket and a file `lock` in a folder named after the prefix's device and
// inode, and holds a write lock on `lock` for as long as it runs.
#include "hive.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace winreg {

namespace {

bool lockIsHeld(const std::string &path) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe{};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    // An open-file-description probe also sees locks that this very process
    // holds with plain fcntl locks; fall back where it is not available.
    int rc = fcntl(fd, F_OFD_GETLK, &probe);
    if (rc != 0) {
        probe = {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        rc = fcntl(fd, F_GETLK, &probe);
    }
    close(fd);
    return rc == 0 && probe.l_type != F_UNLCK;
}

// The first line of a small text file, trimmed; empty when absent.
std::string firstLineOf(const std::string &path) {
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    FILE *file = std::fopen(path.c_str(), "re");
    if (!file)
        return {};
    char buffer[4096];
    std::string line;
    if (std::fgets(buffer, sizeof buffer, file))
        line = buffer;
    std::fclose(file);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

// The folders where a server for the prefix at dir would work.
std::vector<std::string> serverFolders(const std::string &dir) {
    struct stat st{};
    if (stat(dir.c_str(), &st) != 0)
        return {};
    char serverName[64];
    std::snprintf(serverName, sizeof serverName, "/server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::vector<std::string> folders;
    // Debian names the server's parent folder in the file `wineserver` of the prefix.
    const std::string named = firstLineOf(dir + "/wineserver");
    if (!named.empty())
        folders.push_back((named.front() == '/' ? named : "/tmp/" + named) + serverName);
    folders.push_back("/tmp/.wine-" + std::to_string(getuid()) + serverName);
    if (st.st_uid != getuid())
        folders.push_back("/tmp/.wine-" + std::to_string(st.st_uid) + serverName);
    return folders;
}

bool isSocket(const std::string &path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

std::string wineServerFolder(const std::string &dir) {
    for (const auto &folder : serverFolders(dir)) {
        if (lockIsHeld(folder + "/lock"))
            return folder;
    }
    return {};
}

bool wineServerRunning(const std::string &dir) { return !wineServerFolder(dir).empty(); }

// The socket is looked at first: probing the lock lets go of a lock that this
// very process holds on the file (closing any descriptor of a file does).
bool wineServerReachable(const std::string &dir) {
    for (const auto &folder : serverFolders(dir)) {
        if (isSocket(folder + "/socket") && lockIsHeld(folder + "/lock"))
            return true;
    }
    return false;
}

} // namespace winreg
