// Runs a command and writes its CPU time and peak RSS, at microsecond
// resolution (the time(1) tool rounds to 10 ms):
//   run_measured <result file> <program> [arguments...]
// The result file gets one line: "<user s> <system s> <peak RSS KB>".
// The command's exit status is passed on.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: run_measured <result file> <program> [arguments...]\n");
        return 2;
    }
    pid_t pid;
    if (posix_spawnp(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::perror("run_measured");
        return 127;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 127;
    if (FILE *out = std::fopen(argv[1], "w")) {
        std::fprintf(out, "%ld.%06ld %ld.%06ld %ld\n", static_cast<long>(usage.ru_utime.tv_sec),
                     static_cast<long>(usage.ru_utime.tv_usec), static_cast<long>(usage.ru_stime.tv_sec),
                     static_cast<long>(usage.ru_stime.tv_usec), usage.ru_maxrss);
        std::fclose(out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
