// The energy record on a real SQLite file, fed by the real decoder: the rows add up to the
// static counters' advance to the watt-second across resets, gaps, restarts and a kill; a
// failing database keeps the rows in memory and says so once; clearing the pre-reset values
// goes on without a negative row.
#include "record_rig.h"

#include <QFile>
#include <QTest>

namespace {

// Plays a script on the rig: "s90" streams 90 s, "q300" is 300 s without packets while the
// house draws 800 W, "e" ends the program, "k" kills it, "b" starts it, "r" resets the monitor,
// "p" cycles its power.
void play(RecordRig &rig, const QString &script)
{
    for (const QString &step : script.split(u' ', Qt::SkipEmptyParts)) {
        const int n = step.mid(1).toInt();
        switch (step[0].toLatin1()) {
        case 's': rig.stream(n); break;
        case 'q': rig.silence(n, 800); break;
        case 'e': rig.end(true); break;
        case 'k': rig.end(false); break;
        case 'b': rig.start(); break;
        case 'r': rig.monitor.reset(); break;
        case 'p': rig.monitor.powerCycle(); break;
        }
    }
}

// Another program holding the record's write lock, as sqlite3 in a transaction does.
struct ForeignLock {
    QString name = QStringLiteral("foreign-lock");
    explicit ForeignLock(const QString &file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        held = db.open() && QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"));
    }
    ~ForeignLock()
    {
        QSqlDatabase::database(name).close();
        QSqlDatabase::removeDatabase(name);
    }
    void release() { QSqlQuery(QSqlDatabase::database(name)).exec(QStringLiteral("ROLLBACK")); }
    bool held = false;
};

const QString kState = QStringLiteral(
    "SELECT ch1_ws, ch2_ws, ch1_generated_ws, ch2_generated_ws, origin_ch1_ws, origin_ch2_ws,"
    " origin_ch1_generated_ws, origin_ch2_generated_ws, origin_utc FROM node_state");

} // namespace

class TestHistoryRecord : public QObject {
    Q_OBJECT
private slots:
    void stream_rowsAddUpToTheCounters_data();
    void stream_rowsAddUpToTheCounters();
    void databaseFailing_rowsWaitAndArriveOnce_data();
    void databaseFailing_rowsWaitAndArriveOnce();
    void failingForOverADay_waitingRowsStayBoundedAndKeepTheirEnergy();
    void preResetValuesCleared_recordGoesOnWithoutNegativeRow();
    void settings_nameTheRecordAndItsNode_data();
    void settings_nameTheRecordAndItsNode();
};

void TestHistoryRecord::stream_rowsAddUpToTheCounters_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("gaps");
    QTest::addColumn<int>("incomplete");
    QTest::addColumn<bool>("fromFirstPacket"); // the origin is still the run's first packet

    QTest::newRow("monitor resets") << "b s150 r s100 r s70 e" << 0 << 0 << true;
    QTest::newRow("unnoticed power cycle") << "b s100 p s100 e" << 0 << 0 << true;
    QTest::newRow("no packets for 5 minutes") << "b s90 q300 s90 e" << 1 << 0 << true;
    QTest::newRow("restart within a minute") << "b s90 e q60 b s90 e" << 0 << 0 << true;
    QTest::newRow("closed for 3 minutes") << "b s90 e q180 b s90 e" << 1 << 0 << true;
    QTest::newRow("monitor reset while closed") << "b s90 e q200 r q30 b s90 e" << 1 << 1 << true;
    // Killed 20 s into a minute whose row is not written; the settings still hold the first
    // run's start. The lost minute's energy comes back with the next run.
    QTest::newRow("killed mid-minute") << "b s100 k q20 b s90 e" << 0 << 0 << true;
    QTest::newRow("killed, back after minutes") << "b s100 k q400 b s90 e" << 1 << 0 << true;
}

