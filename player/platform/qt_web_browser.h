#pragma once

#include "platform/web_browser.h"

class QWebEnginePage;
class QWebEngineView;

// An embedded browser on Qt WebEngine. A browser made with a parent widget
// has a view to put into a window; one made without is never shown.
//
// readElements also answers the reserved name ":body": present when the
// document has a body, whose overflow it then sets to hidden (the station
// page handling needs both).
class QtWebBrowser final : public WebBrowser
{
    Q_OBJECT
public:
    explicit QtWebBrowser(QWidget *parentWidget);
    ~QtWebBrowser() override;

    void navigate(const QString &url) override;
    QString locationUrl() const override;
    void readElements(const QStringList &names, ElementsRead done) override;
    QWidget *widget() override;

private:
    friend class QtWebBrowserPage;
    void onNavigationRequest(const QUrl &url, bool typed);

    QWebEngineView *m_view;
    QWebEnginePage *m_page;
    bool m_shown;
    bool m_navigatePending = false;
};

class QtWebBrowserFactory final : public WebBrowserFactory
{
public:
    std::unique_ptr<WebBrowser> create(QWidget *parentWidget) override;

    // Call before the application object exists. The web engine aborts the
    // whole program when it runs as root with its sandbox on, so for root
    // the sandbox is switched off (other users keep it). Web views are
    // composed in software, without OpenGL.
    static void prepareEnvironment();
};
