// The polarity test of the "Solar/Wind Systems" tab on the real widgets: each result text and
// colour from a live reading moved by hand, and the two outcomes against orvo-sim.
#include "acquisition_core.h"
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

constexpr int kTickMs = 1100;

class TestPolarityTestTab : public QObject {
    Q_OBJECT
private slots:
    void steps_showResultTextAndColours_data();
    void steps_showResultTextAndColours();
    void simulatedMonitor_readsItsDirection_data();
    void simulatedMonitor_readsItsDirection();
};

// Steps: "Command2" and "Command4" click the buttons, "stop" is the window closing, "tick" one
// tick, "ws1" and "polar" advance channel 1's counters by 100 Ws, "back" takes ws1 back.
void TestPolarityTestTab::steps_showResultTextAndColours_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("foreground");
    QTest::addColumn<QColor>("background");

    const QColor black(Qt::black), white(Qt::white), blue(Qt::blue), yellow(Qt::yellow);
    const QString consumed = "Energy is consumed", generated = "Energy is generated";
    const QStringList started{"Command2", "tick"};
    QTest::newRow("idle") << QStringList{} << "Idle" << black << white;
    QTest::newRow("started: empty on yellow") << QStringList{"Command2"} << "" << black << yellow;
    QTest::newRow("snapshot at the first tick") << QStringList{"Command2", "ws1", "polar", "tick", "tick"} << "" << black << white;
    QTest::newRow("ws1 moved") << started + QStringList{"ws1", "tick"} << consumed << white << blue;
    QTest::newRow("both moved") << started + QStringList{"ws1", "polar", "tick"} << generated << black << yellow;
    QTest::newRow("polar alone") << started + QStringList{"polar", "tick"} << "" << black << white;
    QTest::newRow("snapshot kept") << started + QStringList{"ws1", "tick", "polar", "tick"} << generated << black << yellow;
    QTest::newRow("back at snapshot keeps text") << started + QStringList{"ws1", "tick", "back", "tick"} << consumed << white << white;
    QTest::newRow("restarted") << started + QStringList{"ws1", "tick", "Command2"} << "" << white << yellow;
    QTest::newRow("done") << started + QStringList{"ws1", "tick", "Command4", "ws1", "tick"} << "" << black << white;
    QTest::newRow("window closed") << started + QStringList{"ws1", "polar", "tick", "stop", "tick"} << "" << black << white;
}

void TestPolarityTestTab::steps_showResultTextAndColours()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, text);
    LiveReading reading;
    ManualClock clock;
    PolarityTestTab tab(reading, clock);
    tab.show();
    QCOMPARE(tab.findChild<QGroupBox *>()->title(), QStringLiteral("CH1 Polarity Setup"));
    QCOMPARE(tab.findChild<QPushButton *>("Command2")->text(), QStringLiteral("Test Energy Polarity"));
    QCOMPARE(tab.findChild<QPushButton *>("Command4")->text(), QStringLiteral("Done"));
    for (const QString &step : steps) {
        if (step.startsWith("Command"))
            tab.findChild<QPushButton *>(step)->click();
        if (step == "stop")
            tab.stopTest();
        if (step == "tick")
            clock.advance(kTickMs);
        reading.ws1 += step == "ws1" ? 100 : step == "back" ? -100 : 0;
        reading.ws1Polar += step == "polar" ? 100 : 0;
    }
    const StatusField &result = *tab.findChild<StatusField *>("Text8");
    QCOMPARE(result.text(), text);
    QTEST(result.foreground(), "foreground");
    QTEST(result.background(), "background");
    const bool running = steps.lastIndexOf("Command2") > qMax(steps.lastIndexOf("Command4"), steps.lastIndexOf("stop"));
    QCOMPARE(tab.testRunning(), running);
    if (running)
        QCOMPARE(tab.findChild<ClockTimer *>("Timer1")->interval(), kTickMs);
}

void TestPolarityTestTab::simulatedMonitor_readsItsDirection_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QString>("text");
    QTest::newRow("household") << QStringList{} << "Energy is consumed";
    QTest::newRow("solar on channel 1 at noon") << QStringList{"--solar", "--solar-channel", "1", "--time-of-day", "12:00"}
                                                << "Energy is generated";
}

// Real packets through the program's own serial port, receiver and decoder; the test's tick
// moves by hand once packets have come in.
void TestPolarityTestTab::simulatedMonitor_readsItsDirection()
{
    QFETCH(QStringList, simArguments);
    SimProcess sim;
    QVERIFY(sim.start(QStringList{"--port", "13", "--period-ms", "100", "--seed", "7", "--quiet"} + simArguments));
    qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit());
    SystemClock systemClock;
    QtSerialPort port;
    RecordingSettingsStore store;
    store.values = {{"ZigbeeVersion", "8"}, {"ComPort", "13"}};
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
    QTEST(tab.findChild<StatusField *>("Text8")->text(), "text");
    core.realTime().stopRealTime();
}

QTEST_MAIN(TestPolarityTestTab)
#include "tst_polarity_test_tab.moc"
