#include "test_packets.h"

#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace test_packets;

namespace {

struct DecodeRun {
    int exitCode = -1;
    QByteArray output;
    QList<QJsonObject> objects;
};

DecodeRun runDecode(const QByteArray &input, const QStringList &args = {})
{
    QProcess process;
    process.start(qEnvironmentVariable("ORVO_BIN_DIR") + QStringLiteral("/orvo-decode"), args);
    DecodeRun run;
    if (!process.waitForStarted())
        return run;
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    for (const QByteArray &line : run.output.split('\n')) {
        if (!line.isEmpty())
            run.objects.append(QJsonDocument::fromJson(line).object());
    }
    return run;
}

// One word per output line: what kind of line it is and what identifies it.
QStringList outline(const DecodeRun &run)
{
    QStringList words;
    for (const QJsonObject &o : run.objects) {
        if (o.contains("status"))
            words.append("status " + o.value("status").toString());
        else if (o.contains("packets"))
            words.append(QStringLiteral("summary %1 %2%3")
                             .arg(o.value("packets").toInt())
                             .arg(o.value("checksumErrors").toInt())
                             .arg(o.value("suspectDropped").toInt()
                                      ? QStringLiteral(" suspects %1")
                                            .arg(o.value("suspectDropped").toInt())
                                      : QString()));
        else
            words.append(QStringLiteral("packet %1").arg(o.value("seconds").toInt()));
    }
    return words;
}

} // namespace

class TestOrvoDecode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void stream_writesLinesInOrder_data();
    void stream_writesLinesInOrder();
    void packetLine_carriesReadingFields();
    void capturedFile_replaysWithWrapAndReset();
    void inputOverManyChunks_decodesEveryPacket();
    void missingFile_fails();
};

void TestOrvoDecode::initTestCase()
{
    QVERIFY2(QFileInfo::exists(qEnvironmentVariable("ORVO_BIN_DIR") + "/orvo-decode"),
             "orvo-decode is not built");
}

void TestOrvoDecode::stream_writesLinesInOrder_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty input") << QByteArray() << QStringList{"summary 0 0"};
    QTest::newRow("two packets") << packetAt(1) + packetAt(2)
                                 << QStringList{"packet 1", "packet 2", "summary 2 0"};
    QTest::newRow("bad check byte is only counted")
        << withBadCheckByte(packetAt(1)) + packetAt(2)
        << QStringList{"packet 2", "summary 1 1"};
    QTest::newRow("status line between packets")
        << packetAt(1) + withBrokenTrailer(packetAt(2), 38) + packetAt(3)
        << QStringList{"packet 1", "status FF error", "packet 3", "summary 2 0"};
    PacketFields wild = steadyLoadAt(2);
    wild.ws1 = (quint64(1) << 40) - 1;
    QTest::newRow("a wild packet that passes its check byte is dropped")
        << packetAt(1) + encodePacket(wild) + packetAt(3)
        << QStringList{"packet 1", "packet 3", "summary 2 0 suspects 1"};
    QTest::newRow("a doubtful packet at the end of input is dropped")
        << packetAt(1) + encodePacket(wild)
        << QStringList{"packet 1", "summary 1 0 suspects 1"};
    QTest::newRow("header cut off at the end of input")
        << packetAt(1) + QByteArray("\xFE\xFF", 2)
        << QStringList{"packet 1", "status Time out error", "summary 1 0"};
}

void TestOrvoDecode::stream_writesLinesInOrder()
{
    QFETCH(QByteArray, input);
    QFETCH(QStringList, lines);
    const DecodeRun run = runDecode(input);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(outline(run), lines);
}

