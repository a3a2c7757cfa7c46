#include "shell/main_window.h"

#include <QAction>
#include <QBitmap>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QRegion>
#include <QScreen>
#include <QSlider>
#include <QToolButton>
#include <QWindow>

#include "platform/notification_icon.h"
#include "core/main_shell.h"
#include "core/skin_art.h"
#include "shell/skin_picture_widget.h"

namespace {

QFont labelFont(int pixelSize, bool bold = false, bool mono = false)
{
    QFont font;
    if (mono)
        font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("WenQuanYi Micro Hei Mono")});
    else
        font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QRect &geometry, const QString &colour, const QFont &font,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    // Station names, status texts and addresses come from pages, streams
    // and the store: never read as rich text (an <img> could name a device
    // or a fifo and hang or exhaust the player).
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; background: transparent; }").arg(colour));
    return label;
}

}  // namespace

TForm_main::TForm_main(MainShell &shell, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_shell(shell)
{
    setObjectName(QStringLiteral("Form_main"));
    setWindowTitle(QStringLiteral("Vexa Radio Player"));
    setWindowIcon(QIcon(QPixmap::fromImage(SkinArt::programIcon())));
    // The skin paints everything; the window draws no background of its own.
    setAttribute(Qt::WA_NoSystemBackground);
    setStyleSheet(QStringLiteral("TForm_main { background: white; }"));

    buildControls();
    buildOffSkinControls();
    buildMenus();
    if (NotificationIcon *tray = m_shell.platform().trayIcon)
        connect(tray, &NotificationIcon::doubleClicked, this, &TForm_main::showWindow);
    FormCreate();
}

void TForm_main::buildControls()
{
    Image1 = new SkinPicture(QStringLiteral("Image1"), SkinArt::picture(QStringLiteral("main.bmp")), this);
    Image1->move(0, 0);
    connect(Image1, &SkinPicture::pressed, this, [this](Qt::MouseButton button, const QPoint &) {
        // Drag the whole window by its skin; other buttons do nothing.
        if (button == Qt::LeftButton && windowHandle())
            windowHandle()->startSystemMove();
    });
    connect(Image1, &SkinPicture::moved, this, [this](const QPoint &) { hideNameStrip(); });
    connect(Image1, &SkinPicture::released, this, [this](Qt::MouseButton, const QPoint &) { RnameLabel->hide(); });

    Image2 = new SkinPicture(QStringLiteral("Image2"), SkinArt::picture(QStringLiteral("mini")), this);
    Image2->move(315, 6);
    Image2->setToolTip(QStringLiteral("Mini"));
    connect(Image2, &SkinPicture::clicked, this, &TForm_main::btnMiniClick);
    picClose = new SkinPicture(QStringLiteral("picClose"), SkinArt::picture(QStringLiteral("close")), this);
    picClose->move(336, 6);
    picClose->setToolTip(QStringLiteral("Close"));
    connect(picClose, &SkinPicture::clicked, this, &QWidget::close);

    time1 = makeLabel(this, QStringLiteral("time1"), QRect(245, 7, 64, 14), QStringLiteral("#c9d3e3"),
                      labelFont(11, false, true), Qt::AlignRight | Qt::AlignVCenter);
    time1->setText(QStringLiteral("00:00:00"));

    Label1 =
        makeLabel(this, QStringLiteral("Label1"), QRect(96, 30, 250, 16), QStringLiteral("#1a5fb4"), labelFont(11));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    const QFont timeFont = labelFont(12, true, true);
    const QString timeColour = QStringLiteral("#7fdcff");
    lisTime1 =
        makeLabel(this, QStringLiteral("lisTime1"), QRect(32, 64, 14, 15), timeColour, timeFont, Qt::AlignCenter);
    lisTime4 =
        makeLabel(this, QStringLiteral("lisTime4"), QRect(46, 64, 10, 15), timeColour, timeFont, Qt::AlignCenter);
    lisTime2 =
        makeLabel(this, QStringLiteral("lisTime2"), QRect(56, 64, 14, 15), timeColour, timeFont, Qt::AlignCenter);
    lisTime5 =
        makeLabel(this, QStringLiteral("lisTime5"), QRect(70, 64, 10, 15), timeColour, timeFont, Qt::AlignCenter);
    lisTime3 =
        makeLabel(this, QStringLiteral("lisTime3"), QRect(80, 64, 14, 15), timeColour, timeFont, Qt::AlignCenter);
    lisTime1->setText(QStringLiteral("00"));
    lisTime4->setText(QStringLiteral(":"));
    lisTime2->setText(QStringLiteral("00"));
    lisTime5->setText(QStringLiteral(":"));
    lisTime3->setText(QStringLiteral("00"));

    LabStatus =
        makeLabel(this, QStringLiteral("LabStatus"), QRect(104, 64, 233, 15), QStringLiteral("#ffd84a"), labelFont(11));
    LabRname = makeLabel(this, QStringLiteral("LabRname"), QRect(32, 83, 305, 19), QStringLiteral("#f4f7fb"),
                         labelFont(13, true));
    // Station names come from remote pages and the store: never markup.
    LabRname->setTextFormat(Qt::PlainText);
    // Under the station name, where the set-mode hint also appears (the
    // hint covers it while shown).
    LabNowPlaying = makeLabel(this, QStringLiteral("LabNowPlaying"), QRect(32, 101, 289, 16), QStringLiteral("#c9d3e3"),
                              labelFont(11));
    TntLabel3 =
        makeLabel(this, QStringLiteral("TntLabel3"), QRect(32, 100, 289, 16), QStringLiteral("#ff7373"), labelFont(11));
    TntLabel3->setText(QStringLiteral("Memory station . Press button 1 to 10  to set."));

    image31 = new SkinPicture(QStringLiteral("image31"), SkinArt::picture(QStringLiteral("recindicator")), this);
    image31->move(328, 96);

    picFavPrev = new SkinPicture(QStringLiteral("picFavPrev"), SkinArt::picture(QStringLiteral("favprev")), this);
    picFavPrev->move(16, 122);
    connect(picFavPrev, &SkinPicture::clicked, this, &TForm_main::memoryPrevClicked);
    for (int i = 0; i < 10; ++i) {
        const int slot = i + 1;
        picFav[i] = new SkinPicture(QStringLiteral("picFav%1").arg(slot),
                                    SkinArt::picture(QStringLiteral("picfav%1.bmp").arg(slot)), this);
        picFav[i]->move(44 + 28 * i, 122);
        picFav[i]->setAccessibleName(QString::number(slot));
        connect(picFav[i], &SkinPicture::clicked, this, [this, slot] { Q_EMIT memoryClicked(slot); });
        connect(picFav[i], &SkinPicture::moved, this, [this, slot](const QPoint &) { Q_EMIT memoryHovered(slot); });
    }
    picFavNext = new SkinPicture(QStringLiteral("picFavNext"), SkinArt::picture(QStringLiteral("favnext")), this);
    picFavNext->move(324, 122);
    connect(picFavNext, &SkinPicture::clicked, this, &TForm_main::memoryNextClicked);

    picMem = new SkinPicture(QStringLiteral("picMem"), SkinArt::picture(QStringLiteral("picmem.bmp")), this);
    picMem->move(216, 142);
    picMem->setAccessibleName(QStringLiteral("Memory station"));
    connect(picMem, &SkinPicture::clicked, this, &TForm_main::setModeClicked);
    picList = new SkinPicture(QStringLiteral("picList"), SkinArt::picture(QStringLiteral("piclist.bmp")), this);
    picList->move(264, 142);
    connect(picList, &SkinPicture::clicked, this, [this] { PopMenu2->popup(listMenuPosition()); });
    picMenu = new SkinPicture(QStringLiteral("picMenu"), SkinArt::picture(QStringLiteral("picmenu.bmp")), this);
    picMenu->move(310, 142);
    connect(picMenu, &SkinPicture::clicked, this, [this] { PopMenu1->popup(mainMenuPosition()); });

    auto transport = [this](const char *name, const char *art, int x, const char *hint) {
        auto *picture = new SkinPicture(QLatin1String(name), SkinArt::picture(QLatin1String(art)), this);
        picture->move(x, 150);
        picture->setToolTip(QLatin1String(hint));
        return picture;
    };
    picPlay = transport("picPlay", "play", 16, "Play");
    picStop = transport("picStop", "stop", 50, "Stop");
    picPulse = transport("picPulse", "pulse", 80, "Pulse");
    picRec = transport("picRec", "rec", 110, "Record");
    picRec2 = transport("picRec2", "rec2", 110, "Record");
    connect(picPlay, &SkinPicture::clicked, this, &TForm_main::playClicked);
    connect(picStop, &SkinPicture::clicked, this, &TForm_main::stopClicked);
    connect(picPulse, &SkinPicture::clicked, this, &TForm_main::pauseClicked);
    // Releasing the pause picture moves the name strip out of the shown
    // area; the next hover over a memory button brings it back.
    connect(picPulse, &SkinPicture::released, this,
            [this](Qt::MouseButton, const QPoint &) { RnameLabel->move(500, RnameLabel->y()); });
    connect(picRec, &SkinPicture::clicked, this, &TForm_main::recordClicked);
    connect(picRec2, &SkinPicture::clicked, this, &TForm_main::recordStopClicked);

    picVol = new SkinPicture(QStringLiteral("picVol"), SkinArt::picture(QStringLiteral("picvol1.bmp")), this);
    picVol->move(220, 162);
    connect(picVol, &SkinPicture::clicked, this, &TForm_main::muteClicked);
    picVolMain = new SkinPicture(QStringLiteral("picVolMain"), SkinArt::picture(QStringLiteral("volmain")), this);
    picVolMain->move(248, 168);
    connect(picVolMain, &SkinPicture::pressed, this, [this](Qt::MouseButton button, const QPoint &pos) {
        if (button == Qt::LeftButton)
            Q_EMIT volumeTrackPressed(pos);
    });
    picVolSub = new SkinPicture(QStringLiteral("picVolSub"), SkinArt::picture(QStringLiteral("volsub")), this);
    picVolSub->move(296, 162);
    connect(picVolSub, &SkinPicture::pressed, this, [this](Qt::MouseButton button, const QPoint &pos) {
        if (button == Qt::LeftButton)
            Q_EMIT volumeThumbPressed(pos);
    });
    connect(picVolSub, &SkinPicture::moved, this, &TForm_main::volumeThumbMoved);
    connect(picVolSub, &SkinPicture::released, this,
            [this](Qt::MouseButton, const QPoint &pos) { Q_EMIT volumeThumbReleased(pos); });

    RnameLabel = makeLabel(this, QStringLiteral("RnameLabel"), QRect(8, 190, 345, 16), QStringLiteral("#800000"),
                           labelFont(12, true), Qt::AlignCenter);
    RnameLabel->setTextFormat(Qt::PlainText);
    RnameLabel->hide();
}

void TForm_main::buildOffSkinControls()
{
    // A column of small buttons to the right of the standard skin.
    int row = 0;
    auto button = [this, &row](const QString &name) {
        auto *b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(name);
        b->setFont(labelFont(9));
        b->setGeometry(380 + (row / 10) * 80, 4 + (row % 10) * 18, 76, 16);
        ++row;
        return b;
    };
    btnClose = button(QStringLiteral("btnClose"));
    btnMini = button(QStringLiteral("btnMini"));
    btnMini2 = button(QStringLiteral("btnMini2"));
    btnMenu = button(QStringLiteral("btnMenu"));
    btnList = button(QStringLiteral("btnList"));
    btnPlay = button(QStringLiteral("btnPlay"));
    btnStop = button(QStringLiteral("btnStop"));
    btnPulse = button(QStringLiteral("btnPulse"));
    btnRec = button(QStringLiteral("btnRec"));
    btnRec2 = button(QStringLiteral("btnRec2"));
    btnPrev = button(QStringLiteral("btnPrev"));
    btnNext = button(QStringLiteral("btnNext"));
    btnFavPrev = button(QStringLiteral("btnFavPrev"));
    btnFavNext = button(QStringLiteral("btnFavNext"));
    for (int i = 0; i < 10; ++i) {
        const int slot = i + 1;
        btnFav[i] = button(QStringLiteral("btnFav%1").arg(slot));
        connect(btnFav[i], &QToolButton::clicked, this, [this, slot] { Q_EMIT memoryClicked(slot); });
    }
    volMute = button(QStringLiteral("volMute"));
    volPlus = button(QStringLiteral("volPlus"));
    volM = button(QStringLiteral("volM"));
    SpeedButton2 = button(QStringLiteral("SpeedButton2"));
    Button3 = button(QStringLiteral("Button3"));
    Button3->hide();
    showLocation = button(QStringLiteral("showLocation"));
    showGenre = button(QStringLiteral("showGenre"));
    showList3 = button(QStringLiteral("showList3"));

    connect(btnClose, &QToolButton::clicked, this, &QWidget::close);
    connect(btnMini, &QToolButton::clicked, this, &TForm_main::btnMiniClick);
    connect(btnMini2, &QToolButton::clicked, this, &TForm_main::btnMiniClick);
    connect(btnMenu, &QToolButton::clicked, this, [this] { PopMenu1->popup(mainMenuPosition()); });
    connect(btnList, &QToolButton::clicked, this, [this] { PopMenu2->popup(listMenuPosition()); });
    connect(showList3, &QToolButton::clicked, this, [this] { PopMenu2->popup(listMenuPosition()); });
    connect(btnPlay, &QToolButton::clicked, this, &TForm_main::playClicked);
    connect(btnStop, &QToolButton::clicked, this, &TForm_main::stopClicked);
    connect(btnPulse, &QToolButton::clicked, this, &TForm_main::stopClicked);
    connect(btnRec, &QToolButton::clicked, this, &TForm_main::recordClicked);
    connect(btnRec2, &QToolButton::clicked, this, &TForm_main::recordStopClicked);
    connect(btnPrev, &QToolButton::clicked, this, &TForm_main::memoryPrevClicked);
    connect(btnFavPrev, &QToolButton::clicked, this, &TForm_main::memoryPrevClicked);
    connect(btnNext, &QToolButton::clicked, this, &TForm_main::favouriteNextClicked);
    connect(btnFavNext, &QToolButton::clicked, this, &TForm_main::favouriteNextClicked);
    connect(Button3, &QToolButton::clicked, this, &TForm_main::memoryHighlightClearClicked);
    connect(volPlus, &QToolButton::clicked, this, &TForm_main::volumePlusClicked);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm_main::speakerOffClicked);
    connect(volM, &QToolButton::clicked, this, &TForm_main::volumeMinusClicked);
    connect(showLocation, &QToolButton::clicked, this, &TForm_main::showLocationClicked);
    connect(showGenre, &QToolButton::clicked, this, &TForm_main::showGenreClicked);

    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(380, 190, 156, 12);
    TBar1 = new QSlider(Qt::Horizontal, this);
    TBar1->setObjectName(QStringLiteral("TBar1"));
    TBar1->setRange(0, 255);
    TBar1->setGeometry(540, 190, 100, 16);
    TBar1->hide();
}

