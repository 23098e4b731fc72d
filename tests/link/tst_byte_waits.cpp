// The two byte waits of the handshake, on second-of-minute deadlines.

#include "byte_waits.h"
#include "fake_serial_port.h"
#include "manual_clock.h"
#include "test_fixtures.h"

#include <QTest>
#include <QTimer>

class TestByteWaits : public QObject {
    Q_OBJECT

private slots:
    void secondDeadline_wrapsPastTheMinute_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("msecUntil");
        QTest::newRow(":00 + 2") << at(0) << 2 << 2 << 2000;
        QTest::newRow(":58 + 3") << at(58) << 3 << 1 << 3000;
        QTest::newRow(":57 + 3") << at(57) << 3 << 0 << 3000;
        QTest::newRow(":59.250 + 2") << at(59, 250) << 2 << 1 << 1750;
        QTest::newRow(":53 + 7") << at(53) << 7 << 0 << 7000;
    }
    void secondDeadline_wrapsPastTheMinute()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, seconds);
        QFETCH(int, second);
        QFETCH(int, msecUntil);
        ManualClock clock(start);
        const SecondDeadline deadline(clock, seconds);
        QCOMPARE(deadline.second(), second);
        QCOMPARE(deadline.msecUntil(), msecUntil);
        QVERIFY(!deadline.reached());
        clock.advance(msecUntil);
        QVERIFY(deadline.reached());
    }

    void blockingWaitWithByteWaiting_takesItAtOnce()
    {
        ManualClock clock;
        FakeSerialPort port(&clock);
        port.open("x");
        port.preload("\xFC");
        QVERIFY(waitForByteBlocking(port, SecondDeadline(clock, 2)));
        QCOMPARE(port.blockingWaits, 0);
        QCOMPARE(clock.elapsedMs(), 0);
    }

    void blockingWaitForArrivingByte_takesItWithoutEventLoop()
    {
        ManualClock clock;
        FakeSerialPort port(&clock);
        port.open("x");
        port.arrive("\xFC");
        QVERIFY(waitForByteBlocking(port, SecondDeadline(clock, 2)));
        QCOMPARE(port.blockingWaits, 1);
        QCOMPARE(port.readByte(), 0xFC);
    }

    void blockingWaitInSilence_givesUpAtDeadline()
    {
        ManualClock clock(at(59, 500));
        FakeSerialPort port(&clock);
        port.open("x");
        QVERIFY(!waitForByteBlocking(port, SecondDeadline(clock, 2)));
        QCOMPARE(clock.now().time().second(), 1);
        QCOMPARE(clock.elapsedMs(), 1500);
    }

    void blockingWaitOnClosedPort_fails()
    {
        ManualClock clock;
        FakeSerialPort port(&clock);
        QVERIFY(!waitForByteBlocking(port, SecondDeadline(clock, 2)));
        QCOMPARE(port.blockingWaits, 0);
    }

    void processingWait_endsOnArrival()
    {
        ManualClock clock;
        clock.setAutoAdvance(true);
        FakeSerialPort port(&clock);
        port.open("x");
        bool otherEvent = false;
        QTimer::singleShot(0, this, [&] { otherEvent = true; });
        auto late = clock.createTimer();
        late->setSingleShot(true);
        connect(late.get(), &ClockTimer::timeout, this, [&] { port.arrive("\x33"); });
        late->start(1200);
        QVERIFY(waitForByteProcessingEvents(port, clock, SecondDeadline(clock, 3)));
        QVERIFY(otherEvent);
        QCOMPARE(clock.elapsedMs(), 1200);
        QCOMPARE(port.blockingWaits, 0);
    }

    void processingWaitInSilence_givesUpAtDeadline()
    {
        ManualClock clock(at(58));
        clock.setAutoAdvance(true);
        FakeSerialPort port(&clock);
        port.open("x");
        QVERIFY(!waitForByteProcessingEvents(port, clock, SecondDeadline(clock, 3)));
        QCOMPARE(clock.now().time().second(), 1);
        QCOMPARE(clock.elapsedMs(), 3000);
    }

    void processingWait_endsWhenDeviceVanishes()
    {
        ManualClock clock;
        clock.setAutoAdvance(true);
        FakeSerialPort port(&clock);
        port.open("x");
        QTimer::singleShot(0, &port, [&] { port.loseDevice(); });
        QVERIFY(!waitForByteProcessingEvents(port, clock, SecondDeadline(clock, 3)));
        QCOMPARE(clock.elapsedMs(), 0);
    }

    void processingWait_endsWhenPortDestroyed()
    {
        ManualClock clock;
        clock.setAutoAdvance(true);
        auto *port = new FakeSerialPort(&clock);
        port->open("x");
        QTimer::singleShot(0, this, [&] { delete port; });
        QVERIFY(!waitForByteProcessingEvents(*port, clock, SecondDeadline(clock, 3)));
    }
};

QTEST_GUILESS_MAIN(TestByteWaits)
#include "tst_byte_waits.moc"
