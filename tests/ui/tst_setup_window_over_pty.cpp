// The setup window against orvo-sim on a pseudo-terminal, through the real serial port, the
// system clock and the main window: each write read back from the monitor, a read while real
// time runs, the confirmations and the serial number. Waits here are for real events.
#include "clock.h"
#include "qt_serial_port.h"
#include "setup_window_rig.h"
#include "sim_process.h"

#include <QTest>

namespace {

constexpr int kPort = 12;

struct SimRig {
    SimProcess sim;
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store;
    RecordingPrompts prompts;
    std::unique_ptr<MainWindow> main;
    SetupWindowView view;

    bool start(const QStringList &simArguments = {})
    {
        sim.setCaptureLog(true);
        if (!sim.start(QStringList{"--port", QString::number(kPort), "--period-ms", "300"} +
                       simArguments))
            return false;
        qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit());
        store.values = {{"ZigbeeVersion", "8"}, {"ComPort", QString::number(kPort)},
                        {"StartupComIsOn", "True"}};
        main = std::make_unique<MainWindow>(port, clock, store, &prompts);
        main->start();
        view.open(*main);
        return view.window;
    }
    LinkFlags &flags() { return main->core().link().flags(); }
    // "Read Orvo-88 Settings"; the fields "n=text" it shows.
    QStringList readBack(const QStringList &fields)
    {
        view.click(6);
        QStringList shown;
        for (const QString &entry : fields) {
            const int n = entry.section('=', 0, 0).toInt();
            shown.append(QString("%1=%2").arg(n).arg(view.text(n)->text()));
        }
        return shown;
    }
};

const QString kOff = "Realtime is OFF";
const QString kCh1 = "Modifying CH1 CT Type and Range";
const QString kCh2 = "Modifying CH2 CT Type and Range";

} // namespace

class TestSetupWindowOverPty : public QObject {
    Q_OBJECT
private slots:
    void accept_writesCheckedValues_data();
    void accept_writesCheckedValues();
    void readWhileRealTimeRuns_stopsFillsNineFieldsAndRestarts();
    void confirmation_sendsOnlyOnYes_data();
    void confirmation_sendsOnlyOnYes();
    void readSerialNumber_showsDigitsOfFiveBytes();
};

void TestSetupWindowOverPty::accept_writesCheckedValues_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("button");
    QTest::addColumn<QStringList>("history"); // every line of the status list, "--" a clear
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("readBack");
    const QStringList ch1{"--", kOff, "--", kCh1, "--", "Completed " + kCh1};
    QTest::newRow("CH1") << QStringList{"1=100", "2=5"} << 1 << ch1 << QStringList{}
                         << QStringList{"1= 100", "2= 5", "3= 167"};
    QTest::newRow("CH2 sends channel 2")
        << QStringList{"1=100", "2=5", "3=175", "4=4"} << 2
        << QStringList{"--", kCh2, kOff, "--", "Completed " + kCh2} << QStringList{}
        << QStringList{"1= 167", "2= 5", "3= 175", "4= 4"};
    QTest::newRow("CH1 range 11") << QStringList{"1=100", "2=11"} << 1 << ch1
                                  << QStringList{"Improper Range"} << QStringList{"1= 167", "2= 5"};
    QTest::newRow("CH1 fields read as numbers") << QStringList{"1=  12abc", "2=4.5"} << 1 << ch1
                                                << QStringList{} << QStringList{"1= 12", "2= 4"};
    QTest::newRow("CH1 range beyond a byte")
        << QStringList{"1=100", "2=300"} << 1 << QStringList{"--", "PROBLEM " + kCh1}
        << QStringList{"Error writing CT setup values"} << QStringList{"1= 167", "2= 5"};
    QTest::newRow("PT") << QStringList{"6=3", "7=7"} << 4 << QStringList{"--", kOff, "Completed"}
                        << QStringList{} << QStringList{"6= 3", "7= 7"};
    QTest::newRow("PT type beyond a byte")
        << QStringList{"6=256", "7=7"} << 4 << QStringList{"--"}
        << QStringList{"Error writing PT setup values"} << QStringList{"6= 0", "7= 1"};
    const QStringList invalidInterval{"Invalid Storage Interval Value"};
    QTest::newRow("interval 0") << QStringList{"5=0"} << 3 << QStringList{"--"} << invalidInterval
                                << QStringList{"5= 15"};
    QTest::newRow("interval 256") << QStringList{"5=256"} << 3 << QStringList{"--"}
                                  << invalidInterval << QStringList{"5= 15"};
    QTest::newRow("interval 255") << QStringList{"5=255"} << 3 << QStringList{"--", kOff}
                                  << QStringList{} << QStringList{"5= 255"};
    QTest::newRow("interval -1") << QStringList{"5=-1"} << 3 << QStringList{"--", kOff}
                                 << QStringList{} << QStringList{"5= 15"};
    QTest::newRow("interval 99999") << QStringList{"5=99999"} << 3 << QStringList{"--"}
                                    << QStringList{} << QStringList{"5= 15"};
    const QStringList invalidId{"Invalid Device ID Value"};
    QTest::newRow("ID 127") << QStringList{"9=127"} << 7 << QStringList{kOff, "--"}
                            << QStringList{} << QStringList{"9= 127"};
    QTest::newRow("ID 128") << QStringList{"9=128"} << 7 << QStringList{kOff, "--"} << invalidId
                            << QStringList{"9= 1"};
    QTest::newRow("ID 300") << QStringList{"9=300"} << 7 << QStringList{kOff, "--"} << invalidId
                            << QStringList{"9= 1"};
    QTest::newRow("ID -1") << QStringList{"9=-1"} << 7 << QStringList{kOff, "--"}
                           << QStringList{"Error Device ID value"} << QStringList{"9= 1"};
}

