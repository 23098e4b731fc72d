#include "process_fixtures.h"
#include "data_server.h"
#include "manual_clock.h"
#include "recorders.h"
#include "server_fakes.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

#include <memory>
#include <utility>

namespace {

const QString kListeningTitle = QStringLiteral("Orvo-88 Stayhost : Listening");

// A server on loopback with real-time data flowing, its ticks moved by the test.
struct ServerRig {
    ManualClock clock;
    LinkFlags flags;
    LiveReading reading;
    LoadTable loads;
    LoadSwitchFlags loadSwitch;
    FakeMonitorCommands monitor;
    RecordingPrompts prompts;
    CommandInterpreter interpreter{reading, loads, loadSwitch, monitor, &prompts};
    RecordingServerView view;
    DataServer server{clock, flags, interpreter, &view};

    ServerRig()
    {
        flags.realTimeOn = true;
        reading.seconds = 77;
        server.setListenAddress(QHostAddress::LocalHost);
        server.setPort(0);
    }
    // The next wait that processes events sees the clock move by ms.
    void advanceInsideNextWait(int ms)
    {
        QTimer::singleShot(0, &clock, [this, ms] { clock.advance(ms); });
    }
    QTcpSocket *serverSide() const { return server.findChild<QTcpSocket *>(); }
};

std::unique_ptr<QTcpSocket> connectedClient(quint16 port)
{
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QHostAddress::LocalHost, port);
    client->waitForConnected(5000);
    return client;
}

// Sends a line and waits for count reply lines.
QStringList ask(QTcpSocket &client, const QByteArray &line, int count = 1)
{
    client.write(line);
    QStringList replies;
    while (replies.size() < count) {
        if (!client.canReadLine() && !QSignalSpy(&client, &QIODevice::readyRead).wait(5000))
            break;
        while (client.canReadLine())
            replies.append(QString::fromLatin1(client.readLine()).chopped(2));
    }
    return replies;
}

} // namespace

class TestDataServer : public QObject {
    Q_OBJECT
private slots:
    void openWhileRealTimeStopped_changesNothing();
    void clientLeaves_secondClientGetsInOnlyAfterRelisten_data();
    void clientLeaves_secondClientGetsInOnlyAfterRelisten();
    void openWhileConnected_keepsTheClient();
    void listenFailure_showsErrorAndRecovers();
    void shutDown_staysClosedThroughItsPauseAndAfter();
    void portChange_takesEffectAtNextOpen();
    void floodWithoutCr_staysBoundedAndNextClientIsServed();
    void clientLeavingDuringSettings_leavesServerServing();
    void pushReadings_sendsAllLineOnlyAfterTrigon();
    void clientThatShutsDownItsSending_stillGetsTheReply();
    void textDuringMonitorCommand_isAnsweredAfterIt_data();
    void textDuringMonitorCommand_isAnsweredAfterIt();
};

void TestDataServer::openWhileRealTimeStopped_changesNothing()
{
    ServerRig rig;
    rig.flags.realTimeOn = false;
    rig.server.open();
    QCOMPARE(rig.server.state(), ServerState::Closed);
    QVERIFY(rig.view.statuses.isEmpty());
    QVERIFY(rig.view.titles.isEmpty());
}

void TestDataServer::clientLeaves_secondClientGetsInOnlyAfterRelisten_data()
{
    QTest::addColumn<bool>("autoListen");
    QTest::addColumn<int>("relistenMs");
    QTest::newRow("auto-listen: at the display tick") << true << 800;
    QTest::newRow("no auto-listen: at the recovery tick") << false << 3000;
}

void TestDataServer::clientLeaves_secondClientGetsInOnlyAfterRelisten()
{
    QFETCH(bool, autoListen);
    QFETCH(int, relistenMs);
    ServerRig rig;
    rig.server.setStartupListen(autoListen);
    rig.server.open();
    QCOMPARE(rig.view.titles, QStringList{kListeningTitle});
    QCOMPARE(rig.view.statuses.last().second, ServerColour::BlackOnYellow);
    const quint16 port = rig.server.listeningPort();

    auto first = connectedClient(port);
    QTRY_COMPARE(rig.server.state(), ServerState::Connected);
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!second.waitForConnected(5000));
    QCOMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(ask(*first, "GETSEC\r"), QStringList{"77"});

    first->disconnectFromHost();
    QTRY_COMPARE(rig.server.state(), ServerState::Closing);
    rig.clock.advance(relistenMs - 1);
    QVERIFY(rig.server.state() != ServerState::Listening);
    rig.clock.advance(1);
    QCOMPARE(rig.server.state(), ServerState::Listening);
    auto third = connectedClient(rig.server.listeningPort());
    QTRY_COMPARE(rig.server.state(), ServerState::Connected);
    QCOMPARE(ask(*third, "GETSEC\r"), QStringList{"77"});
    rig.clock.advance(800);
    QCOMPARE(rig.view.titles.last(), QStringLiteral("Orvo-88 Stayhost Connected"));
}

