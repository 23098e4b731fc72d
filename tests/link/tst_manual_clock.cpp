// ManualClock: what the link's tests rely on.

#include "manual_clock.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

class TestManualClock : public QObject {
    Q_OBJECT

private slots:
    void advance_firesTimersInOrderOfDueTime()
    {
        ManualClock clock(QDateTime(QDate(2026, 1, 1), QTime(12, 0, 58)));
        QStringList fired;
        auto a = clock.createTimer();
        auto b = clock.createTimer();
        a->setSingleShot(true);
        connect(a.get(), &ClockTimer::timeout, this, [&] {
            fired << QStringLiteral("a@%1").arg(clock.now().time().toString("ss.zzz"));
        });
        connect(b.get(), &ClockTimer::timeout, this, [&] {
            fired << QStringLiteral("b@%1").arg(clock.now().time().toString("ss.zzz"));
        });
        a->start(1500);
        b->start(1000); // repeating
        clock.advance(3000);
        QCOMPARE(fired, (QStringList{"b@59.000", "a@59.500", "b@00.000", "b@01.000"}));
        QCOMPARE(clock.elapsedMs(), 3000);
        QCOMPARE(clock.now().time(), QTime(12, 1, 1));
        QVERIFY(!a->isActive());
        QVERIFY(b->isActive());
    }

    void autoAdvance_finishesAWaitAtOnce()
    {
        ManualClock clock;
        clock.setAutoAdvance(true);
        auto t = clock.createTimer();
        t->setSingleShot(true);
        QEventLoop loop;
        connect(t.get(), &ClockTimer::timeout, &loop, &QEventLoop::quit);
        t->start(5000);
        loop.exec();
        QCOMPARE(clock.elapsedMs(), 5000);
    }

    // An event already waiting that ends the wait comes first: time must not jump past it. (A
    // 0 ms timer as the jump fires in the same pass of the event loop as such an event.)
    void autoAdvance_yieldsToEventsAlreadyWaiting()
    {
        ManualClock clock;
        clock.setAutoAdvance(true);
        auto t = clock.createTimer();
        t->setSingleShot(true);
        QEventLoop loop;
        connect(t.get(), &ClockTimer::timeout, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, &loop, &QEventLoop::quit); // the reply that ends the wait
        t->start(3000);
        loop.exec();
        QCOMPARE(clock.elapsedMs(), 0);
        QVERIFY(t->isActive());

        // A second wait with its own early event: still no jump.
        t->start(2000);
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(clock.elapsedMs(), 0);

        // Once the loop is idle, time flows to the timer.
        loop.exec();
        QCOMPARE(clock.elapsedMs(), 2000);
        QVERIFY(!t->isActive());
    }

    void destroyedTimer_noLongerFires()
    {
        ManualClock clock;
        int fired = 0;
        auto t = clock.createTimer();
        connect(t.get(), &ClockTimer::timeout, this, [&] { ++fired; });
        t->start(100);
        t.reset();
        clock.advance(1000);
        QCOMPARE(fired, 0);
        QVERIFY(!clock.advanceToNextTimer());
    }
};

QTEST_GUILESS_MAIN(TestManualClock)
#include "tst_manual_clock.moc"
