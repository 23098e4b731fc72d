// The acknowledge byte, the handshake and the command words of MonitorLink and of the setup
// window's SetupLink, side by side where they differ.

#include "link_rig.h"
#include "setup_link.h"

#include <QTest>
#include <QTimer>

namespace {

const QString kInvalidPort =
    QStringLiteral("Invalid COM port. Would you like to search for available ports?");
const QString kOpenFailedLine = QStringLiteral(
    "An error ocurred or the COM port could not be found. Correct the problem and try again.");

QList<QByteArray> singleBytes(const QByteArray &bytes)
{
    QList<QByteArray> list;
    for (char c : bytes)
        list.append(QByteArray(1, c));
    return list;
}

// The main window's handshake, or the setup window's.
bool handshake(LinkRig &rig, bool viaSetup)
{
    if (!viaSetup)
        return rig.link->handshake();
    SetupLink setup(*rig.link);
    return setup.setupHandshake();
}

} // namespace

class TestLinkHandshake : public QObject {
    Q_OBJECT

private:
    TempDataHome dataHome_;

private slots:
    // --- waitForAckByte ---

    void waitForAckByte_takesOneByteWithinTwoSeconds_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("acked");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow("ack") << kAck << at(0) << true << 0;
        QTest::newRow("other byte") << QByteArray("\x55") << at(0) << false << 0;
        QTest::newRow("null byte") << QByteArray(1, '\0') << at(0) << false << 0;
        QTest::newRow("silence from :00") << QByteArray() << at(0) << false << 2000;
        QTest::newRow("silence from :30.999") << QByteArray() << at(30, 999) << false << 1001;
        QTest::newRow("silence from :59") << QByteArray() << at(59) << false << 2000;
    }
    void waitForAckByte_takesOneByteWithinTwoSeconds()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QDateTime, start);
        QFETCH(bool, acked);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        rig.clock.setTime(start);
        const qint64 t0 = rig.clock.elapsedMs();
        rig.port.arrive(reply);
        bool eventRan = false;
        QTimer::singleShot(0, &rig.port, [&] { eventRan = true; });

        QCOMPARE(rig.link->waitForAckByte(), acked);

        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QCOMPARE(rig.port.bytesAvailable(), 0); // whatever came was consumed
        QVERIFY(!eventRan);                      // no events are processed meanwhile
        QCOMPARE(rig.port.writes.size(), 0);
        if (!reply.isEmpty())
            QCOMPARE(rig.clock.now().time().second(), start.time().second());
        else
            QCOMPARE(rig.clock.now().time().second(), (start.time().second() + 2) % 60);
    }

    void byteAlreadyWaiting_isTakenWithoutDraining()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.preload(kAck + "\x01");
        QVERIFY(rig.link->waitForAckByte());
        QCOMPARE(rig.port.bytesAvailable(), 1); // the buffer is not emptied first
        QVERIFY(!rig.link->waitForAckByte());
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }

    void closedPort_waitForAckByteFails()
    {
        LinkRig rig;
        QVERIFY(!rig.link->waitForAckByte());
        QCOMPARE(rig.port.openCount, 0);
    }

    // --- handshake / setupHandshake ---

    // Stale bytes are drained, the attention byte goes out, and only its echo within three
    // seconds counts.
    void handshake_trueOnlyOnEcho_data()
    {
        QTest::addColumn<bool>("viaSetup");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("acked");
        QTest::addColumn<int>("waitedMs");
        for (const bool viaSetup : {false, true}) {
            const char *who = viaSetup ? "setup: " : "main: ";
            QTest::addRow("%secho", who) << viaSetup << kAck << true << 0;
            QTest::addRow("%sother byte", who) << viaSetup << QByteArray("\xFE") << false << 0;
            QTest::addRow("%snull byte", who) << viaSetup << QByteArray(1, '\0') << false << 0;
            QTest::addRow("%ssilence", who) << viaSetup << QByteArray() << false << 3000;
        }
    }
    void handshake_trueOnlyOnEcho()
    {
        QFETCH(bool, viaSetup);
        QFETCH(QByteArray, reply);
        QFETCH(bool, acked);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        rig.port.preload("\x07\xFC");
        MonitorDouble monitor(rig.port);
        monitor.ack = reply;
        rig.clock.setTime(at(20));
        const qint64 t0 = rig.clock.elapsedMs();

        QCOMPARE(handshake(rig, viaSetup), acked);

        QCOMPARE(rig.port.writes, QList<QByteArray>{kAck});
        QCOMPARE(rig.port.bytesAvailable(), 0); // stale bytes drained, the reply consumed
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QVERIFY(rig.statusLog.lines.isEmpty());
    }

    void staleBytes_drainedBeforeTheAttentionByte_data()
    {
        QTest::addColumn<bool>("monitorAnswers");
        QTest::newRow("monitor answers") << true;
        QTest::newRow("monitor silent") << false; // a stale 0xFC must not pass for the echo
    }
    void staleBytes_drainedBeforeTheAttentionByte()
    {
        QFETCH(bool, monitorAnswers);
        LinkRig rig;
        rig.openPort();
        rig.port.preload(QByteArray("\x01") + kAck + QByteArray("\x00\x02", 2));
        qint64 waitingAtSend = -1;
        rig.port.responder = [&](const QByteArray &) {
            waitingAtSend = rig.port.bytesAvailable();
            if (monitorAnswers)
                rig.port.arrive(kAck);
        };
        QCOMPARE(rig.link->handshake(), monitorAnswers);
        QCOMPARE(waitingAtSend, 0);
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }

    // The deadline is a second of the minute: start second + 3, wrapped past 59.
    void handshakeDeadline_wrapsPastTheMinute_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("givesUpAtSecond");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow(":58") << at(58) << 1 << 3000;
        QTest::newRow(":58.500") << at(58, 500) << 1 << 2500;
        QTest::newRow(":57") << at(57) << 0 << 3000;
        QTest::newRow(":59.999") << at(59, 999) << 2 << 2001;
        QTest::newRow(":00") << at(0) << 3 << 3000;
    }
    void handshakeDeadline_wrapsPastTheMinute()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, givesUpAtSecond);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        rig.clock.setTime(start);
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(!rig.link->handshake());
        QCOMPARE(rig.clock.now().time().second(), givesUpAtSecond);
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
    }

    void lateEcho_acceptedWhileEventsAreHandled()
    {
        LinkRig rig;
        rig.openPort();
        auto late = rig.clock.createTimer();
        late->setSingleShot(true);
        connect(late.get(), &ClockTimer::timeout, this, [&] { rig.port.arrive(kAck); });
        rig.port.responder = [&](const QByteArray &) { late->start(1500); };
        bool eventRan = false;
        QTimer::singleShot(0, &rig.port, [&] { eventRan = true; });
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(rig.link->handshake());
        QVERIFY(eventRan);
        QCOMPARE(rig.clock.elapsedMs() - t0, 1500);
    }

    void handshakeOnClosedPort_opensIt_data()
    {
        QTest::addColumn<bool>("viaSetup");
        QTest::newRow("main") << false;
        QTest::newRow("setup") << true;
    }
    void handshakeOnClosedPort_opensIt()
    {
        QFETCH(bool, viaSetup);
        LinkRig rig;
        MonitorDouble monitor(rig.port);
        QVERIFY(handshake(rig, viaSetup));
        QCOMPARE(rig.port.openCount, 1);
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Open"});
        QCOMPARE(rig.port.writes, QList<QByteArray>{kAck});
        QCOMPARE(rig.clock.elapsedMs(), 500);
    }

    // The open's own question comes; the main window adds a status line, the setup window
    // does not; nothing is sent.
    void handshakeWithPortFailingToOpen_sendsNothing_data()
    {
        QTest::addColumn<bool>("viaSetup");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("main, search") << false << true << QStringList{kOpenFailedLine};
        QTest::newRow("main, no search") << false << false << QStringList{kOpenFailedLine};
        QTest::newRow("setup") << true << false << QStringList();
    }
    void handshakeWithPortFailingToOpen_sendsNothing()
    {
        QFETCH(bool, viaSetup);
        QFETCH(bool, answerYes);
        QFETCH(QStringList, lines);
        LinkRig rig;
        rig.port.failOpen = true;
        rig.prompts.answerYes = answerYes;
        QVERIFY(!handshake(rig, viaSetup));
        QCOMPARE(rig.prompts.questions, QStringList{kInvalidPort});
        QCOMPARE(rig.searches, answerYes ? 1 : 0);
        QCOMPARE(rig.statusLog.lines, lines);
        QVERIFY(rig.port.writes.isEmpty());
    }

    void deviceVanishingDuringHandshake_endsItAtOnce()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.responder = [&](const QByteArray &) {
            QTimer::singleShot(0, &rig.port, [&] { rig.port.loseDevice(); });
        };
        const qint64 t0 = rig.clock.elapsedMs();
        QVERIFY(!rig.link->handshake());
        QCOMPARE(rig.clock.elapsedMs() - t0, 0); // no waiting out the deadline
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Closed"});
    }

    void linkDestroyedDuringHandshake_survives()
    {
        LinkRig rig;
        rig.openPort();
        rig.port.responder = [&](const QByteArray &) {
            QTimer::singleShot(0, &rig.port, [&] {
                rig.link.reset();
                rig.port.arrive(kAck);
            });
        };
        MonitorLink *link = rig.link.get();
        QVERIFY(link->handshake());
        QVERIFY(!rig.link);
    }

    void linkDestroyedUnderSetupLink_failsEveryCall()
    {
        LinkRig rig;
        rig.openPort();
        SetupLink setup(*rig.link);
        rig.port.responder = [&](const QByteArray &) {
            QTimer::singleShot(0, &rig.port, [&] { rig.link.reset(); });
        };
        QVERIFY(!setup.setupHandshake());
        QVERIFY(!setup.link());
        QVERIFY(!setup.setupHandshake());
        QVERIFY(!setup.sendWord("TOG"));
    }

    // The setup window (owner of the SetupLink) closes during the handshake's wait.
    void setupWindowClosedDuringHandshake_survives()
    {
        LinkRig rig;
        rig.openPort();
        auto setup = std::make_unique<SetupLink>(*rig.link);
        rig.port.responder = [&](const QByteArray &) {
            QTimer::singleShot(0, &rig.port, [&] {
                setup.reset();
                rig.port.arrive(kAck);
            });
        };
        SetupLink *raw = setup.get();
        QVERIFY(raw->setupHandshake());
        QVERIFY(!setup);
    }

    // --- sendWord ---

    // The first, second and last character, one write each, no terminator.
    void sendWord_writesThreeSingleBytes_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<QByteArray>("sent");
        for (const char *word : {"TOG", "OFF", "PLR", "SET", "RCV"})
            QTest::newRow(word) << QByteArray(word) << QByteArray(word);
        QTest::newRow("TOOG") << QByteArray("TOOG") << QByteArray("TOG");
    }
    void sendWord_writesThreeSingleBytes()
    {
        QFETCH(QByteArray, word);
        QFETCH(QByteArray, sent);
        LinkRig rig;
        rig.openPort();
        rig.port.preload(kAck);
        QVERIFY(rig.link->sendWord(word, false));
        QCOMPARE(rig.port.writes, singleBytes(sent));
        QCOMPARE(rig.port.written(), sent);
        QCOMPARE(rig.port.bytesAvailable(), 1); // nothing read without waiting for the ack
        QCOMPARE(rig.clock.elapsedMs(), 500);   // only the open's settling delay
    }

    // The main window's sender always says true and pauses 140 ms after an acknowledge; the
    // setup window's says true only when 0xFC came, and never pauses.
    void sendWord_waitsForAckPerWindow_data()
    {
        QTest::addColumn<bool>("viaSetup");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow("main: ack, pause") << false << kAck << true << 140;
        QTest::newRow("main: other byte, no pause") << false << QByteArray("\x55") << true << 0;
        QTest::newRow("main: silence, ack window") << false << QByteArray() << true << 2000;
        QTest::newRow("setup: ack") << true << kAck << true << 0;
        QTest::newRow("setup: other byte") << true << QByteArray("\x01") << false << 0;
        QTest::newRow("setup: silence") << true << QByteArray() << false << 2000;
    }
    void sendWord_waitsForAckPerWindow()
    {
        QFETCH(bool, viaSetup);
        QFETCH(QByteArray, reply);
        QFETCH(bool, result);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        MonitorDouble monitor(rig.port);
        monitor.ack = reply;
        SetupLink setup(*rig.link);
        rig.clock.setTime(at(10));
        const qint64 t0 = rig.clock.elapsedMs();
        QCOMPARE(viaSetup ? setup.sendWord("OFF") : rig.link->sendWord("OFF", true), result);
        QCOMPARE(rig.port.writes, singleBytes("OFF"));
        QCOMPARE(monitor.words(), QStringList{"OFF"});
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLinkHandshake)
#include "tst_link_handshake.moc"
