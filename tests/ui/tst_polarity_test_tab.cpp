// The polarity test of the "Solar/Wind Systems" tab on the real widgets: each result text and
// colour from a live reading changed by hand, and the two outcomes against orvo-sim.
#include "acquisition_core.h"
#include "clock.h"
#include "live_reading.h"
#include "manual_clock.h"
#include "polarity_test_tab.h"
#include "qt_serial_port.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "sim_process.h"
#include "status_field.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTest>

namespace {

constexpr int kTickMs = 1100;

// Steps: "test" and "done" click the buttons, "stop" is the window's closing, "tick" lets one
// tick pass, "ws1" and "polar" advance channel 1's counters, "back" returns ws1 by as much.
void play(const QStringList &steps, PolarityTestTab &tab, LiveReading &reading, ManualClock &clock)
{
    for (const QString &step : steps) {
        if (step == "test" || step == "done")
            tab.findChild<QPushButton *>(step == "test" ? "Command2" : "Command4")->click();
        else if (step == "stop")
            tab.stopTest();
        else if (step == "tick")
            clock.advance(kTickMs);
        else if (step == "ws1" || step == "back")
            reading.ws1 += step == "ws1" ? 100 : -100;
        else if (step == "polar")
            reading.ws1Polar += 100;
    }
}

} // namespace

class TestPolarityTestTab : public QObject {
    Q_OBJECT
private slots:
    void steps_showResultTextAndColours_data();
    void steps_showResultTextAndColours();
    void simulatedMonitor_readsItsDirection_data();
    void simulatedMonitor_readsItsDirection();
};

void TestPolarityTestTab::steps_showResultTextAndColours_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<bool>("running");

    const QColor black(Qt::black), white(Qt::white), blue(Qt::blue), yellow(Qt::yellow);
    const QString consumed = "Energy is consumed", generated = "Energy is generated";
    QTest::newRow("idle before a test") << QStringList{} << "Idle" << black << white << false;
    QTest::newRow("started: empty on yellow") << QStringList{"test"} << "" << black << yellow << true;
    QTest::newRow("snapshot at the first tick, not at the start")
        << QStringList{"test", "ws1", "polar", "tick", "tick"} << "" << black << white << true;
    QTest::newRow("absolute counter advanced") << QStringList{"test", "tick", "ws1", "tick"} << consumed << white << blue << true;
    QTest::newRow("both counters advanced") << QStringList{"test", "tick", "ws1", "polar", "tick"} << generated << black << yellow << true;
    QTest::newRow("polarized counter alone") << QStringList{"test", "tick", "polar", "tick"} << "" << black << white << true;
    QTest::newRow("snapshot not renewed: still consumed")
        << QStringList{"test", "tick", "ws1", "tick", "tick", "tick"} << consumed << white << blue << true;
    QTest::newRow("generated after consumed, against the same snapshot")
        << QStringList{"test", "tick", "ws1", "tick", "polar", "tick"} << generated << black << yellow << true;
    QTest::newRow("counter back at the snapshot keeps the text")
        << QStringList{"test", "tick", "ws1", "tick", "back", "tick"} << consumed << white << white << true;
    QTest::newRow("started again empties the result")
        << QStringList{"test", "tick", "ws1", "tick", "test"} << "" << white << yellow << true;
    QTest::newRow("done") << QStringList{"test", "tick", "ws1", "tick", "done"} << "" << black << white << false;
    QTest::newRow("window closing stops like done")
        << QStringList{"test", "tick", "ws1", "polar", "tick", "stop", "ws1", "tick"} << "" << black << white << false;
}

void TestPolarityTestTab::steps_showResultTextAndColours()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, text);
    QFETCH(QColor, foreground);
    QFETCH(QColor, background);
    QFETCH(bool, running);

    LiveReading reading;
    reading.ws1 = 5000;
    ManualClock clock;
    PolarityTestTab tab(reading, clock);
    tab.show();
    QCOMPARE(tab.findChild<QGroupBox *>()->title(), QStringLiteral("CH1 Polarity Setup"));
    QCOMPARE(tab.findChild<QPushButton *>("Command2")->text(), QStringLiteral("Test Energy Polarity"));
    QCOMPARE(tab.findChild<QPushButton *>("Command4")->text(), QStringLiteral("Done"));

    play(steps, tab, reading, clock);
    const StatusField &result = *tab.findChild<StatusField *>("Text8");
    QCOMPARE(result.text(), text);
    QCOMPARE(result.foreground(), foreground);
    QCOMPARE(result.background(), background);
    QCOMPARE(tab.testRunning(), running);
    const auto *timer = tab.findChild<ClockTimer *>("Timer1");
    QVERIFY(timer);
    if (running)
        QCOMPARE(timer->interval(), kTickMs);
}

void TestPolarityTestTab::simulatedMonitor_readsItsDirection_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("text");
    QTest::newRow("household") << QStringList{} << "Energy is consumed";
    QTest::newRow("solar on channel 1 at noon")
        << QStringList{"--solar", "--solar-channel", "1", "--time-of-day", "12:00"} << "Energy is generated";
}

// Real packets from orvo-sim through the program's own serial port, receiver and decoder; the
// test's tick is moved by hand once packets have come in.
void TestPolarityTestTab::simulatedMonitor_readsItsDirection()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QString, text);
    constexpr int kPort = 13;

    SimProcess sim;
    QVERIFY(sim.start(QStringList{"--port", QString::number(kPort), "--period-ms", "100", "--seed", "7", "--quiet"} + simArguments));
    qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit());
    SystemClock systemClock;
    QtSerialPort port;
    RecordingSettingsStore store;
    store.values = {{"ZigbeeVersion", "8"}, {"ComPort", QString::number(kPort)}};
    RecordingStatusLines log;
    RecordingPrompts prompts;
    AcquisitionCore core(port, systemClock, store, Reporters{.statusLog = &log, .prompts = &prompts});
    int decoded = 0;
    core.decoder().onPacketDecoded = [&decoded] { ++decoded; };
    core.prepare();
    core.realTime().startRealTime();
    QTRY_VERIFY_WITH_TIMEOUT(decoded >= 2, 10000);

    ManualClock tickClock;
    PolarityTestTab tab(core.decoder().reading(), tickClock);
    tab.findChild<QPushButton *>("Command2")->click();
    tickClock.advance(kTickMs); // the snapshot
    const int atSnapshot = decoded;
    QTRY_VERIFY_WITH_TIMEOUT(decoded >= atSnapshot + 3, 10000);
    tickClock.advance(kTickMs);
    QCOMPARE(tab.findChild<StatusField *>("Text8")->text(), text);
    core.realTime().stopRealTime();
}

QTEST_MAIN(TestPolarityTestTab)
#include "tst_polarity_test_tab.moc"
