// station-directory: the bundled local station directory.
//   station-directory [--port N] [--stations FILE] [--radio-browser [URL]] [--hitlog FILE] [--cache DIR]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "build_config.h"
#include "directory_server.h"

namespace {

void usage(FILE *to)
{
    std::fprintf(to,
                 "usage: station-directory [--port N] [--stations FILE] [--radio-browser [URL]] [--hitlog FILE] "
                 "[--cache DIR]\n"
                 "  --port N        port on 127.0.0.1 (default %d; 0 = any free port)\n"
                 "  --stations FILE station file (default: the bundled demo list): a TSV list,\n"
                 "                  a saved Radio Browser export (.json), or a playlist (.m3u, .pls)\n"
                 "  --radio-browser [URL]\n"
                 "                  the live Radio Browser station list from this server and its\n"
                 "                  mirrors (default %s), kept in the cache folder\n"
                 "  --include-broken  list stations whose last check failed too\n"
                 "  --hitlog FILE   listening reports (default: hitlog.tsv beside the station list)\n"
                 "  --cache DIR     demo MP3 streams, station ids, the saved Radio Browser list\n"
                 "                  (default: $XDG_CACHE_HOME or ~/.cache, /vexa-station-directory)\n",
                 VEXA_DIRECTORY_PORT, stationdir::RadioBrowserOptions{}.baseUrl.c_str());
}

std::string dirOf(const std::string &path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string defaultCacheDir()
{
    if (const char *xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/vexa-station-directory";
    if (const char *home = std::getenv("HOME"); home && *home == '/')
        return std::string(home) + "/.cache/vexa-station-directory";
    return "/tmp/vexa-station-directory-" + std::to_string(getuid());
}

}  // namespace

int main(int argc, char **argv)
{
    stationdir::DirectoryOptions options;
    options.port = VEXA_DIRECTORY_PORT;
    options.stationsPath = std::string(VEXA_STATION_DIRECTORY_DATA_DIR) + "/stations.tsv";
    bool hitLogGiven = false;
    options.cacheDir = defaultCacheDir();

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--port" && hasValue) {
            char *end = nullptr;
            const long port = std::strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || port < 0 || port > 65535) {
                std::fprintf(stderr, "station-directory: bad port %s\n", argv[i]);
                return 2;
            }
            options.port = static_cast<int>(port);
        } else if (arg == "--stations" && hasValue) {
            options.stationsPath = argv[++i];
        } else if (arg == "--radio-browser") {
            options.radioBrowser.emplace();
            if (hasValue && std::strncmp(argv[i + 1], "--", 2) != 0) {
                const std::string url = argv[++i];
                if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
                    std::fprintf(stderr, "station-directory: not an http or https address: %s\n", url.c_str());
                    return 2;
                }
                options.radioBrowser->baseUrl = url;
                while (options.radioBrowser->baseUrl.size() > 8 && options.radioBrowser->baseUrl.back() == '/')
                    options.radioBrowser->baseUrl.pop_back();
            }
        } else if (arg == "--include-broken") {
            options.includeBroken = true;
        } else if (arg == "--hitlog" && hasValue) {
            options.hitLogPath = argv[++i];
            hitLogGiven = true;
        } else if (arg == "--cache" && hasValue) {
            options.cacheDir = argv[++i];
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (!hitLogGiven)
        options.hitLogPath = dirOf(options.stationsPath) + "/hitlog.tsv";

    // SIGINT and SIGTERM are taken by sigwait below; block them before the
    // server's threads start so that they inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    stationdir::DirectoryServer server(options);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "station-directory: %s\n", error.c_str());
        return 1;
    }
    for (const auto &warning : server.listWarnings())
        std::fprintf(stderr, "station-directory: %s: %s\n", options.stationsPath.c_str(), warning.c_str());
    std::printf("station-directory: listening on http://%s:%d/ (%zu stations from %s, hit log %s)\n",
                options.host.c_str(), server.port(), server.stationCount(), server.sourceName().c_str(),
                options.hitLogPath.c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
