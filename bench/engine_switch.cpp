// engine_switch [switches]: the player's engine (libVLC, silent output)
// against the bundled station directory on a free loopback port. Each
// round switches stations as the player does (stop, new address) and
// measures how long those calls hold the interface thread, and how long
// after the address is set the first audio is decoded (Playing with a
// growing decoded-audio count). Prints the median and the maximum.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "directory_server.h"
#include "platform/vlc_media_player.h"

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double maximum(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir work;
    stationdir::DirectoryOptions options;
    options.stationsPath = VEXA_STATION_DIRECTORY_DATA_DIR "/stations.tsv";
    options.hitLogPath = work.filePath(QStringLiteral("hitlog.tsv")).toStdString();
    options.cacheDir = work.filePath(QStringLiteral("cache")).toStdString();
    stationdir::DirectoryServer directory(options);
    std::string error;
    if (!directory.start(&error)) {
        std::fprintf(stderr, "directory: %s\n", error.c_str());
        return 1;
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1/stream/").arg(directory.port());
    // MP3 stations (the first audio target is for a loopback MP3 stream)
    // and the Windows Media ones.
    const QStringList mp3 = {base + QStringLiteral("1.mp3"), base + QStringLiteral("2.mp3")};
    const QStringList wm = {base + QStringLiteral("7.asx"), base + QStringLiteral("8.asf")};

    VlcMediaPlayer player({QStringLiteral("--aout=dummy")});
    auto run = [&](const QStringList &urls, const char *label) {
        std::vector<double> blocked, firstAudio;
        int failed = 0;
        // One round first makes the demo media (ffmpeg) and is not counted.
        for (int i = -1; i < rounds; ++i) {
            QElapsedTimer t;
            t.start();
            player.stop();
            player.setUrl(urls.at((i + 2) % urls.size()));
            const double held = t.nsecsElapsed() / 1e6;
            bool playing = false;
            while (t.elapsed() < 15000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
                if (player.playState() == MediaPlayer::Playing && player.decodedAudioBlocks() > 0) {
                    playing = true;
                    break;
                }
                QThread::usleep(500);
            }
            const double audio = t.nsecsElapsed() / 1e6;
            if (i < 0)
                continue;
            blocked.push_back(held);
            if (playing)
                firstAudio.push_back(audio);
            else
                ++failed;
            // Let it play a moment, as a listener would before switching.
            QElapsedTimer listen;
            listen.start();
            while (listen.elapsed() < 300)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        std::printf("%-14s switch (stop + address) blocks: median %.2f ms, max %.2f ms; "
                    "first audio: median %.0f ms, max %.0f ms; %d of %d did not play\n",
                    label, median(blocked), maximum(blocked), median(firstAudio), maximum(firstAudio), failed, rounds);
    };
    run(mp3, "MP3 stations");
    run(wm, "WMA/ASX");
    player.stop();
    directory.stop();
    return 0;
}
