// A stand-in recorder for the process launcher tests. Prints each argument
// on a line of its own ("arg:<text>"), its session ("sid:<n>") and the
// process id ("pid:<n>"), then waits for a signal (at most 60 s).
//
//   --ignore-term   SIGTERM is ignored (a recorder that hangs)
//   --exit          ends at once with status 0
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    bool ignoreTerm = false;
    bool exitNow = false;
    for (int i = 1; i < argc; ++i) {
        std::printf("arg:%s\n", argv[i]);
        if (std::strcmp(argv[i], "--ignore-term") == 0)
            ignoreTerm = true;
        if (std::strcmp(argv[i], "--exit") == 0)
            exitNow = true;
    }
    std::printf("sid:%d\npid:%d\n", static_cast<int>(getsid(0)), static_cast<int>(getpid()));
    std::fflush(stdout);
    if (exitNow)
        return 0;
    if (ignoreTerm)
        signal(SIGTERM, SIG_IGN);
    for (int i = 0; i < 600; ++i)
        usleep(100000);
    return 0;
}
