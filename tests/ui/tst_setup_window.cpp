// The setup window on the real widgets, opened from the main window, against a monitor double
// on a FakeSerialPort and a ManualClock: its texts and layout, the presets, the field reader,
// the answers a monitor can give, its closing during a wait, and the server test buttons.
#include "fake_serial_port.h"
#include "field_number.h"
#include "manual_clock.h"
#include "monitor_double.h"
#include "setup_rig.h"
#include "tray_parking.h"
#include "setup_window_rig.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTcpServer>
#include <QTest>

namespace {

struct FakeRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    MonitorDouble monitor{port};
    RecordingSettingsStore store;
    RecordingPrompts prompts;
    std::unique_ptr<MainWindow> main;
    SetupWindowView view;

    explicit FakeRig(const QMap<QString, QString> &settings = {})
    {
        clock.setAutoAdvance(true);
        store.values = settings;
        store.values.insert("ZigbeeVersion", "8");
        main = std::make_unique<MainWindow>(port, clock, store, &prompts);
        main->tray().trayAvailable = [] { return true; };
        main->start();
        view.open(*main);
        prompts.answerYes = true;
    }
    LinkFlags &flags() { return main->core().link().flags(); }
};

template <class W>
QStringList texts(const QWidget *window, QString (W::*text)() const)
{
    QStringList all;
    for (const W *w : window->findChildren<W *>())
        all.append((w->*text)());
    all.sort();
    return all;
}

} // namespace

class TestSetupWindow : public QObject {
    Q_OBJECT
private slots:
    void opened_showsEverySectionCaptionAndControl();
    void presets_fillBothChannels_data();
    void presets_fillBothChannels();
    void fieldText_readsLeadingNumber_data();
    void fieldText_readsLeadingNumber();
    void monitorAnswers_reportedInListAndFields_data();
    void monitorAnswers_reportedInListAndFields();
    void mainWindowParkedDuringWait_sequenceEndsAndRealTimeRestarts();
    void fieldFaultAfterEarlierRestart_leavesStoppedRealTimeStopped();
    void preResetValues_clearedOnlyOnYes_data();
    void preResetValues_clearedOnlyOnYes();
    void serverTestButtons_setTitleByServerState();
};

void TestSetupWindow::opened_showsEverySectionCaptionAndControl()
{
    FakeRig rig;
    const SetupWindow *w = rig.view.window;
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->objectName(), QStringLiteral("Orvo_Util"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Orvo-88 Utility"));
    QCOMPARE(texts(w, &QGroupBox::title),
             (QStringList{"CH 1 ", "CH2", "CT Setup", "Data Logger Storage Interval", "Device ID",
                          "Firmware Version", "Orvo Utility Commands", "PT Setup"}));
    QCOMPARE(texts(w, &QLabel::text),
             (QStringList{"Minutes", "Range", "Range", "Range", "Response", "Type", "Type", "Type"}));
    const QStringList buttons{"Accept Changes", "Accept Changes", "Accept Changes", "Accept Changes",
                              "Exit", "Read Orvo-88 Settings", "Accept Changes",
                              "Read Serial Number", "Send Acknowledge", "Reset Orvo-88",
                              "Reset Static Pre-Reset Values", "connect", "disconnect", "test",
                              "Toggle CH1 Polarity", "Toggle CH2 Polarity"};
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(rig.view.button(n)->text(), buttons.at(n - 1));
    const QStringList options{"SPLIT-60 CT", "SPLIT-100 or CLAMP-100", "SPLIT-150",
                              "SPLIT-200 or CLAMP-200"};
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(w->findChild<QRadioButton *>(QString("Option%1").arg(n))->text(), options.at(n - 1));
    for (int n = 1; n <= 11; ++n)
        QVERIFY2(rig.view.text(n), qPrintable(QString("Text%1").arg(n)));
    QCOMPARE(w->findChild<QPlainTextEdit *>("Text12")->toPlainText(),
             QStringLiteral("    Typical Setting Values:\n\nSPLIT-60: Type:100/Range:5\n"
                            "SPLIT-100: Type:167/Range:5\nCLAMP-100: Type:167/Range:5\n"
                            "SPLIT-200: Type:167/Range:4\nCLAMP-200: Type:167/Range:4"));
    QCOMPARE(w->menuBar()->actions().value(0)->objectName(), QStringLiteral("MnuExit"));
    QCOMPARE(w->menuBar()->actions().value(0)->text(), QStringLiteral("Exit"));
    // Channel 2 is laid out like channel 1.
    const SetupWidgets &c = w->widgets();
    QCOMPARE(c.channel2->size(), c.channel1->size());
    QCOMPARE(c.text[3]->geometry(), c.text[1]->geometry());
    QCOMPARE(c.text[4]->geometry(), c.text[2]->geometry());
    QCOMPARE(c.command[2]->geometry(), c.command[1]->geometry());
    QVERIFY(rig.view.list().isEmpty());

    rig.view.button(5)->click(); // Exit destroys the window
    QTRY_VERIFY(!rig.view.window);
    QVERIFY(!rig.main->setupWindow());
}

void TestSetupWindow::presets_fillBothChannels_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("range");
    QTest::newRow("SPLIT-60 CT") << 1 << "100" << "5";
    QTest::newRow("SPLIT-100 or CLAMP-100") << 2 << "167" << "5";
    QTest::newRow("SPLIT-150") << 3 << "175" << "5";
    QTest::newRow("SPLIT-200 or CLAMP-200") << 4 << "167" << "4";
}

