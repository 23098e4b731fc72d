#include "fake_serial_port.h"
#include "link_flags.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_receiver.h"
#include "recorders.h"
#include "test_packets.h"

#include <QtTest>

using namespace test_packets;

namespace {

using Chunks = QList<QByteArray>;

// The manual clock, counting the readings of local time: each looks the time zone up.
class LocalTimeCountingClock final : public Clock {
public:
    explicit LocalTimeCountingClock(ManualClock &clock) : clock_(clock) {}
    QDateTime now() const override
    {
        ++localReads;
        return clock_.now();
    }
    std::unique_ptr<ClockTimer> createTimer(QObject *parent = nullptr) override
    {
        return clock_.createTimer(parent);
    }
    qint64 epochMs() const override { return clock_.epochMs(); }
    qint64 monotonicMs() const override { return clock_.monotonicMs(); }

    mutable int localReads = 0;

private:
    ManualClock &clock_;
};

// The receiver between a fake port and a real decoder; records the seconds of every decoded
// packet, in order.
struct ReceiverRig {
    ManualClock clock;
    LocalTimeCountingClock countingClock{clock};
    FakeSerialPort port{&clock};
    LinkFlags flags;
    RecordingStatusLines log;
    PacketDecoder decoder{log, countingClock};
    PacketReceiver receiver{port, countingClock, flags, decoder, log};
    QList<int> decodedSeconds;

    ReceiverRig()
    {
        port.open(QStringLiteral("/dev/ttyUSB0"));
        decoder.onPacketDecoded = [this] { decodedSeconds.append(decoder.reading().seconds); };
    }

    // Lets the event loop hand over every chunk in flight, one readyRead each.
    void arrive(const Chunks &chunks)
    {
        for (const QByteArray &chunk : chunks)
            port.arrive(chunk);
        for (int i = 0; i <= chunks.size(); ++i)
            QCoreApplication::processEvents();
    }
};

Chunks byteByByte(const QByteArray &bytes)
{
    Chunks chunks;
    for (const char c : bytes)
        chunks.append(QByteArray(1, c));
    return chunks;
}

} // namespace

class TestPacketReceiver : public QObject {
    Q_OBJECT
private slots:
    void chunkedStream_decodesEachPacketOnce_data();
    void chunkedStream_decodesEachPacketOnce();
    void steadyStream_readsNoLocalTime();
    void missingHeaderByte_reportsTimeOut_data();
    void missingHeaderByte_reportsTimeOut();
    void commandInProgress_leavesBytesForDrain();
    void commandStartedByDecodedCallback_stopsReading();
    void nestedReadyRead_keepsOrderAndDeliversOnce();
};

void TestPacketReceiver::chunkedStream_decodesEachPacketOnce_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<QList<int>>("decoded");
    QTest::addColumn<int>("checksumErrors");
    QTest::addColumn<QStringList>("lines");

    const QByteArray p1 = packetAt(1);
    const QByteArray p2 = packetAt(2);
    QTest::newRow("garbage before a header")
        << Chunks{QByteArray("\x00\x13\x01\xFF\x07", 5) + p1} << QList<int>{1} << 0
        << QStringList();
    QTest::newRow("header split across chunks")
        << Chunks{p1.left(1), p1.mid(1, 1), p1.mid(2)} << QList<int>{1} << 0 << QStringList();
    QTest::newRow("one byte per chunk") << byteByByte(p1 + p2) << QList<int>{1, 2} << 0
                                        << QStringList();
    QTest::newRow("two packets in one chunk") << Chunks{p1 + p2} << QList<int>{1, 2} << 0
                                              << QStringList();
    QTest::newRow("chunk boundary inside the second packet")
        << Chunks{p1 + p2.left(10), p2.mid(10)} << QList<int>{1, 2} << 0 << QStringList();
    // The header search reads the byte after a lone FE as the would-be FF and drops it.
    QTest::newRow("FE just before a header loses that packet")
        << Chunks{"\xFE" + p1 + p2} << QList<int>{2} << 0 << QStringList();
    QTest::newRow("bad check byte, then a good packet")
        << Chunks{withBadCheckByte(p1) + p2} << QList<int>{2} << 1 << QStringList();
    QTest::newRow("bad trailer, then a good packet")
        << Chunks{withBrokenTrailer(p1, packet::kTrailer1Offset) + p2} << QList<int>{2} << 0
        << QStringList{"FF error"};
    // A repeated second ends its packet, so the header right after it is found.
    QTest::newRow("repeated second keeps the following packet")
        << Chunks{p1 + p1 + p2 + packetAt(3)} << QList<int>{1, 2, 3} << 0 << QStringList();
    // After a counter error the next packet's bytes are collected without a header search.
    QTest::newRow("counter error takes the next packet as a body")
        << Chunks{packetAt(1000) + packetAt(900) + packetAt(1001) + packetAt(1002)}
        << QList<int>{1000, 1002} << 1 << QStringList{"A seconds counter error has occured!"};
}

