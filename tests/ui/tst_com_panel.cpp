// The communication panel on the real widgets: its texts and colours, the port search over links
// in a temporary ports folder, the port selection, the link methods and the closing rules. The
// serial port, the clock and the settings store are doubles; the port devices are files that a
// port's link leads to.
#include "acquisition_core.h"
#include "com_panel.h"
#include "fake_serial_port.h"
#include "main_window.h"
#include "manual_clock.h"
#include "port_names.h"
#include "port_search.h"
#include "recorders.h"
#include "recovery.h"
#include "recording_settings_store.h"
#include "status_fields.h"
#include "status_log_list.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include <unistd.h>

namespace {

using Values = QMap<QString, QString>;

struct PanelRig {
    QTemporaryDir dataHome;
    ManualClock clock;
    FakeSerialPort port{&clock};
    RecordingSettingsStore store;
    RecordingPrompts prompts;
    std::unique_ptr<MainWindow> window;

    explicit PanelRig(const Values &values = {}, bool answerYes = false)
    {
        prompts.answerYes = answerYes;
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
        QDir().mkpath(PortNames::portsDirectory());
        // Only the devices made here exist: the machine's own serial ports stay out of it.
        port.deviceExists = [home = dataHome.path()](const QString &device) {
            return device.startsWith(home) && QFileInfo(device).isReadable();
        };
        store.values = values;
        window = std::make_unique<MainWindow>(port, clock, store, &prompts);
        window->portSearch().deviceForPort = [home = dataHome.path()](int n) {
            const QString device = PortNames::deviceForPort(n);
            return device.startsWith(home) ? device : home + QStringLiteral("/absent");
        };
        window->start();
    }

    // Port n's link in the ports folder, leading to a device file.
    void plugIn(int n, QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
    {
        const QString device = dataHome.filePath(QStringLiteral("tty%1").arg(n));
        QFile(device).open(QIODevice::WriteOnly);
        QFile::setPermissions(device, permissions);
        QFile::link(device, PortNames::portsDirectory() + QStringLiteral("/COM%1").arg(n));
    }

    ComPanel &panel() { return window->showCommunicationPanel(); }
    template <class W>
    W &get(const char *name) { return *panel().findChild<W *>(QString::fromLatin1(name)); }
    QStringList listedPorts()
    {
        auto &list = get<QTreeWidget>("List1");
        QStringList numbers;
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            numbers << list.topLevelItem(i)->text(0);
        return numbers;
    }
    QStringList messages() { return get<StatusLogList>("List2").lines(); }
};

} // namespace

class TestComPanel : public QObject {
    Q_OBJECT
private slots:
    void panel_showsCaptions_data();
    void panel_showsCaptions();
    void portField_followsPortInItsColours();
    void listAvailablePorts_listsNumbersFound_data();
    void listAvailablePorts_listsNumbersFound();
    void portWithoutPermission_listedWithDialoutHint();
    void portClick_storesPortAndSaysSo();
    void openPort_refusesNumbersOutsideRange_data();
    void openPort_refusesNumbersOutsideRange();
    void methodOption_enablesOnlyItsFindButton_data();
    void methodOption_enablesOnlyItsFindButton();
    void leaving_withoutMethod_keepsPanelOrEndsProgram_data();
    void leaving_withoutMethod_keepsPanelOrEndsProgram();
    void tcpPortField_refusesPortsOutsideRange_data();
    void tcpPortField_refusesPortsOutsideRange();
    void storedTcpPortOutsideRange_readsAsDefaultWithLogLine();
    void tcpPort40000_listenedOnAndKeptAcrossRestart();
    void portMissingAtStart_recoveryWaitsForTheUsersPanel_data();
    void portMissingAtStart_recoveryWaitsForTheUsersPanel();
};

void TestComPanel::panel_showsCaptions_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("USB") << QByteArray("Option2_0") << "USB Cable";
    QTest::newRow("radio 1") << QByteArray("Option2_1") << "Zigbee Version 1";
    QTest::newRow("radio 2") << QByteArray("Option2_2") << "Zigbee Version 2";
    QTest::newRow("find E1") << QByteArray("Command6") << "Find E1";
    QTest::newRow("find E2") << QByteArray("Command5") << "Find E2";
    QTest::newRow("search") << QByteArray("Command3") << "List Available Ports";
    QTest::newRow("open") << QByteArray("Command2") << "Open Port";
    QTest::newRow("close") << QByteArray("Command1") << "Close Port";
    QTest::newRow("server") << QByteArray("Command7") << "Start Server";
    QTest::newRow("exit") << QByteArray("Command4") << "Exit";
    QTest::newRow("heading") << QByteArray("Label1") << "Ports  Found";
    QTest::newRow("TCP port from settings") << QByteArray("Text2") << "1234";
}

