// Measures the program's start-up: from starting a new process to the first
// frame of the main window painted and handed to the display. Each run starts
// this same binary as a child that runs the program exactly as its entry
// does and reports the moment of its first frame through a pipe.
#include "ChildRun.h"
#include "Program.h"
#include "ScratchFiles.h"
#include "Unit1.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int WarmUpRuns = 2;
constexpr int MeasuredRuns = 11;
constexpr double TargetMs = 300.0;

// In the child: once the main window has painted for the first time and the
// paint has been flushed, report the time and leave without closing.
class FirstFrameProbe : public QObject {
public:
    explicit FirstFrameProbe(int fd) : fd_(fd) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            QTimer::singleShot(0, [fd = fd_] {
                if (!ReportMoment(fd, MonotonicNs()))
                    std::perror("write");
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int fd_;
    bool reported_ = false;
};

int RunChild(int argc, char **argv, int fd)
{
    FirstFrameProbe *probe = nullptr;
    const int code = RunProgram(argc, argv, [&](TForm1 &form) {
        probe = new FirstFrameProbe(fd);
        probe->setParent(&form);
        form.installEventFilter(probe);
    });
    return code;
}

// Starts one child and returns the milliseconds from before the spawn to its
// first frame, or a negative value on failure.
double MeasureOnce(const std::string &self)
{
    const ChildRun run = RunSelfAsChild(self, {"--child"});
    return run.Ok ? (run.Reported - run.Spawned) / 1e6 : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv, std::atoi(argv[2]));

    // The program's state goes to a registry of its own, never the user's.
    const TempDir registry("vantor-startup-bench");
    setenv("VANTOR_REGISTRY", registry.path().c_str(), 1);

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    std::vector<double> times;
    for (int run = 0; run < WarmUpRuns + MeasuredRuns; ++run) {
        const double ms = MeasureOnce(self);
        if (ms < 0) {
            std::fprintf(stderr, "run %d failed: the child reported no frame\n", run + 1);
            return 1;
        }
        if (run >= WarmUpRuns)
            times.push_back(ms);
    }

    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::printf("start-up, process start to first frame of the main window (%d runs after %d warm-up):\n",
                MeasuredRuns, WarmUpRuns);
    std::printf("  runs (ms):");
    for (double ms : times)
        std::printf(" %.1f", ms);
    std::printf("\n  min %.1f ms, median %.1f ms, max %.1f ms; target <= %.0f ms: %s\n", sorted.front(), median,
                sorted.back(), TargetMs, median <= TargetMs ? "met" : "NOT met");
    return 0;
}
