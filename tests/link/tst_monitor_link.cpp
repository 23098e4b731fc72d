// MonitorLink on a FakeSerialPort and a ManualClock that jumps to the next timer
// whenever the event loop is idle: waits of seconds finish at once, in their true order.

#include "link_rig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString kInvalidPort =
    QStringLiteral("Invalid COM port. Would you like to search for available ports?");
const QString kOpenFailedLine = QStringLiteral(
    "An error ocurred or the COM port could not be found. Correct the problem and try again.");
const QString kTurningOff = QStringLiteral("Realtime is ON..... now turning OFF");
const QString kRealTimeOff = QStringLiteral("Realtime is OFF");
const QString kRestoring = QStringLiteral("Restoring Real-Time back to its ON state.");

QDateTime at(int second, int msec = 0)
{
    return QDateTime(QDate(2026, 1, 1), QTime(12, 0, second, msec));
}

QList<QByteArray> singleBytes(const QByteArray &bytes)
{
    QList<QByteArray> list;
    for (char c : bytes)
        list.append(QByteArray(1, c));
    return list;
}

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
    QTemporaryDir dataHome_;

private slots:
    void initTestCase()
    {
        // No ports folder: port numbers name the fixed table's devices.
        QVERIFY(dataHome_.isValid());
        qputenv("XDG_DATA_HOME", dataHome_.path().toLocal8Bit());
    }

    // --- openPort / closePort ---

    void openOpensConfiguredDeviceShowsItAndSettles_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::addColumn<QString>("device");
        QTest::newRow("default 1") << 0 << "/dev/ttyUSB0";
        QTest::newRow("17") << 17 << "/dev/ttyACM0";
        QTest::newRow("64") << 64 << "/dev/ttyS31";
    }
    void openOpensConfiguredDeviceShowsItAndSettles()
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
        QCOMPARE(rig.clock.elapsedMs(), 500); // step 5: delay 500
        QVERIFY(rig.prompts.questions.isEmpty());
        QVERIFY(rig.port.writes.isEmpty());
    }

    void openOnOpenPortClosesAndReopens()
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

    void openFailureAsksToSearchForPorts_data()
    {
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<int>("searches");
        QTest::newRow("yes") << true << 1;
        QTest::newRow("no") << false << 0;
    }
    void openFailureAsksToSearchForPorts()
    {
        QFETCH(bool, answerYes);
        QFETCH(int, searches);
        LinkRig rig;
        rig.port.failOpen = true;
        rig.prompts.answerYes = answerYes;
        QSignalSpy opened(rig.link.get(), &MonitorLink::portOpened);

        QVERIFY(!rig.link->openPort());

        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
        QCOMPARE(rig.searches, searches);
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(opened.count(), 0);
        QVERIFY(rig.portView.shown.isEmpty());
        QCOMPARE(rig.clock.elapsedMs(), 0); // ends at once, no settling delay
        QVERIFY(rig.statusLog.lines.isEmpty());
    }

    void openWithPortNumberOutsideTableFails_data()
    {
        QTest::addColumn<int>("portNumber");
        QTest::newRow("0") << 0;
        QTest::newRow("65") << 65;
    }
    void openWithPortNumberOutsideTableFails()
    {
        QFETCH(int, portNumber);
        LinkRig rig;
        rig.link->setPortNumber(portNumber);
        QVERIFY(!rig.link->openPort());
        QCOMPARE(rig.port.openCount, 0);
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
    }

    // Step 1 closed a port shown open, then the open failed: the fields must not stay "Open".
    void failedReopenShowsPortClosed()
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

    void deviceLostDuringSettlingFailsTheOpen()
    {
        LinkRig rig;
        QTimer::singleShot(0, &rig.port, [&] { rig.port.loseDevice(); });
        QVERIFY(!rig.link->openPort());
        QCOMPARE(rig.portView.shown, (QStringList{"COM Port is Open", "COM Port is Closed"}));
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
    }

    void closeClosesAndShowsClosedEvenWhenClosed()
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

    void vanishedDeviceShowsPortClosed()
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

    void worksWithoutReporters()
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

    void dlyWaitsOnTheClockWhileHandlingEvents_data()
    {
        QTest::addColumn<int>("ms");
        QTest::newRow("0") << 0;
        QTest::newRow("40") << 40;
        QTest::newRow("140") << 140;
        QTest::newRow("1000") << 1000;
    }
    void dlyWaitsOnTheClockWhileHandlingEvents()
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
    void nestedDlySharesTheTimer_data()
    {
        QTest::addColumn<int>("outer");
        QTest::addColumn<int>("innerStartsAt");
        QTest::addColumn<int>("inner");
        QTest::addColumn<int>("bothEndAt");
        QTest::newRow("shorter inner") << 1000 << 300 << 200 << 500;
        QTest::newRow("longer inner") << 1000 << 300 << 2000 << 2300;
        QTest::newRow("inner at once") << 500 << 0 << 40 << 40;
    }
    void nestedDlySharesTheTimer()
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

    void dlyEndsWhenTheLinkIsDestroyedDuringIt()
    {
        LinkRig rig;
        QTimer::singleShot(0, &rig.port, [&] { rig.link.reset(); });
        MonitorLink *link = rig.link.get();
        link->delay(1000); // must return, touching nothing of the destroyed link
        QVERIFY(!rig.link);
    }

    // --- waitForAckByte ---

    void waitForAckByte_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("acked");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow("ack") << kAck << at(0) << true << 0;
        QTest::newRow("other byte") << QByteArray("\x55") << at(0) << false << 0;
        QTest::newRow("null byte") << QByteArray(1, '\0') << at(0) << false << 0;
        QTest::newRow("silence from :00") << QByteArray() << at(0) << false << 2000;
        QTest::newRow("silence from :30.999") << QByteArray() << at(30, 999) << false << 1001;
        QTest::newRow("silence from :59") << QByteArray() << at(59) << false << 2000;
    }
    void waitForAckByte()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QDateTime, start);
        QFETCH(bool, acked);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        rig.clock.setTime(start);
        const qint64 t0 = rig.clock.elapsedMs();
        rig.port.arrive(reply);
        bool eventRan = false;
        QTimer::singleShot(0, &rig.port, [&] { eventRan = true; });

        QCOMPARE(rig.link->waitForAckByte(), acked);

        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QCOMPARE(rig.port.bytesAvailable(), 0); // whatever came was consumed
        QVERIFY(!eventRan);                      // no events are processed meanwhile
        QCOMPARE(rig.port.writes.size(), 0);
        if (!reply.isEmpty())
            QCOMPARE(rig.clock.now().time().second(), start.time().second());
        else
            QCOMPARE(rig.clock.now().time().second(), (start.time().second() + 2) % 60);
    }

    void waitForAckByteTakesAByteAlreadyWaiting()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.preload(kAck + "\x01");
        QVERIFY(rig.link->waitForAckByte());
        QCOMPARE(rig.port.bytesAvailable(), 1); // the buffer is not emptied first
        QVERIFY(!rig.link->waitForAckByte());
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }

    void waitForAckByteOnClosedPortFails()
    {
        LinkRig rig;
        QVERIFY(!rig.link->waitForAckByte());
        QCOMPARE(rig.port.openCount, 0);
    }

    // --- handshake ---

    void sendReceiveAck_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("acked");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow("echo") << kAck << true << 0;
        QTest::newRow("other byte") << QByteArray("\xFE") << false << 0;
        QTest::newRow("null byte") << QByteArray(1, '\0') << false << 0;
        QTest::newRow("silence") << QByteArray() << false << 3000;
    }
    void sendReceiveAck()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, acked);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        AckingMonitor monitor(rig.port);
        monitor.reply = reply;
        rig.clock.setTime(at(20));
        const qint64 t0 = rig.clock.elapsedMs();

        QCOMPARE(rig.link->handshake(), acked);

        QCOMPARE(rig.port.writes, QList<QByteArray>{kAck});
        QCOMPARE(rig.port.bytesAvailable(), 0); // the reply byte is consumed
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QVERIFY(rig.statusLog.lines.isEmpty());
    }

    void sendReceiveAckDrainsStaleBytesFirst_data()
    {
        QTest::addColumn<bool>("monitorAnswers");
        QTest::newRow("monitor answers") << true;
        QTest::newRow("monitor silent") << false; // a stale 0xFC must not pass for the echo
    }
    void sendReceiveAckDrainsStaleBytesFirst()
    {
        QFETCH(bool, monitorAnswers);
        LinkRig rig;
        rig.openPort();
        rig.port.preload(QByteArray("\x01") + kAck + QByteArray("\x00\x02", 2));
        qint64 waitingAtSend = -1;
        rig.port.responder = [&](const QByteArray &) {
            waitingAtSend = rig.port.bytesAvailable();
            if (monitorAnswers)
                rig.port.arrive(kAck);
        };
        QCOMPARE(rig.link->handshake(), monitorAnswers);
        QCOMPARE(waitingAtSend, 0);
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }

    // The deadline is a second of the minute: start second + 3, wrapped past 59.
    void sendReceiveAckDeadlineWraps_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("givesUpAtSecond");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow(":58") << at(58) << 1 << 3000;
        QTest::newRow(":58.500") << at(58, 500) << 1 << 2500;
        QTest::newRow(":57") << at(57) << 0 << 3000;
        QTest::newRow(":59.999") << at(59, 999) << 2 << 2001;
        QTest::newRow(":00") << at(0) << 3 << 3000;
    }
    void sendReceiveAckDeadlineWraps()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, givesUpAtSecond);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        rig.clock.setTime(start);
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(!rig.link->handshake());
        QCOMPARE(rig.clock.now().time().second(), givesUpAtSecond);
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
    }

    void sendReceiveAckHandlesEventsWhileWaiting()
    {
        LinkRig rig;
        rig.openPort();
        auto late = rig.clock.createTimer();
        late->setSingleShot(true);
        connect(late.get(), &ClockTimer::timeout, this, [&] { rig.port.arrive(kAck); });
        rig.port.responder = [&](const QByteArray &) { late->start(1500); };
        bool eventRan = false;
        QTimer::singleShot(0, &rig.port, [&] { eventRan = true; });
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(rig.link->handshake());
        QVERIFY(eventRan);
        QCOMPARE(rig.clock.elapsedMs() - t0, 1500);
    }

    void sendReceiveAckOpensClosedPort()
    {
        LinkRig rig;
        AckingMonitor monitor(rig.port);
        QVERIFY(rig.link->handshake());
        QCOMPARE(rig.port.openCount, 1);
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Open"});
        QCOMPARE(rig.port.writes, QList<QByteArray>{kAck});
        QCOMPARE(rig.clock.elapsedMs(), 500);
    }

    void sendReceiveAckWithPortFailingToOpen_data()
    {
        QTest::addColumn<bool>("answerYes");
        QTest::newRow("search") << true;
        QTest::newRow("no search") << false;
    }
    void sendReceiveAckWithPortFailingToOpen()
    {
        QFETCH(bool, answerYes);
        LinkRig rig;
        rig.port.failOpen = true;
        rig.prompts.answerYes = answerYes;
        QVERIFY(!rig.link->handshake());
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
        QCOMPARE(rig.searches, answerYes ? 1 : 0);
        QCOMPARE(rig.statusLog.lines, QStringList{kOpenFailedLine});
        QVERIFY(rig.port.writes.isEmpty());
    }

    void sendReceiveAckEndsWhenDeviceVanishes()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.responder = [&](const QByteArray &) {
            QTimer::singleShot(0, &rig.port, [&] { rig.port.loseDevice(); });
        };
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(!rig.link->handshake());
        QCOMPARE(rig.clock.elapsedMs() - t0, 0); // no waiting out the deadline
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Closed"});
    }

    void sendReceiveAckSurvivesLinkDestroyedDuringWait()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.responder = [&](const QByteArray &) {
            QTimer::singleShot(0, &rig.port, [&] {
                rig.link.reset();
                rig.port.arrive(kAck);
            });
        };
        MonitorLink *link = rig.link.get();
        QVERIFY(link->handshake());
        QVERIFY(!rig.link);
    }

    // --- sendWord ---

    void sendAsciiWritesThreeSingleBytes_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::newRow("TOG") << QByteArray("TOG");
        QTest::newRow("OFF") << QByteArray("OFF");
        QTest::newRow("PLR") << QByteArray("PLR");
        QTest::newRow("SET") << QByteArray("SET");
        QTest::newRow("RCV") << QByteArray("RCV");
    }
    void sendAsciiWritesThreeSingleBytes()
    {
        QFETCH(QByteArray, word);
        LinkRig rig;
        rig.openPort();
        rig.port.preload(kAck);
        QVERIFY(rig.link->sendWord(word, false));
        QCOMPARE(rig.port.writes, singleBytes(word));
        QCOMPARE(rig.port.bytesAvailable(), 1); // nothing read without WaitForAck
        QCOMPARE(rig.clock.elapsedMs(), 500);   // only the open's settling delay
    }

    void sendAsciiTogBytes()
    {
        LinkRig rig;
        rig.openPort();
        rig.link->sendWord("TOG", false);
        QCOMPARE(rig.port.written(), QByteArray::fromHex("544f47")); // no terminator
        QCOMPARE(rig.port.writes.size(), 3);
    }

    void sendAsciiSendsFirstSecondAndLastCharacter()
    {
        LinkRig rig;
        rig.openPort();
        rig.link->sendWord("TOOG", false);
        QCOMPARE(rig.port.written(), QByteArray("TOG"));
    }

    // Always true; only an acknowledge brings the 140 ms pause.
    void sendAsciiWaitingForAck_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow("ack: pause") << kAck << 140;
        QTest::newRow("other byte: no pause") << QByteArray("\x55") << 0;
        QTest::newRow("silence: ack window, no pause") << QByteArray() << 2000;
    }
    void sendAsciiWaitingForAck()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        AckingMonitor monitor(rig.port);
        monitor.reply = reply;
        rig.clock.setTime(at(10));
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(rig.link->sendWord("OFF", true));
        QCOMPARE(monitor.words, QList<QByteArray>{"OFF"});
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }

    // --- suspendRealTime / restoreRealTime ---

    void suspendWithRealTimeOffThenRestore()
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

    void suspendWithRealTimeOnStopsAndRestoreRestarts()
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

    void suspendWithoutSequencesAttached()
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

    void suspendOpensClosedPort()
    {
        LinkRig rig;
        RecordingStatusLines window;
        QVERIFY(rig.link->suspendRealTime(window));
        QCOMPARE(rig.port.openCount, 1);
        QCOMPARE(window.lines, QStringList{kRealTimeOff});
    }

    void suspendWithPortFailingToOpenAddsNoLine()
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
    void suspendSurvivesCallingWindowDestroyed()
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
