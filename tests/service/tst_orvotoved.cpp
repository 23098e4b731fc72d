// orvotoved, the program without a window, as a process against orvo-sim on a pseudo-terminal:
// recovery after an unplug and of what start-up could not do, questions answered No, the
// orderly end on SIGTERM, the counters after kill -9, one process per settings file, refused
// settings files, and no GUI library. Waits here are for real events of other processes.
#include "packet_layout.h"
#include "process_fixtures.h"
#include "sim_process.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
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
        process.close(); // a second run after a kill
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

// Resets the monitor as its setup command does, on the simulator's terminal while no program
// holds it, and waits for a packet that shows it: reset counter 1.
bool resetMonitor(const QString &device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || ::write(fd, "\xFCRQSRST", 7) != 7)
        return false;
    QByteArray stream;
    const bool seen = QTest::qWaitFor(
        [&] {
            char buffer[512];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                stream.append(buffer, n);
            for (qsizetype at = 0; (at = stream.indexOf("\xFE\xFF\x01", at)) >= 0
                                   && at + packet::kSize <= stream.size();
                 ++at) {
                if ((quint8(stream[at + packet::kResetCountOffset]) & packet::kResetCountMask) == 1)
                    return true;
            }
            return false;
        },
        10000);
    ::close(fd);
    return seen;
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
    void startedBeforeTheMonitor_streamsWithin5sOfItsStart();
    void monitorRefusingPlrThenAGoodOne_realTimeStartsAndServerListens();
    void killedAtARandomMoment_staticCountersDoNotFallAcrossAReset();
    void unusableSettingsFile_refusedAtStartWithCode2_data();
    void unusableSettingsFile_refusedAtStartWithCode2();
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

void TestOrvotoved::startedBeforeTheMonitor_streamsWithin5sOfItsStart()
{
    SimProcess sim;
    Daemon daemon;
    daemon.writeSettings(kPort);
    QVERIFY(daemon.start(sim.dataHome()));
    QTRY_VERIFY_WITH_TIMEOUT(daemon.log().contains("COM9: not opened at start. Checking every second"), 10000);
    QTest::qWait(3000); // idle meanwhile, and still looking

    QElapsedTimer sinceSimulator;
    sinceSimulator.start();
    QVERIFY(sim.start({"--port", QString::number(kPort), "--seed", "5", "--quiet"}));
    const bool streaming = QTest::qWaitFor(
        [&] { return daemon.log().contains("Real-Time Data Active"); }, 5000);
    qInfo("real time active %lld ms after the simulator's start",
          static_cast<long long>(sinceSimulator.elapsed()));
    QVERIFY2(streaming, qPrintable(daemon.log()));
    QVERIFY(daemon.log().contains("COM9: device found. Opening the port."));
    // Recovery made the start: start-up's own automatic start gave way.
    QVERIFY(!daemon.log().contains("Real-Time was off. Now attempting to start real-time."));
    // Once the start has watched the stream for its three seconds, the server listens.
    QVERIFY2(freshReading(daemon.tcpPort, "", 10000).size() == 12, qPrintable(daemon.log()));
    qInfo("server answered with a reading %lld ms after the simulator's start",
          static_cast<long long>(sinceSimulator.elapsed()));
}

void TestOrvotoved::monitorRefusingPlrThenAGoodOne_realTimeStartsAndServerListens()
{
    SimProcess deaf;
    QVERIFY(deaf.start({"--port", QString::number(kPort), "--no-ack-word", "PLR", "--quiet"}));
    Daemon daemon;
    daemon.writeSettings(kPort);
    QVERIFY(daemon.start(deaf.dataHome()));
    QTRY_VERIFY_WITH_TIMEOUT(daemon.log().contains("Error turning Real-Time ON"), 20000);
    deaf.stop();
    QTRY_VERIFY_WITH_TIMEOUT(daemon.log().contains("COM9: device removed"), 10000);

    SimProcess good;
    good.shareDataHome(deaf.dataHome());
    QVERIFY(good.start({"--port", QString::number(kPort), "--seed", "6", "--period-ms", "200", "--quiet"}));
    QVERIFY2(freshReading(daemon.tcpPort, "", 20000).size() == 12, qPrintable(daemon.log()));
    QTRY_VERIFY2_WITH_TIMEOUT(daemon.log().contains("Real time restarted."), qPrintable(daemon.log()), 5000);
}

