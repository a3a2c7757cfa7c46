#include "icecast_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char **environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// Polls cond every few milliseconds until it holds or timeoutMs passes.
template <typename Cond>
bool waitUntil(Cond cond, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cond())
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int connectLoopback(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendText(int fd, const std::string &text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads until the header block has arrived (bounded); what arrived.
std::string readHead(int fd, int timeoutMs)
{
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.find("\r\n\r\n") == std::string::npos && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buf[2048];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

std::string xmlConfig(uint16_t port, const std::string &logDir, const char *password, uint16_t tlsPort,
                      const std::string &tlsPem)
{
    std::ostringstream x;
    x << "<icecast>\n"
         "  <location>loopback</location>\n"
         "  <admin>test@localhost</admin>\n"
         "  <hostname>127.0.0.1</hostname>\n"
         // No burst on connect: a listener receives the stream from the
         // moment it connects, so recorded durations match wall time.
         "  <limits><clients>20</clients><sources>4</sources>"
         "<queue-size>524288</queue-size><client-timeout>30</client-timeout>"
         "<header-timeout>15</header-timeout><source-timeout>10</source-timeout>"
         "<burst-on-connect>0</burst-on-connect><burst-size>0</burst-size></limits>\n"
         "  <authentication><source-password>"
      << password << "</source-password><relay-password>" << password
      << "</relay-password><admin-user>admin</admin-user><admin-password>" << password
      << "</admin-password></authentication>\n"
         "  <listen-socket><port>"
      << port << "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n";
    if (tlsPort != 0)
        x << "  <listen-socket><port>" << tlsPort
          << "</port><bind-address>127.0.0.1</bind-address><ssl>1</ssl></listen-socket>\n";
    x << "  <fileserve>1</fileserve>\n"
         "  <paths><basedir>/usr/share/icecast2</basedir><logdir>"
      << logDir << "</logdir><webroot>/usr/share/icecast2/web</webroot>"
      << "<adminroot>/usr/share/icecast2/admin</adminroot><pidfile>" << logDir << "/icecast.pid</pidfile>";
    if (tlsPort != 0)
        x << "<ssl-certificate>" << tlsPem << "</ssl-certificate>";
    x << "</paths>\n"
         "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
         "<loglevel>3</loglevel></logging>\n"
         "  <security><chroot>0</chroot>";
    // Icecast refuses to run as root unless it can drop to another user.
    if (::geteuid() == 0)
        x << "<changeowner><user>nobody</user><group>nogroup</group></changeowner>";
    x << "</security>\n</icecast>\n";
    return x.str();
}

}  // namespace

uint16_t freeLoopbackPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    uint16_t port = 0;
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// ---- ChildProcess ----

ChildProcess::~ChildProcess()
{
    stop(SIGKILL, 2000);
}

bool ChildProcess::start(const std::vector<std::string> &argv, const std::string &logPath)
{
    if (pid_ > 0)
        return false;
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    pid_ = pid;
    return true;
}

bool ChildProcess::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::wait(int timeoutMs)
{
    if (pid_ <= 0)
        return -1;
    int status = 0;
    int code = -1;
    const bool ended = waitUntil(
        [&] {
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            }
            return r < 0;
        },
        timeoutMs);
    if (!ended) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return code;
}

void ChildProcess::stop(int sig, int timeoutMs)
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, sig);
    wait(timeoutMs);
}

int runProgram(const std::vector<std::string> &argv, const std::string &logPath, int timeoutMs)
{
    ChildProcess p;
    if (!p.start(argv, logPath))
        return -1;
    return p.wait(timeoutMs);
}

bool makeToneMp3(const std::string &path, int seconds, int kbps)
{
    const std::string log = path + ".log";
    return runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(seconds), "-ac", "2", "-c:a",
                       "libmp3lame", "-b:a", std::to_string(kbps) + "k",
                       // No bit reservoir: each frame decodes on its own, so a
                       // recording that starts mid-stream decodes from its first frame.
                       "-reservoir", "0",
                       // No ID3 tag or Xing frame: every byte is plain CBR audio frames.
                       "-id3v2_version", "0", "-write_xing", "0", path},
                      log, 30000)
        == 0;
}

bool makeToneMedia(const std::string &path, int seconds, const std::vector<std::string> &codecArgs)
{
    std::vector<std::string> argv{
        "ffmpeg", "-nostdin", "-v",
        "error",  "-y",       "-f",
        "lavfi",  "-i",       "sine=frequency=440:sample_rate=48000:duration=" + std::to_string(seconds),
        "-ac",    "2"};
    argv.insert(argv.end(), codecArgs.begin(), codecArgs.end());
    argv.push_back(path);
    return runProgram(argv, path + ".log", 30000) == 0;
}

std::string decodeErrors(const std::string &path, const std::string &logPath)
{
    std::remove(logPath.c_str());
    const int rc = runProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"}, logPath, 60000);
    const std::string printed = readFile(logPath);
    return rc == 0 ? printed : "ffmpeg ended with " + std::to_string(rc) + ": " + printed;
}

MediaProbe probeMedia(const std::string &path, const std::string &logPath)
{
    MediaProbe probe;
    const std::string out = logPath + ".out";
    std::remove(out.c_str());
    const int rc = runProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "a:0", "-show_entries",
                               "format=format_name,duration:stream=codec_name", "-of", "default=noprint_wrappers=1",
                               "-o", out, path},
                              logPath, 30000);
    std::ifstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "format_name")
            probe.formatName = value;
        if (key == "codec_name")
            probe.codecName = value;
        if (key == "duration")
            probe.durationSeconds = std::atof(value.c_str());
    }
    // ffprobe writes decoding errors to its log at level "error".
    probe.errors = readFile(logPath);
    probe.ok = rc == 0 && !probe.formatName.empty() && !probe.codecName.empty();
    return probe;
}

