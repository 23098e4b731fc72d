// The program's window against orvo-sim on a pseudo-terminal, with a TCP client on loopback
// reading values and running the monitor commands. Waits here are for real events.
#include "process_fixtures.h"
#include "acquisition_core.h"
#include "clock.h"
#include "main_window.h"
#include "qt_serial_port.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "sim_process.h"
#include "status_fields.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

constexpr int kPort = 8;

// One reply line, without its CR LF, or an empty text when none came in time.
QString ask(QTcpSocket &client, const QByteArray &command, int lines = 1)
{
    client.write(command);
    QString reply;
    for (int i = 0; i < lines; ++i) {
        if (!QTest::qWaitFor([&] { return client.canReadLine(); }, 15000))
            return {};
        reply = QString::fromLatin1(client.readLine()).chopped(2);
    }
    return reply;
}

} // namespace

class TestServerEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void clientOnLoopback_readsValuesAndRunsMonitorCommands();
};

void TestServerEndToEnd::clientOnLoopback_readsValuesAndRunsMonitorCommands()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kPort), "--period-ms", "1000", "--quiet"}));
    qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit());
    const quint16 tcpPort = freeTcpPort();
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store;
    store.values = {{"ZigbeeVersion", "8"}, {"ComPort", QString::number(kPort)},
                    {"StartupComIsOn", "True"}, {"StartupRTLisOn", "True"},
                    {"StartupListen", "True"}, {"TCPport", QString::number(tcpPort)}};
    RecordingPrompts prompts;
    MainWindow window(port, clock, store, &prompts);
    window.start();
    AcquisitionCore &core = window.core();
    QTRY_COMPARE_WITH_TIMEOUT(window.serverField().text(), QStringLiteral("TCP Server Listening"),
                              20000);
    QCOMPARE(window.serverField().background(), QColor(Qt::yellow));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, tcpPort);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::ConnectedState, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(window.serverField().text(), QStringLiteral("TCP Server Connected"),
                              5000);
    QTRY_VERIFY_WITH_TIMEOUT(core.decoder().reading().seconds > 0, 5000);

    const QStringList all = ask(client, "GETALL\r").split('\t');
    QCOMPARE(all.size(), 12);
    QCOMPARE(all.last().toInt(), core.decoder().reading().seconds);
    QCOMPARE(ask(client, "GETALLP\r").split('\t').size(), 16);

    const QStringList settings = ask(client, "GETSETTINGS\r", 2).split('\t');
    QCOMPARE(settings.size(), 9);
    QCOMPARE(settings.at(7), QStringLiteral("2.2")); // the simulator's firmware 2.200
    QCOMPARE(ask(client, "SETPOL1\r"), QStringLiteral("Toggled CH1 Polarity"));
    QCOMPARE(ask(client, "SETRESET\r"), QStringLiteral("OK"));

    client.write("MOV 5N\r");
    QTRY_VERIFY_WITH_TIMEOUT(core.loads().isOn(5), 5000);
    QCOMPARE(core.settings().loadData, quint16(16));
    QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.join(" | ")));
    // Real time came back after each command that suspended it.
    const int seconds = core.decoder().reading().seconds;
    QTRY_VERIFY_WITH_TIMEOUT(core.decoder().reading().seconds > seconds, 10000);
    window.close();
}

QTEST_MAIN(TestServerEndToEnd)
#include "tst_server_end_to_end.moc"