void TestSetupWindow::presets_fillBothChannels()
{
    QFETCH(int, option);
    QFETCH(QString, type);
    QFETCH(QString, range);
    FakeRig rig;
    rig.view.window->findChild<QRadioButton *>(QString("Option%1").arg(option))->click();
    const QStringList shown{rig.view.text(1)->text(), rig.view.text(2)->text(),
                            rig.view.text(3)->text(), rig.view.text(4)->text()};
    QCOMPARE(shown, (QStringList{type, range, type, range}));
    QVERIFY(rig.monitor.transcript.isEmpty());
}

void TestSetupWindow::fieldText_readsLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("asByte"); // -1: does not fit 0-255
    QTest::newRow("plain") << "127" << 127.0 << 127;
    QTest::newRow("leading blanks, trailing letters") << "  12abc" << 12.0 << 12;
    QTest::newRow("second point ends it") << "1.5.3" << 1.5 << 2;
    QTest::newRow("no number") << "abc" << 0.0 << 0;
    QTest::newRow("empty") << "" << 0.0 << 0;
    QTest::newRow("blank inside the number") << "1 2" << 1.0 << 1;
    QTest::newRow("sign without digits") << "-x" << 0.0 << 0;
    QTest::newRow("point first") << ".5" << 0.5 << 0;
    QTest::newRow("half to even, down") << "4.5" << 4.5 << 4;
    QTest::newRow("half to even, up") << "5.5" << 5.5 << 6;
    QTest::newRow("rounds past a byte") << "255.5" << 255.5 << -1;
    QTest::newRow("negative") << "-1" << -1.0 << -1;
    QTest::newRow("negative half") << "-0.5" << -0.5 << 0;
    QTest::newRow("exponent") << "2e2" << 200.0 << 200;
    QTest::newRow("exponent without digits") << "2e" << 2.0 << 2;
    QTest::newRow("plus sign, exponent sign") << "+2e+1" << 20.0 << 20;
    QTest::newRow("beyond a double") << "1e999" << qInf() << -1;
    QTest::newRow("below a double") << "1e-999" << 0.0 << 0;
}

void TestSetupWindow::fieldText_readsLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(int, asByte);
    QCOMPARE(FieldNumber::leadingValue(text), value);
    QCOMPARE(FieldNumber::wholeIn(text, 0, 255).value_or(-1), asByte);
}