// ---- IcecastServer ----

IcecastServer::IcecastServer(std::string workDir) : workDir_(std::move(workDir))
{
    logDir_ = workDir_ + "/icecast-log";
    configPath_ = workDir_ + "/icecast.xml";
    port_ = freeLoopbackPort();
}

IcecastServer::~IcecastServer()
{
    stop();
}

void IcecastServer::enableTls(const std::string &pem)
{
    tlsPem_ = pem;
    tlsPort_ = freeLoopbackPort();
}

std::string IcecastServer::httpsUrl(const std::string &mount) const
{
    return "https://localhost:" + std::to_string(tlsPort_) + mount;
}

bool IcecastServer::writeConfig()
{
    std::filesystem::create_directories(logDir_);
    // The server drops to nobody after start-up and must still reach and
    // write its logs.
    ::chmod(workDir_.c_str(), 0755);
    ::chmod(logDir_.c_str(), 0777);
    std::ofstream out(configPath_, std::ios::trunc);
    out << xmlConfig(port_, logDir_, kSourcePassword, tlsPort_, tlsPem_);
    return static_cast<bool>(out);
}

bool IcecastServer::start(int timeoutMs)
{
    if (port_ == 0 || !writeConfig())
        return false;
    if (!server_.start({"icecast2", "-c", configPath_}, workDir_ + "/icecast.out"))
        return false;
    return waitUntil(
               [&] {
                   if (!server_.running())
                       return true;  // ended: checked below
                   for (uint16_t port : {port_, tlsPort_}) {
                       if (port == 0)
                           continue;
                       int fd = connectLoopback(port);
                       if (fd < 0)
                           return false;
                       ::close(fd);
                   }
                   return true;
               },
               timeoutMs)
        && server_.running();
}

bool IcecastServer::startSource(const std::string &mp3, const std::string &mount, int timeoutMs)
{
    return startSource(mp3, mount, "audio/mpeg", "mp3", timeoutMs);
}

bool IcecastServer::startSource(const std::string &media, const std::string &mount, const std::string &contentType,
                                const std::string &muxer, int timeoutMs)
{
    const std::string target =
        "icecast://source:" + std::string(kSourcePassword) + "@127.0.0.1:" + std::to_string(port_) + mount;
    // Icecast may refuse a source for a moment after it first accepts
    // connections; a source that ended early is started again. The mount is
    // asked for only once icecast has logged the source in: icecast2 2.4.4
    // sometimes crashes on a request for a mount that does not exist yet.
    const size_t loginsBefore = sourceLogins(mount);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        // A server that died (see above) is started again on its port.
        if (!server_.running() && !start())
            return false;
        if (!source_.running()
            && !source_.start({"ffmpeg", "-nostdin", "-v", "error", "-re", "-stream_loop", "-1", "-i", media, "-c",
                               "copy", "-content_type", contentType, "-f", muxer, target},
                              workDir_ + "/source.out"))
            return false;
        const int left =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (waitUntil([&] { return !source_.running() || (sourceLogins(mount) > loginsBefore && mountLive(mount)); },
                      left > 0 ? left : 0)
            && source_.running())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

size_t IcecastServer::sourceLogins(const std::string &mount) const
{
    const std::string log = readFile(logDir_ + "/error.log");
    const std::string line = "Source logging in at mountpoint \"" + mount + "\"";
    size_t count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + line.size()))
        ++count;
    return count;
}

bool IcecastServer::mountLive(const std::string &mount) const
{
    int fd = connectLoopback(port_);
    if (fd < 0)
        return false;
    bool live = false;
    if (sendText(fd, "GET " + mount + " HTTP/1.0\r\n\r\n")) {
        const std::string head = readHead(fd, 1000);
        live = head.compare(0, 12, "HTTP/1.0 200") == 0;
    }
    ::close(fd);
    return live;
}

void IcecastServer::kill()
{
    server_.stop(SIGKILL, 2000);
    source_.stop(SIGKILL, 2000);
}

void IcecastServer::stop()
{
    source_.stop(SIGTERM, 2000);
    server_.stop(SIGTERM, 3000);
}

std::string IcecastServer::url(const std::string &mount) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + mount;
}

// ---- PlainHttpCopy ----

PlainHttpCopy::~PlainHttpCopy()
{
    stop();
}

bool PlainHttpCopy::start(uint16_t port, const std::string &path)
{
    fd_ = connectLoopback(port);
    if (fd_ < 0)
        return false;
    if (!sendText(fd_, "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"))
        return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PlainHttpCopy::run()
{
    char buf[8192];
    while (!stopping_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(buf, static_cast<size_t>(n));
    }
}

void PlainHttpCopy::stop()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::string PlainHttpCopy::body() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t end = received_.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : received_.substr(end + 4);
}

size_t PlainHttpCopy::bodySize() const
{
    return body().size();
}

bool PlainHttpCopy::waitForBody(size_t n, int timeoutMs) const
{
    return waitUntil([&] { return bodySize() >= n; }, timeoutMs);
}

// ---- files ----

long waitForFileSize(const std::string &path, long n, int timeoutMs)
{
    long size = 0;
    waitUntil(
        [&] {
            struct stat st
            {};
            size = ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
            return size >= n;
        },
        timeoutMs);
    return size;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string makeTempDir(const std::string &stem)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const char *made = ::mkdtemp(buf.data());
    return made ? std::string(made) : std::string();
}

void removeTree(const std::string &path)
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove_all(path, ec);
}

}  // namespace testsupport
