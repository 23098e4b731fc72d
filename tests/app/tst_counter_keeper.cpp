// The state file beside the settings and its keeper on a ManualClock: what a damaged file reads
// as, and when the counters are written, cached or synced.
#include "counter_keeper.h"
#include "manual_clock.h"
#include "recorders.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Durability = CounterStateFile::Durability;

namespace {
// Wide values: five-byte counters with offsets, the last reset count, the seconds at the wrap.
StampedCounters sample()
{
    StampedCounters s{.counters = {.preReset1 = 1099511627781.0, .preResetP2 = 0.5}, .sequence = 41};
    s.counters.lastResetCount = 7;
    s.counters.seconds = 16777215;
    return s;
}
} // namespace

class TestCounterKeeper : public QObject {
    Q_OBJECT
private slots:
    void stateFile_readsOnlyWhatWasWrittenWhole_data();
    void stateFile_readsOnlyWhatWasWrittenWhole();
    void keeper_writesChangesEvery5sAndSyncsOnceAMinute();
};

void TestCounterKeeper::stateFile_readsOnlyWhatWasWrittenWhole_data()
{
    QTest::addColumn<QByteArray>("text"); // the file's text, "" as written
    QTest::addColumn<bool>("readable");
    const QByteArray whole = CounterStateFile::format(sample());
    QByteArray digit = whole;
    digit[digit.indexOf("OrvoCounter=") + 12] = '9';
    QTest::newRow("whole") << QByteArray() << true;
    QTest::newRow("cut short by a power cut") << whole.left(whole.size() / 2) << false;
    QTest::newRow("one digit changed") << digit << false;
}

void TestCounterKeeper::stateFile_readsOnlyWhatWasWrittenWhole()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    const CounterStateFile file(dir.filePath("Orvotove.state"));
    QVERIFY(file.write(sample(), Durability::Synced));
    QVERIFY(!QFile::exists(file.path() + ".new"));
    if (!text.isEmpty()) {
        QFile f(file.path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size());
    }
    const auto read = file.read();
    QCOMPARE(read.has_value(), readable);
    if (readable) // exact
        QCOMPARE(CounterStateFile::format(*read), CounterStateFile::format(sample()));
}

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
