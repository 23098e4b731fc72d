// orvotoved, the program without a window, as a process against orvo-sim on a pseudo-terminal:
// recovery after an unplug, questions answered No, the orderly end on SIGTERM, one process per
// settings file, and no GUI library. Waits here are for real events of other processes.
#include "process_fixtures.h"
#include "sim_process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

constexpr int kPort = 9;

// orvotoved on its own settings file in a temporary folder.
struct Daemon {
    QTemporaryDir dir;
    QString settings = dir.path() + "/monitor.ini";
    QProcess process;
    quint16 tcpPort = freeTcpPort();

    ~Daemon()
    {
        stopProcess(process, 10000);
    }

    void writeSettings(int comPort)
    {
        QSettings ini(settings, QSettings::IniFormat);
        ini.beginGroup("startup");
        ini.setValue("ZigbeeVersion", "8");
        ini.setValue("ComPort", QString::number(comPort));
        ini.setValue("StartupComIsOn", "True");
        ini.setValue("StartupRTLisOn", "True");
        ini.setValue("TCPport", QString::number(tcpPort));
        ini.setValue("StartupListen", "True");
    }
    bool start(const QString &dataHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.remove("JOURNAL_STREAM");
        env.insert("XDG_DATA_HOME", dataHome);
        process.setProcessEnvironment(env);
        process.start(SimProcess::binDir() + "/orvotoved", {"--settings", settings});
        return process.waitForStarted(10000);
    }
    QString log()
    {
        stderrText += QString::fromLocal8Bit(process.readAllStandardError());
        return stderrText;
    }
    QString stderrText;
};

// The fields of one GETALL line; empty when no line came.
QStringList getAll(quint16 tcpPort)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, tcpPort);
    if (!client.waitForConnected(500))
        return {};
    client.write("GETALL\r");
    if (!QTest::qWaitFor([&] { return client.canReadLine(); }, 3000))
        return {};
    return QString::fromLatin1(client.readLine()).trimmed().split('\t');
}

// Waits for a GETALL line whose seconds field differs from `notSeconds`.
QStringList freshReading(quint16 tcpPort, const QString &notSeconds, int timeoutMs)
{
    QStringList fields;
    const bool fresh = QTest::qWaitFor(
        [&] {
            fields = getAll(tcpPort);
            return fields.size() == 12 && fields[11] != notSeconds && fields[11] != "0";
        },
        timeoutMs);
    return fresh ? fields : QStringList();
}

// The processor time the process has used, in clock ticks (user and system).
long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLong() + fields.value(12).toLong(); // utime, stime
}

} // namespace

class TestOrvotoved : public QObject {
    Q_OBJECT
private slots:
    void linkedLibraries_includeNoGuiOrWidgets();
    void unplugAndReplug_readingsResumeAndCountersContinue();
    void portMissing_questionAnsweredNoInTheLog();
    void secondProcessOnSameSettings_exitsWithReason();
};

void TestOrvotoved::linkedLibraries_includeNoGuiOrWidgets()
{
    QProcess readelf;
    readelf.start("readelf", {"-d", SimProcess::binDir() + "/orvotoved"});
    QVERIFY(readelf.waitForFinished(10000));
    const QByteArray needed = readelf.readAllStandardOutput();
    QVERIFY(needed.contains("libQt6Core"));
    QVERIFY2(!needed.contains("libQt6Gui") && !needed.contains("libQt6Widgets"), needed.constData());
}

