// The requests to end the program arrive as a Qt signal from the event loop, and the handlers
// that were there before come back when the watcher goes.
#include "termination_signals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

volatile std::sig_atomic_t previousHandlerRan = 0;

void previousHandler(int)
{
    previousHandlerRan = 1;
}

} // namespace

class TestTerminationSignals : public QObject {
    Q_OBJECT
private slots:
    void signalRaised_arrivesThroughEventLoopAndOldHandlerReturns_data();
    void signalRaised_arrivesThroughEventLoopAndOldHandlerReturns();
};

void TestTerminationSignals::signalRaised_arrivesThroughEventLoopAndOldHandlerReturns_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM: service manager or kill") << int(SIGTERM);
    QTest::newRow("SIGINT: Ctrl-C in the terminal") << int(SIGINT);
    QTest::newRow("SIGHUP: the terminal or session went") << int(SIGHUP);
}

void TestTerminationSignals::signalRaised_arrivesThroughEventLoopAndOldHandlerReturns()
{
    QFETCH(int, signalNumber);
    std::signal(signalNumber, previousHandler);
    previousHandlerRan = 0;
    {
        TerminationSignalWatcher watcher;
        QVERIFY(watcher.install());
        QSignalSpy requested(&watcher, &TerminationSignalWatcher::terminationRequested);
        std::raise(signalNumber);
        QCOMPARE(requested.count(), 0); // nothing runs inside the handler
        QTRY_COMPARE(requested.count(), 1);
        QCOMPARE(requested.first().first().toInt(), signalNumber);
        QCOMPARE(int(previousHandlerRan), 0);
    }
    std::raise(signalNumber);
    QCOMPARE(int(previousHandlerRan), 1);
    std::signal(signalNumber, SIG_DFL);
}

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_termination_signals.moc"
