// The communication panel against orvo-sim on a pseudo-terminal: the radio dongle's node found
// from the panel, and a newcomer's way from the port search to real time.
#include "acquisition_core.h"
#include "clock.h"
#include "com_panel.h"
#include "main_window.h"
#include "qt_serial_port.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "sim_process.h"
#include "status_fields.h"
#include "status_log_list.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

class TestComPanelOverPty : public QObject {
    Q_OBJECT
private slots:
    void findE2_discoversNodeWithoutCountingItForRealTime();
    void newcomer_findsSimulatorSelectsOpensAndStartsRealTime();
};

void TestComPanelOverPty::findE2_discoversNodeWithoutCountingItForRealTime()
{
    SimProcess sim;
    QVERIFY(sim.start({"--radio", "2", "--port", "9", "--quiet"}));
    qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit());
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store;
    store.values = {{"ZigbeeVersion", "2"}, {"ComPort", "9"}};
    RecordingPrompts prompts;
    MainWindow window(port, clock, store, &prompts);
    window.start();
    ComPanel &panel = window.showCommunicationPanel();
    panel.findChild<QPushButton *>("Command5")->click();
    QCOMPARE(panel.findChild<StatusLogList *>("List2")->lines(),
             QStringList{"Node E2 has been discovered successfully."});
    QVERIFY(!window.core().discovery().radioNodeFound());
    QVERIFY(!window.core().link().flags().commandInProgress);
    QVERIFY(window.statusLog().lines().isEmpty());
    QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.join(" | ")));
    window.close();
}

void TestComPanelOverPty::newcomer_findsSimulatorSelectsOpensAndStartsRealTime()
{
    constexpr int kPort = 11;
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kPort), "--period-ms", "500", "--quiet"}));
    qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit());
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store; // a first run
    RecordingPrompts prompts;
    MainWindow window(port, clock, store, &prompts);
    window.start();
    window.menu().communicationPanel->trigger();
    ComPanel *panel = window.communicationPanel();
    QVERIFY(panel);
    panel->findChild<QRadioButton *>("Option2_0")->click(); // USB Cable
    panel->findChild<QPushButton *>("Command3")->click();   // List Available Ports
    QTreeWidget &list = *panel->findChild<QTreeWidget *>("List1");
    const auto rows = list.findItems(QString::number(kPort), Qt::MatchExactly, 0);
    QCOMPARE(rows.size(), 1);
    QVERIFY(rows[0]->text(1).contains(sim.devicePath()));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(rows[0]).center());
    QCOMPARE(prompts.messages.value(0), QStringLiteral("Set to COM %1").arg(kPort));
    panel->findChild<QPushButton *>("Command2")->click(); // Open Port
    QCOMPARE(window.portField().text(), QStringLiteral("COM Port is Open"));
    QCOMPARE(panel->findChild<StatusField *>("Text1")->background(), QColor(Qt::green));
    window.menu().startRealTime->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(window.realTimeField().text(),
                              QStringLiteral("Real-Time Data Active"), 15000);
    QCOMPARE(prompts.messages.size(), 1);
    window.close();
}

QTEST_MAIN(TestComPanelOverPty)
#include "tst_com_panel_over_pty.moc"
