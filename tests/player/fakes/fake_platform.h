#pragma once

#include <QDateTime>
#include <QPair>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

#include "platform/capture_devices.h"
#include "platform/clock.h"
#include "platform/media_player.h"
#include "platform/message_boxes.h"
#include "platform/notification_icon.h"
#include "platform/platform_parts.h"
#include "platform/process_launcher.h"
#include "platform/regional_format.h"
#include "platform/report_sender.h"
#include "platform/volume_backend.h"
#include "platform/web_browser.h"

// Fakes of the platform parts. Each records what it was asked to do; tests
// drive events by calling the emit helpers.

class FakeMediaPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    using MediaPlayer::MediaPlayer;
    QString url() const override { return m_url; }
    void setUrl(const QString &url) override
    {
        m_url = url;
        calls << QStringLiteral("url=") + url;
        setState(url.isEmpty() ? Stopped : Playing);
    }
    void play() override
    {
        calls << QStringLiteral("play");
        setState(Playing);
    }
    void stop() override
    {
        calls << QStringLiteral("stop");
        setState(Stopped);
    }
    void pause() override
    {
        calls << QStringLiteral("pause");
        setState(Paused);
    }
    PlayState playState() const override { return m_state; }
    QString statusText() const override { return status; }
    int outputVolume() const override { return volume; }
    void setOutputVolume(int value) override { volume = value; }

    void setState(PlayState state)
    {
        m_state = state;
        Q_EMIT playStateChanged(state);
        Q_EMIT playerEvent(Event::PlayStateChange);
    }
    // The stream announces a new title.
    void announceTitle(const QString &title) { setNowPlaying(title); }

    QStringList calls;
    QString status;
    int volume = 32768;

private:
    QString m_url;
    PlayState m_state = Undefined;
};

class FakeWebBrowser final : public WebBrowser
{
    Q_OBJECT
public:
    using WebBrowser::WebBrowser;
    void navigate(const QString &url) override
    {
        navigations << url;
        Q_EMIT beforeNavigate(url);
        m_url = url;
    }
    QString locationUrl() const override { return m_url; }
    void readElements(const QStringList &names, ElementsRead done) override
    {
        ElementValues found;
        for (const QString &name : names) {
            if (elements.contains(name))
                found.insert(name, elements.value(name));
        }
        pendingReads.push_back([done, found] { done(found); });
    }
    QWidget *widget() override { return nullptr; }

    // Completes the current page and answers reads made so far.
    void complete()
    {
        Q_EMIT documentComplete(m_url);
        answerReads();
    }
    void answerReads()
    {
        auto reads = std::move(pendingReads);
        pendingReads.clear();
        for (auto &read : reads)
            read();
    }

    QStringList navigations;
    ElementValues elements;
    std::vector<std::function<void()>> pendingReads;

private:
    QString m_url;
};

class FakeWebBrowserFactory final : public WebBrowserFactory
{
public:
    std::unique_ptr<WebBrowser> create(QWidget *) override
    {
        auto browser = std::make_unique<FakeWebBrowser>();
        made.push_back(browser.get());
        return browser;
    }
    std::vector<FakeWebBrowser *> made;
};

class FakeProcessLauncher final : public ProcessLauncher
{
public:
    // A started program runs (under its file name) until terminated.
    qint64 startProcess(const QString &program, const QStringList &arguments) override
    {
        started << (QStringList{program} + arguments);
        if (!startSucceeds)
            return 0;
        const qint64 pid = nextPid++;
        running[program.section(QLatin1Char('/'), -1)] << pid;
        commandLines[pid] = QStringList{program} + arguments;
        return pid;
    }
    QString executablePath(qint64 pid) const override { return commandLines.value(pid).value(0); }
    QStringList argumentVector(qint64 pid) const override { return commandLines.value(pid); }
    // Like the real launcher's: "<program>.log" beside the program.
    QString outputLogOf(const QString &program) const override { return program + QStringLiteral(".log"); }
    // The process ends by itself.
    void exit(qint64 pid)
    {
        for (auto it = running.begin(); it != running.end(); ++it)
            it->removeAll(pid);
    }
    QList<qint64> findByFileName(const QString &fileName) const override { return running.value(fileName); }
    bool terminate(qint64 pid) override
    {
        terminated << pid;
        for (auto it = running.begin(); it != running.end(); ++it)
            it->removeAll(pid);
        return true;
    }
    bool isRunning(qint64 pid) const override
    {
        for (const QList<qint64> &pids : running) {
            if (pids.contains(pid))
                return true;
        }
        return false;
    }