void TForm_main::buildMenus()
{
    // Design captions are the Simplified Chinese keys of the phrase table;
    // activation replaces them by the current language's texts.
    PopMenu1 = new QMenu(this);
    PopMenu1->setObjectName(QStringLiteral("PopMenu1"));
    auto item = [](QMenu *menu, const char *name, const QString &caption) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    AddtomyVexa2 = item(PopMenu1, "AddtomyVexa2", QStringLiteral("加入到我的Vexa"));
    Recordschedule1 = item(PopMenu1, "Recordschedule1", QStringLiteral("录音排程"));
    // The capture setup sits beside the other recording command.
    Realtimerecordsetup1 = item(PopMenu1, "Realtimerecordsetup1", QStringLiteral("实时录音设置"));
    Visitstationwebsite2 = item(PopMenu1, "Visitstationwebsite2", QStringLiteral("浏览电台网站"));
    Visitstationwebsite2->setEnabled(false);
    Stationupdate1 = item(PopMenu1, "Stationupdate1", QStringLiteral("电台更新"));
    Contactus2 = item(PopMenu1, "Contactus2", QStringLiteral("联络我们"));
    LinktoVexa1 = item(PopMenu1, "LinktoVexa1", QStringLiteral("连结到Vexa"));
    Startwiththedesktop1 = item(PopMenu1, "Startwiththedesktop1", QStringLiteral("随桌面启动"));
    Startwiththedesktop1->setCheckable(true);
    Language1 = item(PopMenu1, "Language1", QStringLiteral("语系设定"));
    AboutVexaRadioPlayer2 = item(PopMenu1, "AboutVexaRadioPlayer2", QStringLiteral("关于 Vexa Radio Player"));
    PopMenu1->addSeparator();
    Exit3 = item(PopMenu1, "Exit3", QStringLiteral("离开菜单"));

    PopMenu2 = new QMenu(this);
    PopMenu2->setObjectName(QStringLiteral("PopMenu2"));
    Location2 = item(PopMenu2, "Location2", QStringLiteral("地区"));
    Genre2 = item(PopMenu2, "Genre2", QStringLiteral("类型"));
    MyVexa2 = item(PopMenu2, "MyVexa2", QStringLiteral("我的Vexa"));
    PopMenu2->addSeparator();
    Exitlist1 = item(PopMenu2, "Exitlist1", QStringLiteral("离开清单"));
}

