#include "directory/station_update_window.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include "directory/window_skin.h"
#include "platform/web_browser.h"

namespace {
const QRect kWebRect(11, 40, 578, 417);
}

TForm_radioUpdate::TForm_radioUpdate(WebBrowserFactory &browsers, const QString &programDir, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      m_browsers(browsers)
{
    setObjectName(QStringLiteral("TForm_radioUpdate"));
    setWindowTitle(QStringLiteral("Vexa Radio - Station update"));
    const QImage skin = WindowSkin::load(programDir, QStringLiteral("pic/radioupdate.bmp"), QSize(kWidth, kHeight));
    Image1 = new QLabel(this);
    Image1->setTextFormat(Qt::PlainText);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap::fromImage(skin));
    Image1->setGeometry(0, 0, skin.width(), skin.height());
    Image1->installEventFilter(this);
    setFixedSize(skin.size());
    setMask(WindowSkin::shape(skin));

    Label1 = new QLabel(QStringLiteral("STATION UPDATE"), this);
    Label1->setTextFormat(Qt::PlainText);
    QFont title(QStringLiteral("Arial"));
    title.setBold(true);
    title.setPixelSize(13);
    Label1->setFont(title);
    Label1->setStyleSheet(QStringLiteral("color: rgb(244, 247, 251); background: transparent;"));
    Label1->setGeometry(16, 8, 300, 18);
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(573, 8, 17, 17);
    SpeedButton1->setIcon(QPixmap::fromImage(WindowSkin::closeButton()));
    SpeedButton1->setIconSize(QSize(17, 17));
    SpeedButton1->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(SpeedButton1, &QToolButton::clicked, this, &QWidget::hide);
}

TForm_radioUpdate::~TForm_radioUpdate() = default;

void TForm_radioUpdate::ensureBrowser()
{
    if (m_browser)
        return;
    m_browser = m_browsers.create(this);
    Web1 = m_browser->widget();
    if (Web1)
        Web1->setGeometry(kWebRect);
}

void TForm_radioUpdate::openPage(const QString &url)
{
    ensureBrowser();
    m_browser->navigate(url);
    if (!isVisible()) {
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect r = geometry();
            r.moveCenter(screen->availableGeometry().center());
            move(r.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void TForm_radioUpdate::showEvent(QShowEvent *event)
{
    if (Web1)
        Web1->setGeometry(kWebRect);
    QWidget::showEvent(event);
}

bool TForm_radioUpdate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
