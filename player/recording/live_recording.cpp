#include "recording/live_recording.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/address_rules.h"
#include "core/main_state.h"
#include "platform/clock.h"
#include "platform/media_player.h"
#include "platform/message_boxes.h"
#include "platform/regional_format.h"
#include "core/recording_formats.h"
#include "recording/recorder_control.h"
#include "recording/schedule_runner.h"
#include "store/dataset.h"
#include "store/schedule_table.h"

LiveRecording::LiveRecording(MainState &state, MediaPlayer &player, Clock &clock, const RegionalFormat &regional,
                             RecorderControl &recorders, const QString &programDir, QObject *parent)
    : QObject(parent),
      m_state(state),
      m_player(player),
      m_clock(clock),
      m_regional(regional),
      m_recorders(recorders),
      m_programDir(programDir)
{
    m_blinkTimer.setInterval(kBlinkIntervalMs);
    connect(&m_blinkTimer, &QTimer::timeout, this, [this] { setIndicator(!m_indicatorVisible); });
    connect(&m_recorders, &RecorderControl::liveRecorderFailed, this, &LiveRecording::recorderFailed);
}

QString LiveRecording::recordingStamp(const QDateTime &at)
{
    // The same stamp as a scheduled recording's (without its entry number).
    return ScheduleWindow::recordingStamp(at);
}

