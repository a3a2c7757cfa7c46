#include "platform/qt_web_browser.h"

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

class QtWebBrowserPage final : public QWebEnginePage
{
public:
    QtWebBrowserPage(QtWebBrowser *browser, QObject *parent) : QWebEnginePage(parent), m_browser(browser) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        Q_UNUSED(isMainFrame);
        m_browser->onNavigationRequest(url, type == NavigationTypeTyped);
        return true;
    }

private:
    QtWebBrowser *m_browser;
};

QtWebBrowser::QtWebBrowser(QWidget *parentWidget)
    : m_view(new QWebEngineView(parentWidget)),
      m_shown(parentWidget != nullptr)
{
    m_page = new QtWebBrowserPage(this, m_view);
    m_view->setPage(m_page);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    if (!m_shown)
        m_view->setAttribute(Qt::WA_DontShowOnScreen);

    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { Q_EMIT progressChanged(0, 1000000); });
    // The engine reports whole percent; the windows' gauges run to 1 000 000.
    connect(m_page, &QWebEnginePage::loadProgress, this,
            [this](int percent) { Q_EMIT progressChanged(percent * 10000, 1000000); });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool) {
        Q_EMIT progressChanged(-1, 1000000);
        Q_EMIT documentComplete(m_page->url().toString());
    });
}

QtWebBrowser::~QtWebBrowser()
{
    if (!m_shown)
        delete m_view;
}

void QtWebBrowser::onNavigationRequest(const QUrl &url, bool typed)
{
    // navigate() has already announced its own navigation.
    if (typed && m_navigatePending) {
        m_navigatePending = false;
        return;
    }
    Q_EMIT beforeNavigate(url.toString());
}

void QtWebBrowser::navigate(const QString &url)
{
    Q_EMIT beforeNavigate(url);
    m_navigatePending = true;
    m_page->load(QUrl(url));
}

QString QtWebBrowser::locationUrl() const
{
    return m_page->url().toString();
}

void QtWebBrowser::readElements(const QStringList &names, ElementsRead done)
{
    // One script for all names: the value of the first element, in document
    // order, whose name or id matches; names without such an element (or
    // whose element has no value) are left out.
    static const QString script = QStringLiteral(R"js(
(function (names) {
  var out = {};
  names.forEach(function (n) {
    if (n === ':body') {
      if (document.body) {
        document.body.style.overflowX = 'hidden';
        document.body.style.overflowY = 'hidden';
        out[n] = '';
      }
      return;
    }
    var q = CSS.escape(n);
    var e = document.querySelector('[name="' + q + '"],[id="' + q + '"]');
    if (e && typeof e.value === 'string') out[n] = e.value;
  });
  return JSON.stringify(out);
})(%1)
)js");
    const QString namesJson =
        QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(names)).toJson(QJsonDocument::Compact));
    QPointer<QtWebBrowser> self(this);
    m_page->runJavaScript(script.arg(namesJson), QWebEngineScript::ApplicationWorld,
                          [self, done](const QVariant &result) {
                              if (!self)
                                  return;
                              ElementValues values;
                              const QJsonObject obj = QJsonDocument::fromJson(result.toString().toUtf8()).object();
                              for (auto it = obj.begin(); it != obj.end(); ++it)
                                  values.insert(it.key(), it.value().toString());
                              done(values);
                          });
}

QWidget *QtWebBrowser::widget()
{
    return m_shown ? m_view : nullptr;
}

std::unique_ptr<WebBrowser> QtWebBrowserFactory::create(QWidget *parentWidget)
{
    return std::make_unique<QtWebBrowser>(parentWidget);
}

void QtWebBrowserFactory::prepareEnvironment()
{
#if defined(Q_OS_UNIX)
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
#endif
    // The windows are widgets and the directory's pages are plain: the web
    // views are composed in software and no OpenGL driver is loaded. A GL
    // context would map the system's driver into the player (on a machine
    // without a GPU, Mesa's software renderer with LLVM: about 30 MB of the
    // player's memory). Whoever wants GPU composition sets these variables.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
}
