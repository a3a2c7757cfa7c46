#pragma once

class CaptureDevices;
class ExternalBrowser;
class Clock;
class MediaPlayer;
class MessageBoxes;
class NotificationIcon;
class ProcessLauncher;
class RegionalFormat;
class ReportSender;
class VolumeBackend;
class WebBrowserFactory;

// The platform parts the player runs on. Built once in main (or by a test
// with fakes) and handed down by reference; nothing here is owned.
struct PlatformParts
{
    MediaPlayer *mediaPlayer = nullptr;
    WebBrowserFactory *browsers = nullptr;
    ProcessLauncher *processes = nullptr;
    VolumeBackend *volume = nullptr;
    CaptureDevices *captureDevices = nullptr;
    Clock *clock = nullptr;
    RegionalFormat *regional = nullptr;
    MessageBoxes *messages = nullptr;
    NotificationIcon *trayIcon = nullptr;
    // The system's web browser; null: addresses are not opened.
    ExternalBrowser *externalBrowser = nullptr;
    // Sends listening reports; null: no report is sent.
    ReportSender *reports = nullptr;
};
