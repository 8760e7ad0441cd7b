// Prints the registry engine's figures against their targets:
//  - load of a hive (file read and parse) in MB/s, and the peak memory it takes;
//  - one committed write as the program's commands make it (create/open the
//    key, set a REG_SZ value, close the handle, which saves the file);
//  - one read command on an unchanged file.
#include "ScratchFiles.h"
#include "bulk_memory.h"
#include "format.h"
#include "vantor_registry.h"
#ifdef WINREG_BENCH_TREGISTRY
#include "Registry.h"
#endif
#include "winreg.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long statusKilobytes(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, n, field) == 0)
            return std::atol(line.c_str() + n + 1);
    }
    return 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A hive of about targetBytes made of copies of a real one, each below its
// own top-level key, so that key and value shapes stay realistic.
std::string generateHive(const std::string &model, size_t targetBytes) {
    const size_t firstKey = model.find("\n[");
    const std::string header = model.substr(0, firstKey);
    const std::string body = model.substr(firstKey);
    std::string out = header;
    out.reserve(targetBytes + model.size());
    for (int copy = 0; out.size() < targetBytes; ++copy) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "\n[Copy%03d\\\\", copy);
        size_t start = 0;
        for (size_t at = body.find("\n[", 0); at != std::string::npos; at = body.find("\n[", start)) {
            out.append(body, start, at - start);
            out += prefix;
            start = at + 2;
        }
        out.append(body, start, std::string::npos);
        if (out.back() == '\n' && copy >= 0)
            out.pop_back();
        out.push_back('\n');
    }
    return out;
}

struct LoadFigures {
    double seconds = 0;
    double parseSeconds = 0;
    double readSeconds = 0;
    long peakKilobytes = 0;
};

// The floor of any load: the file's bytes read into memory the process has
// not touched before, in a block such as the engine reads a hive into.
double plainRead(const std::string &path) {
    const auto start = Clock::now();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (fd < 0 || fstat(fd, &st) != 0)
        std::exit(1);
    const std::shared_ptr<char> buffer = winreg::allocateBulk(static_cast<size_t>(st.st_size));
    for (off_t got = 0; got < st.st_size;) {
        const ssize_t n = read(fd, buffer.get() + got, static_cast<size_t>(st.st_size - got));
        if (n <= 0)
            std::exit(1);
        got += n;
    }
    close(fd);
    return secondsSince(start);
}

// Each figure of a load is measured in a fresh process of its own, started
// as the registry tool starts, so that the memory high-water mark and the
// cost of memory never touched before belong to that one load.
enum class LoadPart { Load, PlainRead, Parse };

LoadFigures measureInThisProcess(LoadPart part, const std::string &dir) {
    LoadFigures figures;
    if (part == LoadPart::Load) {
        const long before = statusKilobytes("VmRSS:");
        const auto start = Clock::now();
        VtrRegReset(dir.c_str());
        HKEY key = nullptr;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key);
        figures.seconds = secondsSince(start);
        figures.peakKilobytes = statusKilobytes("VmHWM:") - before;
        RegCloseKey(key);
    } else if (part == LoadPart::PlainRead) {
        figures.readSeconds = plainRead(dir + "/system.reg");
    } else {
        const std::string text = readFile(dir + "/system.reg");
        winreg::Key root;
        const auto parseStart = Clock::now();
        winreg::loadHiveText(text, root);
        figures.parseSeconds = secondsSince(parseStart);
    }
    return figures;
}

