#include "core/playback.h"

#include <QFileInfo>
#include <QTimeZone>

#include "build_config.h"
#include "platform/clock.h"
#include "platform/regional_format.h"
#include "core/main_state.h"
#include "core/address_rules.h"

Playback::Playback(MainState &state, MediaPlayer &player, Clock &clock, const RegionalFormat &regional,
                   ReportSender &reports, QObject *parent)
    : QObject(parent),
      m_state(state),
      m_player(player),
      m_clock(clock),
      m_regional(regional),
      m_reports(reports),
      m_hitLogBaseUrl(QStringLiteral(VEXA_HITLOG_BASE_URL))
{
    if (m_state.listenSeconds.isEmpty())
        m_state.listenSeconds = QStringLiteral("0");
    m_elapsedTimer.setInterval(1000);
    connect(&m_elapsedTimer, &QTimer::timeout, this, &Playback::tick);
    m_statusTimer.setInterval(500);
    connect(&m_statusTimer, &QTimer::timeout, this, &Playback::refreshStatus);
    m_statusTimer.start();
    connect(&m_player, &MediaPlayer::playerEvent, this, &Playback::onPlayerEvent);
}

QString Playback::statusLine(const QString &status)
{
    const int first = status.indexOf(QLatin1Char('\''));
    if (first < 0)
        return status;
    const int last = status.lastIndexOf(QLatin1Char('\''));
    return status.left(first).trimmed() + status.mid(last + 1, 255);
}

QString Playback::localisedStatus(const QString &status, const QString &languageCode)
{
    // The media player reports in English; the leading words are replaced
    // by those of the interface language ("2" Traditional, "3" Simplified
    // Chinese), the rest (names, percentages) is kept.
    struct Words
    {
        const char *english, *big5, *gb;
    };
    static const Words table[] = {
        {"Playing", "正在播放", "正在播放"},
        {"Stopped", "已停止", "已停止"},
        {"Paused", "已暫停", "已暂停"},
        {"Connecting", "正在連線", "正在连接"},
        {"Opening", "正在開啟", "正在打开"},
        {"Buffering", "正在緩衝", "正在缓冲"},
        {"Media ended", "播放完畢", "播放完毕"},
        {"Ready", "就緒", "就绪"},
        {"Error", "錯誤", "错误"},
    };
    if (languageCode != QLatin1String("2") && languageCode != QLatin1String("3"))
        return status;
    for (const auto &w : table) {
        const QString english = QString::fromUtf8(w.english);
        if (status.startsWith(english))
            return QString::fromUtf8(languageCode == QLatin1String("2") ? w.big5 : w.gb) + status.mid(english.size());
    }
    return status;
}

qint64 Playback::reportSeconds(const QDateTime &local, int biasMinutes)
{
    // The wall-clock fields taken as if they were UTC: the whole seconds
    // between them and 1970-01-01 00:00:00, then the bias moves them to UTC.
    const QDateTime fields(local.date(), local.time(), QTimeZone::utc());
    return qAbs(fields.toSecsSinceEpoch()) + qint64(biasMinutes) * 60;
}

QString Playback::elapsedText() const
{
    return QStringLiteral("%1:%2:%3")
        .arg(m_hours, 2, 10, QLatin1Char('0'))
        .arg(m_minutes, 2, 10, QLatin1Char('0'))
        .arg(m_seconds, 2, 10, QLatin1Char('0'));
}

void Playback::emitElapsed()
{
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    Q_EMIT elapsedChanged(two(m_hours), two(m_minutes), two(m_seconds));
}

void Playback::resetElapsed()
{
    m_hours = m_minutes = m_seconds = 0;
    emitElapsed();
}

void Playback::setElapsedTimerOn(bool on)
{
    if (on && !m_elapsedTimer.isActive())
        m_elapsedTimer.start();
    else if (!on)
        m_elapsedTimer.stop();
}

