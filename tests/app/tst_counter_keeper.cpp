// The keeper of the state file on a ManualClock: when the counters are written, cached or synced.
// What start-up makes of the file is tested with the acquisition core.
#include "counter_keeper.h"
#include "manual_clock.h"
#include "recorders.h"

#include <QTemporaryDir>
#include <QTest>

using Durability = CounterStateFile::Durability;

class TestCounterKeeper : public QObject {
    Q_OBJECT
private slots:
    void keeper_writesChangesEvery5sAndSyncsOnceAMinute();
};

void TestCounterKeeper::keeper_writesChangesEvery5sAndSyncsOnceAMinute()
{
    QTemporaryDir dir;
    ManualClock clock;
    RecordingStatusLines log;
    DecoderState now;
    CounterKeeper keeper(clock, log, [&now] { return now; });
    keeper.setFile(dir.filePath("Orvotove.state"));
    keeper.chooseAtStart(now, 7);
    QList<Durability> writes;
    connect(&keeper, &CounterKeeper::kept, this, [&writes](Durability d) { writes << d; });
    keeper.start();
    clock.advance(60000); // nothing decoded: nothing written
    QVERIFY(writes.isEmpty() && !keeper.file().exists());

    for (int second = 1; second <= 130; ++second) { // a packet a second
        now.seconds = second;
        clock.advance(1000);
    }
    // Every 5 s; the first a minute after the start and every 12th synced.
    QCOMPARE(writes.size(), 26);
    QCOMPARE(writes.count(Durability::Synced), 3);
    QCOMPARE(writes.at(0), Durability::Synced);
    QCOMPARE(writes.at(24), Durability::Synced);
    QCOMPARE(keeper.file().read()->counters.seconds, 130);
    QCOMPARE(keeper.file().read()->sequence, 7 + 26); // on from the settings' number

    // The stream stopped after a cached write: a sync a minute after the last one, then nothing.
    writes.clear();
    clock.advance(50000);
    QVERIFY(writes.isEmpty());
    clock.advance(120000);
    QCOMPARE(writes, QList<Durability>{Durability::Synced});
    QVERIFY(log.lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestCounterKeeper)
#include "tst_counter_keeper.moc"
