#include "directory/station_list_window.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include "directory/right_button_filter.h"
#include "directory/station_list.h"
#include "directory/window_dock.h"
#include "directory/window_skin.h"
#include "platform/web_browser.h"

namespace {
const QRect kWebRect(10, 40, 390, 417);
}

TForm_location::TForm_location(StationList &list, WebBrowserFactory &browsers, const QString &programDir,
                               QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_list(list),
      m_browsers(browsers)
{
    setObjectName(QStringLiteral("TForm_location"));
    setWindowTitle(QStringLiteral("Vexa Radio - PLAYLIST"));
    RightButtonFilter::installOnce();

    const QImage skin = WindowSkin::load(programDir, QStringLiteral("pic/location.bmp"), QSize(kWidth, kHeight));
    Image1 = new QLabel(this);
    Image1->setTextFormat(Qt::PlainText);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap::fromImage(skin));
    Image1->setGeometry(0, 0, skin.width(), skin.height());
    Image1->installEventFilter(this);
    setFixedSize(skin.size());
    setMask(WindowSkin::shape(skin));

    Label1 = new QLabel(this);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont title(QStringLiteral("Arial"));
    title.setBold(true);
    title.setPixelSize(13);
    Label1->setFont(title);
    Label1->setStyleSheet(QStringLiteral("color: rgb(244, 247, 251); background: transparent;"));
    Label1->move(144, 8);
    Label1->resize(230, 18);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(384, 8, 17, 17);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setIcon(QPixmap::fromImage(WindowSkin::closeButton()));
    SpeedButton1->setIconSize(QSize(17, 17));
    SpeedButton1->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(SpeedButton1, &QToolButton::clicked, this, &QWidget::hide);

    Panel1 = new QLabel(QStringLiteral("Connecting ..."), this);
    Panel1->setTextFormat(Qt::PlainText);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setStyleSheet(QStringLiteral("background: rgb(243, 245, 249); color: rgb(70, 82, 106);"));
    Panel1->setGeometry(kWebRect);

    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(8, 464, 393, 17);
    Gauge1->setRange(0, StationList::kGaugeMax);
    Gauge1->setTextVisible(false);
    Gauge1->setStyleSheet(
        QStringLiteral("QProgressBar { background: rgb(174, 164, 127); border: 1px solid rgb(14, 18, 26); }"
                       "QProgressBar::chunk { background: rgb(255, 214, 0); }"));
    Gauge1->hide();

    m_list.setBrowserMaker([this] { ensureBrowser(); });
    connect(&m_list, &StationList::titleChanged, Label1, &QLabel::setText);
    connect(&m_list, &StationList::showRequested, this, [this] {
        show();
        raise();
    });
    connect(&m_list, &StationList::hideRequested, this, &QWidget::hide);
    connect(&m_list, &StationList::gaugeChanged, this, [this](bool visible, int position) {
        Gauge1->setValue(position);
        Gauge1->setVisible(visible);
    });
    connect(&m_list, &StationList::panelHidden, Panel1, &QWidget::hide);
}

TForm_location::~TForm_location() = default;

void TForm_location::ensureBrowser()
{
    if (m_browser)
        return;
    m_browser = m_browsers.create(this);
    Web1 = m_browser->widget();
    if (Web1) {
        Web1->setGeometry(kWebRect);
        Web1->lower();
        Image1->lower();
    }
    m_list.setBrowser(m_browser.get());
}

void TForm_location::showEvent(QShowEvent *event)
{
    ensureBrowser();
    // Docks beside the main window, top edges aligned, each time it goes
    // from hidden to shown: on the right where it fits on the screen, else
    // on the left, else as close as fits.
    if (m_anchor) {
        const QScreen *screen = m_anchor->screen();
        const QRect area = screen ? screen->availableGeometry() : QRect();
        const QRect anchor = m_anchor->frameGeometry();
        move(area.isEmpty() ? QPoint(anchor.right() + 1, anchor.top()) : dockBeside(anchor, size(), area));
    }
    if (Web1)
        Web1->setGeometry(kWebRect);
    QWidget::showEvent(event);
}

bool TForm_location::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate && m_translate)
        Label1->setText(m_translate(Label1->text()));
    return QWidget::event(event);
}

bool TForm_location::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
