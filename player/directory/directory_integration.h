#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "platform/web_browser.h"

class Clock;
class ExternalBrowser;
class MainState;
class MessageBoxes;
class Playback;
class RegionalFormat;
class StationList;

// Addresses of the directory site. Each is the base address followed by a
// page path; the language number ("1", "2", "3") picks the path prefix, and
// any other number gives an empty address.
namespace DirectoryAddress {
QString listPrefix(const QString &languageCode);  // "ap/", "apbig5/", "apgb/"
QString sitePrefix(const QString &languageCode);  // "english/", "big5/", "gb/"
QString locationList(const QString &base, const QString &languageCode);
QString genreList(const QString &base, const QString &languageCode);
QString stationPage(const QString &base, const QString &stationId);
QString myVexa(const QString &base, const QString &languageCode);
QString addToMyVexa(const QString &base, const QString &languageCode, const QString &stationId);
QString contact(const QString &base, const QString &languageCode);
QString memberLogon(const QString &base);
QString scheduleIndex(const QString &base, const QString &languageCode);
// Station update form with its query ("?station=…&location=…&genre=…
// &radiourl=…&website=…"), each value percent-encoded.
QString stationUpdate(const QString &base, const QString &languageCode, const QString &station, const QString &location,
                      const QString &genre, const QString &radioUrl, const QString &website);
}  // namespace DirectoryAddress

// The main window's side of the directory: the hidden station browser
// `Web1` and its station page handling, and the menu commands that lead to
// directory pages.
class DirectoryIntegration : public QObject
{
    Q_OBJECT
public:
    // Elements of a station page, in the order they are read. ":body" asks
    // the browser whether the document has a body (and hides its scroll bars).
    static const QStringList &stationElementNames();

    DirectoryIntegration(MainState &state, Playback &playback, WebBrowserFactory &browsers,
                         ExternalBrowser &externalBrowser, MessageBoxes &messages, Clock &clock,
                         const RegionalFormat &regional, QObject *parent = nullptr);
    ~DirectoryIntegration() override;

    // Text lookup for the messages this class shows (identity by default).
    void setTranslator(std::function<QString(const QString &)> translate) { m_translate = std::move(translate); }
    // The station list window's logic, for Location and Genre.
    void setStationList(StationList *list) { m_stationList = list; }

    // Loads base + "ap/lisradio.asp?radioid=" + id into `Web1`.
    void loadStationPage(const QString &stationId);
    // `Web1`, made on first use (the web engine starts late on purpose).
    WebBrowser &stationBrowser();

    // Commands of the menus.
    void openLocation();
    void openGenre();
    void myVexa();
    void addToMyVexa();
    void visitStationWebsite();
    void stationUpdate();
    void contactUs();
    void linkToVexa();

    bool visitWebsiteEnabled() const { return m_visitWebsiteEnabled; }

    // Station page completion with the values read from the page at
    // `pageUrl` (names absent from the map were not found). Public for tests.
    void applyStationPage(const WebBrowser::ElementValues &values, const QString &pageUrl);

Q_SIGNALS:
    void visitWebsiteEnabledChanged(bool enabled);
    // The ten memory-station buttons go back to their normal pictures.
    void memoryPicturesResetRequested();
    // Load into the station update window and show it.
    void stationUpdateRequested(const QString &url);
    // Load into the web page window `TForm_myvexa` and show it.
    void webPageRequested(const QString &url);
    // A station page completed and its steps ran.
    void stationPageApplied();

private:
    // Hands a checked web address to the system's browser; tells the user
    // when none could be started.
    void openInBrowser(const QString &url);
    void setVisitWebsiteEnabled(bool enabled);
    void onStationPageComplete();
    QString translate(const QString &text) const { return m_translate ? m_translate(text) : text; }

    MainState &m_state;
    Playback &m_playback;
    WebBrowserFactory &m_browsers;
    ExternalBrowser &m_external;
    MessageBoxes &m_messages;
    Clock &m_clock;
    const RegionalFormat &m_regional;
    StationList *m_stationList = nullptr;
    std::unique_ptr<WebBrowser> m_web1;
    std::function<QString(const QString &)> m_translate;
    bool m_visitWebsiteEnabled = false;
};
