#include "asf_media.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

// [ASF] 10.1, file byte order.
const unsigned char kFilePropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                               0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const unsigned char kDataObjectGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
static const unsigned char kStreamPropertiesGuid[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                                        0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

uint64_t readLe(const std::string &bytes, size_t offset, int width)
{
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(offset + i < bytes.size() ? bytes[offset + i] : 0);
    return v;
}

void putLe(std::string &bytes, size_t offset, uint64_t value, int width)
{
    for (int i = 0; i < width && offset + i < bytes.size(); ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string le(uint64_t value, int width)
{
    std::string s(static_cast<size_t>(width), '\0');
    putLe(s, 0, value, width);
    return s;
}

size_t findGuid(const std::string &bytes, const unsigned char guid[16])
{
    return bytes.find(std::string(reinterpret_cast<const char *>(guid), 16));
}

std::string fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string makeScratchDir(const char *tag)
{
    std::string pattern = std::string("/tmp/vexa-") + tag + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const char *made = mkdtemp(buf.data());
    return made ? std::string(made) : std::string();
}

void removeScratchDir(const std::string &dir)
{
    if (dir.rfind("/tmp/vexa-", 0) != 0)
        return;  // only what makeScratchDir made
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

namespace {

// Runs argv (no shell) with output discarded; true on exit status 0.
bool runQuiet(const std::vector<std::string> &args, std::string *stdoutText = nullptr)
{
    int pipefd[2];
    if (pipe(pipefd) != 0)
        return false;
    pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(pipefd[1], 1);
        int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            dup2(devnull, 2);
        close(pipefd[0]);
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipefd[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (stdoutText)
        *stdoutText = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool makeAsfMedia(const std::string &dir, int seconds, AsfMedia *out, std::string *error, unsigned packetSize)
{
    std::string path = dir + "/tone" + std::to_string(seconds)
        + (packetSize ? "-p" + std::to_string(packetSize) : std::string()) + ".asf";
    std::vector<std::string> sizeOption;
    if (packetSize)
        sizeOption = {"-packet_size", std::to_string(packetSize)};
    // The media is made once per directory and reused: test processes that
    // run side by side each write their own file and rename it into place.
    if (access(path.c_str(), R_OK) != 0) {
        const std::string part = path + ".part" + std::to_string(getpid()) + ".asf";
        std::vector<std::string> args = {
            "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error",
            "-y",     "-f",       "lavfi",        "-i",        "sine=f=440:d=" + std::to_string(seconds),
            "-c:a",   "wmav2",    "-b:a",         "64k"};
        args.insert(args.end(), sizeOption.begin(), sizeOption.end());
        args.push_back(part);
        if (!runQuiet(args) || rename(part.c_str(), path.c_str()) != 0) {
            unlink(part.c_str());
            *error = "ffmpeg could not make " + path;
            return false;
        }
    }
    std::string file = fileBytes(path);
    size_t props = findGuid(file, kFilePropertiesGuid);
    size_t data = findGuid(file, kDataObjectGuid);
    size_t stream = findGuid(file, kStreamPropertiesGuid);
    if (file.size() < 30 || props == std::string::npos || data == std::string::npos || stream == std::string::npos) {
        *error = "not an ASF file: " + path;
        return false;
    }
    AsfMedia m;
    m.seconds = seconds;
    m.headerObjectSize = static_cast<uint32_t>(readLe(file, 16, 8));
    m.packetSize = static_cast<uint32_t>(readLe(file, props + 92, 4));
    m.prerollMs = readLe(file, props + 80, 8);
    m.averageBytesPerSecond = static_cast<uint32_t>(readLe(file, stream + 86, 4));
    uint64_t count = readLe(file, data + 40, 8);
    if (data != m.headerObjectSize || m.packetSize == 0 || data + 50 + count * m.packetSize > file.size()) {
        *error = "unexpected ASF layout in " + path;
        return false;
    }
    m.header = file.substr(0, data + 50);
    for (uint64_t i = 0; i < count; ++i)
        m.packets.push_back(file.substr(data + 50 + i * m.packetSize, m.packetSize));
    *out = std::move(m);
    return true;
}

std::string broadcastHeader(const AsfMedia &media)
{
    std::string h = media.header;
    size_t props = findGuid(h, kFilePropertiesGuid);
    putLe(h, props + 40, 0, 8);  // file size
    putLe(h, props + 56, 0, 8);  // data packets count
    putLe(h, props + 64, 0, 8);  // play duration
    putLe(h, props + 72, 0, 8);  // send duration
    putLe(h, props + 88, 1, 4);  // flags: broadcast
    size_t data = findGuid(h, kDataObjectGuid);
    putLe(h, data + 16, 0, 8);  // Data Object size
    putLe(h, data + 40, 0, 8);  // total data packets
    return h;
}

namespace {

// [ASF] 5.2.1, 5.2.2: error correction flags 0x82 and two bytes, then
// length type flags, property flags, packet length, sequence, padding
// length, send time (4 bytes) and duration (2 bytes). Offsets of the
// padding length field and of the send time; false when unreadable.
bool parsingFields(const std::string &p, size_t *paddingAt, int *paddingWidth, size_t *sendTimeAt)
{
    if (p.size() < 5 || static_cast<unsigned char>(p[0]) != 0x82)
        return false;
    unsigned flags = static_cast<unsigned char>(p[3]);
    size_t at = 5;
    auto width = [](unsigned type) { return type == 3 ? 4 : static_cast<int>(type); };
    at += static_cast<size_t>(width((flags >> 5) & 3));  // packet length
    at += static_cast<size_t>(width((flags >> 1) & 3));  // sequence
    *paddingAt = at;
    *paddingWidth = width((flags >> 3) & 3);
    *sendTimeAt = at + static_cast<size_t>(*paddingWidth);
    return *sendTimeAt + 6 <= p.size();
}

}  // namespace

size_t paddingLength(const std::string &p)
{
    size_t at = 0, sendAt = 0;
    int w = 0;
    if (!parsingFields(p, &at, &w, &sendAt))
        return 0;
    size_t pad = static_cast<size_t>(readLe(p, at, w));
    return pad < p.size() ? pad : 0;
}

uint32_t packetSendTimeMs(const std::string &p)
{
    size_t at = 0, sendAt = 0;
    int w = 0;
    return parsingFields(p, &at, &w, &sendAt) ? static_cast<uint32_t>(readLe(p, sendAt, 4)) : 0;
}

uint32_t packetDurationMs(const std::string &p)
{
    size_t at = 0, sendAt = 0;
    int w = 0;
    return parsingFields(p, &at, &w, &sendAt) ? static_cast<uint32_t>(readLe(p, sendAt + 4, 2)) : 0;
}

std::string withoutPadding(const std::string &packet)
{
    return packet.substr(0, packet.size() - paddingLength(packet));
}

double probeDuration(const std::string &path, std::string *format)
{
    std::string text;
    if (!runQuiet({"ffprobe", "-v", "error", "-show_entries", "format=duration,format_name", "-of",
                   "default=noprint_wrappers=1", path},
                  &text))
        return -1;
    double duration = -1;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("duration=", 0) == 0)
            duration = std::atof(line.c_str() + 9);
        if (line.rfind("format_name=", 0) == 0 && format)
            *format = line.substr(12);
    }
    return duration;
}

}  // namespace testsupport