LoadFigures measureInChild(LoadPart part, const std::string &dir) {
    int channel[2];
    if (pipe(channel) != 0)
        std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        const std::string partText = std::to_string(static_cast<int>(part));
        const std::string fdText = std::to_string(channel[1]);
        execl("/proc/self/exe", "bench_winreg", "--measure", partText.c_str(), dir.c_str(), fdText.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(channel[1]);
    LoadFigures figures;
    if (read(channel[0], &figures, sizeof figures) != sizeof figures)
        std::exit(1);
    waitpid(pid, nullptr, 0);
    close(channel[0]);
    return figures;
}

constexpr const char *kBenchKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";

#ifdef WINREG_BENCH_TREGISTRY
double committedWrite(int i) {
    const auto start = Clock::now();
    {
        TRegistry registry;
        registry.SelectRoot(HKEY_LOCAL_MACHINE);
        registry.EnterKey(kBenchKey, true);
        registry.WriteText("RegisteredOwner", "Bench owner " + std::to_string(i));
    } // released: the change reaches the file here
    return secondsSince(start);
}

double readCommand() {
    const auto start = Clock::now();
    {
        TRegistry registry;
        registry.SelectRoot(HKEY_LOCAL_MACHINE);
        registry.EnterKey(kBenchKey, true);
        const std::string text = registry.ReadText("RegisteredOwner");
    }
    return secondsSince(start);
}
#else
// The calls TRegistry makes for the same commands.
double committedWrite(int i) {
    const auto start = Clock::now();
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBenchKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    const std::string text = "Bench owner " + std::to_string(i);
    RegSetValueExA(key, "RegisteredOwner", 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key); // the change reaches the file here
    return secondsSince(start);
}

double readCommand() {
    const auto start = Clock::now();
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBenchKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    DWORD type = 0, size = 0;
    RegQueryValueExA(key, "RegisteredOwner", nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    RegQueryValueExA(key, "RegisteredOwner", nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &size);
    RegCloseKey(key);
    return secondsSince(start);
}
#endif

// The physical floor of a committed write: the same number of bytes written
// to a new file, made durable and renamed over the old one, as any save that
// survives a crash must do.
double durableRewrite(const std::string &dir, const std::string &text) {
    const std::string temp = dir + "/floor.tmp";
    const std::string target = dir + "/floor.reg";
    const auto start = Clock::now();
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || dirFd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        fsync(fd) != 0 || close(fd) != 0 || rename(temp.c_str(), target.c_str()) != 0 || fsync(dirFd) != 0 ||
        close(dirFd) != 0) {
        std::perror("durable rewrite");
        std::exit(1);
    }
    return secondsSince(start);
}

void benchHive(const char *label, const std::string &dir) {
    const double megabytes = static_cast<double>(readFile(dir + "/system.reg").size()) / 1e6;
    std::vector<double> loads, parses, plainReads;
    long peak = 0;
    // Loads are short and this machine's speed swings: many runs, for a steady median.
    for (int i = 0; i < 21; ++i) {
        const LoadFigures f = measureInChild(LoadPart::Load, dir);
        loads.push_back(f.seconds);
        peak = std::max(peak, f.peakKilobytes);
        plainReads.push_back(measureInChild(LoadPart::PlainRead, dir).readSeconds);
        parses.push_back(measureInChild(LoadPart::Parse, dir).parseSeconds);
    }
    VtrRegReset(dir.c_str());
    committedWrite(-1); // loads the hive
    // Interleaved, so that both see the same disk and the same load.
    const std::string hiveText = readFile(dir + "/system.reg");
    std::vector<double> writes, floors;
    for (int i = 0; i < 21; ++i) {
        writes.push_back(committedWrite(i));
        floors.push_back(durableRewrite(dir, hiveText));
    }
    // A hive with a second hard link is rewritten in place.
    const std::string secondLink = dir + "/system.reg second link";
    if (link((dir + "/system.reg").c_str(), secondLink.c_str()) != 0) {
        std::perror("second link");
        std::exit(1);
    }
    std::vector<double> linkedWrites, linkedFloors;
    for (int i = 0; i < 21; ++i) {
        linkedWrites.push_back(committedWrite(i));
        linkedFloors.push_back(durableRewrite(dir, hiveText));
    }
    unlink(secondLink.c_str());
    std::vector<double> reads;
    for (int i = 0; i < 20001; ++i)
        reads.push_back(readCommand());
    VtrRegReset(nullptr);

    const double peakMb = static_cast<double>(peak) * 1024 / 1e6;
    std::printf("%s: system.reg of %.1f MB\n", label, megabytes);
    std::printf("  load (read + parse)     %8.1f MB/s   (%.1f ms)   target >= 1000 MB/s\n",
                megabytes / median(loads), median(loads) * 1e3);
    std::printf("  plain read (floor)      %8.1f MB/s   (%.1f ms)\n", megabytes / median(plainReads),
                median(plainReads) * 1e3);
    std::printf("  parse, every key made   %8.1f MB/s   (%.1f ms)\n", megabytes / median(parses),
                median(parses) * 1e3);
    std::printf("  peak memory of the load %8.1f MB     (%.2f x file)   target <= 3 x\n", peakMb, peakMb / megabytes);
    std::printf("  committed write, median %8.2f ms                     target <= %s\n", median(writes) * 1e3,
                megabytes > 10 ? "300 ms" : "10 ms");
    std::printf("  durable rewrite floor   %8.2f ms   (write + fsync + rename + folder fsync)\n",
                median(floors) * 1e3);
    std::printf("  committed write / floor %8.2f x                      target <= 1.5 x\n",
                median(writes) / median(floors));
    std::printf("  hard-linked write       %8.2f ms   (%.2f x its floor of %.2f ms)\n", median(linkedWrites) * 1e3,
                median(linkedWrites) / median(linkedFloors), median(linkedFloors) * 1e3);
    std::printf("  read, unchanged file    %8.2f us (median)            target <= 50 us\n", median(reads) * 1e6);
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "--measure") == 0) {
        const LoadFigures figures = measureInThisProcess(static_cast<LoadPart>(std::atoi(argv[2])), argv[3]);
        return write(std::atoi(argv[4]), &figures, sizeof figures) == sizeof figures ? 0 : 1;
    }
#ifdef WINREG_BENCH_TREGISTRY
    std::printf("Commands timed through TRegistry.\n");
#else
    std::printf("Commands timed through the API calls that TRegistry makes.\n");
#endif
    const TempDir base("vantor-bench");
    const std::string prefix = base.file("prefix");
    const std::string large = base.file("large");
    mkdir(prefix.c_str(), 0755);
    mkdir(large.c_str(), 0755);
    const std::string model = readFile(std::string(WINREG_TESTDATA) + "/system.reg");
    if (model.empty()) {
        std::fprintf(stderr, "no test data in %s\n", WINREG_TESTDATA);
        return 1;
    }
    for (const char *name : {"user.reg", "userdef.reg"}) {
        const std::string text = readFile(std::string(WINREG_TESTDATA) + "/" + name);
        writeFile(prefix + "/" + name, text);
        writeFile(large + "/" + name, text);
    }
    writeFile(prefix + "/system.reg", model);
    writeFile(large + "/system.reg", generateHive(model, 50'000'000));

    benchHive("Wine prefix", prefix);
    benchHive("Generated hive", large);
    return 0;
}
