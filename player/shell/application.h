#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "directory/directory_integration.h"
#include "directory/station_list.h"
#include "platform/external_browser.h"
#include "platform/platform_parts.h"
#include "recording/record_setup.h"
#include "core/main_shell.h"
#include "core/main_state.h"
#include "core/memory_stations.h"
#include "core/volume_control.h"
#include "core/playback.h"
#include "recording/live_recording.h"
#include "recording/recorder_control.h"
#include "recording/recordings_list.h"
#include "recording/schedule_editor.h"
#include "recording/schedule_runner.h"
#include "store/store.h"

class DesktopNotifier;
class MediaControls;
class QDBusConnection;
class RecordingNotices;
class TAboutBox;
class TFormR;
class TForm_location;
class TForm_main;
class TForm_myvexa;
class TForm_radioUpdate;
class TForm_record;
class TForm_recordlist;
class TformLngsel;
class Tform_message;
class TrecMainForm;

// Assembly of the player: creates the logic objects and the eleven windows
// (hidden, in start-up order) and connects them. New logic objects are
// created and wired here; windows only announce intent through signals.
class Application : public QObject
{
    Q_OBJECT
public:
    // How long closing waits for a listening report still on its way.
    static constexpr int kReportWaitOnCloseMs = 2000;

    // `programDir` holds rd.d, pic/ and radiorecord/.
    Application(const PlatformParts &platform, const QString &programDir, QObject *parent = nullptr);
    ~Application() override;

    // Shows the main window (show steps, then activation).
    void start();
    // Starts with the main window hidden and the program's icon in the
    // notification area (its double-click shows the window); where there
    // is no notification area, as start() does.
    void startInTray();
    // The station directory's base address (ending with "/") and the
    // hit-log server's, in place of the build-time values.
    void useAddresses(const QString &directoryBaseUrl, const QString &hitLogBaseUrl);

    // Offers the media-player interfaces (MPRIS) on `bus`; false, and the
    // player runs as before, when there is no bus.
    bool offerMediaControls(const QDBusConnection &bus);
    MediaControls *mediaControls() const { return m_mediaControls.get(); }
    // Shows scheduled recordings as desktop notifications on `bus` (the
    // notification icon's messages without one) and in the icon's tip.
    void showRecordingNotices(const QDBusConnection &bus);

    const PlatformParts &platform() const { return m_platform; }
    QString programDir() const { return m_programDir; }
    MainState &state() { return m_state; }
    Store &store() { return m_store; }
    MainShell &shell() { return m_shell; }
    Playback &playback() { return m_playback; }
    MemoryStations &memoryStations() { return m_memory; }
    VolumeControl &volumeControl() { return m_volumeControl; }
    VolumeSlider &volume() { return m_volume; }
    RecordSetup &recordSetup() { return m_recordSetup; }
    DirectoryIntegration &directory() { return m_directory; }
    StationList &stationList() { return m_stationList; }
    RecorderControl &recorders() { return m_recorders; }
    LiveRecording &liveRecording() { return m_live; }
    RecordingsList &recordingsList() { return m_recordingsList; }

    // Opens the recordings list modally (the schedule editor's "Record
    // list" button).
    void openRecordingsList();

    ScheduleEditor &scheduleEditor() { return m_scheduleEditor; }
    ScheduleRunner &scheduleRunner() { return m_scheduleRunner; }

    TForm_main *mainWindow() const { return m_main.get(); }
    TForm_record *scheduleWindow() const { return m_record.get(); }
    TformLngsel *languageWindow() const { return m_lngsel.get(); }
    TForm_location *stationListWindow() const { return m_location.get(); }
    TForm_radioUpdate *stationUpdateWindow() const { return m_radioUpdate.get(); }
    TForm_myvexa *webPageWindow() const { return m_myvexa.get(); }
    TForm_recordlist *recordingsListWindow() const { return m_recordlist.get(); }
    TrecMainForm *recordSetupWindow() const { return m_recMain.get(); }
    Tform_message *messageWindow() const { return m_message.get(); }
    TAboutBox *aboutBox() const { return m_about.get(); }
    TFormR *recorderHostWindow() const { return m_recorderHost.get(); }

Q_SIGNALS:
    // The main window was closed: the program ends.
    void finished();

private:
    void createWindows();
    void connectWindows();
    void connectListening();
    void connectRecording();
    void connectSchedule();
    void connectMemoryStations();
    void connectVolume();
    void connectDesktop();
    void connectStoreLock();

    PlatformParts m_platform;
    QString m_programDir;
    Store m_store;
    MainState m_state;
    MainShell m_shell;
    // Listening: playback, the station list's logic and the directory.
    std::unique_ptr<ReportSender> m_noReports;
    std::unique_ptr<ExternalBrowser> m_noExternalBrowser;
    Playback m_playback;
    MemoryStations m_memory;
    VolumeControl m_volumeControl;  // VControl1
    VolumeSlider m_volume;
    RecordSetup m_recordSetup;
    StationList m_stationList;
    DirectoryIntegration m_directory;
    // Recording: the recorder processes, live recording, the recordings list.
    RecorderControl m_recorders;
    LiveRecording m_live;
    RecordingsList m_recordingsList;
    // Scheduling: the editor's logic, the runner over the main window's
    // copy of the schedule, started through m_recorders.
    ScheduleEditor m_scheduleEditor;
    ScheduleRunner m_scheduleRunner;

    std::unique_ptr<TForm_main> m_main;
    std::unique_ptr<TForm_record> m_record;
    std::unique_ptr<TformLngsel> m_lngsel;
    std::unique_ptr<TForm_location> m_location;
    std::unique_ptr<TForm_radioUpdate> m_radioUpdate;
    std::unique_ptr<TForm_myvexa> m_myvexa;
    std::unique_ptr<TForm_recordlist> m_recordlist;
    std::unique_ptr<TrecMainForm> m_recMain;
    std::unique_ptr<Tform_message> m_message;
    std::unique_ptr<TAboutBox> m_about;
    std::unique_ptr<TFormR> m_recorderHost;
    // Desktop integration; it drives the windows above, so it goes first.
    std::unique_ptr<MediaControls> m_mediaControls;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<RecordingNotices> m_recordingNotices;
};
