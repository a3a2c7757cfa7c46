#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

// An embedded web browser (`Web1`, `Web2`, the list window's browser...).
// Implemented with Qt WebEngine; tests use a fake that completes pages on
// cue and answers element reads from a table.
class WebBrowser : public QObject
{
    Q_OBJECT
public:
    using ElementValues = QMap<QString, QString>;
    using ElementsRead = std::function<void(const ElementValues &)>;

    using QObject::QObject;
    ~WebBrowser() override = default;

    virtual void navigate(const QString &url) = 0;
    // Address of the page shown (LocationURL).
    virtual QString locationUrl() const = 0;
    // Reads the `value` of the first element whose name or id is each of
    // `names`, in one round trip; names not found are absent from the map.
    // `done` runs later on the UI thread, never inside the call.
    virtual void readElements(const QStringList &names, ElementsRead done) = 0;
    // The view to put into a window; null for a browser that is never shown.
    virtual QWidget *widget() = 0;

Q_SIGNALS:
    // BeforeNavigate2: a navigation to `url` is about to start.
    void beforeNavigate(const QString &url);
    // ProgressChange: `progress` of `progressMax`; -1 when loading ends.
    void progressChanged(int progress, int progressMax);
    // DocumentComplete for the page at `url`.
    void documentComplete(const QString &url);
};

// Makes browsers on demand: the web engine is costly to start, so windows
// create their browsers after the main window's first paint.
class WebBrowserFactory
{
public:
    virtual ~WebBrowserFactory() = default;
    // `parentWidget` may be null for a browser that is never shown.
    virtual std::unique_ptr<WebBrowser> create(QWidget *parentWidget) = 0;
};