QVector<QAction *> TForm_main::menuItems() const
{
    return {AddtomyVexa2,
            Recordschedule1,
            Realtimerecordsetup1,
            Visitstationwebsite2,
            Stationupdate1,
            Contactus2,
            LinktoVexa1,
            Startwiththedesktop1,
            Language1,
            AboutVexaRadioPlayer2,
            Exit3,
            Location2,
            Genre2,
            MyVexa2,
            Exitlist1};
}

void TForm_main::FormCreate()
{
    MainState &state = m_shell.state();
    state.setStationName(QString());
    state.stationLocation.clear();
    state.stationGenre.clear();
    state.setStatusText(QString());
    state.stationRate.clear();
    state.memberLogon.clear();
    LabRname->clear();
    LabStatus->clear();
    connect(&state, &MainState::stationNameChanged, LabRname, &QLabel::setText);
    connect(&state, &MainState::statusTextChanged, LabStatus, &QLabel::setText);
    Label1->setText(state.directoryBaseUrl);

    // No live recording and no set mode.
    btnRec->setEnabled(true);
    btnRec2->setEnabled(false);
    picRec2->hide();
    Gauge1->hide();
    TntLabel3->hide();
    image31->hide();

    // Skin pictures, as one step: the first file that cannot be loaded ends
    // it, and the controls not reached keep their design pictures.
    for (int i = 0; i < 10; ++i) {
        if (!picFav[i]->setPicture(m_shell.loadPicture(QStringLiteral("pic/picfav%1.bmp").arg(i + 1))))
            return;
    }
    Image1->setPicture(m_shell.loadPicture(QStringLiteral("pic/main.bmp")));
}