void TestHistoryRecord::stream_rowsAddUpToTheCounters()
{
    QFETCH(QString, script);
    QFETCH(int, gaps);
    QFETCH(int, incomplete);
    QFETCH(bool, fromFirstPacket);
    RecordRig rig;
    rig.start();
    rig.stream(1);
    const Counters first = rig.run->statics();
    play(rig, script.mid(2));
    const Counters last{qint64(rig.stored.preReset1 + rig.stored.lastWs1),
                        qint64(rig.stored.preReset2 + rig.stored.lastWs2),
                        qint64(rig.stored.preResetP1 + rig.stored.lastWsP1),
                        qint64(rig.stored.preResetP2 + rig.stored.lastWsP2)};

    RecordFile record(rig.file);
    const QVariantList state = record.one(kState);
    QCOMPARE(state.size(), 9);
    QCOMPARE(state.value(0).toLongLong(), last[0]);
    QCOMPARE(state.value(1).toLongLong(), last[1]);
    const Counters origin{state[4].toLongLong(), state[5].toLongLong(), state[6].toLongLong(),
                          state[7].toLongLong()};
    if (fromFirstPacket)
        QCOMPARE(origin, first);
    QCOMPARE(record.sums(QStringLiteral("start_utc >= %1").arg(state[8].toLongLong())), last - origin);
    QCOMPARE(record.number("SELECT count(*) FROM minutes WHERE gap > 0"), qint64(gaps));
    QCOMPARE(record.number("SELECT count(*) FROM minutes WHERE gap = 2"), qint64(incomplete));
    QCOMPARE(record.negativeRows(), 0);
    QCOMPARE(record.number("SELECT count(*) FROM minutes WHERE gap = 0 AND end_utc - start_utc <> 60"), 0);
    QCOMPARE(record.number("SELECT max(packets) <= 60 FROM minutes"), 1);
}

void TestHistoryRecord::databaseFailing_rowsWaitAndArriveOnce_data()
{
    QTest::addColumn<bool>("locked"); // else the file's folder cannot be made
    QTest::newRow("locked by another program") << true;
    QTest::newRow("folder cannot be made") << false;
}

