#pragma once

#include "platform/capture_devices.h"
#include "platform/media_player.h"
#include "platform/process_launcher.h"
#include "platform/volume_backend.h"
#include "platform/web_browser.h"

// Stand-ins for platform parts that have no real implementation on this
// machine (no mixer, no capture device) or that a build leaves out. They
// accept every call and do nothing.

class InertMediaPlayer final : public MediaPlayer
{
    Q_OBJECT
public:
    using MediaPlayer::MediaPlayer;
    QString url() const override { return m_url; }
    void setUrl(const QString &url) override { m_url = url; }
    void play() override {}
    void stop() override {}
    void pause() override {}
    PlayState playState() const override { return Undefined; }
    QString statusText() const override { return QString(); }
    int outputVolume() const override { return m_volume; }
    void setOutputVolume(int value) override { m_volume = value; }

private:
    QString m_url;
    int m_volume = 0;
};

class InertWebBrowser final : public WebBrowser
{
    Q_OBJECT
public:
    using WebBrowser::WebBrowser;
    void navigate(const QString &url) override { m_url = url; }
    QString locationUrl() const override { return m_url; }
    void readElements(const QStringList &, ElementsRead) override {}
    QWidget *widget() override { return nullptr; }

private:
    QString m_url;
};

class InertWebBrowserFactory final : public WebBrowserFactory
{
public:
    std::unique_ptr<WebBrowser> create(QWidget *) override { return std::make_unique<InertWebBrowser>(); }
};

class InertProcessLauncher final : public ProcessLauncher
{
public:
    qint64 startProcess(const QString &, const QStringList &) override { return 0; }
    QList<qint64> findByFileName(const QString &) const override { return {}; }
    bool terminate(qint64) override { return false; }
    bool isRunning(qint64) const override { return false; }
};

class InertVolumeBackend final : public VolumeBackend
{
public:
    bool hasDevice(Device) const override { return false; }
    quint32 channels(Device) const override { return 0; }
    void setChannels(Device, quint32) override {}
    bool setSpeakerVolume(long) override { return false; }
};

class InertCaptureDevices final : public CaptureDevices
{
public:
    std::optional<CaptureDevice> firstDevice() const override { return std::nullopt; }
};
