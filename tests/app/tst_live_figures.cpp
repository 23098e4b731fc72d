// The live readings figures from real packets through the decoder: power, counters, cost,
// today's energy across restarts, monitor resets, cleared pre-reset values and midnight, and the
// power history's reduction to min/max buckets.
#include "live_figures.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_encoder.h"
#include "recorders.h"
#include "recording_settings_store.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<PacketFields>)
Q_DECLARE_METATYPE(HistorySpan)

namespace {

constexpr quint64 kWsPerKwh = 3600000;
const QDate kDay(2026, 3, 7);

// Counters growing at 3600 W on CH1 and 1800 W on CH2 from 2 kWh and 1 kWh, one per second.
PacketFields steadyAt(quint32 second, quint64 ws1Base = 2 * kWsPerKwh)
{
    PacketFields f;
    f.seconds = 1000 + second;
    f.ws1 = ws1Base + 3600ULL * second;
    f.ws2 = kWsPerKwh + 1800ULL * second;
    f.pfRaw1 = 52429; // 0.8
    f.pfRaw2 = 32768;
    return f;
}

QList<PacketFields> steadyRun(int count)
{
    QList<PacketFields> run;
    for (int i = 0; i < count; ++i)
        run << steadyAt(quint32(i));
    return run;
}

struct FiguresRig {
    explicit FiguresRig(const QDateTime &start) : clock(start) {}
    ManualClock clock;
    RecordingStatusLines log;
    RecordingSettingsStore store;
    PacketDecoder decoder{log, clock};
    std::optional<LiveFigures> figures;

    void begin()
    {
        figures.emplace(clock, store);
        decoder.addDecodedListener([this] { figures->take(decoder.reading()); });
    }
    void feed(const PacketFields &f)
    {
        const QByteArray packet = encodePacket(f);
        decoder.startPacket();
        for (int i = 3; i < packet.size(); ++i)
            decoder.takePacketByte(quint8(packet.at(i)));
    }
    const ChannelFigures &ch1() const { return figures->channels()[0]; }
};

} // namespace

class TestLiveFigures : public QObject {
    Q_OBJECT
private slots:
    void packets_giveTodaysEnergyFromStaticCounters_data();
    void packets_giveTodaysEnergyFromStaticCounters();
    void steadyLoad_givesPowerCostAndCounters();
    void silence_turnsAgeIntoWarningAfterThreeSeconds_data();
    void silence_turnsAgeIntoWarningAfterThreeSeconds();
    void history_keepsPeakOfOnePacket_data();
    void history_keepsPeakOfOnePacket();
    void history_staysBoundedAfter100000Packets();
};

void TestLiveFigures::packets_giveTodaysEnergyFromStaticCounters_data()
{
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QString>("storedDate");    // DayStartDate before the run; empty: none
    QTest::addColumn<double>("storedStart1");   // DayStart1 before the run
    QTest::addColumn<double>("storedStart2");   // DayStart2 before the run
    QTest::addColumn<QList<PacketFields>>("packets");
    QTest::addColumn<int>("clearAfter");        // pre-reset values cleared after this packet
    QTest::addColumn<double>("kwhToday1");
    QTest::addColumn<double>("kwhToday2");
    QTest::addColumn<QString>("dateAfter");

    const QString today = kDay.toString(Qt::ISODate);
    const QString tomorrow = kDay.addDays(1).toString(Qt::ISODate);
    QTest::newRow("first run counts from the first packet")
        << QTime(12, 0) << "" << 0.0 << 0.0 << steadyRun(4) << -1 << 0.003 << 0.0015 << today;
    // Each channel counts from its own start.
    QTest::newRow("restart on the same day continues")
        << QTime(12, 0) << today << 1.0 * kWsPerKwh << 0.25 * kWsPerKwh << steadyRun(4) << -1
        << 1.003 << 0.7515 << today;
    QTest::newRow("start stored on another day is replaced")
        << QTime(12, 0) << "2026-03-06" << 1.0 * kWsPerKwh << 0.25 * kWsPerKwh << steadyRun(4)
        << -1 << 0.003 << 0.0015 << today;
    // 23:59:58, :59, 00:00:00, :01: the new day starts with the packet at midnight.
    QTest::newRow("midnight starts a new day")
        << QTime(23, 59, 58) << today << 1.0 * kWsPerKwh << 0.25 * kWsPerKwh << steadyRun(4)
        << -1 << 0.001 << 0.0005 << tomorrow;

    // The monitor resets after the second packet and counts from 0 again; the static counter
    // carries on, and so does today's energy.
    QList<PacketFields> reset = steadyRun(2);
    for (quint32 s = 2; s < 5; ++s) {
        PacketFields f = steadyAt(s, 0);
        f.ws1 = 3600ULL * (s - 1);
        f.ws2 = 1800ULL * (s - 1);
        f.resetCount = 1;
        reset << f;
    }
    QTest::newRow("monitor reset keeps counting")
        << QTime(12, 0) << "" << 0.0 << 0.0 << reset << -1 << 0.004 << 0.002 << today;

    // After the reset the user clears the pre-reset values: the static counter drops to the
    // monitor's own, and today counts from the next packet on (one 3600 W second more).
    QTest::newRow("cleared pre-reset values start today again")
        << QTime(12, 0) << "" << 0.0 << 0.0 << reset << 2 << 0.001 << 0.0005 << today;
}

