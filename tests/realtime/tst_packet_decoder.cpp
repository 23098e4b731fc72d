#include "decoder_rig.h"

#include <QtTest>

#include <functional>

using namespace test_packets;

Q_DECLARE_METATYPE(PacketFields)

namespace {

double readingField(const LiveReading &r, const QString &name)
{
    static const QHash<QString, std::function<double(const LiveReading &)>> fields{
        {"volts", [](const LiveReading &r) { return r.volts; }},
        {"ws1", [](const LiveReading &r) { return r.ws1; }},
        {"ws2", [](const LiveReading &r) { return r.ws2; }},
        {"ws1Polar", [](const LiveReading &r) { return r.ws1Polar; }},
        {"ws2Polar", [](const LiveReading &r) { return r.ws2Polar; }},
        {"pf1", [](const LiveReading &r) { return double(r.pf1); }},
        {"pf2", [](const LiveReading &r) { return double(r.pf2); }},
        {"kwh1", [](const LiveReading &r) { return r.kwh1; }},
        {"seconds", [](const LiveReading &r) { return double(r.seconds); }},
    };
    return fields.value(name)(r);
}

} // namespace

class TestPacketDecoder : public QObject {
    Q_OBJECT
private slots:
    void packetField_decodesToReading_data();
    void packetField_decodesToReading();
    void rejectedPacket_isNotDecoded_data();
    void rejectedPacket_isNotDecoded();
    void secondsCounter_decidesDecoding_data();
    void secondsCounter_decidesDecoding();
    void resetCounter_movesOffsets_data();
    void resetCounter_movesOffsets();
    void twoResetsInARow_staticCounterKeepsCounting();
    void powerAndCurrent_followCounters_data();
    void powerAndCurrent_followCounters();
    void smallPowerFactor_keepsPreviousFactor_data();
    void smallPowerFactor_keepsPreviousFactor();
    void firstPacketAfterRestart_spansTimeSinceSave();
    void everyPacketByte_reachesByteCallback();
};

void TestPacketDecoder::packetField_decodesToReading_data()
{
    QTest::addColumn<PacketFields>("fields");
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("expected");

    PacketFields f = steadyLoadAt(10);
    f.decivolts = 0x04B0;
    QTest::newRow("voltage bytes 04 B0 are 120.0 V") << f << "volts" << 120.0;
    f = steadyLoadAt(10);
    f.ws1 = (quint64(1) << 40) - 1;
    QTest::newRow("largest 40-bit counter keeps every byte") << f << "ws1" << 1099511627775.0;
    f.ws2 = 0x0102030405;
    QTest::newRow("channel 2 counter is little-endian") << f << "ws2" << 4328719365.0;
    f.ws1Polar = quint64(1) << 32;
    QTest::newRow("fifth counter byte weighs 2^32") << f << "ws1Polar" << 4294967296.0;
    f.ws2Polar = 258;
    QTest::newRow("channel 2 polarized counter") << f << "ws2Polar" << 258.0;
    f.pfRaw1 = 32768;
    QTest::newRow("power factor 32768 is one half") << f << "pf1" << 0.5;
    f.pfRaw2 = 49152;
    QTest::newRow("channel 2 power factor") << f << "pf2" << 0.75;
    f.ws1 = 3600000;
    QTest::newRow("3.6 million Ws are one kWh") << f << "kwh1" << 1.0;
    f.seconds = 0x123456;
    QTest::newRow("seconds counter spans three bytes") << f << "seconds" << double(0x123456);
}

void TestPacketDecoder::packetField_decodesToReading()
{
    QFETCH(PacketFields, fields);
    QFETCH(QString, field);
    QFETCH(double, expected);
    DecoderRig rig;
    rig.feed(fields);
    QCOMPARE(rig.decoded, 1);
    QCOMPARE(readingField(rig.reading(), field), expected);
    QVERIFY(!rig.decoder.inPacket());
}