void TForm_main::FormShow()
{
    Image1->move(0, 0);
    resize(Image1->width(), kCompactHeight);
    RnameLabel->hide();
    applyShape();
    m_shell.showSteps();
}

void TForm_main::showWindow()
{
    // The show steps belong to the window becoming visible; a window that
    // is already on the screen (a tray double-click while shown) is only
    // brought to the front.
    if (isVisible() && !isMinimized()) {
        raise();
        activateWindow();
        return;
    }
    FormShow();
    if (!m_placed) {
        // Centred on the screen the first time it is shown.
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, kCompactHeight / 2));
        }
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void TForm_main::applyShape()
{
    const QImage skin = Image1->picture();
    if (skin.isNull())
        return;
    // createMaskFromColor's MaskInColor leaves the key colour's pixels out
    // of the region built from the bitmap: purple becomes see-through.
    const QImage mask =
        skin.convertToFormat(QImage::Format_RGB32).createMaskFromColor(SkinArt::kKeyColour, Qt::MaskInColor);
    setMask(QRegion(QBitmap::fromImage(mask)));
}

void TForm_main::FormActivate()
{
    // Per-language tab pictures; a picture that cannot be loaded ends this.
    const QStringList names = m_shell.languagePictureNames();
    SkinPicture *const tabs[] = {picMem, picList, picMenu};
    for (int i = 0; i < names.size(); ++i) {
        if (!tabs[i]->setPicture(m_shell.loadPicture(names.at(i))))
            break;
    }

    using InterfaceLanguage::TextSlot;
    QVector<TextSlot> textSlots;
    for (QAction *action : menuItems()) {
        textSlots.push_back({InterfaceLanguage::kMenuKey, [action] { return action->text(); },
                             [action](const QString &text) { action->setText(text); }});
    }
    textSlots.push_back({InterfaceLanguage::kEnglishKey, [this] { return TntLabel3->text(); },
                         [this](const QString &text) { TntLabel3->setText(text); }});
    for (SkinPicture *picture : {picPlay, picStop, picPulse, picRec, picRec2}) {
        textSlots.push_back({InterfaceLanguage::kEnglishKey, [picture] { return picture->toolTip(); },
                             [picture](const QString &text) { picture->setToolTip(text); }});
    }
    m_shell.translateWindowTexts(textSlots);
}

