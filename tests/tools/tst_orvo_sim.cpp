#include "sim_process.h"
#include "sim_terminal.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace simtest;

class TestOrvoSim : public QObject {
    Q_OBJECT
private slots:
    void startAndStopHandshake_streamsThenFallsSilent();
    void attentionWhileStreaming_holdsPacketsUntilGivenUp();
    void programReopensPort_simulatorStillAnswers();
    void termination_removesPortLink_data();
    void termination_removesPortLink();
    void stdoutWithCount_writesExactlyThosePackets();
    void badOptions_refusedBeforeStarting_data();
    void badOptions_refusedBeforeStarting();
};

void TestOrvoSim::startAndStopHandshake_streamsThenFallsSilent()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", "7", "--period-ms", "100", "--seed", "1", "--quiet"}));
    const QFileInfo link(sim.dataHome() + "/Orvotove/ports/COM7");
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), sim.devicePath());

    TerminalEnd end(link.filePath());
    QVERIFY(end.isOpen());
    expectAck(end, FC);
    expectAck(end, "TOG");
    QVERIFY(end.send("PLR"));
    QByteArray stream;
    QVERIFY(end.collectUntil(stream, holdsValidPacket));
    QCOMPARE(stream.left(1).toHex(), FC.toHex());

    QVERIFY(end.send(FC + "TOG" + "OFF"));
    QByteArray tail;
    QVERIFY(end.collectUntil(tail, [](const QByteArray &r) { return r.endsWith(FC + FC + FC); }));
    QByteArray afterStop;
    QTest::qWait(600); // six periods
    afterStop += end.take();
    QCOMPARE(afterStop.toHex(), QByteArray());
}

void TestOrvoSim::attentionWhileStreaming_holdsPacketsUntilGivenUp()
{
    SimProcess sim;
    QVERIFY(sim.start({"--start-streaming", "--period-ms", "50", "--quiet"}));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());
    QByteArray stream;
    QVERIFY(end.collectUntil(stream, holdsValidPacket));

    // A host that sends the attention byte must find the acknowledge as the next byte, not
    // buried behind packets; the stream comes back once the host leaves the exchange unfinished.
    QVERIFY(end.send(FC));
    QByteArray reply;
    QVERIFY(end.collectUntil(reply, [](const QByteArray &r) { return r.endsWith(FC); }));
    QTest::qWait(500); // ten periods
    const QByteArray duringExchange = end.take();
    QVERIFY2(duringExchange.isEmpty() || duringExchange == FC, duringExchange.toHex().constData());
    QByteArray resumed;
    QVERIFY(end.collectUntil(resumed, holdsValidPacket, 5000));
}

void TestOrvoSim::programReopensPort_simulatorStillAnswers()
{
    SimProcess sim;
    QVERIFY(sim.start({"--period-ms", "100", "--quiet"}));
    for (int i = 0; i < 3; ++i) {
        TerminalEnd end(sim.devicePath());
        QVERIFY(end.isOpen());
        expectAck(end, FC);
    }
    QCOMPARE(sim.process().state(), QProcess::Running);
}

void TestOrvoSim::termination_removesPortLink_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("count");
    QTest::newRow("sigterm") << int(SIGTERM) << "0";
    QTest::newRow("sigint") << int(SIGINT) << "0";
    QTest::newRow("packet_count_reached") << 0 << "3";
}

void TestOrvoSim::termination_removesPortLink()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, count);
    SimProcess sim;
    QSignalSpy finished(&sim.process(), &QProcess::finished);
    QVERIFY(sim.start({"--port", "12", "--start-streaming", "--period-ms", "200", "--count", count, "--quiet"}));
    const QString link = sim.dataHome() + "/Orvotove/ports/COM12";
    QVERIFY(QFileInfo(link).isSymLink());

    if (signalNumber != 0)
        ::kill(pid_t(sim.process().processId()), signalNumber);
    QVERIFY(finished.count() > 0 || finished.wait(kWaitMs));
    QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process().exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestOrvoSim::stdoutWithCount_writesExactlyThosePackets()
{
    QProcess sim;
    sim.setProcessChannelMode(QProcess::SeparateChannels);
    sim.start(SimProcess::binDir() + "/orvo-sim", {"--stdout", "--count", "3", "--period-ms", "20", "--quiet"});
    QVERIFY(sim.waitForFinished(kWaitMs));
    QCOMPARE(sim.exitCode(), 0);
    const QByteArray bytes = sim.readAllStandardOutput();
    QCOMPARE(bytes.size(), 3 * packet::kSize);
    for (int i = 0; i < 3; ++i) {
        const QByteArray packet = bytes.mid(i * packet::kSize, packet::kSize);
        QVERIFY(packet.startsWith(kHeader));
        QVERIFY(holdsValidPacket(packet));
    }
}

void TestOrvoSim::badOptions_refusedBeforeStarting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port_zero") << QStringList{"--port", "0"};
    QTest::newRow("port_above_64") << QStringList{"--port", "65"};
    QTest::newRow("period_zero") << QStringList{"--period-ms", "0"};
    QTest::newRow("period_not_a_number") << QStringList{"--period-ms", "fast"};
    QTest::newRow("reset_count_above_7") << QStringList{"--reset-count", "8"};
    QTest::newRow("seconds_start_beyond_24_bits") << QStringList{"--seconds-start", "16777216"};
    QTest::newRow("unknown_option") << QStringList{"--turbo"};
    QTest::newRow("muted_word_not_a_word") << QStringList{"--no-ack-word", "PL"};
    QTest::newRow("muted_word_unknown") << QStringList{"--no-ack-word", "XYZ"};
    QTest::newRow("withheld_parameter_unknown") << QStringList{"--no-ack-param", "ct-phase"};
    QTest::newRow("block_size_zero") << QStringList{"--block-size", "0"};
    QTest::newRow("firmware_beyond_16_bits") << QStringList{"--firmware", "65536"};
    QTest::newRow("serial_of_four_bytes") << QStringList{"--serial", "1,2,3,4"};
    QTest::newRow("serial_byte_above_255") << QStringList{"--serial", "1,2,3,4,256"};
    QTest::newRow("port_with_stdout") << QStringList{"--stdout", "--port", "3"};
    QTest::newRow("radio_version_3") << QStringList{"--radio", "3"};
    QTest::newRow("radio_version_0") << QStringList{"--radio", "0"};
    QTest::newRow("radio_with_stdout") << QStringList{"--stdout", "--radio", "2"};
    QTest::newRow("radio_fault_without_radio") << QStringList{"--radio-silent"};
    QTest::newRow("radio_silent_and_error") << QStringList{"--radio", "1", "--radio-silent", "--radio-error"};
    QTest::newRow("solar_channel_3") << QStringList{"--solar", "--solar-channel", "3"};
    QTest::newRow("solar_channel_without_solar") << QStringList{"--solar-channel", "1"};
}

void TestOrvoSim::badOptions_refusedBeforeStarting()
{
    QFETCH(QStringList, arguments);
    QProcess sim;
    sim.start(SimProcess::binDir() + "/orvo-sim", arguments);
    QVERIFY(sim.waitForFinished(kWaitMs));
    QVERIFY(sim.exitCode() != 0);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    QVERIFY(!sim.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TestOrvoSim)
#include "tst_orvo_sim.moc"
