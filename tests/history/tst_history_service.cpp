// orvotoved against orvo-sim, killed with SIGKILL in the middle of a minute and started again:
// the energy of the minute it had not written comes back with the next row, and the record adds
// up to the static counters that the orderly end at last writes to the settings.
#include "process_fixtures.h"
#include "sim_process.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr int kPort = 12;

struct Daemon {
    QTemporaryDir dir;
    QString settings = dir.filePath(QStringLiteral("meter.ini"));
    QProcess process;

    explicit Daemon()
    {
        QSettings ini(settings, QSettings::IniFormat);
        ini.beginGroup("startup");
        ini.setValue("ZigbeeVersion", "8");
        ini.setValue("ComPort", QString::number(kPort));
        ini.setValue("StartupComIsOn", "True");
        ini.setValue("StartupRTLisOn", "True");
        ini.setValue("TCPport", QString::number(freeTcpPort()));
    }
    ~Daemon() { stopProcess(process, 10000); }
    bool start(const QString &dataHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dataHome);
        env.remove("JOURNAL_STREAM");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(SimProcess::binDir() + "/orvotoved", {"--settings", settings});
        return process.waitForStarted(10000);
    }
};

// The record as sqlite3 would show it.
struct Record {
    QString name = QStringLiteral("record");
    QString file;
    explicit Record(const QString &file) : file(file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    ~Record() { QSqlDatabase::removeDatabase(name); }
    QVariantList row(const QString &sql)
    {
        QVariantList values;
        if (!QFile::exists(file))
            return values;
        QSqlDatabase db = QSqlDatabase::database(name);
        QSqlQuery q(db);
        if (db.isOpen() && q.exec(sql) && q.next())
            for (int i = 0; q.value(i).isValid(); ++i)
                values.append(q.value(i));
        q.finish();
        db.close();
        return values;
    }
    qint64 rows() { return row(QStringLiteral("SELECT count(*) FROM minutes")).value(0).toLongLong(); }
};

} // namespace

class TestHistoryService : public QObject {
    Q_OBJECT
private slots:
    void killedMidMinute_nextRowHoldsTheUnwrittenEnergy();
};

void TestHistoryService::killedMidMinute_nextRowHoldsTheUnwrittenEnergy()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kPort), "--seed", "4", "--quiet"}));
    Daemon daemon;
    QVERIFY(daemon.start(sim.dataHome()));
    Record record(sim.dataHome() + "/Orvotove/meter.history.sqlite");
    // The first row is written a second after the first minute with packets ends.
    QTRY_VERIFY_WITH_TIMEOUT(record.rows() >= 1, 75000);
    // 20 s into the next minute, whose row exists only in memory.
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() % 60 == 20, 61000);
    const qint64 rowsBeforeKill = record.rows();
    daemon.process.kill();
    QVERIFY(daemon.process.waitForFinished(10000));
    QCOMPARE(record.rows(), rowsBeforeKill);

    QVERIFY(daemon.start(sim.dataHome()));
    QTRY_VERIFY_WITH_TIMEOUT(record.rows() >= rowsBeforeKill + 1, 75000);
    ::kill(pid_t(daemon.process.processId()), SIGTERM);
    QVERIFY(daemon.process.waitForFinished(10000));
    QCOMPARE(daemon.process.exitCode(), 0);

    QSettings ini(daemon.settings, QSettings::IniFormat);
    ini.beginGroup("startup");
    const qint64 last = qint64(ini.value("PreResetVal1").toDouble() + ini.value("E1B").toDouble());
    const QVariantList state = record.row("SELECT ch1_ws, origin_ch1_ws, origin_utc FROM node_state");
    QCOMPARE(state.size(), 3);
    QCOMPARE(state[0].toLongLong(), last);
    const qint64 sum = record.row(QStringLiteral("SELECT sum(ch1_ws) FROM minutes WHERE start_utc >= %1")
                                      .arg(state[2].toLongLong())).value(0).toLongLong();
    QCOMPARE(sum, last - state[1].toLongLong());
    QCOMPARE(record.row("SELECT count(*) FROM minutes WHERE gap > 0").value(0).toInt(), 0);
}

QTEST_GUILESS_MAIN(TestHistoryService)
#include "tst_history_service.moc"
