#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "platform/web_browser.h"

// The station list window's logic (`TForm_location`): who opened it and
// what a pick does, the loading gauge and the "Connecting ..." panel. The
// pages do the browsing; a completed page names the picked station in the
// elements "Edit" (id), "Edit2" (name) and "Edit1" (stream address).
class StationList : public QObject
{
    Q_OBJECT
public:
    enum Mode { Listen, Schedule };        // pickMode "listen" / "schedule"
    enum Origin { FromMain, FromRecord };  // pickOrigin "main" / "record"
    enum Title { LocationTitle, GenreTitle };
    static constexpr int kGaugeMax = 1000000;

    explicit StationList(QObject *parent = nullptr);

    // The browser of the window; set once by the window when it makes it.
    void setBrowser(WebBrowser *browser);
    WebBrowser *browser() const { return m_browser; }
    // Called by open() while no browser is set (the window makes it late).
    void setBrowserMaker(std::function<void()> make) { m_makeBrowser = std::move(make); }

    // Opening: mode, title, the list address, origin, then show.
    void open(Mode mode, Title title, const QString &url, Origin origin);

    QString pickMode() const { return m_mode == Listen ? QStringLiteral("listen") : QStringLiteral("schedule"); }
    QString pickOrigin() const { return m_origin == FromMain ? QStringLiteral("main") : QStringLiteral("record"); }
    Mode mode() const { return m_mode; }
    Origin origin() const { return m_origin; }
    QString pickedStationId() const { return m_pickedStationId; }
    QString title() const { return m_title; }
    bool gaugeVisible() const { return m_gaugeVisible; }
    int gaugePosition() const { return m_gaugePosition; }
    bool panelVisible() const { return m_panelVisible; }

    // Completion with the values read from the page (public for tests).
    void applyListPage(const WebBrowser::ElementValues &values);

Q_SIGNALS:
    void titleChanged(const QString &title);
    void showRequested();
    void hideRequested();
    void gaugeChanged(bool visible, int position);
    void panelHidden();
    // Listen mode: load this station's page into the main window.
    void stationPicked(const QString &stationId);
    // Every mode: the schedule editor's name box and stationAddress.
    void scheduleNameRead(const QString &name);
    void scheduleAddressRead(const QString &address);

private:
    void setGauge(bool visible, int position);
    void setPickedStationId(const QString &id);

    WebBrowser *m_browser = nullptr;
    std::function<void()> m_makeBrowser;
    Mode m_mode = Listen;
    Origin m_origin = FromMain;
    QString m_title;
    QString m_pickedStationId = QStringLiteral("0");
    bool m_gaugeVisible = false;
    int m_gaugePosition = 0;
    bool m_panelVisible = true;
};
