// A loopback MP3 stream for the demo and the benchmark.
//
//   stream_source <file.mp3> <bytes per second>
//
// Listens on 127.0.0.1 at a free port, prints the port on the first line of
// standard output, and answers every HTTP request with an audio/mpeg header
// followed by the file's bytes, looped forever and paced at the given rate.
// Runs until it is terminated.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

void serve(int fd, const std::string &data, long rate)
{
    // Read the request head (bounded), whatever it asks for.
    std::string request;
    char buf[1024];
    while (request.size() < 8192 && request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        request.append(buf, static_cast<size_t>(n));
    }
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br: 128\r\n\r\n";
    if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) < 0) {
        close(fd);
        return;
    }
    // Pace in slices of 1/8 s.
    const size_t slice = static_cast<size_t>(rate / 8 > 0 ? rate / 8 : 1);
    size_t at = 0;
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        std::string chunk;
        while (chunk.size() < slice) {
            size_t take = std::min(slice - chunk.size(), data.size() - at);
            chunk.append(data, at, take);
            at = (at + take) % data.size();
        }
        if (send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0)
            break;
        next += std::chrono::milliseconds(125);
        std::this_thread::sleep_until(next);
    }
    close(fd);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: stream_source <file.mp3> <bytes per second>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const long rate = std::strtol(argv[2], nullptr, 10);
    if (data.empty() || rate <= 0) {
        std::fprintf(stderr, "stream_source: empty file or bad rate\n");
        return 2;
    }
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(listener, 64) != 0) {
        std::perror("stream_source");
        return 1;
    }
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);
    std::printf("%d\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    for (;;) {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        std::thread(serve, fd, std::cref(data), rate).detach();
    }
}
