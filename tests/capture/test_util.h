#pragma once
// Helpers shared by the capture tests: a capture state of the test's own,
// short receive time-outs, a free port that nobody listens on, and captured
// standard output.

#include <arpa/inet.h>
#include <dirent.h>
#include <limits.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "capture_state.h"

namespace testutil {

// The capture state of one test, created fresh for it as netgrab() creates
// one per capture; a fixture derives from this and passes ctx on.
struct OwnCapture
{
    std::unique_ptr<netgrab::CaptureState> owned = std::make_unique<netgrab::CaptureState>();
    netgrab::CaptureState &ctx = *owned;
};

// Receive time-out of 100 polls of 5 ms instead of 152 of 40 ms; short
// pauses. Half a second: a loopback peer on a busy machine may take longer
// than a tenth of a second to answer, and only a peer that goes quiet on
// purpose waits out the time-out.
inline void useFastTuning()
{
    netgrab::CaptureTuning &t = netgrab::settings().tuning;
    t.receivePollMs = 5;
    t.receivePollCount = 100;
    t.retryPauseMinMs = 20;
    t.retryPauseMaxMs = 80;
}

// A loopback port with no listener (bound once, then released).
inline uint16_t closedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// Open socket descriptors of this process.
inline int openSockets()
{
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return -1;
    while (dirent *e = readdir(d)) {
        char link[PATH_MAX];
        std::string fd = std::string("/proc/self/fd/") + e->d_name;
        ssize_t len = readlink(fd.c_str(), link, sizeof link - 1);
        if (len > 0 && std::strncmp(link, "socket:", 7) == 0)
            ++n;
    }
    closedir(d);
    return n;
}

// Bytes that look like MPEG audio: a frame header, then no 0xFF at all.
inline std::string mpegBytes(size_t n)
{
    std::string b(n, '\0');
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7) % 251);
    if (n >= 4)
        b.replace(0, 4, "\xFF\xFB\x90\x64");
    return b;
}

// The head of an MPEG audio answer.
inline const std::string kMpegHead = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";

// Runs program with args (no shell); its exit status and standard output.
inline int runCaptured(const char *program, const std::vector<std::string> &args, std::string *out)
{
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipefd[1], 1);
        close(pipefd[0]);
        std::vector<char *> argv{const_cast<char *>(program)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
        out->append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline size_t countOf(const std::string &text, const std::string &needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++n;
    return n;
}

// text compressed by zlib; windowBits as deflateInit2 takes them: 31 gzip,
// 15 zlib, -15 bare deflate data.
inline std::string compressed(const std::string &text, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef *>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

}  // namespace testutil
