#pragma once

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "core/skin_art.h"
#include "store/store.h"

// A temporary program folder: rd.d as the build ships it, the skin
// pictures in pic/, and an empty radiorecord/.
class ProgramFolder
{
public:
    explicit ProgramFolder(bool withStore = true)
    {
        QDir dir(m_dir.path());
        dir.mkpath(QStringLiteral("pic"));
        dir.mkpath(QStringLiteral("radiorecord"));
        for (const QString &name : SkinArt::fileNames())
            SkinArt::picture(name).save(dir.filePath(QStringLiteral("pic/") + name), "BMP");
        if (withStore) {
            QString error;
            if (!Store::create(storeFile(), &error))
                qFatal("cannot make rd.d: %s", qPrintable(error));
        }
    }

    QString path() const { return m_dir.path(); }
    QString storeFile() const { return Store::fileIn(m_dir.path()); }
    QString picFile(const QString &name) const { return m_dir.path() + QStringLiteral("/pic/") + name; }

    // Runs statements on rd.d through a connection of its own.
    void sql(const QStringList &statements) const
    {
        Store store;
        if (!store.open(storeFile()))
            qFatal("cannot open rd.d");
        QSqlQuery query(store.database());
        for (const QString &statement : statements) {
            if (!query.exec(statement))
                qFatal("statement failed: %s", qPrintable(statement));
        }
    }

    QVariant value(const QString &statement) const
    {
        Store store;
        if (!store.open(storeFile()))
            return QVariant();
        QSqlQuery query(store.database());
        if (!query.exec(statement) || !query.next())
            return QVariant();
        return query.value(0);
    }

private:
    QTemporaryDir m_dir;
};

// Runs `action` on the next modal window once it is up (checked every
// 10 ms, for at most `timeoutMs`). Used to answer dialogs that a step
// opens with exec().
inline void whenModal(std::function<void(QWidget *)> action, int timeoutMs = 5000)
{
    // Owned by the application, so a wait still pending when the tests end
    // goes with it.
    auto *timer = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, action, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        *waited += 10;
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(modal);
        } else if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}