QString LiveRecording::uniqueFileName(const QString &folder, const QString &stamp, const QSet<QString> &taken)
{
    const QDir dir(folder);
    auto used = [&](const QString &name) {
        if (taken.contains(name))
            return true;
        // The recorder adds its ending (RecordingFormats); any file of that base name
        // (another extension, or none) would be appended to or mistaken
        // for this recording. The stamp holds only digits, so it is safe
        // as a name filter.
        return !dir.entryList({name, name + QStringLiteral(".*")},
                              QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty();
    };
    if (!used(stamp))
        return stamp;
    for (int n = 2;; ++n) {
        const QString name = stamp + QLatin1Char('_') + QString::number(n);
        if (!used(name))
            return name;
    }
}

QString LiveRecording::recordingsFolder() const
{
    return QDir(m_programDir).filePath(QStringLiteral("radiorecord")) + QLatin1Char('/');
}

bool LiveRecording::prepareFolder()
{
    const QString folder = recordingsFolder();
    bool ok = QDir().mkpath(folder);
    if (ok) {
        // Writing is tried, not judged from permission bits (which say
        // nothing of a read-only mount, and everything is allowed to root).
        QFile probe(folder + QStringLiteral(".write-check-") + QString::number(QCoreApplication::applicationPid()));
        ok = probe.open(QIODevice::WriteOnly);
        if (ok)
            probe.remove();
    }
    if (!ok)
        report("Cannot write to the recordings folder:", QDir::toNativeSeparators(folder));
    return ok;
}

void LiveRecording::report(const char *english, const QString &detail)
{
    if (!m_messages)
        return;
    const QString key = QLatin1String(english);
    const QString text = m_translate ? m_translate(key) : key;
    m_messages->error(QStringLiteral("Record"), (text.isEmpty() ? key : text) + QLatin1Char(' ') + detail);
}

void LiveRecording::setIndicator(bool visible)
{
    if (visible == m_indicatorVisible)
        return;
    m_indicatorVisible = visible;
    Q_EMIT indicatorVisibleChanged(visible);
}

void LiveRecording::setControls(bool recording)
{
    Q_EMIT recordingChanged(recording);
}

void LiveRecording::writeLiveEntry(const QString &address)
{
    auto translated = [this](const char *english) {
        const QString text = QLatin1String(english);
        if (!m_translate)
            return text;
        const QString found = m_translate(text);
        return found.isEmpty() ? text : found;
    };
    const QString mode = translated("Real time record");
    const QString once = translated("Once");
    if (!m_schedule)
        throw StoreError("no schedule table");
    if (!m_schedule->isOpen())
        m_schedule->load();
    const QDateTime now = m_clock.now();
    ScheduleEntry entry;
    entry.modeText = mode;
    // "1", not the record code: the runner never starts a live entry, and
    // it is switched off besides.
    entry.modeCode = ScheduleEntry::code(ScheduleEntry::Play);
    entry.name = m_state.stationName();
    entry.frequencyText = once;
    entry.frequencyCode = ScheduleEntry::code(ScheduleEntry::Once);
    entry.enabled = ScheduleEntry::kOff;
    entry.firstDay = entry.lastDay = m_regional.dateText(now.date());
    entry.startTime = entry.endTime = m_regional.timeText(now.time());
    entry.address = address;
    liveFileName = QFileInfo(captureFileName).fileName();
    liveEntryId = QString::number(m_schedule->insert(entry));
}

void LiveRecording::record()
{
    if (m_state.stationName().isEmpty() || m_recording)
        return;
    // Only a stream address goes to a recorder: a local file that plays
    // (a recording from the list, say) is not recorded again. The user is
    // told, rather than left with a Record button that does nothing.
    const QString address = m_player.url();
    if (!AddressRules::recordable(address)) {
        report("This station cannot be recorded:", address);
        return;
    }
    // The live entry cannot be written to a store open for reading only.
    if (m_schedule && !m_schedule->readOnlyReason().isEmpty()) {
        report("Recording needs a writable store:", m_schedule->readOnlyReason());
        return;
    }
    // A missing folder is made; one that cannot be written is reported,
    // and the player stays idle rather than show a recording of nothing.
    if (!prepareFolder())
        return;

    setIndicator(true);
    m_blinkTimer.start();
    const QString folder = recordingsFolder();
    const QString name = uniqueFileName(folder, recordingStamp(m_clock.now()), m_namesGiven);
    m_namesGiven.insert(name);
    captureFileName = folder + name;
    Q_EMIT captureFileNameChanged(captureFileName);
    setControls(true);
    try {
        writeLiveEntry(address);
    } catch (const StoreError &) {
        m_blinkTimer.stop();
        setIndicator(false);
        setControls(false);
        return;
    }
    if (!m_recorders.startLiveRecorder(address, captureFileName)) {
        // Nothing was recorded: the entry goes again, the user is told and
        // the window is idle.
        m_blinkTimer.stop();
        setIndicator(false);
        setControls(false);
        try {
            m_schedule->remove(liveEntryId.toLongLong());
        } catch (const StoreError &) {
        }
        liveEntryId = QStringLiteral("0");
        report("The recorder could not be started:",
               QDir::toNativeSeparators(m_recorders.recorderPath(RecorderControl::kLiveRecorder)));
        return;
    }
    m_recording = true;
}

void LiveRecording::recorderFailed(const QString &reason)
{
    if (!m_recording)
        return;
    m_recording = false;
    m_blinkTimer.stop();
    setIndicator(false);
    setControls(false);
    Q_EMIT statusRefreshRequested();
    try {
        finishLiveEntry(true);
    } catch (const StoreError &) {
    }
    report("The recording ended early:", reason);
}

void LiveRecording::finishLiveEntry(bool failed)
{
    bool ok = false;
    const qint64 id = liveEntryId.toLongLong(&ok);
    if (!ok || !m_schedule)
        return;
    if (!m_schedule->isOpen())
        m_schedule->load();
    const int row = m_schedule->indexOf(id);
    if (row < 0)
        return;
    const QDateTime now = m_clock.now();
    ScheduleEntry entry = m_schedule->entries().at(row);
    entry.lastDay = m_regional.dateText(now.date());
    entry.endTime = m_regional.timeText(now.time());
    entry.awaitedFile = liveFileName;
    if (failed && !RecordingFormats::hasRecording(recordingsFolder(), liveFileName)) {
        // An empty or missing file is no recording: the entry is closed
        // as failed, with nothing to wait for.
        entry.awaitedFile.clear();
        entry.runState = ScheduleEntry::kFailed;
        RecordingFormats::removeEmptyOutput(recordingsFolder(), liveFileName);
    }
    m_schedule->update(entry);
}

void LiveRecording::stop()
{
    m_blinkTimer.stop();
    setIndicator(false);
    setControls(false);
    Q_EMIT statusRefreshRequested();
    if (m_recording) {
        // The entry gets the time of the stop before the recorder ends.
        try {
            finishLiveEntry(false);
        } catch (const StoreError &) {
        }
    }
    m_recording = false;
    m_recorders.stopLiveRecorder();
}

void LiveRecording::stopBlinking()
{
    m_blinkTimer.stop();
}
