// How soon the recorder's first bytes reach the disk after the stream's
// first answer.
//
//   first_bytes <grablive> <file.mp3> [runs]
//
// For each run: listens on a free loopback port, starts the recorder on it,
// answers its request with an audio/mpeg head and a first burst of the file
// (as streaming servers send on connect), notes the time, then watches the
// output file until it holds bytes. Prints each delay and the median and
// maximum in milliseconds. The recorder is ended with SIGTERM after each run.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

int listenLoopback(uint16_t *port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(fd, 4) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return -1;
    *port = ntohs(a.sin_port);
    return fd;
}

// One run: the delay from the first answer to bytes on disk, or -1.
double measure(const char *recorder, const std::string &data, const std::string &dir, int run)
{
    uint16_t port = 0;
    const int server = listenLoopback(&port);
    if (server < 0)
        return -1;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/live";
    const std::string out = dir + "/rec" + std::to_string(run);
    std::vector<std::string> args = {recorder, url, out, "60000"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, recorder, &actions, nullptr, argv.data(), environ) != 0)
        return -1;
    posix_spawn_file_actions_destroy(&actions);

    double delay = -1;
    const int c = accept(server, nullptr, nullptr);
    if (c >= 0) {
        std::string request;
        char buf[2048];
        while (request.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, static_cast<size_t>(n));
        }
        const std::string answer = "ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br:128\r\n\r\n"
            + data.substr(0, std::min<size_t>(data.size(), 48000));
        const auto sent = Clock::now();
        if (send(c, answer.data(), answer.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(answer.size())) {
            const std::string file = out + ".mp3";
            for (;;) {
                struct stat st
                {};
                if (stat(file.c_str(), &st) == 0 && st.st_size > 0) {
                    delay = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                    break;
                }
                if (Clock::now() - sent > std::chrono::seconds(10))
                    break;
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        close(c);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(server);
    return delay;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: first_bytes <grablive> <file.mp3> [runs]\n");
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int runs = argc > 3 ? std::atoi(argv[3]) : 20;
    char dir[] = "/tmp/vexa-first-bytes-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    std::vector<double> delays;
    for (int i = 0; i < runs; ++i) {
        const double d = measure(argv[1], data, dir, i);
        std::printf("run %2d: %s\n", i + 1, d < 0 ? "no bytes" : (std::to_string(d) + " ms").c_str());
        if (d >= 0)
            delays.push_back(d);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (delays.empty())
        return 1;
    std::sort(delays.begin(), delays.end());
    std::printf("first bytes on disk after the first answer: median %.2f ms, max %.2f ms (%zu runs)\n",
                delays[delays.size() / 2], delays.back(), delays.size());
    return 0;
}
