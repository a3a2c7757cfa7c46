#include "core/memory_stations.h"

#include "core/main_shell.h"
#include "core/main_state.h"
#include "core/playback.h"
#include "platform/clock.h"
#include "platform/media_player.h"
#include "platform/message_boxes.h"
#include "platform/regional_format.h"
#include "store/dataset.h"

namespace {

const QString kSetModeOn = QStringLiteral("mem");
const QString kSetModeOff = QStringLiteral("cancel");

QString normalPicture(int slot)
{
    return QStringLiteral("pic/picfav%1.bmp").arg(slot);
}

QString highlightPicture(int slot)
{
    return QStringLiteral("pic/picfav%1a.bmp").arg(slot);
}

}  // namespace

MemoryStations::MemoryStations(MainShell &shell, Playback &playback, QObject *parent)
    : QObject(parent),
      m_shell(shell),
      m_playback(playback)
{
    for (int slot = 1; slot <= kSlots; ++slot)
        m_slotPictures << normalPicture(slot);
}

bool MemoryStations::loadSlotPicture(int slot, const QString &name)
{
    const QImage picture = m_shell.loadPicture(name);
    if (picture.isNull())
        return false;
    m_slotPictures[slot - 1] = name;
    Q_EMIT slotPictureChanged(slot, picture);
    return true;
}

bool MemoryStations::loadNormalPictures()
{
    for (int slot = 1; slot <= kSlots; ++slot) {
        if (!loadSlotPicture(slot, normalPicture(slot)))
            return false;
    }
    return true;
}

void MemoryStations::clearHighlight()
{
    loadNormalPictures();
}

void MemoryStations::setMemPicture(const QString &name)
{
    // An unknown language has no picture; a missing file changes nothing.
    if (name.isEmpty())
        return;
    const QImage picture = m_shell.loadPicture(name);
    if (picture.isNull())
        return;
    m_memPicture = name;
    Q_EMIT memPictureChanged(picture);
}

void MemoryStations::setHint(bool visible)
{
    m_hintVisible = visible;
    Q_EMIT setModeHintVisibleChanged(visible);
}

bool MemoryStations::moveToSlot(int slot)
{
    // Throws StoreError when myRadio is not open. With fewer rows than the
    // slot number the move stops at the last row.
    DataSet &table = m_shell.ADOTb2;
    table.first();
    table.moveBy(slot - 1);
    return true;
}

void MemoryStations::slotClicked(int slot)
{
    if (slot < 1 || slot > kSlots)
        return;
    MainState &state = m_shell.state();
    const bool setMode = state.memorySetMode == kSetModeOn;
    if (!setMode && m_liveRecording && m_liveRecording())
        Q_EMIT liveRecordingStopRequested();
    if (!setMode) {
        playSlot(slot);
        return;
    }
    storeSlot(slot);
    state.memorySetMode = kSetModeOff;
    setHint(false);
    const QStringList languagePictures = m_shell.languagePictureNames();
    if (!languagePictures.isEmpty())
        setMemPicture(languagePictures.first());
}

void MemoryStations::playSlot(int slot)
{
    MainState &state = m_shell.state();
    const PlatformParts &platform = m_shell.platform();
    m_playback.resetElapsed();
    try {
        moveToSlot(slot);
        const DataSet &table = m_shell.ADOTb2;
        const QString url = table.text(QStringLiteral("url"));
        if (!url.isEmpty()) {
            m_playback.stopRoutine();
            // A stored address plays only as a network stream (the one
            // playback rule); anything else leaves the slot as it was.
            if (!m_playback.startStation(url))
                return;
            if (platform.mediaPlayer)
                platform.mediaPlayer->play();
            state.listenSeconds = QStringLiteral("0");
            if (platform.clock && platform.regional)
                state.listenStartTime = platform.regional->dateTimeText(platform.clock->now());
            state.setStationName(table.text(QStringLiteral("name")));
            state.stationPageUrl = state.directoryBaseUrl + QStringLiteral("ap/lisradio.asp?radioid= ")
                + QString::number(qRound64(table.field(QStringLiteral("id")).toDouble()));
            // A missing picture ends the operation: the station plays, but
            // the slot and the station fields are left as they were.
            if (!loadNormalPictures() || !loadSlotPicture(slot, highlightPicture(slot)))
                return;
        }
        state.currentMemorySlot = QString::number(slot);
        state.stationLocation = table.text(QStringLiteral("location_id"));
        state.stationGenre = table.text(QStringLiteral("genre_id"));
        state.stationWebUrl = table.text(QStringLiteral("weburl"));
        state.stationId = table.text(QStringLiteral("id"));
        state.stationStreamUrl = url;
    } catch (const StoreError &) {
    }
}

