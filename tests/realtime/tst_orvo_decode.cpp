#include "test_packets.h"

#include <QtTest>

#include <QDir>
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

// A hex dump as written by hand: pairs of hex digits separated by blanks, "#" to the end of a
// line is a comment. Empty with ok false at the first word that is not a byte.
QByteArray bytesFromHexDump(const QByteArray &text, bool *ok, QByteArray *badWord)
{
    QByteArray bytes;
    for (QByteArray line : text.split('\n')) {
        if (const qsizetype comment = line.indexOf('#'); comment >= 0)
            line.truncate(comment);
        for (const QByteArray &word : line.simplified().split(' ')) {
            if (word.isEmpty())
                continue;
            const int value = word.toInt(ok, 16);
            if (!*ok || word.size() != 2) {
                *ok = false;
                *badWord = word;
                return {};
            }
            bytes.append(char(value));
        }
    }
    *ok = true;
    return bytes;
}

bool isDateLine(const QJsonObject &line)
{
    static const QRegularExpression date(R"(^\d\d,\d\d,\d{4} \d\d:\d\d$)");
    return date.match(line.value("status").toString()).hasMatch();
}

// Whether an output line says what the expected one does. The wrap's date line carries the
// time of the run, so any date passes for it; the summary is checked for the keys expected,
// so that counts added to it later do not break the comparison.
bool lineMatches(const QJsonObject &actual, const QJsonObject &expected)
{
    if (isDateLine(expected))
        return isDateLine(actual);
    if (!expected.contains("packets"))
        return actual == expected;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (actual.value(it.key()) != it.value())
            return false;
    }
    return actual.contains("packets");
}

} // namespace

class TestOrvoDecode : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void stream_writesLinesInOrder_data();
    void stream_writesLinesInOrder();
    void packetLine_carriesReadingFields();
    void goldenFile_printsExpectedLines_data();
    void goldenFile_printsExpectedLines();
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
        << packetAt(1) + withBrokenTrailer(packetAt(2), packet::kTrailer1Offset) + packetAt(3)
        << QStringList{"packet 1", "status FF error", "packet 3", "summary 2 0"};
    PacketFields wild = steadyLoadAt(2);
    wild.ws1 = (quint64(1) << 40) - 1;
    QTest::newRow("a wild packet that passes its check byte is dropped")
        << packetAt(1) + encodePacket(wild) + packetAt(3)
        << QStringList{"packet 1", "packet 3", "summary 2 0 suspects 1"};
    QTest::newRow("a doubtful packet at the end of input is dropped")
        << packetAt(1) + encodePacket(wild)
        << QStringList{"packet 1", "summary 1 0 suspects 1"};
    // Every packet sent is decoded, a checksum error or a dropped suspect.
    QTest::newRow("a repeated second is counted with the suspects")
        << packetAt(1) + packetAt(1) + packetAt(2) + withBadCheckByte(packetAt(3)) + packetAt(4)
        << QStringList{"packet 1", "packet 2", "packet 4", "summary 3 1 suspects 1"};
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

void TestOrvoDecode::goldenFile_printsExpectedLines_data()
{
    // Each input in the data folder, a raw capture (.bin) or a hex dump written by hand (.hex),
    // has beside it the lines orvo-decode prints for it (.jsonl).
    QTest::addColumn<QString>("inputPath");
    const QDir data(QStringLiteral(ORVO_REALTIME_TEST_DATA));
    const QFileInfoList inputs =
        data.entryInfoList({QStringLiteral("*.bin"), QStringLiteral("*.hex")}, QDir::Files, QDir::Name);
    QVERIFY(inputs.size() >= 6);
    for (const QFileInfo &input : inputs)
        QTest::newRow(qPrintable(input.fileName())) << input.filePath();
}

void TestOrvoDecode::goldenFile_printsExpectedLines()
{
    QFETCH(QString, inputPath);
    QFile inputFile(inputPath);
    QVERIFY(inputFile.open(QIODevice::ReadOnly));
    QByteArray input = inputFile.readAll();
    if (inputPath.endsWith(QLatin1String(".hex"))) {
        bool ok = false;
        QByteArray badWord;
        input = bytesFromHexDump(input, &ok, &badWord);
        QVERIFY2(ok, ("not a byte in the hex dump: " + badWord).constData());
    }
    QFile expectedFile(inputPath.left(inputPath.lastIndexOf('.')) + QStringLiteral(".jsonl"));
    QVERIFY2(expectedFile.open(QIODevice::ReadOnly), qPrintable(expectedFile.fileName()));
    const QList<QByteArray> expected = expectedFile.readAll().trimmed().split('\n');

    const DecodeRun run = runDecode(input);
    QCOMPARE(run.exitCode, 0);
    const QList<QByteArray> actual = run.output.trimmed().split('\n');
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
        const QJsonObject want = QJsonDocument::fromJson(expected.at(i)).object();
        QVERIFY2(!want.isEmpty(), qPrintable(QStringLiteral("expected line %1 is no JSON object").arg(i + 1)));
        QVERIFY2(lineMatches(QJsonDocument::fromJson(actual.at(i)).object(), want),
                 qPrintable(QStringLiteral("line %1\n   actual: %2\n expected: %3")
                                .arg(i + 1)
                                .arg(QString::fromUtf8(actual.at(i)), QString::fromUtf8(expected.at(i)))));
    }
    QCOMPARE(actual.size(), expected.size());
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
