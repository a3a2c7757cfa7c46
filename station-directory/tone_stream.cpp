#include "tone_stream.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files.h"

extern char **environ;

namespace stationdir {

namespace {

std::shared_ptr<const std::string> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return nullptr;
    std::ostringstream data;
    data << in.rdbuf();
    auto bytes = std::make_shared<std::string>(data.str());
    if (bytes->empty())
        return nullptr;
    return bytes;
}

}  // namespace

ToneLibrary::ToneLibrary(std::string cacheDir, std::string ffmpeg)
    : cacheDir_(std::move(cacheDir)),
      ffmpeg_(std::move(ffmpeg))
{
}

std::shared_ptr<const std::string> ToneLibrary::mp3(int hz)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = loaded_.find(hz);
    if (it != loaded_.end())
        return it->second;
    // The version in the name changes whenever the recipe below does.
    const std::string path = cacheDir_ + "/tone-" + std::to_string(hz) + "-128k-v1.mp3";
    auto bytes = readFile(path);
    if (!bytes && make(hz, path, false))
        bytes = readFile(path);
    if (bytes)
        loaded_[hz] = bytes;
    return bytes;
}

std::shared_ptr<const AsfLoop> ToneLibrary::wma(int hz)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = loadedWma_.find(hz);
    if (it != loadedWma_.end())
        return it->second;
    const std::string path = cacheDir_ + "/tone-" + std::to_string(hz) + "-64k-v1.wma";
    auto bytes = readFile(path);
    if (!bytes && make(hz, path, true))
        bytes = readFile(path);
    auto loop = bytes ? parseAsfLoop(*bytes, kWmaSeconds) : nullptr;
    if (loop)
        loadedWma_[hz] = loop;
    return loop;
}

bool ToneLibrary::make(int hz, const std::string &path, bool wma)
{
    if (!makeDirs(cacheDir_))
        return false;
    // Two voices a fifth apart, swelling in turn every 4 s. Every
    // component completes whole periods in 8 s, so the file loops cleanly.
    const std::string f = std::to_string(hz);
    const std::string expr = "0.22*sin(2*PI*" + f + "*t)*(0.6+0.4*sin(PI*t/2))+0.14*sin(2*PI*" + f
        + "*1.5*t)*(0.6-0.4*sin(PI*t/2))|0.14*sin(2*PI*" + f + "*t)*(0.6+0.4*sin(PI*t/2))+0.22*sin(2*PI*" + f
        + "*1.5*t)*(0.6-0.4*sin(PI*t/2))";
    const std::string tmp = path + ".part" + std::to_string(getpid());
    // No ID3 tag and no Xing frame: the file is bare MPEG frames and can be
    // sent in a loop without a seam in the framing.
    std::vector<std::string> args = {
        ffmpeg_,        "-nostdin",
        "-hide_banner", "-loglevel",
        "error",        "-y",
        "-f",           "lavfi",
        "-i",           "aevalsrc=" + expr + ":s=44100:d=" + (wma ? std::to_string(kWmaSeconds) : "8")};
    const std::vector<std::string> codec = wma
        ? std::vector<std::string>{"-c:a", "wmav2", "-b:a", "64k", "-f", "asf", tmp}
        : std::vector<std::string>{"-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version",
                                   "0",    "-f",         "mp3",  tmp};
    args.insert(args.end(), codec.begin(), codec.end());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, ffmpeg_.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

std::size_t Pacer::allowance(std::size_t sent, Clock::time_point now) const
{
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now - start_).count();
    const auto due = burst_ + static_cast<std::size_t>(us < 0 ? 0 : us) * rate_ / 1000000u;
    return due > sent ? due - sent : 0;
}

Pacer::Clock::time_point Pacer::dueTime(std::size_t sent, std::size_t chunk) const
{
    const std::size_t target = sent + chunk;
    if (target <= burst_)
        return start_;
    const auto us = (target - burst_) * 1000000u / rate_;
    return start_ + std::chrono::microseconds(us);
}

}  // namespace stationdir