void TestHistoryRecord::databaseFailing_rowsWaitAndArriveOnce()
{
    QFETCH(bool, locked);
    RecordRig rig;
    std::unique_ptr<ForeignLock> lock;
    QFile blocker(rig.dir.filePath(QStringLiteral("data")));
    if (locked) {
        rig.start();
        rig.end();
        lock = std::make_unique<ForeignLock>(rig.file);
        QVERIFY(lock->held);
    } else {
        rig.file = blocker.fileName() + QStringLiteral("/kitchen.history.sqlite");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    rig.start();
    rig.stream(1);
    const Counters first = rig.run->statics();
    rig.stream(200);
    const QString failing = QStringLiteral("Error: the energy record could not be written to %1").arg(rig.file);
    QCOMPARE(rig.run->log.lines.filter(failing).size(), 1);
    QVERIFY(rig.run->recorder.waitingRows() >= 3);

    if (locked)
        lock->release();
    else
        QVERIFY(blocker.remove());
    rig.stream(70);
    QCOMPARE(rig.run->log.lines.filter(QStringLiteral("The energy record is written to %1 again").arg(rig.file)).size(),
             1);
    QCOMPARE(rig.run->recorder.waitingRows(), 0);
    const Counters last = rig.run->statics();
    rig.end();
    lock.reset();

    RecordFile record(rig.file);
    QCOMPARE(record.sums(), last - first);
    QCOMPARE(record.number("SELECT count(*) FROM minutes WHERE packets > 60"), 0); // none twice
}

void TestHistoryRecord::failingForOverADay_waitingRowsStayBoundedAndKeepTheirEnergy()
{
    RecordRig rig;
    QFile blocker(rig.dir.filePath(QStringLiteral("data")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    rig.file = blocker.fileName() + QStringLiteral("/kitchen.history.sqlite");
    rig.start();
    rig.stream(1);
    const Counters first = rig.run->statics();
    for (int i = 0; i < 26 * 72; ++i) { // a packet every 50 s for 26 hours
        rig.silence(49, 500);
        rig.stream(1);
    }
    QCOMPARE(rig.run->recorder.waitingRows(), HistoryRecorder::kMaxWaitingRows);
    QVERIFY(blocker.remove());
    rig.stream(70);
    const Counters last = rig.run->statics();
    rig.end();
    QCOMPARE(RecordFile(rig.file).sums(), last - first);
}

void TestHistoryRecord::preResetValuesCleared_recordGoesOnWithoutNegativeRow()
{
    RecordRig rig;
    rig.stored.preReset1 = 5'000'000;
    rig.stored.preResetP1 = 70'000;
    rig.start();
    rig.stream(1, 500, 200, 30);
    const Counters first = rig.run->statics();
    rig.stream(80, 500, 200, 30);
    const Counters beforeClear = rig.run->statics();
    rig.run->decoder.clearPreResets();
    rig.run->recorder.preResetValuesCleared();
    rig.stream(100, 500, 200, 30);
    const Counters last = rig.run->statics();
    rig.end();

    RecordFile record(rig.file);
    QCOMPARE(record.negativeRows(), 0);
    // The clearing takes the offsets out of the static counters: they go on from the monitor's own.
    const Counters atClear = beforeClear - Counters{5'000'000, 0, 70'000, 0};
    Counters advance = beforeClear - first;
    advance += last - atClear;
    QCOMPARE(record.sums(), advance);
    // From the clearing on, the record's own identity holds with the new values.
    const QVariantList state = record.one(kState);
    const Counters origin{state[4].toLongLong(), state[5].toLongLong(), state[6].toLongLong(),
                          state[7].toLongLong()};
    QCOMPARE(state[0].toLongLong(), last[0]);
    QCOMPARE(record.sums(QStringLiteral("start_utc >= %1").arg(state[8].toLongLong())), last - origin);
}

void TestHistoryRecord::settings_nameTheRecordAndItsNode_data()
{
    QTest::addColumn<QString>("settingsFile");
    QTest::addColumn<QVariantMap>("history"); // the group's keys
    QTest::addColumn<QString>("record");      // under the data home, or absolute
    QTest::addColumn<QString>("node");        // empty: no record kept
    const QString config = QStringLiteral("/home/user/.config/Orvotove/");
    QTest::newRow("default settings") << config + "Orvotove.ini" << QVariantMap{}
                                      << "Orvotove/Orvotove.history.sqlite" << "Orvotove";
    QTest::newRow("an instance's settings") << config + "kitchen.ini" << QVariantMap{}
                                            << "Orvotove/kitchen.history.sqlite" << "kitchen";
    QTest::newRow("file and node given") << config + "kitchen.ini"
                                         << QVariantMap{{"Database", "/tmp/shared/all.sqlite"}, {"Node", "shed"}}
                                         << "/tmp/shared/all.sqlite" << "shed";
    QTest::newRow("turned off") << config + "kitchen.ini" << QVariantMap{{"Enabled", "false"}}
                                << "Orvotove/kitchen.history.sqlite" << "";
    QTest::newRow("Enabled unreadable") << config + "kitchen.ini" << QVariantMap{{"Enabled", "maybe"}}
                                        << "Orvotove/kitchen.history.sqlite" << "kitchen";
}

void TestHistoryRecord::settings_nameTheRecordAndItsNode()
{
    QFETCH(QString, settingsFile);
    QFETCH(QVariantMap, history);
    QFETCH(QString, record);
    QFETCH(QString, node);
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    const GroupSettingReader read = [&](const QString &group, const QString &key) -> std::optional<QString> {
        if (group != "history" || !history.contains(key))
            return std::nullopt;
        return history.value(key).toString();
    };
    const QString file = record.startsWith(u'/') ? record : dataHome.filePath(record);
    const HistorySettings settings = readHistorySettings(read, settingsFile);
    QCOMPARE(settings.database, file);

    ManualClock clock;
    RecordingStatusLines log;
    PacketDecoder decoder(log, clock);
    HistoryRecorder recorder(clock, decoder, &log);
    if (record.startsWith(u'/')) {
        QCOMPARE(settings.node, node);
        return;
    }
    recorder.start(read, settingsFile, 0.126); // a real start, with the file it makes
    QCOMPARE(recorder.running(), !node.isEmpty());
    QCOMPARE(recorder.node(), node);
    QCOMPARE(QFile::exists(file), !node.isEmpty());
    QVERIFY(log.lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestHistoryRecord)
#include "tst_history_record.moc"