void TestDataServer::openWhileConnected_keepsTheClient()
{
    ServerRig rig;
    rig.server.open();
    auto client = connectedClient(rig.server.listeningPort());
    QTRY_COMPARE(rig.server.state(), ServerState::Connected);
    rig.server.open();
    QCOMPARE(rig.server.state(), ServerState::Connected);
    QCOMPARE(ask(*client, "GETSEC\r"), QStringList{"77"});
}

void TestDataServer::listenFailure_showsErrorAndRecovers()
{
    ServerRig rig;
    auto occupant = std::make_unique<QTcpServer>();
    QVERIFY(occupant->listen(QHostAddress::LocalHost, 0));
    rig.server.setPort(occupant->serverPort());
    rig.server.open();
    QCOMPARE(rig.server.state(), ServerState::Error);
    QVERIFY(rig.view.titles.isEmpty());
    rig.clock.advance(800);
    QCOMPARE(rig.view.statuses.last(), qMakePair(QStringLiteral("TCP Server Error"),
                                                 ServerColour::WhiteOnBlack));
    QCOMPARE(rig.view.titles.last(), QStringLiteral("Orvo-88 Stayhost Error"));

    occupant.reset();
    rig.advanceInsideNextWait(800); // the recovery pause
    rig.clock.advance(3000 - 800);
    QCOMPARE(rig.server.state(), ServerState::Listening);
}

void TestDataServer::shutDown_staysClosedThroughItsPauseAndAfter()
{
    ServerRig rig;
    rig.server.setStartupListen(true);
    rig.server.open();
    QCOMPARE(rig.server.state(), ServerState::Listening);
    rig.advanceInsideNextWait(800); // a display tick falls inside the pause
    rig.server.shutDown();
    rig.clock.advance(2 * DataServer::kRecoveryTickMs);
    QCOMPARE(rig.server.state(), ServerState::Closed);
    QCOMPARE(rig.view.statuses.last(), qMakePair(QStringLiteral("TCP Server Closed"),
                                                 ServerColour::WhiteOnRed));
    QCOMPARE(rig.view.titles.last(), QStringLiteral("Orvo-88 Stayhost Closed"));
}

void TestDataServer::portChange_takesEffectAtNextOpen()
{
    ServerRig rig;
    rig.server.setStartupListen(true);
    rig.server.open();
    const quint16 before = rig.server.listeningPort();
    const quint16 after = unusedLoopbackPort();
    rig.server.setPort(after);
    rig.clock.advance(3000);
    QCOMPARE(rig.server.listeningPort(), before);

    rig.advanceInsideNextWait(1000);
    rig.server.close(); // with auto-listen it opens again at once
    QCOMPARE(rig.server.state(), ServerState::Listening);
    QCOMPARE(rig.server.listeningPort(), after);
}

void TestDataServer::floodWithoutCr_staysBoundedAndNextClientIsServed()
{
    ServerRig rig;
    rig.server.setStartupListen(true);
    rig.server.open();
    auto flooder = connectedClient(rig.server.listeningPort());
    QTRY_VERIFY(rig.serverSide());
    qint64 mostWaiting = 0;
    connect(rig.serverSide(), &QIODevice::readyRead, this, [&] {
        if (rig.serverSide())
            mostWaiting = qMax(mostWaiting, rig.serverSide()->bytesAvailable());
    });
    constexpr int kFlood = 5 * 1024 * 1024;
    flooder->write(QByteArray(kFlood, 'x'));
    QTRY_VERIFY_WITH_TIMEOUT(flooder->bytesToWrite() == 0, 30000);
    QTRY_VERIFY(flooder->canReadLine());
    QCOMPARE(flooder->readLine(), QByteArray("Error! Command too long\r\n"));
    QVERIFY(mostWaiting <= 4096);

    flooder->disconnectFromHost();
    QTRY_COMPARE(rig.server.state(), ServerState::Closing);
    rig.clock.advance(800);
    auto next = connectedClient(rig.server.listeningPort());
    QCOMPARE(ask(*next, "GETSEC\r"), QStringList{"77"});
}

