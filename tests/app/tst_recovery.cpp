// Recovery on a FakeSerialPort and a ManualClock: the device's return after an unplug, and the
// restart of real time after a minute without packets.
#include "../link/link_rig.h"
#include "quiet_reporting.h"
#include "recovery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class UserAction { None, ClosePort, StopRealTime, StopThenStart };

struct RecoveryRig : LinkRig {
    QuietReporting reporting{Reporters{.statusLog = &statusLog, .prompts = &prompts}};
    Recovery recovery{clock, *link, reporting};
    QTemporaryDir dataHome;
    QString portLink;

    RecoveryRig()
    {
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
        QDir().mkpath(dataHome.path() + "/Orvotove/ports");
        portLink = dataHome.path() + "/Orvotove/ports/COM1";
        plugIn();
        link->openPort();
        // A start that works: the stream flows, and inside it the reports are quiet.
        sequences.onStart = [this] {
            quietStarts += reporting.isQuiet() ? 1 : 0;
            reporting.routed().prompts->message("Start failed (test)");
            reporting.routed().statusLog->clear();
            link->flags().realTimeOn = true;
        };
    }
    void plugIn() { QFile(portLink).open(QIODevice::WriteOnly); }
    void unplug()
    {
        QFile::remove(portLink);
        port.loseDevice();
    }
    void realTimeRuns()
    {
        link->flags().realTimeOn = true;
        recovery.tick();
        recovery.packetByteSeen(); // the last packet before the stream stops
        link->flags().realTimeOn = false; // the watchdog's view once the stream has stopped
    }
    // Start-up found no device: the port is closed and its link is gone.
    void missingAtStart()
    {
        link->closePort();
        QFile::remove(portLink);
        statusLog.lines.clear();
    }
    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            recovery.tick();
    }
    int quietStarts = 0;
};

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
private slots:
    void deviceBack_reopensAndRestartsRealTimeQuietly();
    void userClosedPort_unplugIsLeftAlone();
    void silence_restartsAtMostOncePerMinute_data();
    void silence_restartsAtMostOncePerMinute();
    void thereButNotOpening_triedLessAndLessOften();
    void startFailedAtStart_triedAgainOncePerMinute();
};

void TestRecovery::deviceBack_reopensAndRestartsRealTimeQuietly()
{
    RecoveryRig rig;
    rig.recovery.start();
    rig.realTimeRuns();
    rig.unplug();
    QVERIFY(rig.recovery.isWaitingForDevice());
    QVERIFY(!rig.port.isOpen());
    const int opensBefore = rig.port.openCount;
    rig.ticks(5); // still gone: nothing is opened
    QCOMPARE(rig.port.openCount, opensBefore);

    rig.plugIn();
    rig.recovery.tick();
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.port.lastDevice, rig.portLink);
    QCOMPARE(rig.sequences.calls, QStringList{"start"});
    QCOMPARE(rig.quietStarts, 1);
    QVERIFY(!rig.reporting.isQuiet());
    QVERIFY(rig.prompts.messages.isEmpty());
    QCOMPARE(rig.statusLog.clears, 0);
    QCOMPARE(rig.statusLog.lines,
             (QStringList{"COM1: device removed. Checking every second for its return.",
                          "COM1: device back. Reopening the port.", "Start failed (test)",
                          "Real time restarted."}));
}

void TestRecovery::userClosedPort_unplugIsLeftAlone()
{
    RecoveryRig rig;
    rig.realTimeRuns();
    rig.recovery.userClosedPort();
    rig.unplug();
    QVERIFY(!rig.recovery.isWaitingForDevice());
    rig.plugIn();
    rig.ticks(120);
    QVERIFY(!rig.port.isOpen());
    QVERIFY(rig.sequences.calls.isEmpty());
}

void TestRecovery::silence_restartsAtMostOncePerMinute_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<UserAction>("action");
    QTest::addColumn<int>("silentSeconds");
    QTest::addColumn<int>("starts");
    QTest::newRow("59 s: not yet") << true << UserAction::None << 59 << 0;
    QTest::newRow("60 s: once") << true << UserAction::None << 60 << 1;
    QTest::newRow("119 s: still once") << true << UserAction::None << 119 << 1;
    QTest::newRow("120 s: twice") << true << UserAction::None << 120 << 2;
    QTest::newRow("AutoRecover off") << false << UserAction::None << 180 << 0;
    QTest::newRow("user stopped real time") << true << UserAction::StopRealTime << 180 << 0;
    QTest::newRow("user started again") << true << UserAction::StopThenStart << 60 << 1;
}

void TestRecovery::silence_restartsAtMostOncePerMinute()
{
    QFETCH(bool, enabled);
    QFETCH(UserAction, action);
    QFETCH(int, silentSeconds);
    QFETCH(int, starts);
    RecoveryRig rig;
    // The monitor comes back from a power loss but does not stream until started again.
    rig.sequences.onStart = [&rig] { rig.recovery.packetByteSeen(); };
    rig.recovery.setEnabled(enabled);
    rig.realTimeRuns();
    if (action == UserAction::StopRealTime || action == UserAction::StopThenStart)
        rig.recovery.userStoppedRealTime();
    if (action == UserAction::StopThenStart)
        rig.recovery.userStartedRealTime();
    rig.ticks(silentSeconds);
    QCOMPARE(rig.sequences.calls.size(), starts);
    QVERIFY(rig.prompts.messages.isEmpty());
}

void TestRecovery::thereButNotOpening_triedLessAndLessOften()
{
    RecoveryRig rig;
    rig.missingAtStart();
    rig.plugIn();
    rig.port.failOpen = true; // a device the user may not open
    rig.recovery.restoreAtStart(true, false);
    const auto tries = [&rig] { return rig.statusLog.lines.count("COM1: device found. Opening the port."); };
    rig.ticks(120);
    // After 2, 4, 8, 16 and 32 s; then once a minute.
    QCOMPARE(tries(), 5);
    rig.port.failOpen = false;
    rig.ticks(60);
    QVERIFY(rig.port.isOpen());
}

void TestRecovery::startFailedAtStart_triedAgainOncePerMinute()
{
    RecoveryRig rig; // the port opened at start, but the monitor did not take PLR
    rig.recovery.start();
    rig.recovery.restoreAtStart(false, true);
    rig.sequences.onStart = {}; // and still does not: nothing flows
    rig.clock.setAutoAdvance(false);
    rig.clock.advance(59000);
    QCOMPARE(rig.sequences.calls.size(), 0);
    rig.clock.advance(1000);
    QCOMPARE(rig.sequences.calls.size(), 1);
    rig.clock.advance(59000);
    QCOMPARE(rig.sequences.calls.size(), 1);
    rig.clock.advance(1000);
    QCOMPARE(rig.sequences.calls.size(), 2);
    QCOMPARE(rig.statusLog.lines.last(),
             QStringLiteral("Real time did not restart. Trying again in a minute."));
}

QTEST_GUILESS_MAIN(TestRecovery)
#include "tst_recovery.moc"
