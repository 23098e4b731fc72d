#include "meter_simulation.h"
#include "packet_encoder.h"

#include <QTest>

namespace {

constexpr int kFirstTrailer = packet::kTrailer1Offset;
constexpr int kSecondTrailer = packet::kTrailer2Offset;

bool checkByteValid(const QByteArray &packet)
{
    return packetCheckByte(packet.mid(packet::kBodyOffset, packet::kBodySize)) == quint8(packet.back());
}

MeterSetup setupWith(int periodMs, PacketFaults faults = {})
{
    MeterSetup setup;
    setup.load.seed = 5;
    setup.periodMs = periodMs;
    setup.faults = faults;
    return setup;
}

} // namespace

class TestMeterSimulation : public QObject {
    Q_OBJECT
private slots:
    void period_advancesSecondsCounter_data();
    void period_advancesSecondsCounter();
    void secondsNearWrap_wrapToZero();
    void resetAfter_zeroesCountersAndAdvancesResetCounter();
    void spoiledPackets_breakOnlyTheirPart_data();
    void spoiledPackets_breakOnlyTheirPart();
    void repeatSeconds_repeatsWholePacket();
    void idlePeriods_keepCountersConsistent();
    void invertedPolarity_countsOtherDirection_data();
    void invertedPolarity_countsOtherDirection();
};

void TestMeterSimulation::period_advancesSecondsCounter_data()
{
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<QList<quint32>>("steps");

    QTest::newRow("short_period_still_one_second") << 100 << QList<quint32>{1, 1, 1, 1};
    QTest::newRow("one_second") << 1000 << QList<quint32>{1, 1, 1, 1};
    QTest::newRow("fraction_carried") << 1500 << QList<quint32>{1, 2, 1, 2};
    QTest::newRow("long_fraction_carried") << 2500 << QList<quint32>{2, 3, 2, 3};
    QTest::newRow("just_under_a_second_no_repeat") << 999 << QList<quint32>{1, 1, 1, 1};
}

void TestMeterSimulation::period_advancesSecondsCounter()
{
    QFETCH(int, periodMs);
    QFETCH(QList<quint32>, steps);

    MeterSimulation meter(setupWith(periodMs));
    quint32 previous = 0;
    QList<quint32> seen;
    for (int i = 0; i < steps.size(); ++i) {
        const quint32 seconds = meter.nextFields().seconds;
        seen.append(seconds - previous);
        previous = seconds;
    }
    QCOMPARE(seen, steps);
}

void TestMeterSimulation::secondsNearWrap_wrapToZero()
{
    MeterSetup setup = setupWith(1000);
    setup.secondsStart = packet::kSecondsModulus - 2;
    MeterSimulation meter(setup);
    QCOMPARE(meter.nextFields().seconds, packet::kSecondsModulus - 1);
    QCOMPARE(meter.nextFields().seconds, 0u);
    const QByteArray packet = meter.nextPacket();
    QCOMPARE(quint8(packet[packet::kSecondsOffset]), quint8(1));
    QVERIFY(checkByteValid(packet));
}

void TestMeterSimulation::resetAfter_zeroesCountersAndAdvancesResetCounter()
{
    MeterSetup setup = setupWith(1000, {0, 0, 3, 0});
    setup.resetCount = 7;
    MeterSimulation meter(setup);
    PacketFields third;
    for (int i = 0; i < 3; ++i) {
        third = meter.nextFields();
        QCOMPARE(third.resetCount, quint8(7));
    }
    const PacketFields fourth = meter.nextFields();
    QCOMPARE(fourth.resetCount, quint8(0));
    QCOMPARE(fourth.seconds, third.seconds + 1);
    // Only the energy since the reset: one interval's worth.
    QVERIFY(qAbs(double(fourth.ws1) - meter.lastInterval().channels[0].absoluteWs) < 1.0);
    QVERIFY(fourth.ws1 < third.ws1);
    for (int i = 0; i < 2; ++i)
        QCOMPARE(meter.nextFields().resetCount, quint8(0));
    QCOMPARE(meter.nextFields().resetCount, quint8(1));
}

void TestMeterSimulation::spoiledPackets_breakOnlyTheirPart_data()
{
    QTest::addColumn<PacketFaults>("faults");
    QTest::addColumn<QList<bool>>("checkValid");
    QTest::addColumn<QList<int>>("brokenTrailer"); // 0 none, 1 first byte, 2 second byte

    QTest::newRow("clean_stream") << PacketFaults{} << QList<bool>{true, true, true, true} << QList<int>{0, 0, 0, 0};
    QTest::newRow("bad_checksum_every_second") << PacketFaults{2, 0, 0, 0} << QList<bool>{true, false, true, false} << QList<int>{0, 0, 0, 0};
    QTest::newRow("bad_trailer_alternates_bytes") << PacketFaults{0, 2, 0, 0} << QList<bool>{true, true, true, true} << QList<int>{0, 1, 0, 2};
    QTest::newRow("both_faults_on_same_packet") << PacketFaults{4, 4, 0, 0} << QList<bool>{true, true, true, false} << QList<int>{0, 0, 0, 1};
}