void TestComPanel::panel_showsCaptions()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, caption);
    PanelRig rig;
    QObject *control = rig.panel().findChild<QObject *>(QString::fromLatin1(name));
    QVERIFY(control);
    QCOMPARE(control->property("text").toString(), caption);
}

void TestComPanel::portField_followsPortInItsColours()
{
    PanelRig rig({{"ComPort", "3"}});
    rig.plugIn(3);
    auto &field = rig.get<StatusField>("Text1");
    QCOMPARE(field.text(), QStringLiteral("3"));
    QCOMPARE(field.foreground(), QColor(Qt::white));
    QCOMPARE(field.background(), QColor(Qt::red));
    QVERIFY(!field.isReadOnly());

    rig.clock.setAutoAdvance(true); // the settling pause after opening passes at once
    rig.get<QPushButton>("Command2").click();
    rig.clock.setAutoAdvance(false);
    QVERIFY(rig.port.isOpen());
    QCOMPARE(field.foreground(), QColor(Qt::black));
    QCOMPARE(field.background(), QColor(Qt::green));
    QVERIFY(field.isReadOnly()); // an open port keeps its number
    QCOMPARE(rig.window->portField().text(), QStringLiteral("COM Port is Open"));

    rig.get<QPushButton>("Command1").click();
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(field.text(), QStringLiteral("3"));
    QCOMPARE(field.background(), QColor(Qt::red));
    QCOMPARE(rig.window->portField().text(), QStringLiteral("COM Port is Closed"));
}

void TestComPanel::listAvailablePorts_listsNumbersFound_data()
{
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("messageList");
    QTest::addColumn<QStringList>("boxes");
    QStringList first35;
    QList<int> all36;
    for (int n = 1; n <= 36; ++n) {
        all36 << n;
        if (n <= 35)
            first35 << QString::number(n);
    }
    const QStringList click{"Click the port number to select"};
    QTest::newRow("ports 3 and 7") << QList<int>{3, 7} << QStringList{"3", "7"} << click
                                   << QStringList{};
    QTest::newRow("none") << QList<int>{} << QStringList{} << QStringList{}
                          << QStringList{"No COM Port Found"};
    QTest::newRow("36 overflow the table") << all36 << first35 << click
                                           << QStringList{"FindPort Error"};
}

void TestComPanel::listAvailablePorts_listsNumbersFound()
{
    QFETCH(QList<int>, present);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, messageList);
    QFETCH(QStringList, boxes);
    PanelRig rig;
    for (const int n : present)
        rig.plugIn(n);
    rig.get<QPushButton>("Command3").click();
    QCOMPARE(rig.listedPorts(), listed);
    QCOMPARE(rig.messages(), messageList);
    QCOMPARE(rig.prompts.messages, boxes);
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.window->core().link().portNumber(), 1); // the search selects nothing
    if (!present.isEmpty()) // the device path beside the number
        QVERIFY(rig.get<QTreeWidget>("List1").topLevelItem(0)->text(1).contains("/COM"));
}

void TestComPanel::portWithoutPermission_listedWithDialoutHint()
{
    if (geteuid() == 0)
        QSKIP("root may open every device");
    PanelRig rig;
    rig.plugIn(4, QFile::Permissions());
    rig.get<QPushButton>("Command3").click();
    QCOMPARE(rig.listedPorts(), QStringList{"4"});
    QVERIFY(rig.get<QTreeWidget>("List1").topLevelItem(0)->text(1).contains("dialout"));
    QCOMPARE(rig.prompts.messages, QStringList{"No COM Port Found"});
}

void TestComPanel::portClick_storesPortAndSaysSo()
{
    PanelRig rig;
    rig.plugIn(3);
    rig.plugIn(7);
    rig.panel().listAvailablePorts();
    auto &list = rig.get<QTreeWidget>("List1");
    QTreeWidgetItem *seven = list.topLevelItem(1);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(seven).center());
    QCOMPARE(rig.store.values.value("ComPort"), QStringLiteral("7"));
    QCOMPARE(rig.get<StatusField>("Text1").text(), QStringLiteral("7"));
    QCOMPARE(rig.prompts.messages, QStringList{"Set to COM 7"});
    QCOMPARE(rig.window->core().link().portNumber(), 7);
}

