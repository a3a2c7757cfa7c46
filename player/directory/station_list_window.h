#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QToolButton;
class StationList;
class WebBrowser;
class WebBrowserFactory;

// The station list window: skinned and borderless, docked to the right of
// the main window each time it is shown. Layout and wiring only; what a
// pick does is StationList's.
class TForm_location : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 411;
    static constexpr int kHeight = 489;

    TForm_location(StationList &list, WebBrowserFactory &browsers, const QString &programDir,
                   QWidget *parent = nullptr);
    ~TForm_location() override;

    // The window it docks beside (the main window).
    void setAnchor(QWidget *anchor) { m_anchor = anchor; }
    // Text lookup for the title at activation (identity by default).
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }
    // Makes the embedded browser now (after the main window's first paint).
    void ensureBrowser();

    QLabel *Image1;
    QLabel *Label1;
    QToolButton *SpeedButton1;
    QWidget *Web1 = nullptr;  // the browser's view, once made
    QLabel *Panel1;
    QProgressBar *Gauge1;

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    StationList &m_list;
    WebBrowserFactory &m_browsers;
    std::unique_ptr<WebBrowser> m_browser;
    QWidget *m_anchor = nullptr;
    std::function<QString(const QString &)> m_translate;
};