void TestMeterSimulation::spoiledPackets_breakOnlyTheirPart()
{
    QFETCH(PacketFaults, faults);
    QFETCH(QList<bool>, checkValid);
    QFETCH(QList<int>, brokenTrailer);

    MeterSimulation meter(setupWith(1000, faults));
    for (int i = 0; i < checkValid.size(); ++i) {
        const QByteArray packet = meter.nextPacket();
        QCOMPARE(packet.size(), packet::kSize);
        QVERIFY(packet.startsWith(QByteArray("\xFE\xFF\x01", 3)));
        QCOMPARE(checkByteValid(packet), checkValid[i]);
        QCOMPARE(packet[kFirstTrailer] == '\xFF', brokenTrailer[i] != 1);
        QCOMPARE(packet[kSecondTrailer] == '\xFE', brokenTrailer[i] != 2);
    }
}

void TestMeterSimulation::repeatSeconds_repeatsWholePacket()
{
    MeterSimulation meter(setupWith(1000, {0, 0, 0, 2}));
    const QByteArray first = meter.nextPacket();
    const QByteArray second = meter.nextPacket();
    const QByteArray third = meter.nextPacket();
    const QByteArray fourth = meter.nextPacket();
    QVERIFY(second != first);
    QCOMPARE(third, second);
    QVERIFY(fourth != third);
}

void TestMeterSimulation::idlePeriods_keepCountersConsistent()
{
    MeterSimulation meter(setupWith(500));
    const PacketFields before = meter.nextFields();
    meter.idle(100);
    const PacketFields after = meter.nextFields();
    QCOMPARE(after.seconds - before.seconds, 101u);
    // Energy went on accumulating: at least the smallest baseload over the whole gap.
    QVERIFY(after.ws1 - before.ws1 >= 60 * 101);
    QVERIFY(after.ws2 - before.ws2 >= 60 * 101);
}

void TestMeterSimulation::invertedPolarity_countsOtherDirection_data()
{
    QTest::addColumn<QList<int>>("invertedBetween"); // channels inverted between two intervals
    QTest::addColumn<bool>("resetBetween");
    QTest::addColumn<quint64>("ws1Polar");
    QTest::addColumn<quint64>("ws2Polar");
    QTest::addColumn<quint64>("ws1");

    // Each interval: channel 1 consumes 100 Ws and generates 20, channel 2 consumes 30 and generates 70.
    QTest::newRow("as_installed_counts_generated") << QList<int>{} << false << quint64(40) << quint64(140) << quint64(240);
    QTest::newRow("channel_1_inverted_counts_consumed_from_then") << QList<int>{1} << false << quint64(120) << quint64(140) << quint64(240);
    QTest::newRow("channel_2_inverted_alone") << QList<int>{2} << false << quint64(40) << quint64(100) << quint64(240);
    QTest::newRow("inverted_twice_back_to_generated") << QList<int>{1, 1} << false << quint64(40) << quint64(140) << quint64(240);
    QTest::newRow("inversion_survives_reset") << QList<int>{1} << true << quint64(100) << quint64(70) << quint64(120);
}

void TestMeterSimulation::invertedPolarity_countsOtherDirection()
{
    QFETCH(QList<int>, invertedBetween);
    QFETCH(bool, resetBetween);
    QFETCH(quint64, ws1Polar);
    QFETCH(quint64, ws2Polar);
    QFETCH(quint64, ws1);

    LoadInterval interval;
    interval.seconds = 1;
    interval.channels[0] = {80, 120, 100, 20, 0.9};
    interval.channels[1] = {-40, 100, 30, 70, 0.9};
    MeterCounters counters(0, 0);
    counters.record(interval);
    for (const int channel : invertedBetween)
        counters.invertPolarity(channel - 1);
    if (resetBetween)
        counters.reset();
    counters.record(interval);

    QCOMPARE(counters.fields().ws1Polar, ws1Polar);
    QCOMPARE(counters.fields().ws2Polar, ws2Polar);
    QCOMPARE(counters.fields().ws1, ws1);
}

QTEST_GUILESS_MAIN(TestMeterSimulation)
#include "tst_meter_simulation.moc"
