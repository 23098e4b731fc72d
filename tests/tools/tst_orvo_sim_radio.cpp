#include "sim_process.h"
#include "sim_terminal.h"

#include <QTest>

using namespace simtest;

class TestOrvoSimRadio : public QObject {
    Q_OBJECT
private slots:
    void discoveryThenHandshake_streamsPackets();
    void commandModeReplies_thenTransparent_data();
    void commandModeReplies_thenTransparent();
    void escapeWhileStreaming_dropsPacketsUntilTransparent();
};

void TestOrvoSimRadio::discoveryThenHandshake_streamsPackets()
{
    SimProcess sim;
    QVERIFY(sim.start({"--radio", "2", "--period-ms", "100", "--quiet"}));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());

    expectReply(end, "+++", "OK");
    expectReply(end, "ATDNE2\r", "OK");
    expectAck(end, FC);
    expectAck(end, "TOG");
    QVERIFY(end.send("PLR"));
    QByteArray stream;
    QVERIFY(end.collectUntil(stream, holdsValidPacket));
    QCOMPARE(stream.left(1).toHex(), FC.toHex());
}

void TestOrvoSimRadio::commandModeReplies_thenTransparent_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("escapeReply");
    QTest::addColumn<QByteArray>("commandReply");

    QTest::newRow("own_node_on_version_1") << QStringList{"--radio", "1"} << QByteArray("ATDNE1\r") << QByteArray("OK") << QByteArray("OK");
    QTest::newRow("node_1_asked_of_version_2") << QStringList{"--radio", "2"} << QByteArray("ATDNE1\r") << QByteArray("OK") << QByteArray("ERROR");
    QTest::newRow("error_fault_refuses_everything") << QStringList{"--radio", "2", "--radio-error"} << QByteArray("ATDNE2\r") << QByteArray("ERROR") << QByteArray("ERROR");
    QTest::newRow("silent_fault_answers_nothing") << QStringList{"--radio", "2", "--radio-silent"} << QByteArray("ATDNE2\r") << QByteArray() << QByteArray();
}

// Whatever the dongle answered, the monitor is reachable once the discovery command is done.
void TestOrvoSimRadio::commandModeReplies_thenTransparent()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, escapeReply);
    QFETCH(QByteArray, commandReply);

    SimProcess sim;
    QVERIFY(sim.start(arguments << "--quiet"));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());

    expectReply(end, "+++", escapeReply);
    expectReply(end, command, commandReply);
    expectAck(end, FC);
}

void TestOrvoSimRadio::escapeWhileStreaming_dropsPacketsUntilTransparent()
{
    SimProcess sim;
    QVERIFY(sim.start({"--radio", "2", "--start-streaming", "--period-ms", "50", "--quiet"}));
    TerminalEnd end(sim.devicePath());
    QVERIFY(end.isOpen());
    QByteArray stream;
    QVERIFY(end.collectUntil(stream, holdsValidPacket));

    QVERIFY(end.send("+++"));
    QByteArray untilOk;
    QVERIFY(end.collectUntil(untilOk, [](const QByteArray &r) { return r.endsWith("OK"); }));
    QTest::qWait(300); // six periods
    QCOMPARE(end.take().toHex(' '), QByteArray());

    QVERIFY(end.send("ATDNE2\r"));
    QByteArray resumed;
    QVERIFY(end.collectUntil(resumed, holdsValidPacket));
    QVERIFY2(resumed.startsWith("OK" + kHeader), resumed.left(8).toHex(' ').constData());
}

QTEST_GUILESS_MAIN(TestOrvoSimRadio)
#include "tst_orvo_sim_radio.moc"
