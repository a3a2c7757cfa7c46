#include "shell/application.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "desktop/autostart.h"
#include "desktop/desktop_notifier.h"
#include "desktop/media_controls.h"
#include "desktop/recording_notices.h"
#include "directory/about_window.h"
#include "directory/language_window.h"
#include "directory/message_window.h"
#include "directory/station_list_window.h"
#include "directory/station_update_window.h"
#include "directory/web_page_window.h"
#include "platform/media_player.h"
#include "platform/message_boxes.h"
#include "platform/notification_icon.h"
#include "recording/record_setup_window.h"
#include "recording/recorder_host_window.h"
#include "recording/recordings_list_window.h"
#include "recording/schedule_editor_window.h"
#include "shell/main_window.h"
#include "platform/message_boxes.h"
#include "shell/skin_picture_widget.h"
#include "store/write_queue.h"

namespace {

// Opens nothing: for platforms (tests) that give no system browser.
class NoExternalBrowser final : public ExternalBrowser
{
public:
    bool open(const QString &) override { return false; }
};

// Sends nothing: for platforms (tests) that give no report sender.
class NoReportSender final : public ReportSender
{
public:
    void send(const QUrl &) override {}
    void finishPending(int) override {}
};

ReportSender &reportSender(const PlatformParts &platform, std::unique_ptr<ReportSender> &fallback)
{
    if (platform.reports)
        return *platform.reports;
    fallback = std::make_unique<NoReportSender>();
    return *fallback;
}

ExternalBrowser &externalBrowser(const PlatformParts &platform, std::unique_ptr<ExternalBrowser> &fallback)
{
    if (platform.externalBrowser)
        return *platform.externalBrowser;
    fallback = std::make_unique<NoExternalBrowser>();
    return *fallback;
}

}  // namespace

Application::Application(const PlatformParts &platform, const QString &programDir, QObject *parent)
    : QObject(parent),
      m_platform(platform),
      m_programDir(programDir),
      m_shell(m_state, m_store, platform, programDir),
      m_playback(m_state, *platform.mediaPlayer, *platform.clock, *platform.regional,
                 reportSender(platform, m_noReports)),
      m_memory(m_shell, m_playback),
      m_volumeControl(*platform.volume),
      m_volume(
          m_volumeControl, [this](const QString &name) { return m_shell.loadPicture(name); }, platform.messages),
      m_recordSetup(*platform.captureDevices, m_store),
      m_directory(m_state, m_playback, *platform.browsers, externalBrowser(platform, m_noExternalBrowser),
                  *platform.messages, *platform.clock, *platform.regional),
      m_recorders(*platform.processes, programDir),
      m_live(m_state, *platform.mediaPlayer, *platform.clock, *platform.regional, m_recorders, programDir),
      m_recordingsList(m_state, *platform.mediaPlayer, m_playback, programDir),
      m_scheduleEditor(m_store, m_shell.schedule, m_state, m_playback, platform, programDir),
      m_scheduleRunner(m_store, m_shell.schedule, m_state, m_playback, *platform.mediaPlayer, m_recorders,
                       *platform.clock, *platform.regional, programDir)
{
    createWindows();
    connectWindows();
}

Application::~Application()
{
    m_mediaControls.reset();
    // Windows go before the store they read.
    m_recorderHost.reset();
    m_about.reset();
    m_message.reset();
    m_recMain.reset();
    m_recordlist.reset();
    m_myvexa.reset();
    m_radioUpdate.reset();
    m_location.reset();
    m_lngsel.reset();
    m_record.reset();
    m_main.reset();
    m_shell.schedule.close();
    m_shell.ADOTb2.close();
    m_store.close();
}

