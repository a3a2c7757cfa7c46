#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QToolButton;
class WebBrowser;
class WebBrowserFactory;

// The station update window: skinned and borderless, centred on the
// desktop, showing the directory's station update form.
class TForm_radioUpdate : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 488;

    TForm_radioUpdate(WebBrowserFactory &browsers, const QString &programDir, QWidget *parent = nullptr);
    ~TForm_radioUpdate() override;

    // Loads the page and shows the window.
    void openPage(const QString &url);

    QLabel *Image1;
    QLabel *Label1;
    QToolButton *SpeedButton1;
    QWidget *Web1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ensureBrowser();

    WebBrowserFactory &m_browsers;
    std::unique_ptr<WebBrowser> m_browser;
};
