#include "directory/directory_integration.h"

#include <QUrl>

#include "directory/station_list.h"
#include "platform/clock.h"
#include "platform/external_browser.h"
#include "platform/message_boxes.h"
#include "platform/regional_format.h"
#include "core/main_state.h"
#include "core/playback.h"

namespace DirectoryAddress {

QString listPrefix(const QString &languageCode)
{
    if (languageCode == QLatin1String("1"))
        return QStringLiteral("ap/");
    if (languageCode == QLatin1String("2"))
        return QStringLiteral("apbig5/");
    if (languageCode == QLatin1String("3"))
        return QStringLiteral("apgb/");
    return QString();
}

QString sitePrefix(const QString &languageCode)
{
    if (languageCode == QLatin1String("1"))
        return QStringLiteral("english/");
    if (languageCode == QLatin1String("2"))
        return QStringLiteral("big5/");
    if (languageCode == QLatin1String("3"))
        return QStringLiteral("gb/");
    return QString();
}

namespace {
QString withPrefix(const QString &base, const QString &prefix, const QString &page)
{
    return prefix.isEmpty() ? QString() : base + prefix + page;
}
QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}
}  // namespace

QString locationList(const QString &base, const QString &code)
{
    return withPrefix(base, listPrefix(code), QStringLiteral("location.asp"));
}

QString genreList(const QString &base, const QString &code)
{
    return withPrefix(base, listPrefix(code), QStringLiteral("genre.asp"));
}

QString stationPage(const QString &base, const QString &stationId)
{
    return base + QStringLiteral("ap/lisradio.asp?radioid=") + stationId;
}

QString myVexa(const QString &base, const QString &code)
{
    return withPrefix(base, sitePrefix(code), QStringLiteral("main1.asp"));
}

QString addToMyVexa(const QString &base, const QString &code, const QString &stationId)
{
    return withPrefix(base, sitePrefix(code), QStringLiteral("addmyfav.asp?radioid=") + stationId);
}

QString contact(const QString &base, const QString &code)
{
    return withPrefix(base, sitePrefix(code), QStringLiteral("contact1.asp"));
}

QString memberLogon(const QString &base)
{
    return base + QStringLiteral("/AP/memberlogon.asp");
}

QString scheduleIndex(const QString &base, const QString &code)
{
    return withPrefix(base, sitePrefix(code), QStringLiteral("indexap.asp"));
}

QString stationUpdate(const QString &base, const QString &code, const QString &station, const QString &location,
                      const QString &genre, const QString &radioUrl, const QString &website)
{
    const QString prefix = listPrefix(code);
    if (prefix.isEmpty())
        return QString();
    // Values come from directory pages: encoded, so that "&", "#" or "="
    // in a name cannot break or extend the query.
    return base + QLatin1Char('/') + prefix + QStringLiteral("radioupdate.asp") + QStringLiteral("?station=")
        + encoded(station) + QStringLiteral("&location=") + encoded(location) + QStringLiteral("&genre=")
        + encoded(genre) + QStringLiteral("&radiourl=") + encoded(radioUrl) + QStringLiteral("&website=")
        + encoded(website);
}

}  // namespace DirectoryAddress

const QStringList &DirectoryIntegration::stationElementNames()
{
    static const QStringList names = {
        QStringLiteral(":body"),    QStringLiteral("Edit"),    QStringLiteral("rname"),
        QStringLiteral("location"), QStringLiteral("genre"),   QStringLiteral("website"),
        QStringLiteral("rate"),     QStringLiteral("radioid"), QStringLiteral("rurl"),
    };
    return names;
}

DirectoryIntegration::DirectoryIntegration(MainState &state, Playback &playback, WebBrowserFactory &browsers,
                                           ExternalBrowser &externalBrowser, MessageBoxes &messages, Clock &clock,
                                           const RegionalFormat &regional, QObject *parent)
    : QObject(parent),
      m_state(state),
      m_playback(playback),
      m_browsers(browsers),
      m_external(externalBrowser),
      m_messages(messages),
      m_clock(clock),
      m_regional(regional)
{
}

DirectoryIntegration::~DirectoryIntegration() = default;

WebBrowser &DirectoryIntegration::stationBrowser()
{
    if (!m_web1) {
        m_web1 = m_browsers.create(nullptr);
        // Every navigation first ends the station that plays (with its
        // listening report when due).
        connect(m_web1.get(), &WebBrowser::beforeNavigate, this, [this] { m_playback.beforeDirectoryNavigation(); });
        connect(m_web1.get(), &WebBrowser::documentComplete, this, &DirectoryIntegration::onStationPageComplete);
    }
    return *m_web1;
}

void DirectoryIntegration::loadStationPage(const QString &stationId)
{
    stationBrowser().navigate(DirectoryAddress::stationPage(m_state.directoryBaseUrl, stationId));
}

void DirectoryIntegration::onStationPageComplete()
{
    // Each completion (frames included) runs all steps with the values
    // read in one round trip. The page's address is taken now: by the time
    // the values arrive the browser may already be on the next page.
    const QString pageUrl = stationBrowser().locationUrl();
    stationBrowser().readElements(stationElementNames(), [this, pageUrl](const WebBrowser::ElementValues &values) {
        applyStationPage(values, pageUrl);
    });
}

void DirectoryIntegration::openInBrowser(const QString &url)
{
    // Without a browser the command would otherwise do nothing visible.
    if (!m_external.open(url))
        m_messages.error(translate(QStringLiteral("Error")),
                         translate(QStringLiteral("No web browser could be started for %1")).arg(url));
}