void Playback::tick()
{
    if (++m_seconds >= 60) {
        m_seconds = 0;
        if (++m_minutes >= 60) {
            m_minutes = 0;
            // Hours wrap at 60, as the two-digit display allows.
            if (++m_hours >= 60)
                m_hours = 0;
        }
    }
    emitElapsed();
    bool ok = false;
    const int counted = m_state.listenSeconds.toInt(&ok);
    // Counts to 301 and stops there; "400" (a local file) never moves.
    if (ok && counted <= kReportSeconds)
        m_state.listenSeconds = QString::number(counted + 1);
}

void Playback::refreshStatus()
{
    m_state.setStatusText(localisedStatus(statusLine(m_player.statusText()), m_state.languageCode));
}

void Playback::refreshTimeZoneBias()
{
    m_state.timeZoneBias = QString::number(RegionalFormat::timeZoneBias(m_clock.now()));
}

void Playback::onPlayerEvent(MediaPlayer::Event event)
{
    if (event == MediaPlayer::Event::PositionChange)
        return;
    refreshStatus();
    if (event != MediaPlayer::Event::PlayStateChange)
        return;
    // The count follows the player's real state, whatever language its
    // status texts are in: on while playing, reset once stopped.
    switch (m_player.playState()) {
    case MediaPlayer::Playing:
        setElapsedTimerOn(true);
        break;
    case MediaPlayer::Stopped:
    case MediaPlayer::MediaEnded:
        setElapsedTimerOn(false);
        resetElapsed();
        break;
    default:
        setElapsedTimerOn(false);
        break;
    }
}

void Playback::play()
{
    const auto state = m_player.playState();
    if (state == MediaPlayer::Stopped || state == MediaPlayer::MediaEnded || state == MediaPlayer::Undefined)
        resetElapsed();
    m_player.play();
    setElapsedTimerOn(true);
}

void Playback::pause()
{
    m_player.pause();
    setElapsedTimerOn(false);
}

QUrl Playback::reportUrl() const
{
    const QDateTime start = m_regional.parseDateTime(m_state.listenStartTime);
    if (!start.isValid())
        return {};
    const QDateTime end = m_clock.now();
    bool ok = false;
    const int bias = m_state.timeZoneBias.toInt(&ok);
    const int biasMinutes = ok ? bias : 0;
    // The station id comes from a directory page: percent-encoded so that
    // it cannot add fields to the query.
    const QString id = QString::fromLatin1(QUrl::toPercentEncoding(m_state.stationId));
    return QUrl(m_hitLogBaseUrl + QStringLiteral("/cgi-bin/hlog?PCAP1000&") + id + QStringLiteral("&0&")
                + QString::number(reportSeconds(start, biasMinutes)) + QLatin1Char('&')
                + QString::number(reportSeconds(end, biasMinutes)));
}

void Playback::stopRoutine()
{
    m_player.stop();
    setElapsedTimerOn(false);
    resetElapsed();
    refreshTimeZoneBias();
    Q_EMIT liveRecordingStopRequested();
    bool ok = false;
    const int counted = m_state.listenSeconds.toInt(&ok);
    if (m_state.listenSeconds != kLocalFileMark && ok && counted >= kReportSeconds) {
        const QUrl url = reportUrl();
        if (url.isValid() && !url.isEmpty()) {
            m_reports.send(url);
            Q_EMIT reportSent(url);
        }
    }
    m_state.listenSeconds = QStringLiteral("0");
}

void Playback::beforeDirectoryNavigation()
{
    setElapsedTimerOn(false);
    resetElapsed();
    stopRoutine();
}

bool Playback::startStation(const QString &streamUrl)
{
    if (!AddressRules::playable(streamUrl)) {
        // Page text reaches the console only percent-encoded (no control
        // characters) and cut short.
        qWarning("not a network stream address, not played: %s",
                 QUrl::toPercentEncoding(streamUrl.left(200), ":/?&=#").constData());
        return false;
    }
    m_player.setUrl(streamUrl);
    Q_EMIT recordingBlinkStopRequested();
    return true;
}

bool Playback::playLocalFile(const QString &path)
{
    const QFileInfo file(path);
    if (path.isEmpty() || !file.isFile())
        return false;
    m_state.listenSeconds = kLocalFileMark;
    m_player.setUrl(QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded));
    return true;
}
