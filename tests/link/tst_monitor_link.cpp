// MonitorLink's port, delay and real-time suspension on a FakeSerialPort and a ManualClock that
// jumps to the next timer whenever the event loop is idle: waits of seconds finish at once, in
// their true order.

#include "link_rig.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const QString kInvalidPort =
    QStringLiteral("Invalid COM port. Would you like to search for available ports?");
const QString kTurningOff = QStringLiteral("Realtime is ON..... now turning OFF");
const QString kRealTimeOff = QStringLiteral("Realtime is OFF");
const QString kRestoring = QStringLiteral("Restoring Real-Time back to its ON state.");

// A window's status list that is also a QObject, as the real windows are.
class WindowLines final : public QObject, public StatusLines {
public:
    void addLine(const QString &line) override { lines->append(line); }
    void clear() override { lines->clear(); }
    QStringList *lines = nullptr;
};

} // namespace

class TestMonitorLink : public QObject {
    Q_OBJECT

private:
    TempDataHome dataHome_;

private slots:
    // --- openPort / closePort ---

    void openPort_opensTableDeviceShowsItAndSettles_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<QString>("device");
        QTest::newRow("default 1") << 0 << "/dev/ttyUSB0";
        QTest::newRow("17") << 17 << "/dev/ttyACM0";
        QTest::newRow("64") << 64 << "/dev/ttyS31";
    }
    void openPort_opensTableDeviceShowsItAndSettles()
    {
        QFETCH(int, portNumber);
        QFETCH(QString, device);
        LinkRig rig;
        QCOMPARE(rig.link->portNumber(), 1);
        if (portNumber)
            rig.link->setPortNumber(portNumber);
        QSignalSpy opened(rig.link.get(), &MonitorLink::portOpened);

        QVERIFY(rig.link->openPort());

        QVERIFY(rig.port.isOpen());
        QCOMPARE(rig.port.lastDevice, device);
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Open"});
        QCOMPARE(opened.count(), 1);
        QCOMPARE(rig.clock.elapsedMs(), 500); // the settling delay
        QVERIFY(rig.prompts.questions.isEmpty());
        QVERIFY(rig.port.writes.isEmpty());
    }

    void openOnOpenPort_reopensWithEmptyBuffer()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.preload("\x01\x02");
        QVERIFY(rig.link->openPort());
        QCOMPARE(rig.port.openCount, 2);
        QCOMPARE(rig.port.closeCount, 1);
        QCOMPARE(rig.port.bytesAvailable(), 0); // the receive buffer went with the old session
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Open"});
    }

    // A device that refuses to open, or a port number outside the table (1..64).
    void openFailure_asksToSearchForPorts_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<int>("searches");
        QTest::newRow("device refuses, yes") << 1 << true << 1;
        QTest::newRow("device refuses, no") << 1 << false << 0;
        QTest::newRow("number 0") << 0 << false << 0;
        QTest::newRow("number 65") << 65 << false << 0;
    }
    void openFailure_asksToSearchForPorts()
    {
        QFETCH(int, portNumber);
        QFETCH(bool, answerYes);
        QFETCH(int, searches);
        LinkRig rig;
        rig.link->setPortNumber(portNumber);
        rig.port.failOpen = portNumber == 1;
        rig.prompts.answerYes = answerYes;
        QSignalSpy opened(rig.link.get(), &MonitorLink::portOpened);

        QVERIFY(!rig.link->openPort());

        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
        QCOMPARE(rig.searches, searches);
        QVERIFY(!rig.port.isOpen());
        if (portNumber != 1)
            QCOMPARE(rig.port.openCount, 0);
        QCOMPARE(opened.count(), 0);
        QVERIFY(rig.portView.shown.isEmpty());
        QCOMPARE(rig.clock.elapsedMs(), 0); // ends at once, no settling delay
        QVERIFY(rig.statusLog.lines.isEmpty());
    }

    // The open closed a port shown open, then failed: the fields must not stay "Open".
    void failedReopen_showsPortClosed()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.failOpen = true;
        QSignalSpy closed(rig.link.get(), &MonitorLink::portClosed);
        QVERIFY(!rig.link->openPort());
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Closed"});
        QCOMPARE(closed.count(), 1);
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
    }

    void deviceLostWhileSettling_failsTheOpen()
    {
        LinkRig rig;
        QTimer::singleShot(0, &rig.port, [&] { rig.port.loseDevice(); });
        QVERIFY(!rig.link->openPort());
        QCOMPARE(rig.portView.shown, (QStringList{"COM Port is Open", "COM Port is Closed"}));
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
    }

    void closePort_showsClosedEvenWhenClosed()
    {
        LinkRig rig;
        rig.openPort();
        QSignalSpy closed(rig.link.get(), &MonitorLink::portClosed);
        rig.link->closePort();
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.port.closeCount, 1);
        rig.link->closePort();
        QCOMPARE(rig.port.closeCount, 1);
        QCOMPARE(rig.portView.shown, (QStringList{"COM Port is Closed", "COM Port is Closed"}));
        QCOMPARE(closed.count(), 2);
    }

    void vanishedDevice_showsPortClosedAndReopens()
    {
        LinkRig rig;
        rig.openPort();
        QSignalSpy closed(rig.link.get(), &MonitorLink::portClosed);
        rig.port.loseDevice();
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Closed"});
        QCOMPARE(closed.count(), 1);
        // The next open starts a new session on the same device.
        QVERIFY(rig.link->openPort());
        QCOMPARE(rig.port.openCount, 2);
    }

    void noReporters_linkStillWorks()
    {
        ManualClock clock;
        clock.setAutoAdvance(true);
        FakeSerialPort port(&clock);
        MonitorLink link(port, clock, Reporters{});
        port.failOpen = true;
        QVERIFY(!link.openPort());
        QVERIFY(!link.handshake());
        port.failOpen = false;
        QVERIFY(link.openPort());
        port.loseDevice();
        link.closePort();
    }

    // --- delay ---

    void delay_waitsOnTheClockHandlingEvents_data()
    {
        QTest::addColumn<int>("ms");
        QTest::newRow("0") << 0;
        QTest::newRow("40") << 40;
        QTest::newRow("140") << 140;
        QTest::newRow("1000") << 1000;
    }
    void delay_waitsOnTheClockHandlingEvents()
    {
        QFETCH(int, ms);
        LinkRig rig;
        rig.openPort();
        const qint64 start = rig.clock.elapsedMs();
        int received = -1;
        connect(&rig.port, &SerialPort::readyRead, this, [&] { received = rig.port.readByte(); });
        rig.port.arrive("\x2A");
        rig.link->delay(ms);
        QCOMPARE(received, 0x2A); // the receive event was handled inside the delay
        QCOMPARE(rig.clock.elapsedMs() - start, ms);
    }

    // A delay started by an event handler during another restarts the one timer with its own
    // delay, and both waits end when it fires.
    void nestedDelay_sharesTheTimer_data()
    {
        QTest::addColumn<int>("outer");
        QTest::addColumn<int>("innerStartsAt");
        QTest::addColumn<int>("inner");
        QTest::addColumn<int>("bothEndAt");
        QTest::newRow("shorter inner") << 1000 << 300 << 200 << 500;
        QTest::newRow("longer inner") << 1000 << 300 << 2000 << 2300;
        QTest::newRow("inner at once") << 500 << 0 << 40 << 40;
    }
    void nestedDelay_sharesTheTimer()
    {
        QFETCH(int, outer);
        QFETCH(int, innerStartsAt);
        QFETCH(int, inner);
        QFETCH(int, bothEndAt);
        LinkRig rig;
        QStringList order;
        qint64 innerEnd = -1;
        auto trigger = rig.clock.createTimer();
        trigger->setSingleShot(true);
        connect(trigger.get(), &ClockTimer::timeout, this, [&] {
            order << "inner begins";
            rig.link->delay(inner);
            innerEnd = rig.clock.elapsedMs();
            order << "inner ends";
        });
        trigger->start(innerStartsAt);
        rig.link->delay(outer);
        order << "outer ends";
        QCOMPARE(order, (QStringList{"inner begins", "inner ends", "outer ends"}));
        QCOMPARE(innerEnd, bothEndAt);
        QCOMPARE(rig.clock.elapsedMs(), bothEndAt);
    }

    void linkDestroyedDuringDelay_endsTheDelay()
    {
        LinkRig rig;
        QTimer::singleShot(0, &rig.port, [&] { rig.link.reset(); });
        MonitorLink *link = rig.link.get();
        link->delay(1000); // must return, touching nothing of the destroyed link
        QVERIFY(!rig.link);
    }

    // --- suspendRealTime / restoreRealTime ---

    void suspendWithRealTimeOff_restoresWithoutRestart()
    {
        LinkRig rig;
        rig.openPort();
        rig.link->flags().realTimeWasOn = true; // stale from an earlier command
        QStringList lines;
        WindowLines window;
        window.lines = &lines;

        QVERIFY(rig.link->suspendRealTime(window));
        QCOMPARE(lines, QStringList{kRealTimeOff});
        QVERIFY(!rig.link->flags().realTimeWasOn);
        QVERIFY(rig.link->flags().commandInProgress);
        QVERIFY(rig.sequences.calls.isEmpty());

        rig.link->restoreRealTime(window);
        QCOMPARE(lines, QStringList{kRealTimeOff});
        QVERIFY(rig.sequences.calls.isEmpty());
        QVERIFY(!rig.link->flags().commandInProgress);
        QVERIFY(rig.statusLog.lines.isEmpty()); // the lines go to the calling window
        QVERIFY(rig.port.writes.isEmpty());
    }

    void suspendWithRealTimeOn_stopsThenRestarts()
    {
        LinkRig rig;
        rig.openPort();
        rig.link->flags().realTimeOn = true;
        RecordingStatusLines window;
        QStringList linesAtStop;
        bool commandInProgressAtStop = true;
        rig.sequences.onStop = [&] {
            linesAtStop = window.lines;
            commandInProgressAtStop = rig.link->flags().commandInProgress;
        };
        bool commandInProgressAtStart = false;
        rig.sequences.onStart = [&] {
            commandInProgressAtStart = rig.link->flags().commandInProgress;
        };

        QVERIFY(rig.link->suspendRealTime(window));
        QCOMPARE(rig.sequences.calls, QStringList{"stop"});
        QCOMPARE(linesAtStop, QStringList{kTurningOff});
        QVERIFY(!commandInProgressAtStop);
        QCOMPARE(window.lines, (QStringList{kTurningOff, kRealTimeOff}));
        QVERIFY(rig.link->flags().realTimeWasOn);
        QVERIFY(rig.link->flags().commandInProgress);

        rig.link->restoreRealTime(window);
        QCOMPARE(rig.sequences.calls, (QStringList{"stop", "start"}));
        QVERIFY(commandInProgressAtStart); // cleared after the start sequence
        QCOMPARE(window.lines, (QStringList{kTurningOff, kRealTimeOff, kRestoring}));
        QVERIFY(!rig.link->flags().commandInProgress);
        QVERIFY(rig.statusLog.lines.isEmpty());
    }

    void suspendWithoutSequences_stillWritesLines()
    {
        LinkRig rig;
        rig.openPort();
        rig.link->setRealTimeSequences(nullptr);
        rig.link->flags().realTimeOn = true;
        RecordingStatusLines window;
        QVERIFY(rig.link->suspendRealTime(window));
        QCOMPARE(window.lines, (QStringList{kTurningOff, kRealTimeOff}));
        rig.link->restoreRealTime(window);
        QCOMPARE(window.lines.last(), kRestoring);
        QVERIFY(!rig.link->flags().commandInProgress);
    }

    void suspendOnClosedPort_opensIt()
    {
        LinkRig rig;
        RecordingStatusLines window;
        QVERIFY(rig.link->suspendRealTime(window));
        QCOMPARE(rig.port.openCount, 1);
        QCOMPARE(window.lines, QStringList{kRealTimeOff});
    }

    void suspendWithPortFailingToOpen_addsNoLine()
    {
        LinkRig rig;
        rig.port.failOpen = true;
        rig.link->flags().realTimeOn = true;
        RecordingStatusLines window;
        QVERIFY(!rig.link->suspendRealTime(window));
        QVERIFY(window.lines.isEmpty());
        QVERIFY(rig.statusLog.lines.isEmpty());
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
        QVERIFY(!rig.link->flags().commandInProgress);
        QVERIFY(rig.sequences.calls.isEmpty());
    }

    // The calling window is closed by an event handled inside the stop sequence.
    void callingWindowDestroyedDuringSuspend_survives()
    {
        LinkRig rig;
        rig.openPort();
        rig.link->flags().realTimeOn = true;
        QStringList lines;
        auto *window = new WindowLines;
        window->lines = &lines;
        rig.sequences.onStop = [&] { delete window; };
        QVERIFY(rig.link->suspendRealTime(*window));
        QCOMPARE(lines, QStringList{kTurningOff});
        QVERIFY(rig.link->flags().commandInProgress);
    }
};

QTEST_GUILESS_MAIN(TestMonitorLink)
#include "tst_monitor_link.moc"
