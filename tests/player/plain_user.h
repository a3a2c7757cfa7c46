#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// Runs `check` as a user for whom file modes hold: in a child process with
// the ids of nobody when the test runs as root (who may write anywhere).
inline bool asPlainUser(const std::function<bool()> &check)
{
    if (geteuid() != 0)
        return check();
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(2);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
