#include "ChildRun.h"

#include <ctime>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

ChildRun RunSelfAsChild(const std::string &self, std::vector<std::string> args)
{
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    args.insert(args.begin(), self);
    args.push_back(std::to_string(fds[1]));
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    run.Spawned = MonotonicNs();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return run;
    }
    const ssize_t got = read(fds[0], &run.Reported, sizeof run.Reported);
    close(fds[0]);
    int status = 0;
    const pid_t reaped = waitpid(child, &status, 0);
    run.Ended = MonotonicNs();
    run.Ok = got == sizeof run.Reported && reaped == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

bool ReportMoment(int fd, long long moment)
{
    const bool written = write(fd, &moment, sizeof moment) == sizeof moment;
    return close(fd) == 0 && written;
}
