#pragma once

#include <QPoint>
#include <QWidget>

#include <array>

class MainShell;
class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSlider;
class QToolButton;
class SkinPicture;

// The main window: borderless, shaped by its skin picture (purple is
// transparent), 187 pixels high while compact. It is layout and wiring:
// every click and menu item is announced by a signal or a QAction that
// logic elsewhere connects to; the store work is MainShell's.
class TForm_main : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kCompactHeight = 187;

    explicit TForm_main(MainShell &shell, QWidget *parent = nullptr);

    // Runs the show steps and shows the window (at start and on every
    // restore from the notification area); a window already shown is only
    // raised.
    void showWindow();
    // Activation steps: language pictures, then window texts.
    void FormActivate();
    // Minimise to the notification area.
    void btnMiniClick();
    // Runs the stop routine, as a click on picStop does.
    void clickStop() { Q_EMIT stopClicked(); }
    // Clears the memory-slot highlight, as a click on Button3 does.
    void resetMemoryPictures();
    // Record controls in the recording (true) or idle state: btnRec and
    // picRec for Record, btnRec2 and picRec2 for Stop-recording.
    void showRecordingControls(bool recording);
    // Screen positions where the main menu and the list menu open.
    QPoint mainMenuPosition() const;
    QPoint listMenuPosition() const;
    // Name strip below the compact area: shown with a name at full height
    // (back in its place, wherever the pause picture moved it), emptied
    // with the window compact, or hidden.
    void showNameStrip(const QString &name);
    void emptyNameStrip();
    void hideNameStrip();

    MainShell &shell() { return m_shell; }

    // Skin controls (names as the other parts of the program use them).
    SkinPicture *Image1;
    SkinPicture *Image2;
    SkinPicture *picClose;
    QLabel *time1;
    QLabel *Label1;
    QLabel *lisTime1;
    QLabel *lisTime4;
    QLabel *lisTime2;
    QLabel *lisTime5;
    QLabel *lisTime3;
    QLabel *LabStatus;
    QLabel *LabRname;
    QLabel *LabNowPlaying;  // the stream's current title, under the station name
    QLabel *TntLabel3;
    SkinPicture *image31;
    SkinPicture *picFavPrev;
    std::array<SkinPicture *, 10> picFav;  // picFav1 .. picFav10
    SkinPicture *picFavNext;
    SkinPicture *picMem;
    SkinPicture *picList;
    SkinPicture *picMenu;
    SkinPicture *picPlay;
    SkinPicture *picStop;
    SkinPicture *picPulse;
    SkinPicture *picRec;
    SkinPicture *picRec2;
    SkinPicture *picVol;
    SkinPicture *picVolMain;
    SkinPicture *picVolSub;
    QLabel *RnameLabel;

    // Off-skin controls: seen only with a skin wider than the window.
    QToolButton *btnClose;
    QToolButton *btnMini;
    QToolButton *btnMini2;
    QToolButton *btnMenu;
    QToolButton *btnList;
    QToolButton *btnPlay;
    QToolButton *btnStop;
    QToolButton *btnPulse;
    QToolButton *btnRec;
    QToolButton *btnRec2;
    QToolButton *btnPrev;
    QToolButton *btnNext;
    QToolButton *btnFavPrev;
    QToolButton *btnFavNext;
    std::array<QToolButton *, 10> btnFav;  // btnFav1 .. btnFav10
    QToolButton *volMute;
    QToolButton *volPlus;
    QToolButton *volM;
    QToolButton *SpeedButton2;
    QToolButton *Button3;  // hidden: clears the memory-slot highlight
    QToolButton *showLocation;
    QToolButton *showGenre;
    QToolButton *showList3;
    QProgressBar *Gauge1;
    QSlider *TBar1;  // the wanted volume, 0..255

    // Pop-up menus and their items.
    QMenu *PopMenu1;
    QAction *AddtomyVexa2;
    QAction *Recordschedule1;
    QAction *Realtimerecordsetup1;
    QAction *Visitstationwebsite2;
    QAction *Stationupdate1;
    QAction *Contactus2;
    QAction *LinktoVexa1;
    QAction *Startwiththedesktop1;  // checked: the autostart entry exists
    QAction *Language1;
    QAction *AboutVexaRadioPlayer2;
    QAction *Exit3;
    QMenu *PopMenu2;
    QAction *Location2;
    QAction *Genre2;
    QAction *MyVexa2;
    QAction *Exitlist1;

Q_SIGNALS:
    void playClicked();
    void stopClicked();  // the stop routine
    void pauseClicked();
    void recordClicked();
    void recordStopClicked();
    void memoryClicked(int slot);  // 1..10
    void memoryHovered(int slot);  // 1..10, every pointer move
    void memoryPrevClicked();
    void memoryNextClicked();
    void favouriteNextClicked();         // btnFavNext, btnNext
    void memoryHighlightClearClicked();  // Button3
    void setModeClicked();               // picMem
    void muteClicked();                  // picVol
    void volumePlusClicked();
    void volumeMinusClicked();
    void volumeThumbPressed(const QPoint &pos);
    void volumeThumbMoved(const QPoint &pos);
    void volumeThumbReleased(const QPoint &pos);
    void volumeTrackPressed(const QPoint &pos);
    void speakerOffClicked();     // SpeedButton2
    void directoryLinkClicked();  // Label1
    void showLocationClicked();
    void showGenreClicked();
    void minimised();  // now hidden in the notification area
    void closing();    // FormClose: data sets closed, stop routine run

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void buildControls();
    void buildOffSkinControls();
    void buildMenus();
    void applyShape();
    QVector<QAction *> menuItems() const;

    MainShell &m_shell;
    bool m_placed = false;
};
