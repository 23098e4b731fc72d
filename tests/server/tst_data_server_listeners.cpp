// orvotoved against orvo-sim with the data server kept to loopback and read-only: another local
// address is refused, and SETRESET and MOV 5N are answered "Error! Improper command" while the
// monitor's counters and the loads stay as they were.
#include "process_fixtures.h"
#include "sim_process.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kComPort = 14;

// The reply line to one command line; empty when none came within 3 s.
QStringList ask(QTcpSocket &client, const QByteArray &line)
{
    client.write(line);
    if (!QTest::qWaitFor([&] { return client.canReadLine(); }, 3000))
        return {};
    return {QString::fromLatin1(client.readLine()).trimmed()};
}

} // namespace

class TestDataServerListeners : public QObject {
    Q_OBJECT
private slots:
    void loopbackAndReadOnly_refuseOthersAndChanges();
};

void TestDataServerListeners::loopbackAndReadOnly_refuseOthersAndChanges()
{
    SimProcess sim;
    QVERIFY(sim.start({"--port", QString::number(kComPort), "--seed", "4", "--period-ms", "200", "--quiet"}));
    QTemporaryDir dir;
    const QString settings = dir.filePath("monitor.ini");
    const quint16 tcpPort = freeTcpPort();
    {
        QSettings ini(settings, QSettings::IniFormat);
        ini.beginGroup("startup");
        for (const auto &[key, value] : QList<QPair<QString, QString>>{
                 {"ZigbeeVersion", "8"}, {"ComPort", QString::number(kComPort)},
                 {"StartupComIsOn", "True"}, {"StartupRTLisOn", "True"}, {"StartupListen", "True"},
                 {"TCPport", QString::number(tcpPort)}, {"ListenAddress", "127.0.0.1"},
                 {"ServerReadOnly", "True"}, {"LoadData", "0"}})
            ini.setValue(key, value);
    }
    QProcess daemon;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", sim.dataHome());
    daemon.setProcessEnvironment(env);
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel); // its status log, for a failure
    daemon.start(SimProcess::binDir() + "/orvotoved", {"--settings", settings});
    QVERIFY(daemon.waitForStarted(10000));
    const auto stop = qScopeGuard([&daemon] { stopProcess(daemon, 10000); });

    QTcpSocket client;
    const auto connectAndRead = [&] {
        client.abort();
        client.connectToHost(QHostAddress::LocalHost, tcpPort);
        return client.waitForConnected(500) && ask(client, "GETALL\r").value(0).count('\t') == 11;
    };
    QVERIFY(QTest::qWaitFor(connectAndRead, 30000));
    // The server takes one client at a time: it listens again once this one has left.
    client.abort();
    for (int attempt = 0; attempt < 15; ++attempt) {
        QTcpSocket other;
        other.connectToHost(QHostAddress("127.0.0.2"), tcpPort);
        QVERIFY2(!other.waitForConnected(200), "connected through 127.0.0.2");
        QTest::qWait(100);
    }
    QVERIFY(QTest::qWaitFor(connectAndRead, 5000));

    const double ws1Before = ask(client, "GETALL\r").value(0).split('\t').value(7).toDouble();
    QCOMPARE(ask(client, "SETRESET\r"), QStringList{"Error! Improper command"});
    QCOMPARE(ask(client, "MOV 5N\r"), QStringList{"Error! Improper command"});
    QTest::qWait(1000); // a reset would have reached the monitor by now
    const QStringList after = ask(client, "GETALL\r").value(0).split('\t');
    QVERIFY2(after.value(7).toDouble() >= ws1Before && ws1Before > 0, qPrintable(after.join(' ')));

    stopProcess(daemon, 10000);
    QCOMPARE(daemon.exitCode(), 0);
    QCOMPARE(QSettings(settings, QSettings::IniFormat).value("startup/LoadData").toString(), QStringLiteral("0"));
}

QTEST_GUILESS_MAIN(TestDataServerListeners)
#include "tst_data_server_listeners.moc"
