// The setup window's own setupHandshake and sendWord, against the main window's copies where
// they differ.

#include "link_rig.h"
#include "setup_link.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QDateTime at(int second, int msec = 0)
{
    return QDateTime(QDate(2026, 1, 1), QTime(12, 0, second, msec));
}

} // namespace

class TestSetupLink : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dataHome_;

private slots:
    void initTestCase()
    {
        QVERIFY(dataHome_.isValid());
        qputenv("XDG_DATA_HOME", dataHome_.path().toLocal8Bit());
    }

    // Always waits for the acknowledge; true only when 0xFC came; no 140 ms pause.
    void sendAscii_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("acked");
        QTest::addColumn<int>("waitedMs");
        QTest::newRow("ack") << kAck << true << 0;
        QTest::newRow("other byte") << QByteArray("\x01") << false << 0;
        QTest::newRow("silence") << QByteArray() << false << 2000;
    }
    void sendAscii()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, acked);
        QFETCH(int, waitedMs);
        LinkRig rig;
        rig.openPort();
        AckingMonitor monitor(rig.port);
        monitor.reply = reply;
        SetupLink setup(*rig.link);
        rig.clock.setTime(at(40));
        const qint64 t0 = rig.clock.elapsedMs();

        QCOMPARE(setup.sendWord("SET"), acked);

        QCOMPARE(rig.port.writes, (QList<QByteArray>{"S", "E", "T"}));
        QCOMPARE(rig.clock.elapsedMs() - t0, waitedMs);
        QCOMPARE(rig.port.bytesAvailable(), 0);
    }

    // The difference in one place: with no acknowledge the main window's sender still says true.
    void mainAndSetupSendersDifferWithoutAck()
    {
        LinkRig rig;
        rig.openPort();
        SetupLink setup(*rig.link);
        QVERIFY(rig.link->sendWord("RCV", true));
        QVERIFY(!setup.sendWord("RCV"));
        QCOMPARE(rig.port.written(), QByteArray("RCVRCV"));
    }

    void sendReceiveAck_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("acked");
        QTest::newRow("echo") << kAck << true;
        QTest::newRow("other byte") << QByteArray("\x55") << false;
        QTest::newRow("silence") << QByteArray() << false;
    }
    void sendReceiveAck()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, acked);
        LinkRig rig;
        rig.openPort();
        rig.port.preload("\x07\xFC");
        AckingMonitor monitor(rig.port);
        monitor.reply = reply;
        SetupLink setup(*rig.link);
        QCOMPARE(setup.setupHandshake(), acked);
        QCOMPARE(rig.port.writes, QList<QByteArray>{kAck});
        QCOMPARE(rig.port.bytesAvailable(), 0); // stale bytes drained, reply consumed
        QVERIFY(rig.statusLog.lines.isEmpty());
    }

    void sendReceiveAckOpensClosedPort()
    {
        LinkRig rig;
        AckingMonitor monitor(rig.port);
        SetupLink setup(*rig.link);
        QVERIFY(setup.setupHandshake());
        QCOMPARE(rig.port.openCount, 1);
        QCOMPARE(rig.portView.shown, QStringList{"COM Port is Open"});
    }

    // Opens without looking at the outcome: the open's own question comes, then no status line,
    // nothing sent, false.
    void sendReceiveAckWithPortFailingToOpen()
    {
        LinkRig rig;
        rig.port.failOpen = true;
        SetupLink setup(*rig.link);
        QVERIFY(!setup.setupHandshake());
        QCOMPARE(rig.prompts.questions,
                 QStringList{"Invalid COM port. Would you like to search for available ports?"});
        QVERIFY(rig.statusLog.lines.isEmpty());
        QVERIFY(rig.port.writes.isEmpty());
    }

    void survivesMonitorLinkDestroyed()
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
    void survivesOwnerDestroyedDuringWait()
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
};

QTEST_GUILESS_MAIN(TestSetupLink)
#include "tst_setup_link.moc"
