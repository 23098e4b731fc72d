// The program's one nested wait: which of condition, deadline, guard and end request ends it,
// on a ManualClock that jumps over idle waits; and the reporters' fall-back when a window goes.
#include "end_request.h"
#include "manual_clock.h"
#include "nested_wait.h"
#include "reporters.h"
#include "second_deadline.h"

#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(WaitEnd)

namespace {

// A status log that is a QObject, as the windows' lists are.
class ObjectLines final : public QObject, public StatusLines {
public:
    void addLine(const QString &line) override { lines.append(line); }
    void clear() override { lines.clear(); }
    QStringList lines;
};

// Runs action once the clock reaches atMs.
std::unique_ptr<ClockTimer> at(ManualClock &clock, int atMs, std::function<void()> action)
{
    auto timer = clock.createTimer();
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &ClockTimer::timeout, timer.get(), std::move(action));
    timer->start(atMs);
    return timer;
}

} // namespace

class TestNestedWait : public QObject {
    Q_OBJECT
private slots:
    void waitOf2000Ms_endsByFirstEvent_data();
    void waitOf2000Ms_endsByFirstEvent();
    void secondDeadline_endsAtTheDeadlineSecond();
    void orderlyEndPause_runsWholeThroughEndRequest();
    void reporterWindowDestroyed_fallsBackToDoNothing();
};

void TestNestedWait::waitOf2000Ms_endsByFirstEvent_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<WaitEnd>("expected");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::newRow("nothing happens") << "" << WaitEnd::Deadline << qint64(2000);
    QTest::newRow("condition met at 300 ms") << "condition" << WaitEnd::Condition << qint64(300);
    QTest::newRow("guard destroyed at 300 ms") << "guard" << WaitEnd::GuardDestroyed << qint64(300);
    QTest::newRow("end requested at 300 ms") << "end" << WaitEnd::EndRequested << qint64(300);
}

void TestNestedWait::waitOf2000Ms_endsByFirstEvent()
{
    QFETCH(QString, event);
    QFETCH(WaitEnd, expected);
    QFETCH(qint64, elapsedMs);
    ManualClock clock;
    clock.setAutoAdvance(true);
    EndRequest endRequest;
    auto *guard = new QObject;
    bool met = false;
    const auto trigger = at(clock, 300, [&] {
        if (event == "condition") {
            met = true;
        } else if (event == "guard") {
            delete guard;
        } else if (event == "end") {
            endRequest.request();
        }
    });
    NestedWait wait(clock, guard);
    wait.wakeOn(trigger.get(), &ClockTimer::timeout);
    QCOMPARE(wait.forMs(2000, [&met] { return met; }), expected);
    QCOMPARE(clock.elapsedMs(), elapsedMs);
    if (event != "guard")
        delete guard;
    // Once the end is requested, a new wait ends at once.
    if (event == "end")
        QCOMPARE(NestedWait(clock).forMs(2000), WaitEnd::EndRequested);
}

void TestNestedWait::secondDeadline_endsAtTheDeadlineSecond()
{
    ManualClock clock(QDateTime(QDate(2026, 1, 1), QTime(12, 0, 58, 500)));
    clock.setAutoAdvance(true);
    const SecondDeadline deadline(clock, 3); // second 1 of the next minute
    QCOMPARE(NestedWait(clock).until(deadline, {}), WaitEnd::Deadline);
    QCOMPARE(clock.elapsedMs(), qint64(2500)); // 12:01:01.000
}

void TestNestedWait::orderlyEndPause_runsWholeThroughEndRequest()
{
    ManualClock clock;
    clock.setAutoAdvance(true);
    EndRequest endRequest;
    endRequest.request();
    NestedWait wait(clock);
    QCOMPARE(wait.throughEndRequest().forMs(800), WaitEnd::Deadline);
    QCOMPARE(clock.elapsedMs(), qint64(800));
}

void TestNestedWait::reporterWindowDestroyed_fallsBackToDoNothing()
{
    auto *window = new ObjectLines;
    const Reporters reporters{.statusLog = window};
    reporters.statusLog->addLine("kept");
    QCOMPARE(window->lines, QStringList{"kept"});
    delete window;
    reporters.statusLog->addLine("nowhere"); // must not touch the destroyed window
    QVERIFY(!reporters.prompts->askYesNo("Search?"));
    reporters.openCommunicationPanel();
}

QTEST_GUILESS_MAIN(TestNestedWait)
#include "tst_nested_wait.moc"
