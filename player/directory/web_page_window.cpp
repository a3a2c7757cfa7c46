#include "directory/web_page_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>

#include "platform/web_browser.h"

TForm_myvexa::TForm_myvexa(WebBrowserFactory &browsers, QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_browsers(browsers)
{
    setObjectName(QStringLiteral("TForm_myvexa"));
    setWindowTitle(QStringLiteral("Form_myvexa"));
    // 779 x 588 outside; the frame is the window manager's.
    resize(763, 549);

    Panel1 = new QLabel(QStringLiteral("Connecting ..."), this);
    Panel1->setTextFormat(Qt::PlainText);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setStyleSheet(QStringLiteral("background: white;"));
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    layoutPage();
}

TForm_myvexa::~TForm_myvexa() = default;

void TForm_myvexa::ensureBrowser()
{
    if (m_browser)
        return;
    m_browser = m_browsers.create(this);
    Web1 = m_browser->widget();
    // The panel covers the page until the first document of the run.
    connect(m_browser.get(), &WebBrowser::documentComplete, Panel1, &QWidget::hide);
    layoutPage();
    Panel1->raise();
}

void TForm_myvexa::openPage(const QString &url)
{
    ensureBrowser();
    m_browser->navigate(url);
    if (!m_placed) {
        m_placed = true;
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect r = frameGeometry();
            r.moveCenter(screen->availableGeometry().center());
            move(r.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

void TForm_myvexa::layoutPage()
{
    const int barHeight = StatusBar1->sizeHint().height();
    const QRect page(0, 0, width(), height() - barHeight);
    StatusBar1->setGeometry(0, height() - barHeight, width(), barHeight);
    if (Web1)
        Web1->setGeometry(page);
    Panel1->setGeometry(page);
}

void TForm_myvexa::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutPage();
}