void TestPacketDecoder::rejectedPacket_isNotDecoded_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("checksumErrors");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("wrong check byte") << withBadCheckByte(packetAt(10)) << 1 << QStringList();

    // Every addition carries past 255, so the running sum never drops below 256; the plain
    // 8-bit sum of the bytes must not be taken for it.
    QByteArray carrying(packet::kBodySize, char(0xFF));
    carrying[packet::kTrailer2Offset - packet::kBodyOffset] = char(packet::kTrailer2);
    int eightBitSum = 0xFE + 0xFF + 0x01;
    for (const char c : carrying)
        eightBitSum += static_cast<unsigned char>(c);
    QTest::newRow("check byte of a sum that never drops below 256")
        << (QByteArray("\xFE\xFF\x01", 3) + carrying + char(eightBitSum & 0xFF)) << 1
        << QStringList();

    QTest::newRow("first trailer byte not FF") << withBrokenTrailer(packetAt(10), packet::kTrailer1Offset) << 0
                                               << QStringList{"FF error"};
    QTest::newRow("second trailer byte not FE") << withBrokenTrailer(packetAt(10), packet::kTrailer2Offset) << 0
                                                << QStringList{"FE error"};
}

void TestPacketDecoder::rejectedPacket_isNotDecoded()
{
    QFETCH(QByteArray, packet);
    QFETCH(int, checksumErrors);
    QFETCH(QStringList, lines);
    DecoderRig rig;
    rig.feed(packet);
    QCOMPARE(rig.decoded, 0);
    QCOMPARE(rig.decoder.checksumErrorCount(), checksumErrors);
    QCOMPARE(rig.log.lines, lines);
    QVERIFY(!rig.decoder.inPacket());
    QCOMPARE(rig.reading().seconds, 0);

    rig.feed(packetAt(20));
    QCOMPARE(rig.decoded, 1);
    QCOMPARE(rig.reading().seconds, 20);
}

void TestPacketDecoder::secondsCounter_decidesDecoding_data()
{
    QTest::addColumn<quint32>("firstSeconds");
    QTest::addColumn<quint32>("secondSeconds");
    QTest::addColumn<bool>("secondDecoded");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("stillInPacket");

    const QStringList counterError{"A seconds counter error has occured!"};
    QTest::newRow("counter advanced") << 100u << 103u << true << 3 << QStringList() << false;
    QTest::newRow("repeated second stops decoding and ends the packet")
        << 100u << 100u << false << 0 << QStringList() << false;
    QTest::newRow("wrap after byte 37 was 255")
        << (packet::kSecondsModulus - 6) << 5u << true << 11
        << QStringList{"Error.... Last second counter value is greater than the current value.",
                       "Last counter = 16777210   Current counter = 5", "03,07,2026 09:05"}
        << false;
    QTest::newRow("backwards without a wrap") << 1000u << 900u << false << 0 << counterError
                                              << true;
    QTest::newRow("drop to a small count before byte 37 reached 255")
        << 0xFFFFu << 5u << false << 0 << counterError << true;
    QTest::newRow("backwards while byte 37 is still 255")
        << 0xFFFFF0u << 0xFF0000u << false << 0 << counterError << true;
}

void TestPacketDecoder::secondsCounter_decidesDecoding()
{
    QFETCH(quint32, firstSeconds);
    QFETCH(quint32, secondSeconds);
    QFETCH(bool, secondDecoded);
    QFETCH(int, delta);
    QFETCH(QStringList, lines);
    QFETCH(bool, stillInPacket);
    DecoderRig rig;
    const PacketFields first = steadyLoadAt(firstSeconds);
    rig.feed(first);
    PacketFields second = first;
    second.seconds = secondSeconds;
    second.ws1 += 300; // a plausible load, so only the seconds decide
    rig.feed(second);

    QCOMPARE(rig.decoded, secondDecoded ? 2 : 1);
    QCOMPARE(rig.log.lines, lines);
    QCOMPARE(rig.decoder.inPacket(), stillInPacket);
    // A packet that is not decoded is not shown: the reading keeps the first packet.
    QCOMPARE(rig.reading().seconds, qint32(secondDecoded ? secondSeconds : firstSeconds));
    QCOMPARE(rig.reading().ws1, double(secondDecoded ? second.ws1 : first.ws1));
    if (secondDecoded) {
        QCOMPARE(rig.reading().lastSeconds, qint32(firstSeconds));
        QCOMPARE(rig.reading().secondsDelta, delta);
    }
    if (lines.contains(QStringLiteral("A seconds counter error has occured!")))
        QCOMPARE(rig.decoder.byteCount(), 0);
}