void TestOrvoDecode::packetLine_carriesReadingFields()
{
    PacketFields f = steadyLoadAt(100);
    f.ws1 = 50000;
    const QByteArray first = encodePacket(f);
    f.seconds = 103;
    f.ws1 = 51000;
    f.ws1Polar = 7;
    const DecodeRun run = runDecode(first + encodePacket(f));
    QCOMPARE(run.objects.size(), 3);

    const QJsonObject packet = run.objects.at(1);
    const QStringList keys{"volts", "ws1", "ws2", "ws1Polar", "ws2Polar", "ws1Static",
                           "ws2Static", "ws1PolarStatic", "ws2PolarStatic", "watts1", "watts2",
                           "kwh1", "kwh2", "amps1", "amps2", "pf1", "pf2", "seconds",
                           "secondsDelta"};
    QStringList sortedKeys = keys;
    sortedKeys.sort();
    QCOMPARE(packet.keys(), sortedKeys);
    QCOMPARE(packet.value("volts").toDouble(), 120.0);
    QCOMPARE(packet.value("watts1").toDouble(), 333.0);
    QCOMPARE(packet.value("ws1PolarStatic").toDouble(), 7.0);
    QCOMPARE(packet.value("secondsDelta").toInt(), 3);
    // Single-precision values are written as such, not as their double expansion.
    QVERIFY2(run.output.contains("\"amps1\": 5.55,"), run.output.constData());
}

void TestOrvoDecode::capturedFile_replaysWithWrapAndReset()
{
    // capture.bin: garbage, packets at 16777200, ...205, ...210, then 4 (a wrap), 9, 14,
    // one with a bad check byte (19), 24, stray bytes, one with a bad trailer (29), 34, and
    // at 39 a monitor reset with its counters back near zero.
    const DecodeRun run =
        runDecode({}, {QStringLiteral(ORVO_REALTIME_TEST_DATA "/capture.bin")});
    QCOMPARE(run.exitCode, 0);
    QStringList lines = outline(run);
    QCOMPARE(lines.size(), 14);
    QVERIFY2(QRegularExpression(R"(^status \d\d,\d\d,\d{4} \d\d:\d\d$)").match(lines[5]).hasMatch(),
             qPrintable(lines[5]));
    lines[5] = "status <date>";
    const QStringList expected{
        "packet 16777200", "packet 16777205", "packet 16777210",
        "status Error.... Last second counter value is greater than the current value.",
        "status Last counter = 16777210   Current counter = 4", "status <date>",
        "packet 4", "packet 9", "packet 14", "packet 24", "status FF error", "packet 34",
        "packet 39", "summary 9 1"};
    QCOMPARE(lines, expected);
    QCOMPARE(run.objects.at(6).value("secondsDelta").toInt(), 10);

    const QJsonObject afterReset = run.objects.at(12);
    QCOMPARE(afterReset.value("ws1").toDouble(), 300.0);
    QCOMPARE(afterReset.value("ws1Static").toDouble(), 5010300.0);
    // The polarized counter carries its count from before the reset too.
    QCOMPARE(afterReset.value("ws1PolarStatic").toDouble(), 2505150.0);
}

void TestOrvoDecode::inputOverManyChunks_decodesEveryPacket()
{
    // Well over the decoder's read chunk, so packets straddle chunk boundaries.
    QByteArray input;
    const int packets = 6000;
    for (int s = 1; s <= packets; ++s)
        input += packetAt(quint32(s));
    const DecodeRun run = runDecode(input);
    QCOMPARE(run.objects.size(), packets + 1);
    QCOMPARE(outline(run).last(), QStringLiteral("summary %1 0").arg(packets));
    QCOMPARE(run.objects.at(packets - 1).value("seconds").toInt(), packets);
}

void TestOrvoDecode::missingFile_fails()
{
    const DecodeRun run = runDecode({}, {QStringLiteral("/nonexistent/capture.bin")});
    QVERIFY(run.exitCode != 0);
    QVERIFY(run.objects.isEmpty());
}

QTEST_GUILESS_MAIN(TestOrvoDecode)
#include "tst_orvo_decode.moc"
