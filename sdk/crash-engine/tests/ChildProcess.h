// Runs a piece of a test in a forked child and reports how the child ended, so that tests can
// crash on purpose or change process-wide state (signal handlers, the enable-once flag).
#pragma once

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// The child runs body, then exits with status 0 unless body exits or dies first. Answers the
// wait status.
inline int runInChild(const std::function<void()>& body)
{
    const pid_t child = fork();
    if (child == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return status;
}

inline bool diedOfSignal(int status, int signo)
{
    return WIFSIGNALED(status) && WTERMSIG(status) == signo;
}

inline bool exitedWith(int status, int code)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}