void TestSetupWindowOverPty::accept_writesCheckedValues()
{
    QFETCH(QStringList, fields);
    QFETCH(int, button);
    QFETCH(QStringList, history);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, readBack);
    SimRig rig;
    QVERIFY(rig.start());
    rig.view.fill(fields);
    rig.view.click(button);
    QCOMPARE(rig.view.history, history);
    QCOMPARE(rig.prompts.messages, messages);
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(!rig.flags().commandInProgress);
    QCOMPARE(rig.readBack(readBack), readBack);
    QCOMPARE(rig.view.list(), QStringList{"Settings have been read successfuly"});
}

void TestSetupWindowOverPty::readWhileRealTimeRuns_stopsFillsNineFieldsAndRestarts()
{
    SimRig rig;
    QVERIFY(rig.start({"--firmware", "2200"}));
    rig.main->menu().startRealTime->trigger();
    QVERIFY(rig.flags().realTimeOn);
    QTRY_VERIFY_WITH_TIMEOUT(rig.main->core().decoder().reading().seconds > 0, 10000);
    rig.view.fill({"1=x", "5=x", "8=x"});
    const QStringList nine{"1= 167", "2= 5", "3= 167", "4= 5", "6= 0",
                           "7= 1",   "5= 15", "8=2.2", "9= 1"};
    QCOMPARE(rig.readBack(nine), nine);
    QCOMPARE(rig.view.history,
             (QStringList{"Realtime is ON..... now turning OFF", kOff, "--",
                          "Realtime is ON...... Now turning it off.", "--",
                          "Settings have been read successfuly",
                          "Restoring Real-Time back to its ON state."}));
    QVERIFY(rig.flags().realTimeOn);
    QVERIFY(!rig.flags().commandInProgress);
    const qint32 seconds = rig.main->core().decoder().reading().seconds;
    QTRY_VERIFY_WITH_TIMEOUT(rig.main->core().decoder().reading().seconds > seconds, 10000);
    QVERIFY(rig.sim.logged().contains("real-time streaming off"));
}

void TestSetupWindowOverPty::confirmation_sendsOnlyOnYes_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("title"); // empty: the program's own
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("simLine"); // what the monitor logs when it acts
    const QString polarity = "Are you sure you want to change the polarity? If you are NET "
                             "metering, this will affect your data.";
    const QString reset = "Are you sure you want to reset the Orvo-88 accumulated data?";
    QTest::newRow("CH1 polarity, No") << 15 << false << "" << polarity << "channel 1 polarized";
    QTest::newRow("CH1 polarity, Yes") << 15 << true << "" << polarity << "channel 1 polarized";
    QTest::newRow("CH2 polarity, Yes") << 16 << true << "" << polarity << "channel 2 polarized";
    QTest::newRow("reset, No") << 10 << false << "Caution" << reset << "accumulated data reset";
    QTest::newRow("reset, Yes") << 10 << true << "Caution" << reset << "accumulated data reset";
}

void TestSetupWindowOverPty::confirmation_sendsOnlyOnYes()
{
    QFETCH(int, button);
    QFETCH(bool, yes);
    QFETCH(QString, title);
    QFETCH(QString, question);
    QFETCH(QString, simLine);
    SimRig rig;
    QVERIFY(rig.start());
    rig.prompts.answerYes = yes;
    rig.view.click(button);
    QCOMPARE(rig.prompts.questions, QStringList{question});
    QCOMPARE(rig.prompts.titles, title.isEmpty() ? QStringList{} : QStringList{title});
    QVERIFY(rig.prompts.messages.isEmpty());
    if (button == 10)
        QCOMPARE(rig.view.list(), yes ? QStringList{"Orvo has been successfuly reset"} : QStringList{});
    // A read of the settings afterwards: whatever was sent before it has been logged by then.
    rig.readBack({});
    QTRY_VERIFY(rig.sim.logged().contains("settings block sent"));
    QCOMPARE(rig.sim.logged().contains(simLine), yes);
}

void TestSetupWindowOverPty::readSerialNumber_showsDigitsOfFiveBytes()
{
    SimRig rig;
    QVERIFY(rig.start({"--serial", "1,2,130,4,5"}));
    rig.view.click(8);
    QCOMPARE(rig.view.text(11)->text(), QStringLiteral("01213045"));
    QCOMPARE(rig.view.list(), QStringList{kOff});
    QVERIFY(!rig.flags().commandInProgress);
}

QTEST_MAIN(TestSetupWindowOverPty)
#include "tst_setup_window_over_pty.moc"
