#pragma once

#include <QFile>
#include <QMap>
#include <QSqlQuery>
#include <QStringList>

#include "fake_listening.h"
#include "fake_platform.h"
#include "player_fixture.h"
#include "core/main_state.h"
#include "core/playback.h"
#include "recording/recorder_control.h"
#include "recording/schedule_runner.h"
#include "store/schedule_table.h"
#include "store/store.h"

// A program folder with a store, the fakes, the schedule table and the
// runner over them. Times are en_US texts
// ("3/14/26", "10:00:00 AM"); the fake clock starts on Saturday 14 March
// 2026.
struct ScheduleRig
{
    ProgramFolder folder;
    FakePlatform platform;
    MainState state;
    FakeReportSender reports;
    Playback playback{state, platform.mediaPlayer, platform.clock, platform.regional, reports};
    Store store;
    ScheduleTable schedule{store};
    RecorderControl recorder{platform.processes, folder.path()};
    ScheduleRunner runner{store,          schedule,          state,        playback, platform.mediaPlayer, recorder,
                          platform.clock, platform.regional, folder.path()};

    ScheduleRig()
    {
        state.languageCode = QStringLiteral("1");
        if (!store.open(folder.storeFile()))
            qFatal("cannot open rd.d");
        schedule.load();
    }

    // Inserts an entry (column -> text) behind the table's back and
    // returns its idno; the table is read again.
    qint64 add(const QMap<QString, QString> &fields)
    {
        QStringList names;
        QStringList marks;
        for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
            names << it.key();
            marks << QStringLiteral("?");
        }
        QSqlQuery query(store.database());
        query.prepare(QStringLiteral("INSERT INTO recSchedul (%1) VALUES (%2)")
                          .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        for (const QString &value : fields)
            query.addBindValue(value);
        if (!query.exec())
            qFatal("insert failed");
        const qint64 id = query.lastInsertId().toLongLong();
        reload();
        return id;
    }

    void reload() { schedule.load(); }

    void sql(const QString &statement)
    {
        QSqlQuery query(store.database());
        if (!query.exec(statement))
            qFatal("statement failed");
    }

    QString value(qint64 id, const QString &column)
    {
        QSqlQuery query(store.database());
        query.prepare(QStringLiteral("SELECT %1 FROM recSchedul WHERE idno = ?").arg(column));
        query.addBindValue(id);
        if (!query.exec() || !query.next())
            return QStringLiteral("<none>");
        return query.value(0).isNull() ? QString() : query.value(0).toString();
    }

    // An entry as the table holds it (in memory: cheap enough for every
    // tick).
    const ScheduleEntry &entry(int row) const { return schedule.entries().at(row); }

    // "3/14/26 10:00:00 AM" or with milliseconds appended as ".zzz".
    void at(const QString &dateTime, int ms = 0)
    {
        QDateTime t = platform.regional.parseDateTime(dateTime);
        if (!t.isValid())
            qFatal("bad test time %s", qPrintable(dateTime));
        platform.clock.current = t.addMSecs(ms);
    }

    void tick()
    {
        runner.clockTick();
        runner.runnerTick();
    }

    // A file in the recordings folder (a recording holds some bytes).
    void touch(const QString &fileName, const QByteArray &bytes = QByteArrayLiteral("audio"))
    {
        QFile file(folder.path() + QStringLiteral("/radiorecord/") + fileName);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
};
