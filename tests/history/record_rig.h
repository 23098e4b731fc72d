#pragma once

// A monitor, the program's runs against one record file, and a look into that file with plain
// SQL, as a user's sqlite3 would: the rig of the energy record's tests.

#include "history_recorder.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_encoder.h"
#include "recorders.h"
#include "sql_history_store.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <memory>

// The monitor's side: counters that advance by the load, resets, a power cycle.
struct SimMonitor {
    PacketFields f;
    void tick(int watts1, int watts2, int generated1 = 0, int generated2 = 0)
    {
        f.ws1 += quint64(watts1 + generated1);
        f.ws2 += quint64(watts2 + generated2);
        f.ws1Polar += quint64(generated1);
        f.ws2Polar += quint64(generated2);
        ++f.seconds;
    }
    // SETRESET: counters from zero, the reset counter one on.
    void reset()
    {
        f.ws1 = f.ws2 = f.ws1Polar = f.ws2Polar = 0;
        f.resetCount = quint8((f.resetCount + 1) % 8);
    }
    // Lost power: counters from zero and the reset counter as it was, which the program only
    // learns from the counters.
    void powerCycle() { f.ws1 = f.ws2 = f.ws1Polar = f.ws2Polar = 0; }
};

// One run of the program: a decoder restored from what the last run stored, and the recorder.
struct ProgramRun {
    RecordingStatusLines log;
    PacketDecoder decoder;
    HistoryRecorder recorder;

    ProgramRun(ManualClock &clock, const QString &file, const DecoderState &restored)
        : ProgramRun(clock, std::make_unique<SqlHistoryStore>(file), QStringLiteral("kitchen"), restored)
    {
    }
    ProgramRun(ManualClock &clock, std::unique_ptr<HistoryStore> store, const QString &node,
               const DecoderState &restored)
        : decoder(log, clock), recorder(clock, decoder, &log)
    {
        decoder.restoreState(restored);
        decoder.addDecodedListener([this] { recorder.packetDecoded(); });
        recorder.start(std::move(store), node);
    }
    void feed(const PacketFields &fields)
    {
        const QByteArray packet = encodePacket(fields);
        decoder.startPacket();
        for (int i = 3; i < packet.size(); ++i)
            decoder.takePacketByte(quint8(packet.at(i)));
    }
    Counters statics() const
    {
        const LiveReading &r = decoder.reading();
        return {qint64(r.ws1Static), qint64(r.ws2Static), qint64(r.ws1PolarStatic),
                qint64(r.ws2PolarStatic)};
    }
};

struct RecordRig {
    ManualClock clock{QDateTime(QDate(2026, 3, 7), QTime(9, 5, 30))};
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("kitchen.history.sqlite"));
    SimMonitor monitor;
    std::unique_ptr<ProgramRun> run;
    DecoderState stored; // what the settings hold for the next run

    // Where each run records; the SQLite file when unset.
    std::function<std::unique_ptr<HistoryStore>()> makeStore;
    QString node = QStringLiteral("kitchen");
    void start()
    {
        run = makeStore ? std::make_unique<ProgramRun>(clock, makeStore(), node, stored)
                        : std::make_unique<ProgramRun>(clock, file, stored);
    }
    // orderly: the program's own end; otherwise it is killed, and the settings keep what they had.
    void end(bool orderly = true)
    {
        if (orderly) {
            run->recorder.flush();
            stored = run->decoder.persistedState();
        }
        run.reset();
    }
    // A packet a second for that long.
    void stream(int seconds, int watts1 = 500, int watts2 = 200, int generated1 = 0)
    {
        for (int s = 0; s < seconds; ++s) {
            monitor.tick(watts1, watts2, generated1);
            clock.advance(1000);
            if (run)
                run->feed(monitor.f);
        }
    }
    // Time passes without packets (the monitor counts on when it has load).
    void silence(int seconds, int watts1 = 0)
    {
        for (int s = 0; s < seconds; ++s)
            monitor.tick(watts1, 0);
        clock.advance(qint64(seconds) * 1000);
    }
};

// The record file as plain SQL sees it.
struct RecordFile {
    explicit RecordFile(const QString &file) : name_(QStringLiteral("look-%1").arg(quintptr(this)))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(file);
        db.open();
    }
    ~RecordFile()
    {
        QSqlDatabase::database(name_).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QVariantList one(const QString &sql) const
    {
        QSqlQuery q(QSqlDatabase::database(name_));
        QVariantList values;
        if (q.exec(sql) && q.next())
            for (int i = 0; i < q.record().count(); ++i)
                values.append(q.value(i));
        return values;
    }
    qint64 number(const QString &sql) const { return one(sql).value(0).toLongLong(); }
    Counters sums(const QString &where = QStringLiteral("1")) const
    {
        const QVariantList v = one(QStringLiteral("SELECT coalesce(sum(ch1_ws),0), coalesce(sum(ch2_ws),0),"
                                                  " coalesce(sum(ch1_generated_ws),0),"
                                                  " coalesce(sum(ch2_generated_ws),0) FROM minutes WHERE ")
                                   + where);
        return {v.value(0).toLongLong(), v.value(1).toLongLong(), v.value(2).toLongLong(),
                v.value(3).toLongLong()};
    }
    qint64 negativeRows() const
    {
        return number(QStringLiteral("SELECT count(*) FROM minutes WHERE ch1_ws < 0 OR ch2_ws < 0"
                                     " OR ch1_generated_ws < 0 OR ch2_generated_ws < 0"));
    }

private:
    QString name_;
};
