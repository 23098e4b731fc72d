// Real time against orvo-sim on a pseudo-terminal, through the real serial port, the system
// clock and the whole acquisition side. Waits here are for real events of another process.
#include "acquisition_core.h"
#include "clock.h"
#include "qt_serial_port.h"
#include "realtime_recorders.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "sim_process.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTest>

#include <sys/resource.h>

namespace {

constexpr int kPort = 9;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct PtyRig {
    SimProcess sim;
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store;
    RecordingStatusLines log;
    RecordingPrompts prompts;
    RecordingRealTimeView view;
    std::unique_ptr<AcquisitionCore> core;
    int decoded = 0;
    qint64 firstPacketAtMs = -1;
    QElapsedTimer sinceStart;

    bool waitForDecoded(int count, int timeoutMs)
    {
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        core->decoder().onPacketDecoded = [this, count, &loop] {
            if (++decoded >= count)
                loop.quit();
        };
        if (decoded < count)
            loop.exec();
        core->decoder().onPacketDecoded = [this] { ++decoded; };
        return decoded >= count;
    }

    bool start(const QStringList &simArguments, int linkMethod)
    {
        if (!sim.start(QStringList{"--port", QString::number(kPort)} + simArguments))
            return false;
        qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit()); // where COM9 is linked
        store.values.insert("ComPort", QString::number(kPort));
        store.values.insert("ZigbeeVersion", QString::number(linkMethod));
        core = std::make_unique<AcquisitionCore>(
            port, clock, store,
            Reporters{.statusLog = &log, .prompts = &prompts, .realTimeView = &view});
        core->decoder().onPacketDecoded = [this] {
            if (decoded++ == 0)
                firstPacketAtMs = sinceStart.elapsed();
        };
        core->prepare();
        sinceStart.start();
        return true;
    }
};

} // namespace

class TestRealTimeOverPty : public QObject {
    Q_OBJECT
private slots:
    void startStreamStop_overEachLink_data();
    void startStreamStop_overEachLink();
};

void TestRealTimeOverPty::startStreamStop_overEachLink_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<int>("linkMethod");
    QTest::newRow("usb cable") << QStringList() << 8;
    QTest::newRow("radio dongle version 2") << QStringList{"--radio", "2"} << 2;
}

void TestRealTimeOverPty::startStreamStop_overEachLink()
{
    QFETCH(QStringList, simArguments);
    QFETCH(int, linkMethod);
    PtyRig rig;
    QVERIFY(rig.start(QStringList{"--period-ms", "1000", "--seed", "7"} + simArguments, linkMethod));
    rig.core->realTime().startRealTime();
    QVERIFY(rig.core->discovery().radioNodeFound());
    QCOMPARE(rig.log.lines, QStringList{"Real-Time is ON"});
    QVERIFY(rig.prompts.messages.isEmpty());
    QVERIFY(rig.core->link().flags().realTimeOn);
    QVERIFY(rig.view.shown.contains("main: Real-Time Data Active"));

    const int soakSeconds = qEnvironmentVariableIntValue("ORVO_SOAK_SECONDS");
    // The packets held back during the start arrive at once: count from the live ones on.
    QTRY_VERIFY_WITH_TIMEOUT(rig.decoded >= 1, 3000);
    const int held = rig.decoded;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer streaming;
    streaming.start();
    const int packets = held + qMax(3, soakSeconds);
    // Sleep in the event loop until the packets are in: the figure is then the program's own.
    QVERIFY(rig.waitForDecoded(packets, (packets - held + 3) * 1000));
    const double cpuShare = (cpuSeconds() - cpuBefore) / (double(streaming.elapsed()) / 1000.0);
    qInfo("streaming %d packets in %.1f s used %.3f%% of a core", rig.decoded - held,
          double(streaming.elapsed()) / 1000.0, 100.0 * cpuShare);
    QVERIFY(rig.core->decoder().reading().volts > 100.0);
    QCOMPARE(rig.core->decoder().checksumErrorCount(), 0);

    rig.core->realTime().stopRealTime();
    QCOMPARE(rig.log.lines.last(), QStringLiteral("Real Time has been disabled successfully."));
    QElapsedTimer stopping;
    stopping.start();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.core->link().flags().realTimeOn, 6000);
    QVERIFY2(stopping.elapsed() <= 4000, "the watchdog should notice within three ticks");
    const int afterStop = rig.decoded;
    QTest::qWait(1500);
    QCOMPARE(rig.decoded, afterStop);
}

QTEST_GUILESS_MAIN(TestRealTimeOverPty)
#include "tst_realtime_over_pty.moc"
