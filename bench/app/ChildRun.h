// What the program benchmarks share: each run starts this same binary as a
// child that runs the program and reports one moment through a pipe.
#pragma once

#include <string>
#include <vector>

// CLOCK_MONOTONIC in nanoseconds, the clock of every reported moment.
long long MonotonicNs();

struct ChildRun {
    bool Ok = false;        // the moment arrived and the child ended with 0
    long long Spawned = 0;  // just before the child was started
    long long Reported = 0; // the moment the child wrote
    long long Ended = 0;    // when the child had ended and was reaped
};

// Starts `self` with `args` and the pipe's write end as a last argument, and
// waits for its moment and its end.
ChildRun RunSelfAsChild(const std::string &self, std::vector<std::string> args);

// Writes a moment to the pipe that RunSelfAsChild gave, and closes it.
bool ReportMoment(int fd, long long moment);