void TForm_main::btnMiniClick()
{
    m_shell.showNotificationIcon();
    NotificationIcon *tray = m_shell.platform().trayIcon;
    if (!tray || !tray->isShown()) {
        // No notification area to come back from: minimise in place rather
        // than hide the only way to reach the player.
        showMinimized();
        return;
    }
    hide();
    Q_EMIT minimised();
}

void TForm_main::resetMemoryPictures()
{
    Button3->click();
}

void TForm_main::showRecordingControls(bool recording)
{
    btnRec->setEnabled(!recording);
    btnRec2->setEnabled(recording);
    picRec->setVisible(!recording);
    picRec2->setVisible(recording);
}

QPoint TForm_main::mainMenuPosition() const
{
    return geometry().topLeft() + QPoint(305, 162);
}

QPoint TForm_main::listMenuPosition() const
{
    return geometry().topLeft() + QPoint(260, 162);
}

void TForm_main::showNameStrip(const QString &name)
{
    RnameLabel->setText(name);
    RnameLabel->move(8, RnameLabel->y());
    RnameLabel->show();
    resize(width(), Image1->height());
}

void TForm_main::emptyNameStrip()
{
    RnameLabel->clear();
    resize(width(), kCompactHeight);
}

void TForm_main::hideNameStrip()
{
    RnameLabel->hide();
    if (height() != kCompactHeight)
        resize(width(), kCompactHeight);
}

bool TForm_main::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TForm_main::closeEvent(QCloseEvent *event)
{
    m_shell.closeDataSets();
    Q_EMIT stopClicked();
    Q_EMIT closing();
    event->accept();
}

bool TForm_main::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton)
            Q_EMIT directoryLinkClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