void TestPacketDecoder::resetCounter_movesOffsets_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<bool>("countsAsReset");

    QTest::newRow("3 then 4 is one reset") << 3 << 4 << true;
    QTest::newRow("3 then 5 is only recorded") << 3 << 5 << false;
    QTest::newRow("7 then 0 wraps and is one reset") << 7 << 0 << true;
    QTest::newRow("same count is no reset") << 3 << 3 << false;
}

// Counters that restart with a counted reset and counters that go on without one give the same
// static counters, plain and polarized.
void TestPacketDecoder::resetCounter_movesOffsets()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(bool, countsAsReset);
    DecoderRig rig;
    DecoderState saved;
    saved.preReset1 = 500;
    saved.preReset2 = 600;
    saved.preResetP1 = 77;
    saved.preResetP2 = 88;
    saved.lastResetCount = before;
    rig.decoder.restoreState(saved);

    PacketFields f = steadyLoadAt(10);
    f.resetCount = quint8(before);
    f.ws1 = 10000;
    f.ws2 = 20000;
    f.ws1Polar = 4000;
    f.ws2Polar = 3000;
    rig.feed(f);
    const quint64 base = countsAsReset ? 0 : 1; // counters from zero, or going on
    f.seconds = 20;
    f.resetCount = quint8(after);
    f.ws1 = base * 10000 + 50;
    f.ws2 = base * 20000 + 60;
    f.ws1Polar = base * 4000 + 5;
    f.ws2Polar = base * 3000 + 6;
    rig.feed(f);

    QCOMPARE(rig.decoded, 2);
    QCOMPARE(rig.reading().ws1Static, 10550.0);
    QCOMPARE(rig.reading().ws2Static, 20660.0);
    QCOMPARE(rig.reading().ws1PolarStatic, 4082.0);
    QCOMPARE(rig.reading().ws2PolarStatic, 3094.0);
    QCOMPARE(rig.decoder.persistedState().lastResetCount, after);
    // Power after a counted reset is what was counted since it, not the fall of the counters.
    QCOMPARE(rig.reading().watts1, 5.0);
}

void TestPacketDecoder::twoResetsInARow_staticCounterKeepsCounting()
{
    DecoderRig rig;
    const quint64 counts[] = {1000, 200, 300};
    for (int i = 0; i < 3; ++i) {
        PacketFields f = steadyLoadAt(10 * (i + 1));
        f.resetCount = quint8(i);
        f.ws1 = counts[i];
        rig.feed(f);
    }
    QCOMPARE(rig.decoded, 3);
    // Each reset adds what the monitor counted before it, rather than replacing earlier offsets.
    QCOMPARE(rig.reading().ws1Static, 1500.0);
    QCOMPARE(rig.decoder.persistedState().preReset1, 1200.0);
}

void TestPacketDecoder::powerAndCurrent_followCounters_data()
{
    QTest::addColumn<qint64>("wsIncrease");
    QTest::addColumn<quint32>("seconds");
    QTest::addColumn<quint16>("pfRaw");
    QTest::addColumn<quint16>("decivolts");
    QTest::addColumn<double>("watts");
    QTest::addColumn<float>("amps");

    QTest::newRow("1000 Ws over 3 s floors to 333 W")
        << qint64(1000) << 3u << quint16(32768) << quint16(1200) << 333.0 << 5.55f;
    QTest::newRow("1001 Ws over 2 s floors to 500 W")
        << qint64(1001) << 2u << quint16(32768) << quint16(1200) << 500.0
        << float(500.0 / 0.5 / 120.0);
    QTest::newRow("no power factor yet gives 0 A instead of a division by zero")
        << qint64(1200) << 2u << quint16(0) << quint16(1200) << 600.0 << 0.0f;
    QTest::newRow("20.0 V, the lowest believed voltage")
        << qint64(1200) << 2u << quint16(32768) << quint16(200) << 600.0 << 60.0f;
}

