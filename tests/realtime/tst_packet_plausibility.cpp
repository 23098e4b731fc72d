#include "decoder_rig.h"

#include <QtTest>

using namespace test_packets;

Q_DECLARE_METATYPE(DecoderState)

namespace {

// One packet of a sequence: its second, counters and volts, plus how far the clock moves on
// before it arrives.
struct Step {
    PacketFields fields;
    int clockSeconds = 1;
};

Step at(quint32 seconds, quint64 ws1, quint64 ws1Polar = 0)
{
    Step s;
    s.fields = steadyLoadAt(seconds);
    s.fields.ws1 = ws1;
    s.fields.ws1Polar = ws1Polar;
    return s;
}

Step with(Step s, const std::function<void(PacketFields &)> &change)
{
    change(s.fields);
    return s;
}

Step afterPause(int clockSeconds, Step s)
{
    s.clockSeconds = clockSeconds;
    return s;
}

Step atVolts(quint32 seconds, quint64 ws1, quint16 decivolts)
{
    return with(at(seconds, ws1), [decivolts](PacketFields &f) { f.decivolts = decivolts; });
}

Step garbageAt(quint32 seconds)
{
    return with(at(seconds, (quint64(1) << 40) - 1), [](PacketFields &f) {
        f.ws2 = quint64(1) << 39;
    });
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestPacketPlausibility : public QObject {
    Q_OBJECT
private slots:
    void packetSequence_showsOnlyBelievedPackets_data();
    void packetSequence_showsOnlyBelievedPackets();
};

void TestPacketPlausibility::packetSequence_showsOnlyBelievedPackets_data()
{
    QTest::addColumn<DecoderState>("restored");
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QList<qint32>>("shown"); // seconds of the packets shown, in order
    QTest::addColumn<int>("suspectDropped");   // after the end of input
    QTest::addColumn<double>("ws1Static");
    QTest::addColumn<double>("ws1PolarStatic");
    QTest::addColumn<double>("watts1");

    const DecoderState firstRun;
    QTest::newRow("fitting packets are shown at once")
        << firstRun << QList<Step>{at(10, 1000, 900), at(11, 1100, 950), at(12, 1300, 1000)}
        << QList<qint32>{10, 11, 12} << 0 << 1300.0 << 1000.0 << 200.0;
    QTest::newRow("a garbage packet between good ones is dropped")
        << firstRun << QList<Step>{at(10, 1000), garbageAt(11), at(12, 1200)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("implausible volts are dropped")
        << firstRun
        << QList<Step>{at(10, 1000), with(at(11, 1100), [](auto &f) { f.decivolts = 6553; }),
                       at(12, 1200)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 0.0 << 100.0;
    // The volts bounds belong to the believed range.
    QTest::newRow("600.0 V fits")
        << firstRun << QList<Step>{at(10, 1000), atVolts(11, 1100, 6000), at(12, 1200)}
        << QList<qint32>{10, 11, 12} << 0 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("600.1 V is dropped")
        << firstRun << QList<Step>{at(10, 1000), atVolts(11, 1100, 6001), at(12, 1200)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("20.0 V fits")
        << firstRun << QList<Step>{at(10, 1000), atVolts(11, 1100, 200), at(12, 1200)}
        << QList<qint32>{10, 11, 12} << 0 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("19.9 V is dropped")
        << firstRun << QList<Step>{at(10, 1000), atVolts(11, 1100, 199), at(12, 1200)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("a polarized counter falling while the others rise is dropped")
        << firstRun << QList<Step>{at(10, 1000, 900), at(11, 1100, 800), at(12, 1200, 950)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 950.0 << 100.0;
    QTest::newRow("seconds far beyond the time elapsed are dropped")
        << firstRun << QList<Step>{at(10, 1000), at(5000, 1100), at(12, 1200)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("over 200 kW between packets is dropped")
        << firstRun << QList<Step>{at(10, 1000), at(11, 1000 + 200001), at(12, 1200)}
        << QList<qint32>{10, 12} << 1 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("a long gap in the stream fits the time elapsed")
        << firstRun
        << QList<Step>{at(10, 1000), afterPause(7200, at(7210, 721000)), at(7211, 721100)}
        << QList<qint32>{10, 7210, 7211} << 0 << 721100.0 << 0.0 << 100.0;
    QTest::newRow("a detected reset is shown at once and carries both counters")
        << firstRun
        << QList<Step>{at(10, 1000, 800),
                       with(at(11, 40, 30), [](auto &f) { f.resetCount = 1; })}
        << QList<qint32>{10, 11} << 0 << 1040.0 << 830.0 << 40.0;
    QTest::newRow("a restart without the reset byte is taken once confirmed")
        << firstRun << QList<Step>{at(10, 1000, 800), at(11, 50, 40), at(12, 150, 140)}
        << QList<qint32>{10, 11, 12} << 0 << 1150.0 << 940.0 << 100.0;
    // The held packet sent again: a second that did not advance confirms nothing.
    QTest::newRow("a repeat of the held packet's second does not confirm it")
        << firstRun << QList<Step>{at(10, 1000), at(11, 50), at(11, 50), at(12, 1200)}
        << QList<qint32>{10, 12} << 2 << 1200.0 << 0.0 << 100.0;
    QTest::newRow("a repeat of the shown second is counted as dropped")
        << firstRun << QList<Step>{at(10, 1000), at(10, 1000), at(11, 1100)}
        << QList<qint32>{10, 11} << 1 << 1100.0 << 0.0 << 100.0;
    QTest::newRow("two unrelated suspects are both dropped")
        << firstRun << QList<Step>{at(10, 1000), at(11, 50), garbageAt(12), at(13, 1300)}
        << QList<qint32>{10, 13} << 2 << 1300.0 << 0.0 << 100.0;
    QTest::newRow("a held packet at the end of input is dropped")
        << firstRun << QList<Step>{at(10, 1000), at(11, 50)} << QList<qint32>{10} << 1
        << 1000.0 << 0.0 << 100.0;

    DecoderState saved;
    saved.lastWs1 = 5000;
    saved.lastWsP1 = 4000;
    saved.preReset1 = 100;
    saved.preResetP1 = 10;
    saved.lastResetCount = 2;
    saved.seconds = 100;
    QTest::newRow("after a restart of the program any seconds advance fits")
        << saved << QList<Step>{with(at(90000, 5500, 4100), [](auto &f) { f.resetCount = 2; })}
        << QList<qint32>{90000} << 0 << 5600.0 << 4110.0 << 0.0;
    QTest::newRow("stored polarized counter carries at a reset after a restart")
        << saved << QList<Step>{with(at(150, 300, 200), [](auto &f) { f.resetCount = 3; })}
        << QList<qint32>{150} << 0 << 5400.0 << 4210.0 << 6.0;
    QTest::newRow("stored counters above the monitor's carry once confirmed")
        << saved
        << QList<Step>{with(at(150, 300, 200), [](auto &f) { f.resetCount = 2; }),
                       with(at(151, 400, 250), [](auto &f) { f.resetCount = 2; })}
        << QList<qint32>{150, 151} << 0 << 5500.0 << 4260.0 << 100.0;
}

void TestPacketPlausibility::packetSequence_showsOnlyBelievedPackets()
{
    QFETCH(DecoderState, restored);
    QFETCH(QList<Step>, steps);
    QFETCH(QList<qint32>, shown);
    QFETCH(int, suspectDropped);
    QFETCH(double, ws1Static);
    QFETCH(double, ws1PolarStatic);
    QFETCH(double, watts1);

    DecoderRig rig;
    rig.decoder.restoreState(restored);
    QList<qint32> seen;
    LiveReading previous = rig.reading();
    previous.ws1Static = restored.lastWs1 + restored.preReset1;
    previous.ws1PolarStatic = restored.lastWsP1 + restored.preResetP1;
    bool neverDecreased = true;
    rig.decoder.onPacketDecoded = [&] {
        const LiveReading &r = rig.reading();
        seen.append(r.seconds);
        neverDecreased = neverDecreased && r.ws1Static >= previous.ws1Static &&
                         r.ws2Static >= previous.ws2Static &&
                         r.ws1PolarStatic >= previous.ws1PolarStatic &&
                         r.ws2PolarStatic >= previous.ws2PolarStatic;
        previous = r;
    };
    for (const Step &step : steps) {
        rig.clock.advance(step.clockSeconds * 1000);
        rig.feed(step.fields);
    }
    const DecoderState beforeEnd = rig.decoder.persistedState();
    rig.decoder.dropHeldPacket();

    QCOMPARE(seen, shown);
    QVERIFY(neverDecreased);
    QVERIFY(!rig.decoder.holdingPacket());
    QCOMPARE(rig.decoder.suspectDroppedCount(), suspectDropped);
    const LiveReading &r = rig.reading();
    QCOMPARE(r.ws1Static, ws1Static);
    QCOMPARE(r.ws1PolarStatic, ws1PolarStatic);
    if (!seen.isEmpty())
        QCOMPARE(r.watts1, watts1);
    // What is saved is the last packet shown, never one that was held.
    QCOMPARE(beforeEnd.lastWs1, r.lastWs1);
    QCOMPARE(beforeEnd.lastWsP1, seen.isEmpty() ? restored.lastWsP1 : r.ws1Polar);
    QCOMPARE(beforeEnd.seconds, r.seconds);
    QCOMPARE(beforeEnd.preReset1 + beforeEnd.lastWs1, r.ws1Static);
}

QTEST_GUILESS_MAIN(TestPacketPlausibility)
#include "tst_packet_plausibility.moc"
