// Measures how long the process lives on once its main window has closed:
// from the window gone, its state stored, to the process ended and reaped.
// Two kinds of run, taken in turn so that both meet the same load: a plain
// start and close (the floor), and one where the About box was opened, its
// 3D text started, and the box closed through OK before the main window.
// Each run starts this same binary as a child that runs the program as its
// entry does; the child reports the moment of the close through a pipe.
#include "ChildRun.h"
#include "Program.h"
#include "ScratchFiles.h"
#include "Text3D.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int WarmUpRuns = 1;
constexpr int MeasuredRuns = 7;
constexpr double TargetMs = 200.0;
constexpr int SettleMs = 300;      // the main window shown and idle
constexpr int AnimationMs = 1500;  // the 3D text running before OK

// Closes the main window, which stores the typed fields and hides it, and
// reports the moment it is gone; the quit that follows is still queued.
void CloseReporting(TForm1 &form, int fd)
{
    form.close();
    if (!ReportMoment(fd, MonotonicNs()))
        std::perror("write");
}

// Opens the About box, starts its 3D text with a click, lets it run and
// presses OK; the fade-out closes the box and the modal show returns.
void UseAboutBox(TForm1 &form)
{
    QTimer::singleShot(SettleMs, AboutBox, [] { QTest::mouseClick(AboutBox->Text3D1, Qt::LeftButton); });
    QTimer::singleShot(SettleMs + AnimationMs, AboutBox, [] { QTest::mouseClick(AboutBox->Button1, Qt::LeftButton); });
    form.Button6Click();
}

int RunChild(int argc, char **argv, bool aboutBox, int fd)
{
    return RunProgram(argc, argv, [&](TForm1 &form) {
        QTimer::singleShot(SettleMs, &form, [&form, aboutBox, fd] {
            if (aboutBox)
                UseAboutBox(form);
            QTimer::singleShot(SettleMs, &form, [&form, fd] { CloseReporting(form, fd); });
        });
    });
}

// Starts one child and returns the milliseconds from its main window's close
// to its end, or a negative value on failure.
double MeasureOnce(const std::string &self, bool aboutBox)
{
    const ChildRun run = RunSelfAsChild(self, {"--child", aboutBox ? "about" : "plain"});
    return run.Ok ? (run.Ended - run.Reported) / 1e6 : -1;
}

struct Summary {
    double Min = 0;
    double Median = 0;
    double Max = 0;
};

Summary Summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2], times.back()};
}

void Print(const char *label, const std::vector<double> &times)
{
    const Summary s = Summarise(times);
    std::printf("  %-22s runs (ms):", label);
    for (double ms : times)
        std::printf(" %.1f", ms);
    std::printf("\n  %-22s min %.1f, median %.1f, max %.1f ms\n", "", s.Min, s.Median, s.Max);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv, std::strcmp(argv[2], "about") == 0, std::atoi(argv[3]));

    // The program's state goes to a registry of its own, never the user's.
    const TempDir registry("vantor-exit-bench");
    setenv("VANTOR_REGISTRY", registry.path().c_str(), 1);

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    std::vector<double> plain;
    std::vector<double> about;
    for (int run = 0; run < WarmUpRuns + MeasuredRuns; ++run) {
        const double plainMs = MeasureOnce(self, false);
        const double aboutMs = MeasureOnce(self, true);
        if (plainMs < 0 || aboutMs < 0) {
            std::fprintf(stderr, "run %d failed: a child did not report its close or did not end well\n", run + 1);
            return 1;
        }
        if (run >= WarmUpRuns) {
            plain.push_back(plainMs);
            about.push_back(aboutMs);
        }
    }

    std::printf("exit, main window closed to process ended (%d runs of each after %d warm-up):\n", MeasuredRuns,
                WarmUpRuns);
    Print("plain start and close", plain);
    Print("after the About box", about);
    const double median = Summarise(about).Median;
    std::printf("  after the About box, median %.1f ms over the floor; target <= %.0f ms: %s\n",
                median - Summarise(plain).Median, TargetMs, median <= TargetMs ? "met" : "NOT met");
    return 0;
}