void TestSetupWindow::monitorAnswers_reportedInListAndFields_data()
{
    QTest::addColumn<int>("button");
    // "mute", "silent:<token>", "lose:<token>", "preload:<byte>", "reply:<token>:<bytes>", "failOpen"
    QTest::addColumn<QString>("monitor");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("field"); // "n=text" after the operation
    const QString off = "Realtime is OFF";
    QTest::newRow("acknowledge answered") << 9 << "" << QStringList{"252", "Successful response."}
                                          << QStringList{} << "10=Acknowledged";
    QTest::newRow("acknowledge, another byte") << 9 << "preload:65"
                                               << QStringList{"65", "Improper response."}
                                               << QStringList{} << "10=Error";
    QTest::newRow("acknowledge unanswered") << 9 << "mute" << QStringList{"No response was received."}
                                            << QStringList{} << "10=";
    QTest::newRow("serial number never arrives")
        << 8 << "" << QStringList{off, "Abort Read Serial Number command"} << QStringList{} << "11=";
    QTest::newRow("serial number, no attention")
        << 8 << "mute" << QStringList{off, "Did not receive ACK 1"} << QStringList{} << "11=";
    QTest::newRow("serial number, no SET")
        << 8 << "silent:SET" << QStringList{off, "Abort SET command"} << QStringList{} << "11=";
    QTest::newRow("serial number, no R")
        << 8 << "silent:RR"
        << QStringList{off, "Abort SRN command", "Abort Read Serial Number command"}
        << QStringList{} << "11=";
    QTest::newRow("serial number without its acknowledgement")
        << 8 << "reply:NN:1,2,130,4,5"
        << QStringList{off, "Did not successfuly receive acknowled for serial number read."}
        << QStringList{} << "11=01213045";
    QTest::newRow("settings block too long")
        << 6 << "reply:RCV:" + QStringList(34, "0").join(',')
        << QStringList{"Could not read settings... Try again."} << QStringList{} << "1=";
    QTest::newRow("CH2 range beyond a byte")
        << 2 << "" << QStringList{"PROBLEM Modifying CH2 CT Type and Range"}
        << QStringList{"Error writing CT setup values"} << "";
    QTest::newRow("reset") << 10 << "" << QStringList{"Orvo has been successfuly reset"}
                           << QStringList{} << "";
    QTest::newRow("reset, no attention")
        << 10 << "mute" << QStringList{"No response from Acknowledge command"} << QStringList{} << "";
    QTest::newRow("reset, no RQS") << 10 << "silent:RQS"
                                   << QStringList{off, "No response from Request command"}
                                   << QStringList{} << "";
    QTest::newRow("reset, no RST") << 10 << "silent:RST" << QStringList{off, "Orvo was not reset"}
                                   << QStringList{} << "";
    QTest::newRow("reset, port lost") << 10 << "lose:RST" << QStringList{off}
                                      << QStringList{"Reset Error"} << "";
    QTest::newRow("port cannot open")
        << 1 << "failOpen"
        << QStringList{"A problem occured with the COM port. Correct the problem and try again."}
        << QStringList{} << "";
}

