// The monitor's configuration commands against the built simulator, over its pseudo-terminal.

#include "sim_process.h"
#include "sim_terminal.h"
#include "test_fixtures.h"

#include <QTest>

using namespace simtest;

namespace {

// The most both channels' appliances draw at once: baseload, fridge start surge and kettle.
constexpr double kMaxWatts = 2800;

// The fields of a packet this test looks at, read straight from the wire.
struct SeenPacket {
    quint64 ws1 = 0;
    quint64 ws1Polar = 0;
    quint64 ws2 = 0;
    int resetCount = 0;
    quint32 seconds = 0;
};

quint64 littleEndian(const QByteArray &packet, int offset, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | quint8(packet[offset + i]);
    return value;
}

// The valid packets in the bytes, in order; acknowledges between them are passed over.
QList<SeenPacket> packetsIn(const QByteArray &stream)
{
    QList<SeenPacket> packets;
    qsizetype at = stream.indexOf(kHeader);
    while (at >= 0 && stream.size() - at >= packet::kSize) {
        const QByteArray candidate = stream.mid(at, packet::kSize);
        if (!holdsValidPacket(candidate)) {
            at = stream.indexOf(kHeader, at + 1);
            continue;
        }
        const QByteArray &p = candidate;
        packets.append({littleEndian(p, packet::kWs1Offset, packet::kCounterSize),
                        littleEndian(p, packet::kWs1PolarOffset, packet::kCounterSize),
                        littleEndian(p, packet::kWs2Offset, packet::kCounterSize),
                        quint8(p[packet::kResetCountOffset]) & packet::kResetCountMask,
                        quint32(littleEndian(p, packet::kSecondsOffset, packet::kSecondsSize))});
        at = stream.indexOf(kHeader, at + packet::kSize);
    }
    return packets;
}

void expectAcks(TerminalEnd &end, const QList<QByteArray> &steps)
{
    for (const QByteArray &step : steps)
        expectAck(end, step);
}

} // namespace

class TestOrvoSimSetup : public QObject {
    Q_OBJECT
private slots:
    void writtenSettings_readBackInBlockAndSerial();
    void settingsReadWhileStreaming_blockAloneOnLine();
    void resetWhileStreaming_nextPacketAdvancesCounterFrom7To0();
};

void TestOrvoSimSetup::writtenSettings_readBackInBlockAndSerial()
{
    SimProcess sim;
    QVERIFY(sim.start({"--firmware", "2310", "--serial", "1,2,130,4,5", "--quiet"}));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());

    expectAcks(end, {FC, "SET", "CT1", "TYP", FC, "RNG", "\x07"});
    expectAcks(end, {FC, "SET", "CT2", "TYP", "R", "RNG", "\x0A"});
    expectAcks(end, {FC, "SET", "PTT", "\x78", "PTR", "\x02"});
    expectAcks(end, {FC, "SET", "IVL", "\x01", "\x2C"});
    expectAcks(end, {FC, "SET", "UID", "\x7F"});

    expectAcks(end, {FC, "SET"});
    const QByteArray block = bytes({0xFC, 0x07, 'R', 0x0A, 0x78, 0x02, 0x01, 0x2C, 0x09, 0x06, 0x7F})
                             + QByteArray(22, '\0');
    expectReply(end, "RCV", FC + block);

    // Each serial letter goes out twice, as a three-byte word write sends a single letter.
    expectAcks(end, {FC, "SET", "SS", "RR"});
    expectReply(end, "NN", FC + bytes({1, 2, 130, 4, 5}) + FC);
}

void TestOrvoSimSetup::settingsReadWhileStreaming_blockAloneOnLine()
{
    SimProcess sim;
    QVERIFY(sim.start({"--start-streaming", "--period-ms", "200", "--quiet"}));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());
    QByteArray stream;
    QVERIFY(end.collectUntil(stream, holdsValidPacket));

    // expectReply also checks that nothing follows the block for a moment.
    expectAcks(end, {FC, "SET"});
    expectReply(end, "RCV", FC + bytes({0xA7, 5, 0xA7, 5, 0, 1, 0, 15, 0x08, 0x98, 1}) + QByteArray(22, '\0'));
    QByteArray resumed;
    QVERIFY(end.collectUntil(resumed, holdsValidPacket));
}

void TestOrvoSimSetup::resetWhileStreaming_nextPacketAdvancesCounterFrom7To0()
{
    SimProcess sim;
    // Solar on channel 1 at the default 11:00, so that its polarized counter is well filled too.
    QVERIFY(sim.start({"--reset-count", "7", "--period-ms", "5", "--seed", "3", "--solar", "--solar-channel", "1", "--quiet"}));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());
    // The meter counts while idle, so the counters are well filled when the stream starts.
    QTest::qWait(1000);
    QVERIFY(end.send(FC + "TOG" + "PLR"));
    QByteArray stream;
    QVERIFY(end.collectUntil(stream, [](const QByteArray &r) { return packetsIn(r).size() >= 3; }));

    QVERIFY(end.send(FC + "RQS" + "RST"));
    QVERIFY(end.collectUntil(stream, [](const QByteArray &r) {
        const QList<SeenPacket> packets = packetsIn(r);
        return !packets.isEmpty() && packets.last().resetCount == 0;
    }));

    const QList<SeenPacket> packets = packetsIn(stream);
    qsizetype first = 0;
    while (packets[first].resetCount == 7)
        ++first;
    QVERIFY(first > 0);
    const SeenPacket &before = packets[first - 1];
    const SeenPacket &after = packets[first];
    QCOMPARE(after.resetCount, 0);
    QVERIFY(after.seconds > before.seconds);
    // Restarted from zero: only what the time since the last packet before the reset can hold.
    const double sinceReset = kMaxWatts * (after.seconds - before.seconds);
    QVERIFY2(double(after.ws1) <= sinceReset && double(after.ws2) <= sinceReset && double(after.ws1Polar) <= sinceReset,
             qPrintable(QStringLiteral("ws1 %1 -> %2 over %3 s").arg(before.ws1).arg(after.ws1).arg(after.seconds - before.seconds)));
    QVERIFY(after.ws1 < before.ws1);
    QVERIFY(after.ws1Polar < before.ws1Polar);
    QVERIFY(after.ws2 < before.ws2);
}

QTEST_GUILESS_MAIN(TestOrvoSimSetup)
#include "tst_orvo_sim_setup.moc"
