// nginx serving a folder, and ffmpeg writing live HLS into it.
#include "hls_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace testsupport {

namespace {

bool accepts(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

FolderServer::FolderServer(std::string workDir) : workDir_(std::move(workDir))
{
    port_ = freeLoopbackPort();
}

FolderServer::~FolderServer()
{
    stop();
}

bool FolderServer::start(int timeoutMs)
{
    std::filesystem::create_directories(root());
    std::filesystem::create_directories(workDir_ + "/temp");
    const std::string config = workDir_ + "/nginx.conf";
    {
        std::ofstream out(config, std::ios::trunc);
        // One process, as the test's own user: it reads the test's folder.
        out << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
            << "pid " << workDir_ << "/nginx.pid;\n"
            << "error_log " << workDir_ << "/error.log warn;\n"
            << "events { worker_connections 64; }\n"
            << "http {\n"
            << "  access_log " << workDir_ << "/access.log;\n";
        for (const char *temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            out << "  " << temp << "_temp_path " << workDir_ << "/temp/" << temp << ";\n";
        out << "  types { application/vnd.apple.mpegurl m3u8; video/mp2t ts; audio/aac aac; audio/mpeg mp3;\n"
            << "          video/iso.segment m4s; video/mp4 mp4; application/octet-stream key; }\n"
            << "  server {\n"
            << "    listen 127.0.0.1:" << port_ << ";\n"
            << "    root " << root() << ";\n"
            << "    location / { add_header Cache-Control no-cache; }\n"
            << "  }\n}\n";
    }
    if (!server_.start({"nginx", "-p", workDir_, "-c", config, "-e", workDir_ + "/error.log"}, workDir_ + "/nginx.out"))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (accepts(port_))
            return true;
        if (!server_.running())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void FolderServer::stop()
{
    server_.stop(SIGTERM, 3000);
}

std::string FolderServer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
}

LiveHlsWriter::~LiveHlsWriter()
{
    stop();
}

bool LiveHlsWriter::start(const std::string &dir, const std::string &playlistName, HlsSegmentKind kind,
                          int segmentSeconds)
{
    std::filesystem::create_directories(dir);
    playlist_ = dir + "/" + playlistName;
    std::vector<std::string> argv = {"ffmpeg",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-re",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=440:sample_rate=44100",
                                     "-c:a",
                                     "aac",
                                     "-b:a",
                                     "128k",
                                     "-f",
                                     "hls",
                                     "-hls_time",
                                     std::to_string(segmentSeconds),
                                     "-hls_list_size",
                                     "5"};
    if (kind == HlsSegmentKind::FragmentedMp4) {
        for (const char *a : {"-hls_segment_type", "fmp4", "-hls_fmp4_init_filename", "init.mp4"})
            argv.push_back(a);
    }
    argv.push_back(playlist_);
    return ffmpeg_.start(argv, playlist_ + ".log");
}

bool LiveHlsWriter::waitForSegments(size_t n, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (playlistEntries(playlist_).size() >= n)
            return true;
        if (!ffmpeg_.running())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void LiveHlsWriter::stop()
{
    ffmpeg_.stop(SIGTERM, 3000);
}

std::vector<std::string> playlistEntries(const std::string &playlistPath)
{
    std::vector<std::string> entries;
    std::ifstream in(playlistPath);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            entries.push_back(line);
    }
    return entries;
}

bool isConcatenationOf(const std::string &file, const std::vector<std::string> &parts, const std::string &prefix,
                       size_t *taken)
{
    if (file.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t first = 0; first < parts.size(); ++first) {
        size_t at = prefix.size();
        size_t k = first;
        while (k < parts.size() && at < file.size() && !parts[k].empty()
               && file.compare(at, parts[k].size(), parts[k]) == 0) {
            at += parts[k].size();
            ++k;
        }
        if (at == file.size() && k > first) {
            if (taken)
                *taken = k - first;
            return true;
        }
    }
    return false;
}

}  // namespace testsupport
