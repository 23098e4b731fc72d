#include "auto_start.h"
#include "data_flow_watchdog.h"
#include "data_server_control.h"
#include "fake_serial_port.h"
#include "manual_clock.h"
#include "monitor_double.h"
#include "monitor_link.h"
#include "packet_encoder.h"
#include "radio_discovery.h"
#include "realtime_control.h"
#include "realtime_status_view.h"
#include "realtime_recorders.h"
#include "recorders.h"

#include <QTest>

namespace {

// The program's real-time parts around a port double and a clock that jumps over idle waits.
struct Rig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    MonitorDouble monitor{port};
    RecordingStatusLines log;
    RecordingPrompts prompts;
    RecordingPortView portView;
    RecordingRealTimeView view;
    RecordingServer server;
    int panelOpened = 0;
    MonitorLink link{port, clock,
                     Reporters{.statusLog = &log, .portView = &portView, .prompts = &prompts}};
    RadioDiscovery discovery{link, log};
    RealTimeControl control{link, discovery, &server,
                            Reporters{.statusLog = &log,
                                      .prompts = &prompts,
                                      .realTimeView = &view,
                                      .openCommunicationPanel = [this] { ++panelOpened; }}};

    explicit Rig(int method = 8)
    {
        clock.setAutoAdvance(true);
        control.setLinkMethod(LinkMethod(method));
    }
    QByteArray sentAfterOpen() const { return port.written(); }
};

} // namespace

class TestRealTimeControl : public QObject {
    Q_OBJECT
private slots:
    void startWithoutMethod_asksForMethodAndSendsNothing();
    void startOverCable_skipsDiscoveryAndSendsHandshakeWords();
    void startFailures_nameTheFailedStep_data();
    void startFailures_nameTheFailedStep();
    void startWithStream_showsActiveAndLeavesBytesForReceiver();
    void startWithStartupListen_opensServer();
    void stopWithSilentMonitor_sendsOnlyAttentionBytes();
    void stopWithMonitor_sendsTogOffAndKeepsPort();
    void suspendAroundCommand_stopsAndRestartsRealTime();
    void discoveryReplies_decideNodeFound_data();
    void discoveryReplies_decideNodeFound();
    void startOverDongle_discoversOnceThenStarts();
    void watchdog_showsEachTransitionOnce();
    void watchdogOnTheClock_ticksEverySecond();
    void watchdog_opensServerOnFirstDataWhenListening();
    void autoStart_waitsForPortThenStartsOnce();
    void autoStart_withUndiscoveredDongle_warnsInstead();
};

void TestRealTimeControl::startWithoutMethod_asksForMethodAndSendsNothing()
{
    Rig rig(0);
    rig.control.startRealTime();
    QCOMPARE(rig.prompts.messages,
             QStringList{"A communication method has not been selected. Select method before "
                         "proceeding."});
    QCOMPARE(rig.panelOpened, 1);
    QCOMPARE(rig.port.openCount, 0);
    QVERIFY(rig.port.writes.isEmpty());
}