void TestPacketDecoder::powerAndCurrent_followCounters()
{
    QFETCH(qint64, wsIncrease);
    QFETCH(quint32, seconds);
    QFETCH(quint16, pfRaw);
    QFETCH(quint16, decivolts);
    QFETCH(double, watts);
    QFETCH(float, amps);
    DecoderRig rig;
    PacketFields f = steadyLoadAt(100);
    f.ws1 = 50000;
    f.pfRaw1 = pfRaw;
    f.decivolts = decivolts;
    rig.feed(f);
    f.seconds += seconds;
    f.ws1 = quint64(qint64(f.ws1) + wsIncrease);
    rig.feed(f);

    QCOMPARE(rig.decoded, 2);
    QCOMPARE(rig.reading().watts1, watts);
    QCOMPARE(rig.reading().amps1, amps);
    QCOMPARE(rig.reading().lastWs1, double(f.ws1));
}

void TestPacketDecoder::smallPowerFactor_keepsPreviousFactor_data()
{
    QTest::addColumn<quint16>("laterRaw");
    QTest::addColumn<float>("pf");

    QTest::newRow("raw 200 keeps one half") << quint16(200) << 0.5f;
    QTest::newRow("raw 255 keeps one half") << quint16(255) << 0.5f;
    QTest::newRow("raw 256 is taken") << quint16(256) << float(256 / 65536.0);
}

void TestPacketDecoder::smallPowerFactor_keepsPreviousFactor()
{
    QFETCH(quint16, laterRaw);
    QFETCH(float, pf);
    DecoderRig rig;
    PacketFields f = steadyLoadAt(10);
    f.pfRaw1 = 32768;
    f.pfRaw2 = 16384;
    rig.feed(f);
    f.seconds = 20;
    f.pfRaw1 = laterRaw;
    rig.feed(f);
    QCOMPARE(rig.reading().pf1, pf);
    QCOMPARE(rig.reading().pf2, 0.25f);
    QCOMPARE(rig.decoder.pfRaw1(), int(laterRaw));
}

void TestPacketDecoder::firstPacketAfterRestart_spansTimeSinceSave()
{
    DecoderRig rig;
    DecoderState saved;
    saved.lastWs1 = 1000;
    saved.lastWs2 = 2000;
    saved.seconds = 100;
    saved.lastResetCount = 2;
    rig.decoder.restoreState(saved);

    PacketFields f = steadyLoadAt(110);
    f.ws1 = 4000;
    f.ws2 = 2500;
    f.resetCount = 2;
    rig.feed(f);

    QCOMPARE(rig.reading().secondsDelta, 10);
    QCOMPARE(rig.reading().watts1, 300.0);
    QCOMPARE(rig.reading().watts2, 50.0);
    const DecoderState now = rig.decoder.persistedState();
    QCOMPARE(now.lastWs1, 4000.0);
    QCOMPARE(now.lastWs2, 2500.0);
    QCOMPARE(now.seconds, 110);
    QCOMPARE(now.preReset1, 0.0);
}

void TestPacketDecoder::everyPacketByte_reachesByteCallback()
{
    DecoderRig rig;
    int bytes = 0;
    qint32 secondsSeenByDecodedCallback = -1;
    rig.decoder.onPacketByte = [&] { ++bytes; };
    rig.decoder.onPacketDecoded = [&] { secondsSeenByDecodedCallback = rig.reading().seconds; };
    rig.feed(packetAt(42));
    QCOMPARE(bytes, 40);
    QCOMPARE(secondsSeenByDecodedCallback, 42);

    rig.feed(withBadCheckByte(packetAt(43)));
    QCOMPARE(bytes, 80);
}

QTEST_GUILESS_MAIN(TestPacketDecoder)
#include "tst_packet_decoder.moc"
