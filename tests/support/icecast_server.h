#pragma once
// Real peers for the HTTP capture tests: an Icecast 2 server on a free
// loopback port with a configuration of its own in a temporary folder, fed
// by ffmpeg as a source client, plus the ffmpeg/ffprobe helpers that make
// and check MP3 files at test time and a plain HTTP copier to compare with.
//
// Every program is started without a shell (argument vector), its output
// goes to a log file in the work folder, and every wait is bounded.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A port on 127.0.0.1 that was free a moment ago.
uint16_t freeLoopbackPort();

// A started program; killed and reaped by the destructor.
class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts argv[0] (looked up in PATH) with stdout and stderr appended to logPath.
    bool start(const std::vector<std::string> &argv, const std::string &logPath);
    bool running();
    // Sends sig and waits up to timeoutMs for the exit; SIGKILL after that.
    void stop(int sig, int timeoutMs);
    // Waits up to timeoutMs for the program to end by itself; its exit code,
    // or -1 on time-out (the program is then killed).
    int wait(int timeoutMs);
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Runs a program to its end (bounded); its exit code, or -1.
int runProgram(const std::vector<std::string> &argv, const std::string &logPath, int timeoutMs);
// A constant-bit-rate MP3 (a sine tone) of the given length, made by ffmpeg.
bool makeToneMp3(const std::string &path, int seconds, int kbps);

struct MediaProbe
{
    bool ok = false;         // ffprobe read the file and its audio stream
    std::string errors;      // what the decoder complained about (one line each)
    std::string formatName;  // "mp3"
    std::string codecName;   // "mp3"
    double durationSeconds = 0;
};
// ffprobe's view of a file, decoding every packet (-count_frames).
MediaProbe probeMedia(const std::string &path, const std::string &logPath);
// A sine tone of the given length encoded with ffmpeg's codecArgs (codec,
// rate, muxer: for instance {"-c:a", "aac", "-f", "adts"}).
bool makeToneMedia(const std::string &path, int seconds, const std::vector<std::string> &codecArgs);
// What a full decode of the file with ffmpeg ("-v error ... -f null -")
// prints; empty for a file that decodes cleanly.
std::string decodeErrors(const std::string &path, const std::string &logPath);

// icecast2 on 127.0.0.1:port() with its logs in workDir.
class IcecastServer
{
public:
    static constexpr const char *kSourcePassword = "vexa-source";

    explicit IcecastServer(std::string workDir);
    ~IcecastServer();

    uint16_t port() const { return port_; }
    // Adds a TLS listener on tlsPort() with the certificate and key in the
    // PEM file; call before start().
    void enableTls(const std::string &pem);
    uint16_t tlsPort() const { return tlsPort_; }
    // "https://localhost:<tlsPort><mount>"
    std::string httpsUrl(const std::string &mount) const;
    // Starts the server (again, on the same port, after kill()) and waits
    // until it accepts connections.
    bool start(int timeoutMs = 8000);
    // Feeds mp3 in a loop at its own pace (ffmpeg -re) to mount, and waits
    // until the mount answers listeners with 200.
    bool startSource(const std::string &mp3, const std::string &mount, int timeoutMs = 8000);
    // As above for media of another format: ffmpeg copies it with the muxer
    // (its -f) and announces contentType.
    bool startSource(const std::string &media, const std::string &mount, const std::string &contentType,
                     const std::string &muxer, int timeoutMs = 8000);
    // Ends server and source at once (SIGKILL), as a crash would.
    void kill();
    // Ends both cleanly.
    void stop();
    // "http://127.0.0.1:<port><mount>"
    std::string url(const std::string &mount) const;
    bool mountLive(const std::string &mount) const;
    // How often icecast has logged a source in at this mount.
    size_t sourceLogins(const std::string &mount) const;

private:
    bool writeConfig();
    std::string workDir_;
    std::string logDir_;
    std::string configPath_;
    uint16_t port_ = 0;
    uint16_t tlsPort_ = 0;
    std::string tlsPem_;
    ChildProcess server_;
    ChildProcess source_;
};

// Copies an HTTP stream (GET path, no metadata) into memory on a thread of
// its own, as any plain listener would receive it.
class PlainHttpCopy
{
public:
    PlainHttpCopy() = default;
    ~PlainHttpCopy();
    bool start(uint16_t port, const std::string &path);
    void stop();
    // Bytes of the body received so far (answer headers removed).
    std::string body() const;
    size_t bodySize() const;
    bool waitForBody(size_t n, int timeoutMs) const;

private:
    void run();
    int fd_ = -1;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

// Waits (bounded) until the file at path holds at least n bytes; its size.
long waitForFileSize(const std::string &path, long n, int timeoutMs);
std::string readFile(const std::string &path);
// A fresh folder under the system temporary folder.
std::string makeTempDir(const std::string &stem);
void removeTree(const std::string &path);

}  // namespace testsupport
