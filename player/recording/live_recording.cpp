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
#include "recording/recorder_control.h"
#include "recording/schedule_runner.h"
#include "store/dataset.h"

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
        // The recorder adds ".mp3" or ".wma"; any file of that base name
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
        m_schedule->openTable(QStringLiteral("recSchedul"));
    const QDateTime now = m_clock.now();
    m_schedule->insert();
    m_schedule->setField(QStringLiteral("mode1"), mode);
    m_schedule->setField(QStringLiteral("mode2"), QStringLiteral("1"));
    m_schedule->setField(QStringLiteral("name1"), m_state.stationName());
    m_schedule->setField(QStringLiteral("freq1"), once);
    m_schedule->setField(QStringLiteral("freq2"), QStringLiteral("0"));
    m_schedule->setField(QStringLiteral("onf"), QStringLiteral("N"));
    m_schedule->setField(QStringLiteral("date1"), m_regional.dateText(now.date()));
    m_schedule->setField(QStringLiteral("date2"), m_regional.dateText(now.date()));
    m_schedule->setField(QStringLiteral("time1"), m_regional.timeText(now.time()));
    m_schedule->setField(QStringLiteral("time2"), m_regional.timeText(now.time()));
    m_schedule->setField(QStringLiteral("radiourl"), address);
    liveFileName = QFileInfo(captureFileName).fileName();
    try {
        m_schedule->post();
    } catch (const StoreError &) {
        m_schedule->cancel();
        throw;
    }
    Q_EMIT scheduleChanged(m_schedule->rowKey());
    liveEntryId = QString::number(m_schedule->rowKey());
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
        // The live entry stays, as every step done before a failure does.
        m_blinkTimer.stop();
        setIndicator(false);
        setControls(false);
        return;
    }
    m_recording = true;
}

void LiveRecording::finishLiveEntry()
{
    bool ok = false;
    const qint64 id = liveEntryId.toLongLong(&ok);
    if (!ok || !m_schedule)
        return;
    if (!m_schedule->isOpen())
        m_schedule->openTable(QStringLiteral("recSchedul"));
    const QDateTime now = m_clock.now();
    m_schedule->first();
    const int rows = m_schedule->recordCount();
    for (int r = 0; r < rows; ++r) {
        if (r > 0)
            m_schedule->next();
        if (m_schedule->field(QStringLiteral("idno")).toLongLong() != id)
            continue;
        m_schedule->edit();
        m_schedule->setField(QStringLiteral("date2"), m_regional.dateText(now.date()));
        m_schedule->setField(QStringLiteral("time2"), m_regional.timeText(now.time()));
        m_schedule->setField(QStringLiteral("filename2"), liveFileName);
        try {
            m_schedule->post();
        } catch (const StoreError &) {
            m_schedule->cancel();
            throw;
        }
        Q_EMIT scheduleChanged(m_schedule->rowKey());
    }
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
            finishLiveEntry();
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
