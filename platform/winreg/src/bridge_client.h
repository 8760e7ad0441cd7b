// The engine's side of the bridge into a running Wine: finding the Wine loader
// that belongs to a running server, starting the bridge program with it, and
// exchanging one message with it under a time limit.
#pragma once

#include <string>
#include <sys/types.h>

namespace winreg {

// The Wine loader that belongs to the server working in serverFolder: wine64
// or wine beside the server's executable, else the first on PATH. Empty when
// there is none; `why` then says what was looked for.
std::string wineLoaderFor(const std::string &serverFolder, std::string &why);

// The built bridge program: $VANTOR_WINE_BRIDGE, or the one beside this
// executable, or the one the build made. Empty when there is none.
std::string bridgeProgram();

class BridgeProcess {
public:
    BridgeProcess() = default;
    ~BridgeProcess() { stop(); }
    BridgeProcess(const BridgeProcess &) = delete;
    BridgeProcess &operator=(const BridgeProcess &) = delete;

    // Starts `loader program` with WINEPREFIX=prefix; empty, or why it failed.
    std::string start(const std::string &loader, const std::string &program, const std::string &prefix);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    enum class Outcome { Answered, Died, TimedOut };
    struct Exchange {
        Outcome outcome = Outcome::Died;
        std::string body;  // the answer, without its length
        std::string error; // what went wrong, for the user
    };
    // Sends one framed message and waits for the answer at most timeoutMs.
    // On anything but an answer the process is ended.
    Exchange exchange(const std::string &message, int timeoutMs);

    // Closes its input, gives it a moment to end, then kills it; how it
    // ended, for the user.
    std::string stop();

private:
    bool waitFor(int fd, short events, long long deadline, Exchange &failed);
    bool exited();

    pid_t pid_ = -1;
    int toBridge_ = -1;
    int fromBridge_ = -1;
    std::string ending_;
};

} // namespace winreg