void TestOrvotoved::killedAtARandomMoment_staticCountersDoNotFallAcrossAReset()
{
    SimProcess sim; // a packet a second, as the monitor sends them
    QVERIFY(sim.start({"--port", QString::number(kPort), "--seed", "5", "--quiet"}));
    Daemon daemon;
    daemon.writeSettings(kPort);
    QVERIFY(daemon.start(sim.dataHome()));
    QStringList last = freshReading(daemon.tcpPort, "", 30000);
    QVERIFY2(last.size() == 12, qPrintable(daemon.log()));

    // Killed anywhere in the state file's 5 s and the periodic save's 303 s.
    const int runMs = QRandomGenerator::global()->bounded(3000, 13000);
    qInfo("killed after %d ms of readings", runMs);
    QList<std::pair<qint64, QStringList>> readings; // with when each came
    QElapsedTimer running;
    running.start();
    while (running.elapsed() < runMs) {
        if (const QStringList fields = getAll(daemon.tcpPort); fields.size() == 12)
            readings.append({running.elapsed(), last = fields});
        QTest::qWait(100);
    }
    ::kill(pid_t(daemon.process.processId()), SIGKILL);
    QVERIFY(daemon.process.waitForFinished(5000));
    // What 10 s of the power then flowing would have counted, per channel.
    double allowance[2] = {0, 0};
    for (const auto &[when, fields] : readings) {
        if (when >= running.elapsed() - 10000)
            for (int ch = 0; ch < 2; ++ch)
                allowance[ch] = qMax(allowance[ch], 10 * fields[ch].toDouble());
    }

    QVERIFY(resetMonitor(sim.devicePath()));
    QVERIFY(daemon.start(sim.dataHome()));
    QStringList first;
    QVERIFY2(QTest::qWaitFor([&] { return (first = getAll(daemon.tcpPort)).size() == 12; }, 30000),
             qPrintable(daemon.log()));
    const QString seen = last.join(' ') + " / " + first.join(' ') + " / allowance "
                         + QString::number(allowance[0]) + " " + QString::number(allowance[1]);
    QVERIFY2(first[9].toDouble() >= last[9].toDouble() - allowance[0]
                 && first[10].toDouble() >= last[10].toDouble() - allowance[1],
             qPrintable(seen));
    // And on from there.
    const QStringList later = freshReading(daemon.tcpPort, first[11], 10000);
    QVERIFY2(later.size() == 12 && later[9].toDouble() >= first[9].toDouble(),
             qPrintable(seen + " / " + later.join(' ')));
}

void TestOrvotoved::unusableSettingsFile_refusedAtStartWithCode2_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    for (const QString program : {"orvotoved", "orvotove"}) {
        QTest::addRow("%s, a folder", qPrintable(program)) << program << "folder" << "it is a folder";
        QTest::addRow("%s, under a plain file", qPrintable(program))
            << program << "under a file" << "its folder %1 cannot be made";
    }
}

void TestOrvotoved::unusableSettingsFile_refusedAtStartWithCode2()
{
    QFETCH(QString, program);
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.path();
    if (kind == "under a file") {
        QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
        path = dir.filePath("plain/monitor.ini");
    }
    QProcess process;
    process.start(SimProcess::binDir() + "/" + program, {"--settings", path});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.contains(QStringLiteral("%1: cannot use the settings file %2: %3")
                                .arg(program, path, reason.arg(dir.filePath("plain")))),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(TestOrvotoved)
#include "tst_orvotoved.moc"
