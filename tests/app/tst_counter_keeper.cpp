// The state file beside the settings and its keeper on a ManualClock: what a damaged file reads
// as, and when the counters are written, cached or synced.
#include "counter_keeper.h"
#include "manual_clock.h"
#include "recorders.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(CounterStateFile::Durability)

namespace {

StampedCounters sample()
{
    StampedCounters s;
    s.sequence = 41;
    s.counters.preReset1 = 1099511627776.0 + 5;
    s.counters.preResetP2 = 0.5;
    s.counters.lastWs1 = 123456;
    s.counters.lastWsP1 = 789;
    s.counters.lastResetCount = 7;
    s.counters.seconds = 16777215;
    return s;
}

bool same(const StampedCounters &a, const StampedCounters &b)
{
    return CounterStateFile::format(a) == CounterStateFile::format(b);
}

} // namespace

class TestCounterKeeper : public QObject {
    Q_OBJECT
private slots:
    void stateFile_readsOnlyWhatWasWrittenWhole_data();
    void stateFile_readsOnlyWhatWasWrittenWhole();
    void keeper_writesChangesEvery5sAndSyncsOnceAMinute();
    void pathBeside_isTheSettingsBaseNameInItsFolder();
};

void TestCounterKeeper::stateFile_readsOnlyWhatWasWrittenWhole_data()
{
    QTest::addColumn<QByteArray>("damage"); // what replaces the file's text, "" for none
    QTest::addColumn<bool>("readable");
    const QByteArray whole = CounterStateFile::format(sample());
    QTest::newRow("whole") << QByteArray() << true;
    QTest::newRow("cut short by a power cut") << whole.left(whole.size() / 2) << false;
    QTest::newRow("blocks of zeros") << QByteArray(whole.size(), '\0') << false;
    QByteArray digit = whole;
    digit[digit.indexOf("E1B=") + 4] = '9';
    QTest::newRow("one digit changed") << digit << false;
    QTest::newRow("check line gone") << whole.left(whole.indexOf("Check=")) << false;
}

void TestCounterKeeper::stateFile_readsOnlyWhatWasWrittenWhole()
{
    QFETCH(QByteArray, damage);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    const CounterStateFile file(dir.filePath("Orvotove.state"));
    QVERIFY(file.write(sample(), CounterStateFile::Durability::Synced));
    QVERIFY(!QFile::exists(file.path() + ".new"));
    if (!damage.isEmpty()) {
        QFile f(file.path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damage);
    }
    const auto read = file.read();
    QCOMPARE(read.has_value(), readable);
    if (readable)
        QVERIFY(same(*read, sample()));
}

void TestCounterKeeper::keeper_writesChangesEvery5sAndSyncsOnceAMinute()
{
    qRegisterMetaType<CounterStateFile::Durability>();
    QTemporaryDir dir;
    ManualClock clock;
    RecordingStatusLines log;
    DecoderState now;
    CounterKeeper keeper(clock, log, [&now] { return now; });
    keeper.setFile(dir.filePath("Orvotove.state"));
    keeper.chooseAtStart(now, 7);
    QSignalSpy kept(&keeper, &CounterKeeper::kept);
    keeper.start();
    clock.advance(60000); // nothing decoded: nothing written
    QCOMPARE(kept.size(), 0);
    QVERIFY(!keeper.file().exists());

    // A packet a second: a cached write every 5 s, and every 12th one synced.
    QList<CounterStateFile::Durability> writes;
    for (int second = 1; second <= 130; ++second) {
        now.seconds = second;
        clock.advance(1000);
    }
    for (const QList<QVariant> &args : kept)
        writes << args.at(0).value<CounterStateFile::Durability>();
    QCOMPARE(writes.size(), 26);
    QCOMPARE(writes.count(CounterStateFile::Durability::Synced), 3);
    QCOMPARE(writes.at(0), CounterStateFile::Durability::Synced); // a minute since the start
    QCOMPARE(writes.at(12), CounterStateFile::Durability::Synced);
    QCOMPARE(writes.at(24), CounterStateFile::Durability::Synced);
    const auto read = keeper.file().read();
    QVERIFY(read);
    QCOMPARE(read->counters.seconds, 130);
    QCOMPARE(read->sequence, 7 + 26); // on from the settings' number

    // The stream stopped after a cached write: the sync comes a minute after the last one.
    kept.clear();
    clock.advance(50000);
    QCOMPARE(kept.size(), 0);
    clock.advance(5000);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.at(0).at(0).value<CounterStateFile::Durability>(),
             CounterStateFile::Durability::Synced);
    clock.advance(120000);
    QCOMPARE(kept.size(), 1);
    QVERIFY(log.lines.isEmpty());
}

void TestCounterKeeper::pathBeside_isTheSettingsBaseNameInItsFolder()
{
    QCOMPARE(CounterStateFile::pathBeside("/home/u/.config/Orvotove/kitchen.ini"),
             QStringLiteral("/home/u/.config/Orvotove/kitchen.state"));
}

QTEST_GUILESS_MAIN(TestCounterKeeper)
#include "tst_counter_keeper.moc"