void TestLiveFigures::packets_giveTodaysEnergyFromStaticCounters()
{
    QFETCH(QTime, start);
    QFETCH(QString, storedDate);
    QFETCH(double, storedStart1);
    QFETCH(double, storedStart2);
    QFETCH(QList<PacketFields>, packets);
    QFETCH(int, clearAfter);
    QFETCH(double, kwhToday1);
    QFETCH(double, kwhToday2);
    QFETCH(QString, dateAfter);

    FiguresRig rig(QDateTime(kDay, start));
    if (!storedDate.isEmpty()) {
        rig.store.values["DayStartDate"] = storedDate;
        rig.store.values["DayStart1"] = QString::number(storedStart1, 'f', 0);
        rig.store.values["DayStart2"] = QString::number(storedStart2, 'f', 0);
    }
    rig.begin();
    for (int i = 0; i < packets.size(); ++i) {
        rig.feed(packets[i]);
        if (i == clearAfter) {
            rig.decoder.clearPreResets();
            rig.figures->restartDay();
        }
        rig.clock.advance(1000);
    }
    const ChannelFigures &ch2 = rig.figures->channels()[1];
    QCOMPARE(qRound(rig.ch1().kwhToday * 1e6), qRound(kwhToday1 * 1e6));
    QCOMPARE(qRound(ch2.kwhToday * 1e6), qRound(kwhToday2 * 1e6));
    QCOMPARE(qRound(rig.ch1().costToday * 1e6), qRound(kwhToday1 * 0.126 * 1e6));
    QCOMPARE(rig.store.values.value("DayStartDate"), dateAfter);
    // The stored starts are the ones counted from, each channel's own.
    const LiveReading &r = rig.decoder.reading();
    QCOMPARE(qRound64(rig.store.values.value("DayStart1").toDouble()),
             qRound64(r.ws1Static - kwhToday1 * kWsPerKwh));
    QCOMPARE(qRound64(rig.store.values.value("DayStart2").toDouble()),
             qRound64(r.ws2Static - kwhToday2 * kWsPerKwh));
}

void TestLiveFigures::steadyLoad_givesPowerCostAndCounters()
{
    FiguresRig rig(QDateTime(kDay, QTime(12, 0)));
    rig.begin();
    rig.figures->setRate(0.25);
    for (quint32 s = 0; s < 3; ++s) {
        PacketFields f = steadyAt(s);
        f.ws2Polar = 100ULL * s; // CH2 sends energy back
        rig.feed(f);
        rig.clock.advance(1000);
    }
    const ChannelFigures &ch1 = rig.figures->channels()[0];
    const ChannelFigures &ch2 = rig.figures->channels()[1];
    QCOMPARE(ch1.watts, 3600.0);
    QCOMPARE(ch2.watts, 1800.0);
    QCOMPARE(ch1.costPerHour, 0.9);   // 3.6 kW at 0.25 a kWh
    QCOMPARE(ch2.costPerHour, 0.45);
    QCOMPARE(qRound(ch1.powerFactor * 100), 80);
    QCOMPARE(qRound(ch1.kwhStatic * 1000), 2002);
    QCOMPARE(ch1.generating, false);
    QCOMPARE(ch2.generating, true);
    QCOMPARE(rig.figures->volts(), 120.0);
}

