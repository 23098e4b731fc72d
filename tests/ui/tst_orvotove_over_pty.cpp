// The program against orvo-sim on a pseudo-terminal: the window's start-up with the automatic
// actions, and the orderly end on a signal. Waits here are for real events of other processes.
#include "process_fixtures.h"
#include "acquisition_core.h"
#include "clock.h"
#include "main_window.h"
#include "qt_serial_port.h"
#include "recorders.h"
#include "recording_settings_store.h"
#include "sim_process.h"
#include "status_fields.h"
#include "status_log_list.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

namespace {

constexpr int kPort = 7;
constexpr int kSeed = 3;

// The packet of the simulator's reproducible stream whose seconds counter is `seconds`, decoded
// by orvo-decode from a first run's defaults.
QJsonObject decodedPacketAt(int seconds)
{
    QProcess sim;
    QProcess decode;
    sim.setStandardOutputProcess(&decode);
    sim.start(SimProcess::binDir() + "/orvo-sim",
              {"--stdout", "--quiet", "--seed", QString::number(kSeed), "--period-ms", "1",
               "--count", QString::number(seconds)});
    decode.start(SimProcess::binDir() + "/orvo-decode", QStringList());
    if (!sim.waitForFinished(10000) || !decode.waitForFinished(10000))
        return {};
    for (const QByteArray &line : decode.readAllStandardOutput().split('\n')) {
        const QJsonObject packet = QJsonDocument::fromJson(line).object();
        if (packet.value("seconds").toInt(-1) == seconds)
            return packet;
    }
    return {};
}

void writeStartupSettings(const QString &configHome, quint16 tcpPort = 0)
{
    QSettings ini(configHome + "/Orvotove/Orvotove.ini", QSettings::IniFormat);
    ini.beginGroup("startup");
    if (tcpPort != 0) {
        ini.setValue("TCPport", QString::number(tcpPort));
        ini.setValue("StartupListen", "True");
    }
    ini.setValue("ZigbeeVersion", "8");
    ini.setValue("ComPort", QString::number(kPort));
    ini.setValue("StartupComIsOn", "True");
    ini.setValue("StartupRTLisOn", "True");
}

// Starts orvotove offscreen with its settings under configHome and the simulator's ports.
bool startProgram(QProcess &program, const QString &configHome, const QString &dataHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("XDG_DATA_HOME", dataHome);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(SimProcess::binDir() + "/orvotove", QStringList());
    return program.waitForStarted(10000);
}

} // namespace

class TestOrvotoveOverPty : public QObject {
    Q_OBJECT
private slots:
    void startupWithAutomaticActions_showsPortOpenAndRealTimeActive();
    void sigterm_writesCountersDecodedFromTheStream();
    void sigtermDuringClientSettingsRead_endsWithin3sWithCountersSaved();
};

void TestOrvotoveOverPty::startupWithAutomaticActions_showsPortOpenAndRealTimeActive()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kPort), "--period-ms", "500", "--quiet"}));
    qputenv("XDG_DATA_HOME", sim.dataHome().toLocal8Bit()); // where COM7 is linked
    SystemClock clock;
    QtSerialPort port;
    RecordingSettingsStore store;
    store.values = {{"ZigbeeVersion", "8"}, {"ComPort", QString::number(kPort)},
                    {"StartupComIsOn", "True"}, {"StartupRTLisOn", "True"}};
    RecordingPrompts prompts;
    MainWindow window(port, clock, store, &prompts);
    window.start();

    const StatusField &portField = window.portField();
    const StatusField &realTime = window.realTimeField();
    QTRY_COMPARE_WITH_TIMEOUT(portField.text(), QStringLiteral("COM Port is Open"), 5000);
    QCOMPARE(portField.background(), QColor(Qt::green));
    QTRY_COMPARE_WITH_TIMEOUT(realTime.text(), QStringLiteral("Real-Time Data Active"), 15000);
    QCOMPARE(realTime.foreground(), QColor(Qt::black));
    QCOMPARE(realTime.background(), QColor(Qt::green));
    QVERIFY(window.statusLog().lines().contains(
        "Real-Time was off. Now attempting to start real-time."));
    QVERIFY2(prompts.messages.isEmpty(), qPrintable(prompts.messages.join(" | ")));
    window.close();
}

void TestOrvotoveOverPty::sigterm_writesCountersDecodedFromTheStream()
{
    SimProcess sim;
    // The simulator ends after a number of packets that outlasts the start of real time, so the
    // last counters the program saw are known.
    QVERIFY(sim.start({"--port", QString::number(kPort), "--seed", QString::number(kSeed),
                       "--period-ms", "100", "--count", "40", "--quiet"}));
    QTemporaryDir configHome;
    writeStartupSettings(configHome.path());
    QProcess program;
    QVERIFY(startProgram(program, configHome.path(), sim.dataHome()));

    QTRY_COMPARE_WITH_TIMEOUT(sim.process().state(), QProcess::NotRunning, 20000);
    QCOMPARE(program.state(), QProcess::Running); // a vanished device leaves the program running
    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QSettings ini(configHome.path() + "/Orvotove/Orvotove.ini", QSettings::IniFormat);
    ini.beginGroup("startup");
    const int seconds = ini.value("OrvoCounter").toInt();
    QVERIFY2(seconds >= 5, qPrintable(ini.value("OrvoCounter").toString()));
    const QJsonObject packet = decodedPacketAt(seconds);
    QVERIFY(!packet.isEmpty());
    QCOMPARE(ini.value("E1B").toDouble(), packet.value("ws1").toDouble());
    QCOMPARE(ini.value("E2B").toDouble(), packet.value("ws2").toDouble());
    QCOMPARE(ini.value("OrvoresetCount").toString(), QStringLiteral("0"));
    QCOMPARE(ini.value("StartupComIsOn").toString(), QStringLiteral("True"));
}

void TestOrvotoveOverPty::sigtermDuringClientSettingsRead_endsWithin3sWithCountersSaved()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kPort), "--period-ms", "200", "--quiet"}));
    QTemporaryDir configHome;
    const quint16 tcpPort = freeTcpPort();
    QVERIFY(tcpPort != 0);
    writeStartupSettings(configHome.path(), tcpPort);
    QProcess program;
    QVERIFY(startProgram(program, configHome.path(), sim.dataHome()));

    // The server listens once real time flows.
    QTcpSocket client;
    QVERIFY(QTest::qWaitFor(
        [&] {
            client.abort();
            client.connectToHost(QHostAddress::LocalHost, tcpPort);
            return client.waitForConnected(200);
        },
        20000));
    client.write("GETSETTINGS\r");
    QVERIFY(QTest::qWaitFor([&] { return client.canReadLine(); }, 5000));
    QCOMPARE(client.readLine(), QByteArray("Processing\r\n")); // the exchange has begun
    QTest::qWait(50);
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QVERIFY2(sinceSignal.elapsed() < 3000, qPrintable(QString::number(sinceSignal.elapsed())));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    QSettings ini(configHome.path() + "/Orvotove/Orvotove.ini", QSettings::IniFormat);
    ini.beginGroup("startup");
    QVERIFY(ini.contains("E1B")); // the counters were saved
    QVERIFY(ini.value("OrvoCounter").toInt() > 0);
}

QTEST_MAIN(TestOrvotoveOverPty)
#include "tst_orvotove_over_pty.moc"