    QList<QStringList> started;
    QList<qint64> terminated;
    QMap<QString, QList<qint64>> running;
    // What each process runs: program path and arguments (a test may add
    // processes it did not start).
    QMap<qint64, QStringList> commandLines;
    bool startSucceeds = true;
    qint64 nextPid = 1000;
};

// Volumes as words of two 16-bit channels; the speaker value as the
// mixer would keep it.
class FakeVolumeBackend final : public VolumeBackend
{
public:
    bool hasDevice(Device) const override { return present; }
    quint32 channels(Device device) const override { return present ? words[int(device)] : 0; }
    void setChannels(Device device, quint32 value) override
    {
        if (present)
            words[int(device)] = value;
    }
    bool setSpeakerVolume(long value) override
    {
        if (!mixer)
            return false;
        speaker = value;
        return true;
    }

    bool present = true;
    bool mixer = true;
    quint32 words[3] = {0, 0, 0};
    long speaker = -1;
};

class FakeCaptureDevices final : public CaptureDevices
{
public:
    std::optional<CaptureDevice> firstDevice() const override { return device; }
    std::optional<CaptureDevice> device;
};

class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return current; }
    QDateTime current = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0));
};

// Records every message instead of opening a box; confirm() answers
// `confirmAnswer`.
class FakeMessageBoxes final : public MessageBoxes
{
public:
    struct Message
    {
        QString kind;
        QString title;
        QString text;
    };
    void information(const QString &title, const QString &text) override
    {
        shown.push_back({QStringLiteral("information"), title, text});
    }
    void error(const QString &title, const QString &text) override
    {
        shown.push_back({QStringLiteral("error"), title, text});
    }
    bool confirm(const QString &title, const QString &text) override
    {
        shown.push_back({QStringLiteral("confirm"), title, text});
        return confirmAnswer;
    }

    std::vector<Message> shown;
    bool confirmAnswer = true;
};

// A notification area that counts the icons it holds.
class FakeNotificationIcon final : public NotificationIcon
{
    Q_OBJECT
public:
    using NotificationIcon::NotificationIcon;
    void add(const QImage &icon, const QString &tip) override
    {
        if (!available)
            return;
        ++icons;
        ++adds;
        lastIcon = icon;
        lastTip = tip;
    }
    void remove() override
    {
        if (icons > 0)
            --icons;
    }
    bool isShown() const override { return icons > 0; }
    void setTip(const QString &tip) override { lastTip = tip; }
    bool showMessage(const QString &title, const QString &body) override
    {
        if (!isShown())
            return false;
        messages.append({title, body});
        return true;
    }
    void doubleClick() { Q_EMIT doubleClicked(); }

    bool available = true;  // false: the desktop has no notification area
    int icons = 0;
    int adds = 0;
    QImage lastIcon;
    QString lastTip;
    QVector<QPair<QString, QString>> messages;  // title, body
};

// Records listening reports instead of sending them, and the waits for
// reports still on their way.
class FakeReportSender final : public ReportSender
{
public:
    void send(const QUrl &url) override { sent << url; }
    void finishPending(int timeoutMs) override
    {
        waits << timeoutMs;
        sentBeforeWait = int(sent.size());
    }
    QList<QUrl> sent;
    QList<int> waits;
    int sentBeforeWait = -1;
};

// One set of fakes, wired into PlatformParts.
struct FakePlatform
{
    FakePlatform() : regional(QLocale(QLocale::English, QLocale::UnitedStates))
    {
        parts.mediaPlayer = &mediaPlayer;
        parts.browsers = &browsers;
        parts.processes = &processes;
        parts.volume = &volume;
        parts.captureDevices = &captureDevices;
        parts.clock = &clock;
        parts.regional = &regional;
        parts.messages = &messages;
        parts.trayIcon = &trayIcon;
        parts.reports = &reports;
    }

    FakeMediaPlayer mediaPlayer;
    FakeWebBrowserFactory browsers;
    FakeProcessLauncher processes;
    FakeVolumeBackend volume;
    FakeCaptureDevices captureDevices;
    FakeClock clock;
    RegionalFormat regional;
    FakeMessageBoxes messages;
    FakeNotificationIcon trayIcon;
    FakeReportSender reports;
    PlatformParts parts;
};
