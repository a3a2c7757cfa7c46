#include "directory/station_list.h"

StationList::StationList(QObject *parent) : QObject(parent) {}

void StationList::setBrowser(WebBrowser *browser)
{
    m_browser = browser;
    connect(browser, &WebBrowser::beforeNavigate, this, [this] { setGauge(true, 0); });
    connect(browser, &WebBrowser::progressChanged, this, [this](int progress, int) {
        // The browser's own maximum is not used; -1 (loading ended) shows 0.
        setGauge(m_gaugeVisible, qBound(0, progress, kGaugeMax));
    });
    connect(browser, &WebBrowser::documentComplete, this, [this] {
        m_browser->readElements({QStringLiteral("Edit"), QStringLiteral("Edit2"), QStringLiteral("Edit1")},
                                [this](const WebBrowser::ElementValues &values) { applyListPage(values); });
    });
}

void StationList::open(Mode mode, Title title, const QString &url, Origin origin)
{
    m_mode = mode;
    m_title = title == LocationTitle ? QStringLiteral("PLAYLIST - Location") : QStringLiteral("PLAYLIST - Genre");
    Q_EMIT titleChanged(m_title);
    if (!m_browser && m_makeBrowser)
        m_makeBrowser();
    if (m_browser)
        m_browser->navigate(url);
    m_origin = origin;
    Q_EMIT showRequested();
}

void StationList::setGauge(bool visible, int position)
{
    m_gaugeVisible = visible;
    m_gaugePosition = position;
    Q_EMIT gaugeChanged(visible, position);
}

void StationList::setPickedStationId(const QString &id)
{
    if (id == m_pickedStationId)
        return;
    m_pickedStationId = id;
    if (id != QLatin1String("0") && m_mode != Schedule)
        Q_EMIT stationPicked(id);
}

void StationList::applyListPage(const WebBrowser::ElementValues &values)
{
    if (values.contains(QStringLiteral("Edit")))
        setPickedStationId(values.value(QStringLiteral("Edit")));
    if (values.contains(QStringLiteral("Edit2"))) {
        const QString name = values.value(QStringLiteral("Edit2"));
        Q_EMIT scheduleNameRead(name);
        // The schedule editor closes the list once it has a station name.
        if (!name.isEmpty() && m_origin == FromRecord)
            Q_EMIT hideRequested();
    }
    if (values.contains(QStringLiteral("Edit1")))
        Q_EMIT scheduleAddressRead(values.value(QStringLiteral("Edit1")));
    setGauge(false, kGaugeMax);
    if (m_panelVisible) {
        m_panelVisible = false;
        Q_EMIT panelHidden();
    }
}