void TestDataServer::clientLeavingDuringSettings_leavesServerServing()
{
    ServerRig rig;
    rig.server.setStartupListen(true);
    rig.server.open();
    auto client = connectedClient(rig.server.listeningPort());
    QTRY_VERIFY(rig.serverSide());
    const QPointer<QTcpSocket> gone = rig.serverSide();
    rig.monitor.settings.status = QStringLiteral("OK");
    rig.monitor.whileBusy = [&] {
        // The monitor is slow: meanwhile the client leaves and the display tick drops it.
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit); // bound if the leaving is missed
        connect(gone, &QAbstractSocket::disconnected, &loop, [&] {
            rig.clock.advance(800);
            // Give a deferred deletion its chance to run while the command still waits.
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
        });
        client->abort();
        loop.exec();
        QCOMPARE_NE(rig.server.state(), ServerState::Connected);
    };
    client->write("GETSETTINGS\r");
    QTRY_COMPARE(rig.monitor.settingsReads, 1);
    QTRY_VERIFY(gone.isNull());
    rig.monitor.whileBusy = nullptr;

    QCOMPARE(rig.server.state(), ServerState::Listening);
    auto next = connectedClient(rig.server.listeningPort());
    QCOMPARE(ask(*next, "GETSETTINGS\r", 2).first(), QStringLiteral("Processing"));
}

void TestDataServer::pushReadings_sendsAllLineOnlyAfterTrigon()
{
    ServerRig rig;
    rig.server.open();
    auto client = connectedClient(rig.server.listeningPort());
    QTRY_COMPARE(rig.server.state(), ServerState::Connected);
    rig.server.pushReadings();
    QSignalSpy stored(&rig.server, &DataServer::autoWriteLocalChanged);
    QCOMPARE(ask(*client, "SETTRIGON\r"),
             QStringList{"Auto Triggering has been Enabled"}); // nothing pushed before it
    QCOMPARE(stored.size(), 1);
    QVERIFY(rig.server.autoWriteLocal());
    rig.server.pushReadings();
    QVERIFY(QSignalSpy(client.get(), &QIODevice::readyRead).wait(5000) || client->canReadLine());
    QCOMPARE(client->readLine(), QByteArray("0\t0\t.000\t.000\t0\t.0\t.0\t0\t0\t0\t0\t77\r\n"));
}

// A client that sends its command and closes its sending side at once, as `nc` does at the end of
// its input: the reply must still reach it.
void TestDataServer::clientThatShutsDownItsSending_stillGetsTheReply()
{
    ServerRig rig;
    rig.server.open();
    auto client = connectedClient(rig.server.listeningPort());
    QTRY_COMPARE(rig.server.state(), ServerState::Connected);
    client->write("GETSEC\r");
    QVERIFY(client->waitForBytesWritten(5000));
    QCOMPARE(::shutdown(int(client->socketDescriptor()), SHUT_WR), 0);
    QTRY_VERIFY_WITH_TIMEOUT(client->canReadLine(), 5000);
    QCOMPARE(client->readLine(), QByteArray("77\r\n"));
}

void TestDataServer::textDuringMonitorCommand_isAnsweredAfterIt_data()
{
    QTest::addColumn<QByteArray>("during");
    QTest::addColumn<QStringList>("replies");
    QTest::addColumn<int>("toggles");
    const QString toggled = QStringLiteral("Toggled CH1 Polarity");
    QTest::newRow("a read") << QByteArray("GETSEC\r") << QStringList{toggled, "77"} << 1;
    QTest::newRow("another monitor command")
        << QByteArray("SETPOL1\r") << QStringList{toggled, toggled} << 2;
    // All text pending when the handler runs is one command line, as the protocol frames it.
    QTest::newRow("two commands together") << QByteArray("GETSEC\rGETSEC\r")
                                           << QStringList{toggled, "Error! Improper command"} << 1;
    QTest::newRow("half a command") << QByteArray("GETS") << QStringList{toggled} << 1;
}

void TestDataServer::textDuringMonitorCommand_isAnsweredAfterIt()
{
    QFETCH(QByteArray, during);
    QFETCH(QStringList, replies);
    QFETCH(int, toggles);
    ServerRig rig;
    rig.server.open();
    auto client = connectedClient(rig.server.listeningPort());
    QTRY_VERIFY(rig.serverSide());
    bool sent = false;
    rig.monitor.whileBusy = [&] {
        if (std::exchange(sent, true))
            return; // the first command is the slow one
        client->write(during);
        client->flush();
        QTRY_COMPARE(rig.serverSide()->bytesAvailable(), during.size());
    };
    QCOMPARE(ask(*client, "SETPOL1\r", replies.size()), replies);
    QCOMPARE(rig.monitor.toggled.size(), toggles);
}

QTEST_GUILESS_MAIN(TestDataServer)
#include "tst_data_server.moc"
