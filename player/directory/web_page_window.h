#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QStatusBar;
class WebBrowser;
class WebBrowserFactory;

// The web page window: an ordinary resizable window showing one directory
// page (contact page, member logon).
class TForm_myvexa : public QWidget
{
    Q_OBJECT
public:
    explicit TForm_myvexa(WebBrowserFactory &browsers, QWidget *parent = nullptr);
    ~TForm_myvexa() override;

    // Loads the page and shows the window (brought to the front when it
    // is already shown).
    void openPage(const QString &url);

    QWidget *Web1 = nullptr;
    QLabel *Panel1;
    QStatusBar *StatusBar1;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void ensureBrowser();
    void layoutPage();

    WebBrowserFactory &m_browsers;
    std::unique_ptr<WebBrowser> m_browser;
    bool m_placed = false;
};