void Application::createWindows()
{
    // Order matters: the main window's creation runs before the store is
    // open; the schedule window's creation opens it.
    m_main = std::make_unique<TForm_main>(m_shell);
    m_record =
        std::make_unique<TForm_record>(m_scheduleEditor, m_shell, *m_platform.browsers, Store::fileIn(m_programDir));
    m_lngsel = std::make_unique<TformLngsel>(m_shell);
    m_location = std::make_unique<TForm_location>(m_stationList, *m_platform.browsers, m_programDir);
    m_radioUpdate = std::make_unique<TForm_radioUpdate>(*m_platform.browsers, m_programDir);
    m_myvexa = std::make_unique<TForm_myvexa>(*m_platform.browsers);
    m_recordlist = std::make_unique<TForm_recordlist>(m_recordingsList);
    // The capture setup lists its device and restores the stored choice
    // when it is created, whether or not it is ever shown.
    m_recordSetup.create();
    m_recMain = std::make_unique<TrecMainForm>(m_recordSetup, m_shell);
    m_message = std::make_unique<Tform_message>();
    m_about = std::make_unique<TAboutBox>();
    m_recorderHost = std::make_unique<TFormR>(m_recorders, m_state, m_programDir, m_platform.messages);
}

void Application::connectWindows()
{
    TForm_main *main = m_main.get();
    connect(&m_shell, &MainShell::firstRunLanguageChoice, m_lngsel.get(), [this] { m_lngsel->exec(); });
    connect(main->Language1, &QAction::triggered, m_lngsel.get(), [this] { m_lngsel->exec(); });
    connect(m_lngsel.get(), &TformLngsel::confirmationRequested, m_message.get(), &Tform_message::showMessage);
    connect(main, &TForm_main::minimised, m_location.get(), &QWidget::close);
    connectListening();
    connectRecording();
    connectSchedule();
    connectMemoryStations();
    connectVolume();
    connectDesktop();
    connect(main->Realtimerecordsetup1, &QAction::triggered, m_recMain.get(), &TrecMainForm::open);
    connectStoreLock();
    connect(main, &TForm_main::closing, this, [this] {
        // The stop routine may just have sent a report: it must leave
        // before the program ends.
        if (m_platform.reports)
            m_platform.reports->finishPending(kReportWaitOnCloseMs);
        m_recorderHost->close();
        Q_EMIT finished();
    });
}

void Application::connectListening()
{
    TForm_main *main = m_main.get();
    auto lookup = [this](const QString &text) { return m_shell.lookup(text); };

    // Playback commands and displays.
    connect(main, &TForm_main::playClicked, &m_playback, &Playback::play);
    connect(main, &TForm_main::stopClicked, &m_playback, &Playback::stopRoutine);
    connect(main, &TForm_main::pauseClicked, &m_playback, &Playback::pause);
    connect(&m_playback, &Playback::elapsedChanged, main,
            [main](const QString &hours, const QString &minutes, const QString &seconds) {
                main->lisTime1->setText(hours);
                main->lisTime2->setText(minutes);
                main->lisTime3->setText(seconds);
            });
    // The stream's title under the station name; the set-mode hint takes
    // its place while shown.
    connect(m_platform.mediaPlayer, &MediaPlayer::nowPlayingChanged, main->LabNowPlaying, &QLabel::setText);
    connect(&m_memory, &MemoryStations::setModeHintVisibleChanged, main->LabNowPlaying, &QWidget::setHidden);
    // The stop routine ends a live recording as a click on picRec2 does.
    connect(&m_playback, &Playback::liveRecordingStopRequested, main, &TForm_main::recordStopClicked);

    // The directory's commands.
    m_directory.setTranslator(lookup);
    m_directory.setStationList(&m_stationList);
    connect(main->Location2, &QAction::triggered, &m_directory, &DirectoryIntegration::openLocation);
    connect(main, &TForm_main::showLocationClicked, &m_directory, &DirectoryIntegration::openLocation);
    connect(main->Genre2, &QAction::triggered, &m_directory, &DirectoryIntegration::openGenre);
    connect(main, &TForm_main::showGenreClicked, &m_directory, &DirectoryIntegration::openGenre);
    connect(main->MyVexa2, &QAction::triggered, &m_directory, &DirectoryIntegration::myVexa);
    connect(main->AddtomyVexa2, &QAction::triggered, &m_directory, &DirectoryIntegration::addToMyVexa);
    connect(main->Visitstationwebsite2, &QAction::triggered, &m_directory, &DirectoryIntegration::visitStationWebsite);
    connect(&m_directory, &DirectoryIntegration::visitWebsiteEnabledChanged, main->Visitstationwebsite2,
            &QAction::setEnabled);
    connect(main->Stationupdate1, &QAction::triggered, &m_directory, &DirectoryIntegration::stationUpdate);
    connect(main->Contactus2, &QAction::triggered, &m_directory, &DirectoryIntegration::contactUs);
    connect(main->LinktoVexa1, &QAction::triggered, &m_directory, &DirectoryIntegration::linkToVexa);
    connect(main, &TForm_main::directoryLinkClicked, &m_directory, &DirectoryIntegration::linkToVexa);
    connect(&m_directory, &DirectoryIntegration::memoryPicturesResetRequested, main, &TForm_main::resetMemoryPictures);
    connect(&m_directory, &DirectoryIntegration::stationUpdateRequested, m_radioUpdate.get(),
            &TForm_radioUpdate::openPage);
    connect(&m_directory, &DirectoryIntegration::webPageRequested, m_myvexa.get(), &TForm_myvexa::openPage);

    // The station list window: docked beside the main window; a pick in
    // listen mode loads the station page into the main window.
    m_location->setAnchor(main);
    m_location->setTranslator(lookup);
    connect(&m_stationList, &StationList::stationPicked, &m_directory, &DirectoryIntegration::loadStationPage);

    m_about->setTranslator(lookup);
    connect(main->AboutVexaRadioPlayer2, &QAction::triggered, m_about.get(), [this] { m_about->exec(); });
}

