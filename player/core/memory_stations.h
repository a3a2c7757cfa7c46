#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class MainShell;
class Playback;

// The ten memory stations: slot N is the N-th row of table myRadio (the
// main window's ADOTb2). A click plays a slot, or stores the current station
// into it while set mode is on; hovering shows a slot's name in the strip
// below the window; Prev and Next step through the slots. Pictures are
// looked up here (a missing file ends the step that needed it) and handed
// to the window through the signals.
class MemoryStations : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSlots = 10;

    MemoryStations(MainShell &shell, Playback &playback, QObject *parent = nullptr);

    // Tells whether a live recording runs (picRec2 shown). None: never.
    void setLiveRecordingProbe(std::function<bool()> probe) { m_liveRecording = std::move(probe); }

    // Events of the main window.
    void slotClicked(int slot);  // 1..10
    void hover(int slot);
    void toggleSetMode();       // picMem
    void previous();            // picFavPrev, btnFavPrev, btnPrev
    void next();                // picFavNext
    void favouriteRadioNext();  // btnFavNext, btnNext
    // Button3: the ten normal pictures, no highlight.
    void clearHighlight();

    void playSlot(int slot);
    void storeSlot(int slot);

    // Picture names now shown on picFav1 .. picFav10 and on picMem.
    QStringList slotPictures() const { return m_slotPictures; }
    QString memPicture() const { return m_memPicture; }
    bool setModeHintVisible() const { return m_hintVisible; }

Q_SIGNALS:
    void slotPictureChanged(int slot, const QImage &picture);
    void memPictureChanged(const QImage &picture);
    void setModeHintVisibleChanged(bool visible);
    // Name strip: shown with a name (window at full height), emptied (window
    // compact), or hidden after a failed read.
    void nameStripShown(const QString &name);
    void nameStripEmptied();
    void nameStripHidden();
    // A live recording must stop before another station starts.
    void liveRecordingStopRequested();
    // The member logon page, for the web page window.
    void memberPageRequested(const QString &url);

private:
    bool loadSlotPicture(int slot, const QString &name);
    bool loadNormalPictures();
    void setMemPicture(const QString &name);
    void setHint(bool visible);
    bool moveToSlot(int slot);

    MainShell &m_shell;
    Playback &m_playback;
    std::function<bool()> m_liveRecording;
    QStringList m_slotPictures;
    QString m_memPicture;
    bool m_hintVisible = false;
};
