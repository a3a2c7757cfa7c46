#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class Notifier;

// What the user hears of scheduled recordings while the player may sit in
// the notification area: a notification when one starts, when its file is
// complete (with the file's name and size) and when one fails (with the
// reason); and, while any runs, a tip over the notification icon that
// names them.
class RecordingNotices : public QObject
{
    Q_OBJECT
public:
    // A text built in code, from its English wording to the interface
    // language; none leaves the English.
    using Translate = std::function<QString(const QString &english)>;

    // `normalTip` is the icon's tip while no recording runs.
    RecordingNotices(Notifier &notifier, QString normalTip, Translate translate = {}, QObject *parent = nullptr);

    // The icon's tip now.
    QString tip() const;

    // A file size for people: "512 bytes", "1.5 kB", "12.3 MB" (powers of
    // 1000, one decimal).
    static QString sizeText(qint64 bytes);

public Q_SLOTS:
    void recordingStarted(const QString &entryName, const QString &filePath);
    void recordingFinished(const QString &entryName, const QString &filePath, qint64 bytes);
    void recordingFailed(const QString &entryName, const QString &reason);

Q_SIGNALS:
    // The notification icon's tip changed.
    void tipChanged(const QString &tip);

private:
    struct Running
    {
        QString name;
        QString path;  // the recorder's output path, before its extension
    };

    QString tr(const QString &english) const;
    // Ends the running recording `filePath` came from (or, failing that,
    // the first of that name).
    void ended(const QString &entryName, const QString &filePath);

    Notifier &m_notifier;
    QString m_normalTip;
    Translate m_translate;
    QVector<Running> m_running;
};