void DirectoryIntegration::setVisitWebsiteEnabled(bool enabled)
{
    if (enabled == m_visitWebsiteEnabled)
        return;
    m_visitWebsiteEnabled = enabled;
    Q_EMIT visitWebsiteEnabledChanged(enabled);
}

void DirectoryIntegration::applyStationPage(const WebBrowser::ElementValues &values, const QString &pageUrl)
{
    // 1. Without a document body nothing else runs.
    if (!values.contains(QStringLiteral(":body")))
        return;
    // 2.
    m_state.stationPageUrl.clear();
    m_state.listenStartTime = m_regional.dateTimeText(m_clock.now());
    // 3. Emptied first; a page without "Edit" leaves it empty and the menu
    // item as it was.
    m_state.stationWebsite.clear();
    if (values.contains(QStringLiteral("Edit"))) {
        m_state.stationWebsite = values.value(QStringLiteral("Edit"));
        setVisitWebsiteEnabled(!m_state.stationWebsite.isEmpty());
    }
    // 4.
    if (values.contains(QStringLiteral("rname")))
        m_state.setStationName(values.value(QStringLiteral("rname")));
    // 5. Each field on its own; a missing element keeps the previous value.
    const struct
    {
        const char *name;
        QString MainState::*field;
    } fields[] = {
        {"location", &MainState::stationLocation}, {"genre", &MainState::stationGenre},
        {"website", &MainState::stationWebUrl},    {"rate", &MainState::stationRate},
        {"radioid", &MainState::stationId},
    };
    for (const auto &f : fields) {
        const QString name = QString::fromLatin1(f.name);
        if (values.contains(name))
            m_state.*(f.field) = values.value(name);
    }
    // 6. Without "rurl" nothing plays and stationPageUrl stays empty.
    if (values.contains(QStringLiteral("rurl"))) {
        m_state.stationStreamUrl = values.value(QStringLiteral("rurl"));
        m_playback.startStation(m_state.stationStreamUrl);
        m_state.stationPageUrl = pageUrl;
    }
    // 7.
    Q_EMIT memoryPicturesResetRequested();
    Q_EMIT stationPageApplied();
}

void DirectoryIntegration::openLocation()
{
    if (m_stationList)
        m_stationList->open(StationList::Listen, StationList::LocationTitle,
                            DirectoryAddress::locationList(m_state.directoryBaseUrl, m_state.languageCode),
                            StationList::FromMain);
}

void DirectoryIntegration::openGenre()
{
    if (m_stationList)
        m_stationList->open(StationList::Listen, StationList::GenreTitle,
                            DirectoryAddress::genreList(m_state.directoryBaseUrl, m_state.languageCode),
                            StationList::FromMain);
}

void DirectoryIntegration::myVexa()
{
    const QString url = DirectoryAddress::myVexa(m_state.directoryBaseUrl, m_state.languageCode);
    if (!url.isEmpty() && ExternalBrowser::isWebAddress(url))
        openInBrowser(url);
    // Only the player stops: no elapsed-time reset and no report here.
    m_playback.stopPlayerOnly();
    Q_EMIT memoryPicturesResetRequested();
}

void DirectoryIntegration::addToMyVexa()
{
    if (m_state.stationPageUrl.isEmpty())
        return;
    const int n = (m_state.directoryBaseUrl + QStringLiteral("ap/")).size();
    const QString rest = m_state.stationPageUrl.mid(n, 100);
    if (!rest.startsWith(QStringLiteral("lisradio.asp"))) {
        m_messages.information(translate(QStringLiteral("Message")),
                               translate(QStringLiteral("The radio is already exist.")));
        return;
    }
    // After "lisradio.asp?radioid=" (21 characters). The id is a page
    // value: encoded so that it stays one query value.
    const QString id = rest.mid(21, 100);
    const QString url = DirectoryAddress::addToMyVexa(m_state.directoryBaseUrl, m_state.languageCode,
                                                      QString::fromLatin1(QUrl::toPercentEncoding(id)));
    if (ExternalBrowser::isWebAddress(url))
        openInBrowser(url);
}

void DirectoryIntegration::visitStationWebsite()
{
    // The address comes from a directory page: only web addresses leave
    // the player.
    if (!m_state.stationWebsite.isEmpty() && ExternalBrowser::isWebAddress(m_state.stationWebsite))
        openInBrowser(m_state.stationWebsite);
}

void DirectoryIntegration::stationUpdate()
{
    const bool haveStation = !m_state.stationWebsite.isEmpty();
    const QString url = DirectoryAddress::stationUpdate(
        m_state.directoryBaseUrl, m_state.languageCode, haveStation ? m_state.stationName() : QString(),
        haveStation ? m_state.stationLocation : QString(), haveStation ? m_state.stationGenre : QString(),
        haveStation ? m_state.stationWebsite : QString(), haveStation ? m_state.stationWebUrl : QString());
    Q_EMIT stationUpdateRequested(url);
}

void DirectoryIntegration::contactUs()
{
    Q_EMIT webPageRequested(DirectoryAddress::contact(m_state.directoryBaseUrl, m_state.languageCode));
}

void DirectoryIntegration::linkToVexa()
{
    if (ExternalBrowser::isWebAddress(m_state.directoryBaseUrl))
        openInBrowser(m_state.directoryBaseUrl);
}
