#pragma once
// Real peers for the HLS tests: nginx (Debian's nginx-light) serving a
// folder on a free loopback port with a configuration of its own, and
// ffmpeg writing a live HLS presentation of a test tone into that folder.
// Programs start without a shell and every wait is bounded.

#include <cstdint>
#include <string>
#include <vector>

#include "icecast_server.h"

namespace testsupport {

class FolderServer
{
public:
    // Serves workDir/www; configuration and logs stay in workDir.
    explicit FolderServer(std::string workDir);
    ~FolderServer();
    bool start(int timeoutMs = 8000);
    void stop();
    uint16_t port() const { return port_; }
    std::string root() const { return workDir_ + "/www"; }
    // "http://127.0.0.1:<port>/<path>"
    std::string url(const std::string &path) const;

private:
    std::string workDir_;
    uint16_t port_ = 0;
    ChildProcess server_;
};

enum class HlsSegmentKind { TransportStream, FragmentedMp4 };

// ffmpeg -re: a 440 Hz tone as AAC at 128 kbit/s, cut into segments of
// segmentSeconds, a live window of five, old segment files kept.
class LiveHlsWriter
{
public:
    ~LiveHlsWriter();
    bool start(const std::string &dir, const std::string &playlistName, HlsSegmentKind kind, int segmentSeconds);
    // Waits until the playlist lists at least n segments.
    bool waitForSegments(size_t n, int timeoutMs);
    void stop();

private:
    std::string playlist_;
    ChildProcess ffmpeg_;
};

// The segment addresses a playlist file lists (its URI lines), in order.
std::vector<std::string> playlistEntries(const std::string &playlistPath);

// Whether `file` is the concatenation of whole files of `parts`, taken in
// their order from some part on (prefix, when not empty, first).
bool isConcatenationOf(const std::string &file, const std::vector<std::string> &parts, const std::string &prefix,
                       size_t *taken = nullptr);

}  // namespace testsupport