void Application::connectStoreLock()
{
    // Writes another program's lock keeps out wait in the store's queue.
    connect(&m_store.writeQueue(), &WriteQueue::stillLocked, this, [this] {
        const QString text = QStringLiteral("Another program holds the store locked. The player keeps its changes "
                                            "and writes them as soon as the store is free again.");
        const QString translated = m_shell.lookup(text);
        if (m_platform.messages)
            m_platform.messages->information(QStringLiteral("Vexa Radio Player"),
                                             translated.isEmpty() ? text : translated);
    });
}

void Application::useAddresses(const QString &directoryBaseUrl, const QString &hitLogBaseUrl)
{
    m_state.directoryBaseUrl = directoryBaseUrl;
    m_main->Label1->setText(directoryBaseUrl);
    m_playback.setHitLogBaseUrl(hitLogBaseUrl);
}

void Application::connectRecording()
{
    TForm_main *main = m_main.get();
    // The live entry goes into the one schedule table: the runner and an
    // open schedule list see it at once.
    m_live.setSchedule(&m_shell.schedule);
    m_live.setTranslator([this](const QString &text) { return m_shell.lookup(text); });
    m_live.setMessages(m_platform.messages);
    connect(&m_live, &LiveRecording::captureFileNameChanged, m_recMain->Edit1, &QLineEdit::setText);

    // Record and Stop-recording; the stop routine (and through it the
    // close and every directory navigation) and the memory buttons reach
    // the stop through recordStopClicked.
    connect(main, &TForm_main::recordClicked, &m_live, &LiveRecording::record);
    connect(main, &TForm_main::recordStopClicked, &m_live, &LiveRecording::stop);
    connect(&m_live, &LiveRecording::recordingChanged, main, &TForm_main::showRecordingControls);
    connect(&m_live, &LiveRecording::indicatorVisibleChanged, main->image31, &QWidget::setVisible);
    connect(&m_live, &LiveRecording::statusRefreshRequested, main, [this, main] {
        m_playback.refreshStatus();
        main->LabStatus->show();
    });
    connect(&m_playback, &Playback::recordingBlinkStopRequested, &m_live, &LiveRecording::stopBlinking);

    connect(&m_recordingsList, &RecordingsList::memoryPicturesResetRequested, main, &TForm_main::resetMemoryPictures);
}

void Application::openRecordingsList()
{
    m_recordlist->exec();
}