void TestLiveFigures::silence_turnsAgeIntoWarningAfterThreeSeconds_data()
{
    QTest::addColumn<int>("silentMs");
    QTest::addColumn<qint64>("wallClockSetBy"); // ms, while silent
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stale");
    QTest::newRow("fresh") << 0 << 0LL << "updated 0 s ago" << false;
    QTest::newRow("2 s") << 2000 << 0LL << "updated 2 s ago" << false;
    QTest::newRow("3 s") << 3000 << 0LL << "updated 3 s ago" << false;
    QTest::newRow("4 s") << 4000 << 0LL << "Warning: no new readings, updated 4 s ago" << true;
    // The age is elapsed time: setting the computer's clock does not change it.
    QTest::newRow("wall clock set back an hour")
        << 2000 << -3600000LL << "updated 2 s ago" << false;
    QTest::newRow("wall clock set a day ahead") << 2000 << 86400000LL << "updated 2 s ago" << false;
}

void TestLiveFigures::silence_turnsAgeIntoWarningAfterThreeSeconds()
{
    QFETCH(int, silentMs);
    QFETCH(qint64, wallClockSetBy);
    QFETCH(QString, text);
    QFETCH(bool, stale);
    FiguresRig rig(QDateTime(kDay, QTime(12, 0)));
    rig.begin();
    QCOMPARE(rig.figures->ageText(), QString("no readings yet"));
    rig.feed(steadyAt(0));
    rig.clock.setTime(rig.clock.now().addMSecs(wallClockSetBy));
    rig.clock.advance(silentMs);
    QCOMPARE(rig.figures->ageText(), text);
    QCOMPARE(rig.figures->stale(), stale);
}

void TestLiveFigures::history_keepsPeakOfOnePacket_data()
{
    QTest::addColumn<HistorySpan>("span");
    QTest::newRow("15 minutes") << HistorySpan::Minutes15;
    QTest::newRow("1 hour") << HistorySpan::Hour1;
    QTest::newRow("24 hours") << HistorySpan::Hours24;
}

void TestLiveFigures::history_keepsPeakOfOnePacket()
{
    QFETCH(HistorySpan, span);
    PowerHistory history;
    const qint64 start = QDateTime(kDay, QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 seconds = PowerHistory::spanMs(span) / 1000;
    const qint64 peakAt = start + seconds / 3 * 1000 + 500;
    for (qint64 s = 0; s < seconds; ++s) {
        const qint64 at = start + s * 1000 + 500;
        history.add(at, at == peakAt ? 4000 : 100 + s % 7, at == peakAt ? 0 : 50);
    }
    const qint64 now = start + seconds * 1000;
    const QList<QPointF> ch1 = history.points(span, 0, now);
    const QList<QPointF> ch2 = history.points(span, 1, now);
    QVERIFY(ch1.size() <= 1000);
    QVERIFY(ch1.size() >= PowerHistory::kBuckets);
    const auto top = std::max_element(ch1.begin(), ch1.end(),
                                      [](QPointF a, QPointF b) { return a.y() < b.y(); });
    QCOMPARE(top->y(), 4000.0);
    QCOMPARE(qint64(top->x()), peakAt); // plotted at its own arrival time
    const auto dip = std::min_element(ch2.begin(), ch2.end(),
                                      [](QPointF a, QPointF b) { return a.y() < b.y(); });
    QCOMPARE(dip->y(), 0.0);
    QVERIFY(std::is_sorted(ch1.begin(), ch1.end(),
                           [](QPointF a, QPointF b) { return a.x() < b.x(); }));
}

void TestLiveFigures::history_staysBoundedAfter100000Packets()
{
    PowerHistory history;
    const qint64 start = QDateTime(kDay, QTime(0, 0)).toMSecsSinceEpoch();
    for (qint64 i = 0; i < 100000; ++i)
        history.add(start + i * 1000, double(i % 5000), 10);
    QVERIFY(history.storedBucketCount() <= 3 * PowerHistory::kBuckets);
    for (HistorySpan span : {HistorySpan::Minutes15, HistorySpan::Hour1, HistorySpan::Hours24})
        QVERIFY(history.points(span, 0, start + 100000 * 1000LL).size() <= 1000);
}

QTEST_GUILESS_MAIN(TestLiveFigures)
#include "tst_live_figures.moc"
