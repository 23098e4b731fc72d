// The setup sequences against orvo-sim on a pseudo-terminal, through the real serial port, the
// system clock and the whole acquisition side. Waits here are for real events of another
// process.
#include "acquisition_core.h"
#include "clock.h"
#include "module_procedures.h"
#include "qt_serial_port.h"
#include "realtime_recorders.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "setting_writes.h"
#include "settings_read.h"
#include "setup_log.h"
#include "sim_process.h"
#include "utility_commands.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kPort = 9;

struct PtyRig {
    SimProcess sim;
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store;
    RecordingStatusLines statusLog;
    RecordingPrompts prompts;
    RecordingRealTimeView view;
    SetupLog log;
    std::unique_ptr<AcquisitionCore> core;
    int decoded = 0;
    LiveReading lastBeforeReset;

    bool start(const QStringList &simArguments)
    {
        if (!sim.start(QStringList{"--port", QString::number(kPort)} + simArguments))
            return false;
        qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit()); // where COM9 is linked
        store.values.insert("ComPort", QString::number(kPort));
        store.values.insert("ZigbeeVersion", "8");
        core = std::make_unique<AcquisitionCore>(
            port, clock, store,
            Reporters{.statusLog = &statusLog, .prompts = &prompts, .realTimeView = &view});
        core->decoder().onPacketDecoded = [this] { ++decoded; };
        core->prepare();
        return true;
    }

    SetupContext context()
    {
        return SetupContext{&core->link(), &log,
                            Reporters{.prompts = &prompts, .realTimeView = &view}};
    }

    // Sleeps in the event loop until count more packets are decoded.
    bool waitForPackets(int count, int timeoutMs)
    {
        const int target = decoded + count;
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        core->decoder().onPacketDecoded = [this, target, &loop] {
            if (++decoded >= target)
                loop.quit();
        };
        loop.exec();
        core->decoder().onPacketDecoded = [this] { ++decoded; };
        return decoded >= target;
    }
};

} // namespace

class TestSetupOverPty : public QObject {
    Q_OBJECT
private slots:
    void writeEverySetting_readBackShowsWrittenValues();
    void resetWhileStreaming_countersRestartAndStaticCountersContinue();
};

void TestSetupOverPty::writeEverySetting_readBackShowsWrittenValues()
{
    PtyRig rig;
    QVERIFY(rig.start({"--period-ms", "1000", "--seed", "7", "--serial", "1,2,130,4,5"}));
    MonitorLink &link = rig.core->link();
    QVERIFY(link.suspendRealTime(rig.log));
    SettingWrites writes(rig.context());
    QCOMPARE(writes.writeCtSetting(100, 5, 1), SetupOutcome::Completed);
    QCOMPARE(writes.writeCtSetting(175, 4, 2), SetupOutcome::Completed);
    QCOMPARE(writes.writePtSetting(3, 7), SetupOutcome::Completed);
    QCOMPARE(writes.writeIntervalSetting(0, 255), SetupOutcome::Completed);
    QCOMPARE(writes.writeDeviceId(127), SetupOutcome::Completed);
    link.restoreRealTime(rig.log);
    QCOMPARE(rig.log.lines(), QStringList{"Realtime is OFF"}); // completed writes log nothing

    const std::optional<SettingsTexts> texts = SettingsRead(rig.context()).readSettingsForWindow();
    QVERIFY2(texts, qPrintable(rig.log.lines().join(" | ")));
    QCOMPARE(texts->toList(), (QStringList{" 100", " 5", " 175", " 4", " 3", " 7", " 255", "2.2", " 127"}));
    QCOMPARE(rig.log.lines(), QStringList{"Settings have been read successfuly"});

    UtilityCommands utility(rig.context());
    QCOMPARE(utility.readSerialNumber(), std::optional<QString>("01213045"));
    QCOMPARE(rig.log.lines(), QStringList{"Realtime is OFF"});
    QVERIFY(ModuleProcedures(rig.context()).togglePolarity(1));
    QVERIFY(rig.prompts.messages.isEmpty());
    QVERIFY(!link.flags().commandInProgress);
}

void TestSetupOverPty::resetWhileStreaming_countersRestartAndStaticCountersContinue()
{
    PtyRig rig;
    QVERIFY(rig.start({"--period-ms", "1000", "--seed", "7", "--reset-count", "6"}));
    rig.core->realTime().startRealTime();
    QVERIFY(rig.core->link().flags().realTimeOn);
    // Streamed long enough that the counters hold more than they gather during the restart.
    QVERIFY(rig.waitForPackets(8, 12000));
    const LiveReading before = rig.core->decoder().reading();
    const int resetCountBefore = rig.core->decoder().persistedState().lastResetCount;
    QCOMPARE(resetCountBefore, 6);

    QCOMPARE(ModuleProcedures(rig.context()).resetAccumulated(), QStringLiteral("OK"));
    QCOMPARE(rig.log.lines().last(), QStringLiteral("Restoring Real-Time back to its ON state."));
    QVERIFY(rig.waitForPackets(2, 8000));

    const LiveReading after = rig.core->decoder().reading();
    QCOMPARE(rig.core->decoder().persistedState().lastResetCount, 7);
    QVERIFY2(after.ws1 < before.ws1 && after.ws2 < before.ws2, "the monitor's counters restart");
    // Each static counter goes on from its last value before the reset by exactly what the
    // monitor has counted since: nothing dropped, nothing counted twice.
    QCOMPARE(after.ws1Static, before.ws1Static + after.ws1);
    QCOMPARE(after.ws2Static, before.ws2Static + after.ws2);
}

QTEST_GUILESS_MAIN(TestSetupOverPty)
#include "tst_setup_over_pty.moc"