void Application::connectSchedule()
{
    TForm_main *main = m_main.get();
    TForm_record *record = m_record.get();
    connect(main->Recordschedule1, &QAction::triggered, record, &TForm_record::showWindow);

    // The editor: messages in the interface language, stations from the
    // station list window opened for the schedule.
    m_scheduleEditor.setTranslator([this](const QString &text) { return m_shell.lookup(text); });
    m_scheduleEditor.setStationList(&m_stationList);
    connect(&m_stationList, &StationList::scheduleNameRead, &m_scheduleEditor, &ScheduleEditor::setStationName);
    connect(&m_stationList, &StationList::scheduleAddressRead, &m_scheduleEditor, &ScheduleEditor::setStationAddress);
    connect(&m_scheduleEditor, &ScheduleEditor::stationListCloseRequested, m_location.get(), &QWidget::close);
    connect(&m_scheduleEditor, &ScheduleEditor::memoryPicturesResetRequested, main, &TForm_main::resetMemoryPictures);
    connect(&m_scheduleEditor, &ScheduleEditor::recordListRequested, this, &Application::openRecordingsList);

    // The runner: the clock label.
    connect(&m_scheduleRunner, &ScheduleRunner::clockShown, main->time1, &QLabel::setText);
    connect(&m_scheduleRunner, &ScheduleRunner::memoryPicturesResetRequested, main, &TForm_main::resetMemoryPictures);
    m_scheduleRunner.start();
}

void Application::connectMemoryStations()
{
    TForm_main *main = m_main.get();
    connect(main, &TForm_main::memoryClicked, &m_memory, &MemoryStations::slotClicked);
    connect(main, &TForm_main::memoryHovered, &m_memory, &MemoryStations::hover);
    connect(main, &TForm_main::setModeClicked, &m_memory, &MemoryStations::toggleSetMode);
    connect(main, &TForm_main::memoryPrevClicked, &m_memory, &MemoryStations::previous);
    connect(main, &TForm_main::memoryNextClicked, &m_memory, &MemoryStations::next);
    connect(main, &TForm_main::favouriteNextClicked, &m_memory, &MemoryStations::favouriteRadioNext);
    connect(main, &TForm_main::memoryHighlightClearClicked, &m_memory, &MemoryStations::clearHighlight);
    connect(&m_memory, &MemoryStations::slotPictureChanged, main,
            [main](int slot, const QImage &picture) { main->picFav[slot - 1]->setPicture(picture); });
    connect(&m_memory, &MemoryStations::memPictureChanged, main->picMem, &SkinPicture::setPicture);
    connect(&m_memory, &MemoryStations::setModeHintVisibleChanged, main->TntLabel3, &QWidget::setVisible);
    connect(&m_memory, &MemoryStations::nameStripShown, main, &TForm_main::showNameStrip);
    connect(&m_memory, &MemoryStations::nameStripEmptied, main, &TForm_main::emptyNameStrip);
    connect(&m_memory, &MemoryStations::nameStripHidden, main->RnameLabel, &QWidget::hide);
    connect(&m_memory, &MemoryStations::memberPageRequested, m_myvexa.get(), &TForm_myvexa::openPage);
    // A live recording ends before a memory station starts, through the
    // same stop action as picRec2.
    m_memory.setLiveRecordingProbe([main] { return !main->picRec2->isHidden(); });
    connect(&m_memory, &MemoryStations::liveRecordingStopRequested, main, &TForm_main::recordStopClicked);
}