void TestComPanel::openPort_refusesNumbersOutsideRange_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("messageList");
    const QStringList refused{"No COM port selected. Try \"Find COM Port\" utility"};
    QTest::newRow("port 0") << "0" << refused << QStringList{};
    QTest::newRow("port 65") << "65" << refused << QStringList{};
    QTest::newRow("port 5 absent") << "5" << QStringList{} << QStringList{"Error opening COM port"};
}

void TestComPanel::openPort_refusesNumbersOutsideRange()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, messageList);
    PanelRig rig({{"ComPort", stored}});
    rig.get<QPushButton>("Command2").click();
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.prompts.messages, boxes);
    QCOMPARE(rig.messages(), messageList);
    QCOMPARE(rig.port.openCount, 0);
}

void TestComPanel::methodOption_enablesOnlyItsFindButton_data()
{
    QTest::addColumn<QString>("stored");   // ZigbeeVersion when the panel opens
    QTest::addColumn<QByteArray>("option"); // clicked afterwards, if any
    QTest::addColumn<bool>("findE1");
    QTest::addColumn<bool>("findE2");
    QTest::addColumn<int>("method");
    QTest::newRow("none chosen") << "0" << QByteArray() << false << false << 0;
    QTest::newRow("stored radio 2") << "2" << QByteArray() << false << true << 2;
    QTest::newRow("USB cable") << "2" << QByteArray("Option2_0") << false << false << 8;
    QTest::newRow("radio 1") << "0" << QByteArray("Option2_1") << true << false << 1;
    QTest::newRow("radio 2") << "8" << QByteArray("Option2_2") << false << true << 2;
}

void TestComPanel::methodOption_enablesOnlyItsFindButton()
{
    QFETCH(QString, stored);
    QFETCH(QByteArray, option);
    QFETCH(bool, findE1);
    QFETCH(bool, findE2);
    QFETCH(int, method);
    PanelRig rig({{"ZigbeeVersion", stored}});
    rig.panel();
    QCOMPARE(rig.store.values.value("ZigbeeVersion"), stored); // persisted as the panel opens
    if (!option.isEmpty())
        rig.get<QRadioButton>(option.constData()).click();
    QCOMPARE(rig.get<QPushButton>("Command6").isEnabled(), findE1);
    QCOMPARE(rig.get<QPushButton>("Command5").isEnabled(), findE2);
    QCOMPARE(int(rig.window->core().realTime().linkMethod()), method);
    rig.window->shutDown();
    QCOMPARE(rig.store.values.value("ZigbeeVersion"), QString::number(method));
}

void TestComPanel::leaving_withoutMethod_keepsPanelOrEndsProgram_data()
{
    QTest::addColumn<bool>("byExit");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("ended");
    QTest::newRow("Exit") << true << "Please select a communication method before exiting." << false;
    QTest::newRow("closed") << false
                            << "A communication method has not been selected. The program will now end."
                            << true;
}

void TestComPanel::leaving_withoutMethod_keepsPanelOrEndsProgram()
{
    QFETCH(bool, byExit);
    QFETCH(QString, box);
    QFETCH(bool, ended);
    PanelRig rig;
    ComPanel &panel = rig.panel();
    if (byExit)
        rig.get<QPushButton>("Command4").click();
    else
        panel.close();
    QCOMPARE(rig.prompts.messages, QStringList{box});
    QCOMPARE(rig.window->isShutDown(), ended);
    // The orderly end wrote the counters.
    QCOMPARE(rig.store.writtenKeys.contains("OrvoCounter"), ended);
}

void TestComPanel::tcpPortField_refusesPortsOutsideRange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("boxes");
    const QStringList refused{"TCP port must be between 1 and 65535."};
    QTest::newRow("zero") << "0" << "1234" << refused;
    QTest::newRow("past 65535") << "70000" << "1234" << refused;
    QTest::newRow("words") << "port" << "1234" << refused;
    QTest::newRow("negative") << "-1" << "1234" << refused;
    QTest::newRow("highest, rounded") << " 65534.6x" << "65535" << QStringList{};
}