void TestSetupWindow::monitorAnswers_reportedInListAndFields()
{
    QFETCH(int, button);
    QFETCH(QString, monitor);
    QFETCH(QStringList, list);
    QFETCH(QStringList, messages);
    QFETCH(QString, field);
    FakeRig rig;
    rig.view.fill({"1=100", "2=5", "3=100", "4=999"});
    const QString how = monitor.section(':', 0, 0);
    const QString what = monitor.section(':', 1, 1);
    if (how == "failOpen") {
        rig.port.failOpen = true;
        // The port search it offers belongs to the communication panel's tests.
        rig.prompts.answerNoTo.append(
            QStringLiteral("Invalid COM port. Would you like to search for available ports?"));
    } else {
        QVERIFY(rig.main->core().link().openPort());
        rig.monitor.mute = how == "mute" || how == "preload";
        if (how == "silent")
            rig.monitor.silent.insert(what);
        if (how == "lose")
            rig.monitor.loseDeviceOn = what;
        if (how == "preload")
            rig.port.preload(QByteArray(1, char(what.toInt())));
        for (const QString &byte : monitor.section(':', 2).split(',', Qt::SkipEmptyParts))
            rig.monitor.replies[what] += char(byte.toInt());
    }
    rig.view.click(button);
    QCOMPARE(rig.view.list(), list);
    QCOMPARE(rig.prompts.messages, messages);
    if (!field.isEmpty())
        QCOMPARE(rig.view.text(field.section('=', 0, 0).toInt())->text(), field.section('=', 1));
    QVERIFY(!rig.flags().commandInProgress);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestSetupWindow::mainWindowParkedDuringWait_sequenceEndsAndRealTimeRestarts()
{
    FakeRig rig;
    rig.main->core().realTime().startRealTime();
    QVERIFY(rig.flags().realTimeOn);
    // While the serial number is awaited, the user minimizes the main window: the setup window
    // is destroyed in the middle of its operation.
    const auto monitorTakes = rig.port.responder;
    bool parked = false;
    rig.port.responder = [&](const QByteArray &bytes) {
        monitorTakes(bytes);
        if (bytes == "N" && !std::exchange(parked, true))
            QMetaObject::invokeMethod(
                rig.main.get(), [&rig] { rig.main->showMinimized(); }, Qt::QueuedConnection);
    };
    rig.view.click(8);
    QVERIFY(parked);
    QVERIFY2(!rig.view.window, "destroyed while its operation waited");
    QCOMPARE(rig.view.history.mid(rig.view.history.size() - 2),
             (QStringList{"Abort Read Serial Number command",
                          "Restoring Real-Time back to its ON state."}));
    QVERIFY(rig.flags().realTimeOn);
    QVERIFY(!rig.flags().commandInProgress);
}

void TestSetupWindow::fieldFaultAfterEarlierRestart_leavesStoppedRealTimeStopped()
{
    FakeRig rig;
    rig.main->core().realTime().startRealTime();
    rig.view.click(8); // stops real time and restarts it: the link remembers it was on
    QVERIFY(rig.flags().realTimeOn);
    rig.main->core().realTime().stopRealTime();
    for (int tick = 0; tick < 30 && rig.flags().realTimeOn; ++tick)
        rig.main->core().watchdog().tick(); // no data flows: the watchdog shows it off
    QVERIFY(!rig.flags().realTimeOn);
    rig.monitor.transcript.clear();
    // A field fault ends the operation before anything is suspended: nothing to restore.
    rig.view.fill({"1=100", "2=300"});
    rig.view.click(1);
    QCOMPARE(rig.prompts.messages, QStringList{"Error writing CT setup values"});
    QVERIFY(!rig.flags().realTimeOn);
    QVERIFY(rig.monitor.transcript.isEmpty());
}

void TestSetupWindow::preResetValues_clearedOnlyOnYes_data()
{
    QTest::addColumn<bool>("yes");
    QTest::addColumn<double>("kept");
    QTest::newRow("Yes") << true << 0.0;
    QTest::newRow("No") << false << 5.0;
}

void TestSetupWindow::preResetValues_clearedOnlyOnYes()
{
    QFETCH(bool, yes);
    QFETCH(double, kept);
    FakeRig rig({{"PreResetVal1", "5"}, {"PreResetVal2", "5"}, {"PreResetValP1", "5"},
                 {"PreResetValP2", "5"}});
    rig.prompts.answerYes = yes;
    rig.view.click(11);
    QCOMPARE(rig.prompts.questions,
             QStringList{"Are you sure you want to delete these values? Deleting these will cause "
                         "your web server data to corrupt. This should only be used initialy "
                         "before starting a new web server account."});
    QVERIFY(rig.main->core().saveSettings());
    for (const char *key : {"PreResetVal1", "PreResetVal2", "PreResetValP1", "PreResetValP2"})
        QCOMPARE(rig.store.values.value(key).toDouble(), kept);
    QVERIFY(rig.monitor.transcript.isEmpty());
}

void TestSetupWindow::serverTestButtons_setTitleByServerState()
{
    FakeRig rig;
    QTcpServer probe; // a free port for "connect"
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    rig.view.window->setTestServerPort(port);
    const QList<std::pair<int, QString>> steps{{14, "0"},
                                                {13, "0"}, // nothing to close: title kept
                                                {12, "TCP Server : Listening"},
                                                {14, "2"},
                                                {13, "TCP Server Closed"},
                                                {14, "0"}};
    for (const auto &[button, title] : steps) {
        rig.view.click(button);
        QCOMPARE(rig.view.window->windowTitle(), title);
    }
}

QTEST_MAIN(TestSetupWindow)
#include "tst_setup_window.moc"