void Application::connectVolume()
{
    TForm_main *main = m_main.get();
    m_volume.setGeometry({main->picVolMain->x(), main->picVolMain->width(), main->picVolSub->width()});
    m_volume.setTranslator([this](const QString &text) { return m_shell.lookup(text); });
    connect(main->TBar1, &QSlider::valueChanged, &m_volume, &VolumeSlider::setPosition);
    connect(&m_volume, &VolumeSlider::positionChanged, main->TBar1, &QSlider::setValue);
    connect(&m_volume, &VolumeSlider::thumbLeftChanged, main->picVolSub,
            [main](int left) { main->picVolSub->move(left, main->picVolSub->y()); });
    connect(&m_volume, &VolumeSlider::volPictureChanged, main->picVol, &SkinPicture::setPicture);
    connect(main, &TForm_main::volumeTrackPressed, &m_volume,
            [this](const QPoint &pos) { m_volume.trackPressed(pos.x()); });
    connect(main, &TForm_main::volumeThumbPressed, &m_volume,
            [this](const QPoint &pos) { m_volume.thumbPressed(pos.x()); });
    connect(main, &TForm_main::volumeThumbMoved, &m_volume,
            [this](const QPoint &pos) { m_volume.thumbMoved(pos.x()); });
    connect(main, &TForm_main::volumeThumbReleased, &m_volume, &VolumeSlider::thumbReleased);
    connect(main, &TForm_main::muteClicked, &m_volume, &VolumeSlider::muteClicked);
    connect(main, &TForm_main::volumePlusClicked, &m_volume, &VolumeSlider::speakerPlusClicked);
    connect(main, &TForm_main::speakerOffClicked, &m_volume, &VolumeSlider::speakerOffClicked);
    connect(main, &TForm_main::volumeMinusClicked, &m_volume, &VolumeSlider::waveStepDown);
    // Part of the main window's creation: the start-up volume.
    m_volume.start();
}

void Application::start()
{
    m_main->showWindow();
}

void Application::startInTray()
{
    m_shell.showNotificationIcon();
    NotificationIcon *tray = m_platform.trayIcon;
    if (!tray || !tray->isShown())
        start();
}

void Application::connectDesktop()
{
    TForm_main *main = m_main.get();
    // Bus commands do what the window's controls do.
    MediaControls::Actions actions;
    actions.play = [this] { m_playback.play(); };
    actions.pause = [this] { m_playback.pause(); };
    actions.stop = [main] { main->clickStop(); };
    actions.next = [main] { Q_EMIT main->memoryNextClicked(); };
    actions.previous = [main] { Q_EMIT main->memoryPrevClicked(); };
    actions.raise = [main] { main->showWindow(); };
    actions.quit = [main] { main->close(); };
    actions.volume = [this] { return m_volume.position() / 255.0; };
    actions.setVolume = [this](double volume) { m_volume.setPosition(qRound(volume * 255)); };
    m_mediaControls = std::make_unique<MediaControls>(*m_platform.mediaPlayer, std::move(actions));
    connect(&m_state, &MainState::stationNameChanged, m_mediaControls.get(), &MediaControls::setStationName);
    connect(&m_volume, &VolumeSlider::positionChanged, m_mediaControls.get(), &MediaControls::volumeChanged);

    // The start with the desktop: the autostart entry runs this program in
    // the notification area. The item shows whether the entry is there.
    main->Startwiththedesktop1->setChecked(Autostart::isEnabled());
    connect(main->Startwiththedesktop1, &QAction::triggered, this, [this, main](bool on) {
        QString error;
        if (!Autostart::setEnabled(on, QCoreApplication::applicationFilePath(), &error) && m_platform.messages)
            m_platform.messages->error(QStringLiteral("Error"), error);
        main->Startwiththedesktop1->setChecked(Autostart::isEnabled());
    });
}

bool Application::offerMediaControls(const QDBusConnection &bus)
{
    return m_mediaControls->offerOn(bus);
}

void Application::showRecordingNotices(const QDBusConnection &bus)
{
    m_recordingNotices.reset();
    m_notifier = std::make_unique<DesktopNotifier>(bus, m_platform.trayIcon);
    m_recordingNotices = std::make_unique<RecordingNotices>(
        *m_notifier, MainShell::kNotificationTip, [this](const QString &english) { return m_shell.lookup(english); });
    RecordingNotices *notices = m_recordingNotices.get();
    connect(&m_scheduleRunner, &ScheduleRunner::scheduledRecordingStarted, notices,
            &RecordingNotices::recordingStarted);
    connect(&m_scheduleRunner, &ScheduleRunner::scheduledRecordingFinished, notices,
            &RecordingNotices::recordingFinished);
    connect(&m_scheduleRunner, &ScheduleRunner::scheduledRecordingFailed, notices, &RecordingNotices::recordingFailed);
    connect(notices, &RecordingNotices::tipChanged, this,
            [this](const QString &tip) { m_shell.setNotificationTip(tip); });
}
