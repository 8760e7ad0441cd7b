// Prints the figures of the engine on a live Wine prefix, against their
// targets and beside Wine's own `reg query` on the same warm server:
//  - the first call, bridge start included;
//  - one read round trip through the bridge (median);
//  - one committed write through the bridge (median);
//  - one `wine reg query` of the same value (median).
// It makes a throw-away prefix, keeps a server running for it, and removes
// both at the end.
#include "ScratchFiles.h"
#include "vantor_registry.h"
#include "winreg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool run(const std::string &command) { return std::system(command.c_str()) == 0; }

std::string quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Ends the prefix's server, which holds files in the folder, before the
// folder goes.
struct ServerStopper {
    ~ServerStopper() { run("wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1"); }
};

int fail(const char *what) {
    std::fprintf(stderr, "bench_live_wine: %s\n", what);
    return 1;
}

} // namespace

int main() {
    const TempDir top("vantor-bench-wine");
    const std::string prefix = top.file("prefix");
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe=d", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const ServerStopper stopper;
    // Wine's loader itself, not a wrapper script, so that the peer's figure is
    // Wine's own.
    const char *chosen = std::getenv("WINE64");
    const std::string wine = chosen && *chosen                           ? chosen
                             : access("/usr/lib/wine/wine64", X_OK) == 0 ? "/usr/lib/wine/wine64"
                                                                         : "wine";
    const std::string reg = quoted(wine) + " reg query 'HKCU\\Software\\VantorBench' /v value >/dev/null 2>&1";
    // wineboot leaves a server that ends a little later; a persistent one
    // follows it.
    if (!run("wineboot -i >/dev/null 2>&1") || !run("wineserver -w") || !run("wineserver -p >/dev/null 2>&1") ||
        !run("wine reg add 'HKCU\\Software\\VantorBench' /v value /d 'some text' /f >/dev/null 2>&1") || !run(reg)) {
        return fail("cannot set up a Wine prefix with a running server");
    }

    std::vector<double> first;
    for (int i = 0; i < 5; ++i) {
        VtrRegReset(prefix.c_str());
        HKEY key = nullptr;
        const auto start = Clock::now();
        const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VantorBench", 0, KEY_ALL_ACCESS, &key);
        first.push_back(msSince(start));
        if (status != ERROR_SUCCESS) {
            return fail("the first call on the live prefix failed");
        }
        RegCloseKey(key);
    }

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VantorBench", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return fail("cannot open the key");
    }
    std::vector<double> reads;
    std::vector<double> writes;
    for (int i = 0; i < 2000; ++i) {
        char data[64];
        DWORD size = sizeof data;
        auto start = Clock::now();
        const LSTATUS read = RegQueryValueExA(key, "value", nullptr, nullptr, reinterpret_cast<BYTE *>(data), &size);
        reads.push_back(msSince(start));
        const std::string text = "written " + std::to_string(i);
        start = Clock::now();
        const LSTATUS written = RegSetValueExA(key, "written", 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                                               static_cast<DWORD>(text.size() + 1));
        writes.push_back(msSince(start));
        if (read != ERROR_SUCCESS || written != ERROR_SUCCESS) {
            return fail("a call through the bridge failed");
        }
    }
    RegCloseKey(key);
    VtrRegReset(nullptr);

    std::vector<double> peer;
    for (int i = 0; i < 10; ++i) {
        const auto start = Clock::now();
        if (!run(reg)) {
            return fail("wine reg query failed");
        }
        peer.push_back(msSince(start));
    }

    const double read = median(reads);
    std::printf("first call on a live prefix, bridge start included: %8.1f ms   (target <= 300 ms)\n", median(first));
    std::printf("read round trip through the bridge, median:         %8.3f ms   (target <= 0.3 ms)\n", read);
    std::printf("committed write through the bridge, median:         %8.3f ms   (target <= 1 ms)\n", median(writes));
    std::printf("the same read by `wine reg query`, warm server:     %8.1f ms   (ours %.0fx faster; target >= 50x)\n",
                median(peer), median(peer) / read);
    return 0;
}