void TestPacketReceiver::chunkedStream_decodesEachPacketOnce()
{
    QFETCH(Chunks, chunks);
    QFETCH(QList<int>, decoded);
    QFETCH(int, checksumErrors);
    QFETCH(QStringList, lines);
    ReceiverRig rig;
    rig.arrive(chunks);
    QCOMPARE(rig.decodedSeconds, decoded);
    QCOMPARE(rig.decoder.checksumErrorCount(), checksumErrors);
    QCOMPARE(rig.log.lines, lines);
    QCOMPARE(rig.port.bytesAvailable(), 0);
}

void TestPacketReceiver::steadyStream_readsNoLocalTime()
{
    ReceiverRig rig;
    QByteArray stream;
    for (int second = 1; second <= 50; ++second)
        stream += packetAt(second);
    rig.arrive(Chunks{stream.left(1000), stream.mid(1000)});
    QCOMPARE(rig.decodedSeconds.size(), 50);
    // Local time costs a system call; the packets of a stream need none.
    QCOMPARE(rig.countingClock.localReads, 0);
}

void TestPacketReceiver::missingHeaderByte_reportsTimeOut_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("second header byte missing") << QByteArray("\xFE", 1);
    QTest::newRow("third header byte missing") << QByteArray("\xFE\xFF", 2);
}

void TestPacketReceiver::missingHeaderByte_reportsTimeOut()
{
    QFETCH(QByteArray, bytes);
    ReceiverRig rig;
    rig.arrive({bytes});
    QCOMPARE(rig.log.lines, QStringList{"Time out error"});
    // The wait blocked on the port, without the event loop, for one to two seconds.
    QVERIFY(rig.port.blockingWaits > 0);
    QVERIFY(rig.clock.elapsedMs() >= 1000 && rig.clock.elapsedMs() <= 2000);

    rig.arrive({packetAt(7)});
    QCOMPARE(rig.decodedSeconds, QList<int>{7});
}

void TestPacketReceiver::commandInProgress_leavesBytesForDrain()
{
    ReceiverRig rig;
    rig.flags.commandInProgress = true;
    rig.arrive({packetAt(1)});
    QCOMPARE(rig.port.bytesAvailable(), packet::kSize);
    QVERIFY(rig.decodedSeconds.isEmpty());

    rig.flags.commandInProgress = false;
    rig.receiver.drain();
    QCOMPARE(rig.decodedSeconds, QList<int>{1});
    QCOMPARE(rig.port.bytesAvailable(), 0);
}

void TestPacketReceiver::commandStartedByDecodedCallback_stopsReading()
{
    ReceiverRig rig;
    rig.decoder.onPacketDecoded = [&rig] {
        rig.decodedSeconds.append(rig.decoder.reading().seconds);
        rig.flags.commandInProgress = true; // e.g. a setup command started from an event
    };
    rig.arrive({packetAt(1) + packetAt(2)});
    QCOMPARE(rig.decodedSeconds, QList<int>{1});
    QCOMPARE(rig.port.bytesAvailable(), packet::kSize);

    rig.flags.commandInProgress = false;
    rig.decoder.onPacketDecoded = [&rig] {
        rig.decodedSeconds.append(rig.decoder.reading().seconds);
    };
    rig.receiver.drain();
    QCOMPARE(rig.decodedSeconds, (QList<int>{1, 2}));
}

void TestPacketReceiver::nestedReadyRead_keepsOrderAndDeliversOnce()
{
    ReceiverRig rig;
    bool nested = false;
    rig.decoder.onPacketDecoded = [&] {
        rig.decodedSeconds.append(rig.decoder.reading().seconds);
        if (nested)
            return;
        nested = true;
        // A handler that waits in its own event loop while more bytes arrive, as web posting
        // may: the readyRead raised meanwhile must not read ahead of the bytes in hand.
        rig.port.arrive(packetAt(3).left(20));
        rig.port.arrive(packetAt(3).mid(20));
        QEventLoop loop;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
        rig.receiver.drain(); // also ignored while the handler runs
    };
    rig.arrive({packetAt(1) + packetAt(2)});
    QCoreApplication::processEvents();
    QCOMPARE(rig.decodedSeconds, (QList<int>{1, 2, 3}));
    QCOMPARE(rig.decoder.checksumErrorCount(), 0);
    QVERIFY(rig.log.lines.isEmpty());
}

QTEST_GUILESS_MAIN(TestPacketReceiver)
#include "tst_packet_receiver.moc"