void TestComPanel::tcpPortField_refusesPortsOutsideRange()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QStringList, boxes);
    PanelRig rig;
    rig.window->core().server().setListenAddress(QHostAddress::LocalHost);
    auto &field = rig.get<QLineEdit>("Text2");
    field.setText(typed);
    field.setModified(true);
    emit field.editingFinished();
    QCOMPARE(field.text(), shown);
    QCOMPARE(rig.prompts.messages, boxes);
    QCOMPARE(QString::number(rig.window->core().settings().tcpPort), shown);
    QCOMPARE(rig.store.values.value("TCPport", "1234"), shown);
}

void TestComPanel::storedTcpPortOutsideRange_readsAsDefaultWithLogLine()
{
    PanelRig rig({{"TCPport", "70000"}});
    QCOMPARE(rig.window->core().settings().tcpPort, 1234);
    QCOMPARE(rig.window->statusLog().lines(),
             QStringList{"The stored TCP port \"70000\" is not between 1 and 65535; the server "
                         "uses port 1234."});
}

void TestComPanel::tcpPort40000_listenedOnAndKeptAcrossRestart()
{
    constexpr quint16 kPort = 40000;
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, kPort))
            QSKIP("TCP port 40000 is in use on this machine");
    }
    Values kept;
    {
        PanelRig rig;
        DataServer &server = rig.window->core().server();
        server.setListenAddress(QHostAddress::LocalHost);
        auto &field = rig.get<QLineEdit>("Text2");
        field.setText(QStringLiteral("40000"));
        field.setModified(true);
        emit field.editingFinished();
        QCOMPARE(server.listeningPort(), kPort);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, kPort);
        QVERIFY(client.waitForConnected(5000));
        rig.clock.setAutoAdvance(true); // the server's closing pause passes at once
        rig.window->shutDown();
        kept = rig.store.values;
    }
    QCOMPARE(kept.value("TCPport"), QStringLiteral("40000"));
    PanelRig restarted(kept);
    QCOMPARE(restarted.get<QLineEdit>("Text2").text(), QStringLiteral("40000"));
    AcquisitionCore &core = restarted.window->core();
    core.server().setListenAddress(QHostAddress::LocalHost);
    core.link().flags().realTimeOn = true; // the server listens only while real time flows
    core.server().open();
    QCOMPARE(core.server().listeningPort(), kPort);
}

void TestComPanel::portMissingAtStart_recoveryWaitsForTheUsersPanel_data()
{
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<QString>("userAction"); // in the panel, once the device is there
    QTest::addColumn<bool>("openWhilePanelOpen");
    QTest::newRow("No: recovery opens it quietly") << false << "" << true;
    QTest::newRow("Yes: the user opens it") << true << "open" << true;
    QTest::newRow("Yes: recovery waits for the panel") << true << "close" << false;
}

void TestComPanel::portMissingAtStart_recoveryWaitsForTheUsersPanel()
{
    QFETCH(bool, answerYes);
    QFETCH(QString, userAction);
    QFETCH(bool, openWhilePanelOpen);
    PanelRig rig({{"StartupComIsOn", "True"}, {"ZigbeeVersion", "8"}, {"ComPort", "3"}}, answerYes);
    QCOMPARE(rig.prompts.questions,
             QStringList{"Invalid COM port. Would you like to search for available ports?"});
    QCOMPARE(rig.window->communicationPanel() != nullptr, answerYes);
    rig.prompts.messages.clear(); // the search's "No COM Port Found"
    rig.plugIn(3);
    rig.clock.setAutoAdvance(true); // the settling pause after opening passes at once
    Recovery &recovery = rig.window->core().recovery();
    recovery.tick();
    recovery.tick();
    if (userAction == "open")
        rig.get<QPushButton>("Command2").click();
    QCOMPARE(rig.port.isOpen(), openWhilePanelOpen);
    QCOMPARE(rig.port.openCount, openWhilePanelOpen ? 1 : 0);
    if (answerYes) {
        rig.panel().close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    recovery.tick(); // the panel has gone: recovery follows what the user left
    QVERIFY(rig.port.isOpen());
    QCOMPARE(rig.port.openCount, 1);
    QVERIFY(rig.prompts.messages.isEmpty());
    QCOMPARE(rig.prompts.questions.size(), 1);
    QCOMPARE(rig.window->statusLog().lines().contains("COM3: device found. Opening the port."),
             userAction != "open");
}

QTEST_MAIN(TestComPanel)
#include "tst_com_panel.moc"
