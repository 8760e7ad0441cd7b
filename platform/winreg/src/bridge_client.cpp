#include "bridge_client.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace winreg {

namespace {

// How often a wait for the bridge looks whether it still lives: a process
// that holds a copy of its pipes (Wine's server may) keeps them from closing.
constexpr int kLivenessCheckMs = 50;
constexpr int kServerSearchTries = 10;
constexpr long kServerSearchPauseNs = 50'000'000;

std::string linkTarget(const std::string &path) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string realPath(const std::string &path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

std::string folderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool isExecutable(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool isRegularFile(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The executable of the process working in folder, or empty.
std::string executableWorkingIn(const std::string &folder) {
    DIR *proc = opendir("/proc");
    if (!proc)
        return {};
    std::string found;
    while (const dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        if (linkTarget(base + "/cwd") == folder) {
            found = linkTarget(base + "/exe");
            break;
        }
    }
    closedir(proc);
    return found;
}

std::string onPath(const char *name) {
    const char *path = std::getenv("PATH");
    std::string list = path ? path : "";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string dir = end > start ? list.substr(start, end - start) : std::string(".");
        if (isExecutable(dir + "/" + name))
            return dir + "/" + name;
        start = end + 1;
    }
    return {};
}

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string exitText(int status) {
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Writing into a pipe whose reader is gone raises SIGPIPE; held back for
// the duration of a write, and one that arose on the way is taken away.
class QuietPipe {
  public:
    QuietPipe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        wasPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
        blocked_ = pthread_sigmask(SIG_BLOCK, &pipe_, &old_) == 0;
    }
    ~QuietPipe() {
        if (!blocked_)
            return;
        sigset_t pending;
        sigemptyset(&pending);
        if (!wasPending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
            const timespec zero{};
            sigtimedwait(&pipe_, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    QuietPipe(const QuietPipe &) = delete;
    QuietPipe &operator=(const QuietPipe &) = delete;

  private:
    sigset_t pipe_{};
    sigset_t old_{};
    bool wasPending_ = false;
    bool blocked_ = false;
};

std::vector<std::string> bridgeEnvironment(const std::string &prefix) {
    std::vector<std::string> result;
    for (char **entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("WINEPREFIX=") && !text.starts_with("WINEDEBUG="))
            result.emplace_back(text);
    }
    result.push_back("WINEPREFIX=" + prefix);
    result.push_back("WINEDEBUG=-all");
    return result;
}

} // namespace

std::string wineLoaderFor(const std::string &serverFolder, std::string &why) {
    // A server that has only just started may not work in its folder yet.
    std::string server;
    for (int tries = 0; server.empty() && tries < kServerSearchTries; ++tries) {
        if (tries > 0) {
            const timespec pause{0, kServerSearchPauseNs};
            nanosleep(&pause, nullptr);
        }
        server = executableWorkingIn(realPath(serverFolder));
    }
    if (!server.empty()) {
        for (const char *name : {"wine64", "wine"}) {
            const std::string beside = folderOf(server) + "/" + name;
            if (isExecutable(beside))
                return beside;
        }
    }
    for (const char *name : {"wine64", "wine"}) {
        if (std::string found = onPath(name); !found.empty())
            return found;
    }
    why =
        server.empty() ? "no Wine loader (wine64 or wine) on PATH" : "no Wine loader beside " + server + " nor on PATH";
    return {};
}

std::string bridgeProgram() {
    if (const char *chosen = std::getenv("VANTOR_WINE_BRIDGE"); chosen && *chosen)
        return isRegularFile(chosen) ? std::string(chosen) : std::string();
    const std::string self = linkTarget("/proc/self/exe");
    if (!self.empty() && isRegularFile(folderOf(self) + "/vantor-wine-bridge.exe"))
        return folderOf(self) + "/vantor-wine-bridge.exe";
#ifdef VANTOR_WINE_BRIDGE_PATH
    if (isRegularFile(VANTOR_WINE_BRIDGE_PATH))
        return VANTOR_WINE_BRIDGE_PATH;
#endif
    return {};
}

std::string BridgeProcess::start(const std::string &loader, const std::string &program, const std::string &prefix) {
    stop();
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0)
        return std::string("cannot make a pipe: ") + std::strerror(errno);
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        const int error = errno;
        close(toChild[0]);
        close(toChild[1]);
        return std::string("cannot make a pipe: ") + std::strerror(error);
    }
    posix_spawn_file_actions_t actions;
    int rc = posix_spawn_file_actions_init(&actions);
    if (rc == 0) {
        rc = posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
        if (rc == 0)
            rc = posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
        if (rc == 0) {
            std::vector<std::string> env = bridgeEnvironment(prefix);
            std::vector<char *> envp;
            for (std::string &entry : env)
                envp.push_back(entry.data());
            envp.push_back(nullptr);
            std::string loaderArg = loader;
            std::string programArg = program;
            char *argv[] = {loaderArg.data(), programArg.data(), nullptr};
            rc = posix_spawn(&pid_, loader.c_str(), &actions, nullptr, argv, envp.data());
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    close(toChild[0]);
    close(fromChild[1]);
    toBridge_ = toChild[1];
    fromBridge_ = fromChild[0];
    ending_.clear();
    if (rc != 0) {
        pid_ = -1;
        stop();
        return "cannot start " + loader + ": " + std::strerror(rc);
    }
    for (int fd : {toBridge_, fromBridge_}) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
            const int error = errno;
            stop();
            return std::string("cannot set up the pipes of the bridge: ") + std::strerror(error);
        }
    }
    return {};
}

bool BridgeProcess::exited() {
    if (pid_ <= 0)
        return true;
    int status = 0;
    const pid_t rc = waitpid(pid_, &status, WNOHANG);
    if (rc == 0)
        return false;
    // Reaped, or not ours to wait for (ECHILD): gone either way.
    ending_ = rc == pid_ ? exitText(status) : std::string("gone");
    pid_ = -1;
    return true;
}

// Waits until fd is ready; false (with failed filled in) when the time is
// up or the bridge has ended.
bool BridgeProcess::waitFor(int fd, short events, long long deadline, Exchange &failed) {
    for (;;) {
        const long long left = deadline - nowMs();
        if (left <= 0) {
            failed.outcome = Outcome::TimedOut;
            failed.error = "the bridge into Wine did not answer";
            return false;
        }
        pollfd watch{fd, events, 0};
        const int rc = poll(&watch, 1, static_cast<int>(std::min<long long>(left, kLivenessCheckMs)));
        if (rc > 0)
            return true;
        if (rc < 0 && errno != EINTR) {
            failed.error = std::string("waiting for the bridge into Wine failed: ") + std::strerror(errno);
            return false;
        }
        if (rc == 0 && exited())
            return false;
    }
}

BridgeProcess::Exchange BridgeProcess::exchange(const std::string &message, int timeoutMs) {
    Exchange result;
    const long long deadline = nowMs() + timeoutMs;
    bool sent = true;
    {
        const QuietPipe quiet;
        size_t done = 0;
        while (done < message.size()) {
            const ssize_t n = write(toBridge_, message.data() + done, message.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                if (!waitFor(toBridge_, POLLOUT, deadline, result)) {
                    sent = false;
                    break;
                }
            } else if (n < 0 && errno != EINTR) {
                sent = false;
                if (errno != EPIPE)
                    result.error = std::string("writing to the bridge into Wine failed: ") + std::strerror(errno);
                break;
            }
        }
    }
    std::string received;
    size_t wanted = 4;
    while (sent && received.size() < wanted) {
        if (!waitFor(fromBridge_, POLLIN, deadline, result))
            break;
        char buffer[65536];
        const ssize_t n = read(fromBridge_, buffer, std::min(sizeof buffer, wanted - received.size()));
        if (n > 0) {
            received.append(buffer, static_cast<size_t>(n));
            if (wanted == 4 && received.size() == 4) {
                uint32_t length = 0;
                std::memcpy(&length, received.data(), 4);
                wanted = 4 + size_t{length};
            }
        } else if (n == 0) {
            break;
        } else if (errno != EAGAIN && errno != EINTR) {
            result.error = std::string("reading from the bridge into Wine failed: ") + std::strerror(errno);
            break;
        }
    }
    if (sent && wanted > 4 && received.size() == wanted) {
        result.outcome = Outcome::Answered;
        result.body = received.substr(4);
        return result;
    }
    const std::string ending = stop();
    if (result.error.empty())
        result.error = "the bridge into Wine ended (" + ending + ")";
    return result;
}

std::string BridgeProcess::stop() {
    if (toBridge_ >= 0)
        close(toBridge_);
    toBridge_ = -1;
    if (pid_ > 0) {
        // At the end of its input the bridge ends by itself.
        const long long deadline = nowMs() + 500;
        while (!exited() && nowMs() < deadline) {
            const timespec pause{0, 2'000'000};
            nanosleep(&pause, nullptr);
        }
        if (pid_ > 0 && kill(pid_, SIGKILL) == 0) {
            int status = 0;
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            ending_ = "stopped";
        }
        pid_ = -1;
    }
    if (fromBridge_ >= 0)
        close(fromBridge_);
    fromBridge_ = -1;
    return ending_;
}

} // namespace winreg