void TestOrvotoved::unplugAndReplug_readingsResumeAndCountersContinue()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kPort), "--seed", "5", "--period-ms", "200", "--quiet"}));
    Daemon daemon;
    daemon.writeSettings(kPort);
    QVERIFY(daemon.start(sim.dataHome()));
    const QStringList before = freshReading(daemon.tcpPort, "", 30000);
    QVERIFY2(before.size() == 12, qPrintable(daemon.log()));

    sim.stop(); // unplugged: the device and its COM link are gone
    QTRY_VERIFY_WITH_TIMEOUT(daemon.log().contains("COM9: device removed"), 10000);
    // The outage costs no processor time: one look a second.
    const long ticksBefore = cpuTicks(daemon.process.processId());
    QTest::qWait(3000);
    const long outageTicks = cpuTicks(daemon.process.processId()) - ticksBefore;
    QVERIFY2(outageTicks >= 0 && outageTicks * 1000 / sysconf(_SC_CLK_TCK) < 100,
             qPrintable(QString::number(outageTicks)));

    SimProcess replugged; // a new simulator on the same port number
    replugged.shareDataHome(sim.dataHome());
    QVERIFY(replugged.start({"--port", QString::number(kPort), "--seed", "6", "--period-ms", "200", "--quiet"}));
    const QStringList after = freshReading(daemon.tcpPort, before[11], 30000);
    QVERIFY2(after.size() == 12, qPrintable(daemon.log()));
    QCOMPARE(daemon.process.state(), QProcess::Running); // no restart
    // The log reaches the test through a pipe, and may trail the reading that came by TCP.
    QTRY_VERIFY2_WITH_TIMEOUT(daemon.log().contains("COM9: device back"), qPrintable(daemon.log()), 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(daemon.log().contains("Real time restarted."), qPrintable(daemon.log()), 5000);
    // The static counters carry on from where they were across the new device's counters.
    QVERIFY2(after[9].toDouble() >= before[9].toDouble() && after[10].toDouble() >= before[10].toDouble(),
             qPrintable(before.join(' ') + " / " + after.join(' ')));

    // SIGTERM: the orderly end writes the counters.
    ::kill(pid_t(daemon.process.processId()), SIGTERM);
    QVERIFY(daemon.process.waitForFinished(10000));
    QCOMPARE(daemon.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(daemon.process.exitCode(), 0);
    QSettings ini(daemon.settings, QSettings::IniFormat);
    ini.beginGroup("startup");
    QVERIFY2(ini.value("PreResetVal1").toDouble() + ini.value("E1B").toDouble() >= before[9].toDouble(),
             qPrintable(daemon.log()));
    QVERIFY(ini.value("OrvoCounter").toInt() > 0);
    // Time stamps lead the lines when no journal takes them.
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d ").match(daemon.log()).hasMatch());
}

void TestOrvotoved::portMissing_questionAnsweredNoInTheLog()
{
    QTemporaryDir dataHome;
    QVERIFY(QDir().mkpath(dataHome.path() + "/Orvotove/ports"));
    // The port's link leads nowhere, as an unplugged adapter's stable name does.
    QVERIFY(QFile::link("/nonexistent/orvo-adapter", dataHome.path() + "/Orvotove/ports/COM9"));
    Daemon daemon;
    daemon.writeSettings(kPort);
    QVERIFY(daemon.start(dataHome.path()));
    QTRY_VERIFY_WITH_TIMEOUT(
        daemon.log().contains("Invalid COM port. Would you like to search for available ports? "
                              "Answered No."),
        10000);
    daemon.process.terminate();
    QVERIFY(daemon.process.waitForFinished(10000));
    QCOMPARE(daemon.process.exitCode(), 0);
}

void TestOrvotoved::secondProcessOnSameSettings_exitsWithReason()
{
    QTemporaryDir emptyDataHome;
    Daemon first;
    QSettings(first.settings, QSettings::IniFormat).setValue("startup/ComPort", "9");
    QVERIFY(first.start(emptyDataHome.path()));
    QTRY_VERIFY_WITH_TIMEOUT(first.log().contains("orvotoved started"), 10000);
    QProcess second;
    second.start(SimProcess::binDir() + "/orvotoved", {"--settings", first.settings});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY(second.exitCode() != 0);
    QVERIFY(second.readAllStandardError().contains("already uses the settings file"));
    QCOMPARE(first.process.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestOrvotoved)
#include "tst_orvotoved.moc"