void MemoryStations::storeSlot(int slot)
{
    MainState &state = m_shell.state();
    DataSet &table = m_shell.ADOTb2;
    try {
        // Nothing has played since start: there is no station to keep.
        if (!state.statusText().isEmpty()) {
            moveToSlot(slot);
            const QString current = state.stationName();
            bool exists = false;
            DataSet &check = m_shell.ADOQuery3;
            check.openQuery(QStringLiteral("select * from myradio"));
            for (check.first(); !check.eof() && check.recordCount() > 0; check.next()) {
                if (check.text(QStringLiteral("name")) == current) {
                    exists = true;
                    break;
                }
            }
            QString question;
            if (exists)
                question = QStringLiteral("Radio station already exist. Are you sure save this station?");
            else if (!table.text(QStringLiteral("name")).isEmpty())
                question = QStringLiteral("Overwrite this station?");
            bool store = true;
            if (!question.isEmpty()) {
                MessageBoxes *messages = m_shell.platform().messages;
                store = messages && messages->confirm(QStringLiteral("Vexa"), m_shell.lookup(question));
            }
            if (store) {
                bool isNumber = false;
                const double id = state.stationId.toDouble(&isNumber);
                if (!isNumber)
                    throw StoreError("station id is not a number");
                table.edit();
                table.setField(QStringLiteral("name"), current);
                table.setField(QStringLiteral("idno"), QStringLiteral("1"));
                table.setField(QStringLiteral("url"), state.stationStreamUrl);
                table.setField(QStringLiteral("weburl"), state.stationWebUrl);
                table.setField(QStringLiteral("id"), id);
                table.post();
            }
        }
        state.currentMemorySlot = QString::number(slot);
    } catch (const StoreError &) {
        try {
            if (table.state() == DataSet::State::Edit)
                table.cancel();
        } catch (const StoreError &) {
        }
    }
}

void MemoryStations::toggleSetMode()
{
    MainState &state = m_shell.state();
    if (state.memorySetMode != kSetModeOff) {
        state.memorySetMode = kSetModeOff;
        setHint(false);
        const QStringList languagePictures = m_shell.languagePictureNames();
        if (!languagePictures.isEmpty())
            setMemPicture(languagePictures.first());
    } else {
        state.memorySetMode = kSetModeOn;
        setHint(true);
        setMemPicture(m_shell.cancelPictureName());
    }
}

void MemoryStations::hover(int slot)
{
    if (slot < 1 || slot > kSlots)
        return;
    QString name;
    try {
        moveToSlot(slot);
        name = m_shell.ADOTb2.text(QStringLiteral("name"));
    } catch (const StoreError &) {
        Q_EMIT nameStripHidden();
        return;
    }
    if (name.isEmpty())
        Q_EMIT nameStripEmptied();
    else
        Q_EMIT nameStripShown(name);
}

void MemoryStations::previous()
{
    bool ok = false;
    const int current = m_shell.state().currentMemorySlot.toInt(&ok);
    if (!ok)
        return;
    const int target = current - 1;
    slotClicked(target < 1 ? kSlots : target);
}

void MemoryStations::next()
{
    bool ok = false;
    const int current = m_shell.state().currentMemorySlot.toInt(&ok);
    if (!ok)
        return;
    const int target = current + 1;
    slotClicked(target > kSlots ? 1 : target);
}

void MemoryStations::favouriteRadioNext()
{
    const MainState &state = m_shell.state();
    // No step of the player records a logon, so this always asks for one.
    if (!state.memberLogon.isEmpty())
        return;
    if (MessageBoxes *messages = m_shell.platform().messages)
        messages->error(QStringLiteral("Error"),
                        m_shell.lookup(QStringLiteral("You have to logon before use the favorite radio.")));
    Q_EMIT memberPageRequested(state.directoryBaseUrl + QStringLiteral("/AP/memberlogon.asp"));
}