void TestRealTimeControl::startOverCable_skipsDiscoveryAndSendsHandshakeWords()
{
    Rig rig(8);
    rig.monitor.attentionsToIgnore = 1; // a monitor that only wakes at the second attention
    rig.control.startRealTime();
    QVERIFY(rig.discovery.radioNodeFound());
    QCOMPARE(rig.port.writes, (QList<QByteArray>{kAck, kAck, "TOG", "PLR"}));
    QCOMPARE(rig.log.lines, QStringList{"Real-Time is ON"});
    QVERIFY(rig.prompts.messages.isEmpty());
    QVERIFY(rig.link.flags().realTimeOn);
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestRealTimeControl::startFailures_nameTheFailedStep_data()
{
    QTest::addColumn<bool>("mute");
    QTest::addColumn<QString>("silentWord");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<int>("writes");
    QTest::newRow("no attention echo twice") << true << QString() << "No response from Acknowledge command" << 2;
    QTest::newRow("request word unacknowledged") << false << "TOG" << "No response from Request command" << 2;
    QTest::newRow("PLR unacknowledged") << false << "PLR" << "Error turning Real-Time ON" << 3;
}

void TestRealTimeControl::startFailures_nameTheFailedStep()
{
    QFETCH(bool, mute);
    QFETCH(QString, silentWord);
    QFETCH(QString, lastLine);
    QFETCH(int, writes);
    Rig rig;
    rig.monitor.mute = mute;
    if (!silentWord.isEmpty())
        rig.monitor.silent.insert(silentWord);
    rig.control.startRealTime();
    QCOMPARE(rig.log.lines.last(), lastLine);
    QCOMPARE(rig.port.writes.size(), writes);
    QCOMPARE(rig.prompts.messages,
             QStringList{"An error occured while attempting to start Real-Time data. Please "
                         "verify your COM port or connection"});
    QVERIFY(!rig.link.flags().commandInProgress);
    QVERIFY(!rig.link.flags().realTimeOn);
    QVERIFY(rig.port.isOpen());
}

void TestRealTimeControl::startWithStream_showsActiveAndLeavesBytesForReceiver()
{
    Rig rig;
    const QByteArray packet = encodePacket(PacketFields{});
    rig.monitor.replies.insert("PLR", packet);
    int released = 0;
    connect(&rig.control, &RealTimeControl::portReleased, this, [&] {
        ++released;
        QCOMPARE(rig.port.bytesAvailable(), packet.size()); // untouched by the sequence
    });
    rig.control.startRealTime();
    QCOMPARE(released, 1);
    QVERIFY(rig.view.shown.contains("main: Real-Time Data Active"));
    QVERIFY(rig.view.shown.contains("web: Real-Time Data Active"));
}

void TestRealTimeControl::startWithStartupListen_opensServer()
{
    Rig rig;
    rig.control.setStartupListen(true);
    rig.control.startRealTime();
    QVERIFY(rig.server.opens >= 1);
    Rig quiet;
    quiet.control.startRealTime();
    QCOMPARE(quiet.server.opens, 0);
}

void TestRealTimeControl::stopWithSilentMonitor_sendsOnlyAttentionBytes()
{
    Rig rig;
    QVERIFY(rig.link.openPort());
    rig.monitor.mute = true;
    rig.control.stopRealTime();
    QCOMPARE(rig.port.writes, (QList<QByteArray>{kAck, kAck}));
    QCOMPARE(rig.log.lines,
             QStringList{"Unsuccessful in receiving response from Orvo-88. Try again."});
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestRealTimeControl::stopWithMonitor_sendsTogOffAndKeepsPort()
{
    Rig rig;
    QVERIFY(rig.link.openPort());
    rig.port.preload("stale");
    rig.control.stopRealTime();
    QCOMPARE(rig.port.written(), kAck + "TOGOFF");
    QCOMPARE(rig.port.writes.size(), 7); // each letter of a word is its own write
    QCOMPARE(rig.monitor.words(), (QStringList{"TOG", "OFF"}));
    QCOMPARE(rig.log.lines, QStringList{"Real Time has been disabled successfully."});
    QCOMPARE(rig.view.shown, (QStringList{"main: Real-Time Data Stopped", "web: Real-Time Data Stopped"}));
    QVERIFY(rig.link.flags().commandInProgress); // the receiver stays away until the next start
}

void TestRealTimeControl::suspendAroundCommand_stopsAndRestartsRealTime()
{
    Rig rig;
    rig.link.setRealTimeSequences(&rig.control);
    rig.control.startRealTime();
    RecordingStatusLines window;
    QVERIFY(rig.link.suspendRealTime(window));
    QVERIFY(rig.link.flags().commandInProgress);
    rig.link.restoreRealTime(window);
    QCOMPARE(window.lines, (QStringList{"Realtime is ON..... now turning OFF", "Realtime is OFF",
                                        "Restoring Real-Time back to its ON state."}));
    QCOMPARE(rig.monitor.words(), (QStringList{"TOG", "PLR", "TOG", "OFF", "TOG", "PLR"}));
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestRealTimeControl::discoveryReplies_decideNodeFound_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("plusReply");
    QTest::addColumn<QByteArray>("atReply");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("version 2 answers OK twice") << 2 << QByteArray("OK") << QByteArray("OK") << true
        << QStringList{"Node E2 has been discovered successfully."} << QByteArray("+++ATDNE2\r");
    QTest::newRow("stray byte before OK") << 1 << QByteArray("\x00" "xOK", 4) << QByteArray("\r\nOK\r") << true
        << QStringList{"Node E1 has been discovered successfully."} << QByteArray("+++ATDNE1\r");
    QTest::newRow("ERROR to the discovery command") << 1 << QByteArray("OK") << QByteArray("ERROR") << false
        << QStringList{"Received ERROR from Wireless Radio. Node E1 has not been detected."} << QByteArray("+++ATDNE1\r");
    QTest::newRow("ERROR to command mode") << 2 << QByteArray("ERROR") << QByteArray() << false
        << QStringList{"Received ERROR from Wireless Radio. Node E2 has not been detected."} << QByteArray("+++");
    QTest::newRow("silence after +++") << 1 << QByteArray() << QByteArray() << false
        << QStringList{"Sending +++ string", "No response from +++ command"} << QByteArray("+++");
    QTest::newRow("silence after ATDNE") << 2 << QByteArray("OK") << QByteArray() << false
        << QStringList{"Recieved OK response from +++ command", "No response from ATDNE2 command"} << QByteArray("+++ATDNE2\r");
}

void TestRealTimeControl::discoveryReplies_decideNodeFound()
{
    QFETCH(int, version);
    QFETCH(QByteArray, plusReply);
    QFETCH(QByteArray, atReply);
    QFETCH(bool, found);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, sent);
    Rig rig(version);
    rig.port.responder = [&](const QByteArray &bytes) {
        rig.port.arrive(bytes == "+++" ? plusReply : atReply);
    };
    rig.discovery.discoverRadioNode(version);
    QCOMPARE(rig.discovery.radioNodeFound(), found);
    QCOMPARE(rig.log.lines, lines);
    QCOMPARE(rig.port.written(), sent);
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestRealTimeControl::startOverDongle_discoversOnceThenStarts()
{
    Rig rig(1);
    int plusCount = 0;
    rig.port.responder = [&](const QByteArray &bytes) {
        if (bytes == "+++")
            ++plusCount;
        if (bytes == "+++" || bytes.startsWith("ATDNE"))
            rig.port.arrive("OK");
        else
            rig.port.arrive(kAck);
    };
    rig.control.startRealTime();
    QVERIFY(rig.link.flags().realTimeOn);
    rig.control.stopRealTime();
    rig.control.startRealTime();
    QCOMPARE(plusCount, 1);
    QCOMPARE(rig.log.lines, QStringList{"Real-Time is ON"});
}

void TestRealTimeControl::watchdog_showsEachTransitionOnce()
{
    Rig rig;
    DataFlowWatchdog watchdog(rig.clock, rig.link.flags(), rig.control, &rig.view, &rig.server);
    watchdog.tick(); // starts idle: no stop is announced
    QVERIFY(rig.view.shown.isEmpty());
    watchdog.packetByteSeen();
    watchdog.tick();
    watchdog.tick();
    QCOMPARE(rig.view.shown, QStringList{"main: Real-Time Data Active"});
    QVERIFY(rig.link.flags().realTimeOn); // still on after two idle ticks
    watchdog.tick();                      // off after the third
    QCOMPARE(rig.view.shown, (QStringList{"main: Real-Time Data Active", "main: Real-Time Data Stopped"}));
    QVERIFY(!rig.link.flags().realTimeOn);
    for (int i = 0; i < 40000; ++i)
        watchdog.tick();
    QVERIFY(watchdog.rxIdleTicks() <= 30000);
    QCOMPARE(rig.view.shown.size(), 2);
}

void TestRealTimeControl::watchdogOnTheClock_ticksEverySecond()
{
    Rig rig;
    rig.clock.setAutoAdvance(false);
    DataFlowWatchdog watchdog(rig.clock, rig.link.flags(), rig.control, &rig.view, &rig.server);
    watchdog.packetByteSeen();
    watchdog.start();
    rig.clock.advance(999);
    QVERIFY(rig.view.shown.isEmpty());
    rig.clock.advance(1); // the first idle tick
    QCOMPARE(rig.view.shown, QStringList{"main: Real-Time Data Active"});
    rig.clock.advance(1999);
    QVERIFY(rig.link.flags().realTimeOn);
    rig.clock.advance(1); // the third idle tick, at 3 s
    QCOMPARE(rig.view.shown.last(), QStringLiteral("main: Real-Time Data Stopped"));
    QVERIFY(!rig.link.flags().realTimeOn);
}

void TestRealTimeControl::watchdog_opensServerOnFirstDataWhenListening()
{
    Rig rig;
    rig.control.setStartupListen(true);
    DataFlowWatchdog watchdog(rig.clock, rig.link.flags(), rig.control, &rig.view, &rig.server);
    watchdog.packetByteSeen();
    watchdog.tick();
    watchdog.tick();
    QCOMPARE(rig.server.opens, 1);
}

void TestRealTimeControl::autoStart_waitsForPortThenStartsOnce()
{
    Rig rig;
    AutoStart autoStart(rig.clock, rig.link, rig.discovery, rig.control,
                        Reporters{.statusLog = &rig.log, .prompts = &rig.prompts});
    autoStart.arm();
    rig.clock.setAutoAdvance(false);
    rig.clock.advance(9000); // the ticks at 3, 6 and 9 s find the port closed
    QVERIFY(autoStart.isArmed());
    QVERIFY(rig.port.writes.isEmpty());
    rig.clock.setAutoAdvance(true);
    QVERIFY(rig.link.openPort());
    rig.clock.setAutoAdvance(false);
    rig.clock.advance(11999 - rig.clock.elapsedMs());
    QVERIFY(autoStart.isArmed()); // the next tick is at 12 s
    QVERIFY(rig.port.writes.isEmpty());
    rig.clock.setAutoAdvance(true);
    rig.clock.advance(1);
    QVERIFY(!autoStart.isArmed());
    QVERIFY(rig.link.flags().realTimeOn);
    QCOMPARE(rig.log.lines, QStringList{"Real-Time was off. Now attempting to start real-time."});
    const int writes = rig.port.writes.size();
    autoStart.tick();
    rig.clock.advance(30000);
    QCOMPARE(rig.port.writes.size(), writes);
}

void TestRealTimeControl::autoStart_withUndiscoveredDongle_warnsInstead()
{
    Rig rig(2);
    AutoStart autoStart(rig.clock, rig.link, rig.discovery, rig.control,
                        Reporters{.statusLog = &rig.log, .prompts = &rig.prompts});
    QVERIFY(rig.link.openPort());
    autoStart.arm();
    autoStart.tick();
    QCOMPARE(rig.prompts.messages.size(), 1);
    QVERIFY(rig.prompts.messages.first().startsWith("An attempt to start real-time was aborted"));
    QVERIFY(rig.prompts.messages.first().endsWith("try using the \"Find\" buttons."));
    QVERIFY(rig.port.writes.isEmpty());
    QVERIFY(!autoStart.isArmed());
}

QTEST_GUILESS_MAIN(TestRealTimeControl)
#include "tst_realtime_control.moc"
