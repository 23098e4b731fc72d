// The polarity toggle, the reset, the serial-number read, the handshake test and the log.
#include "module_procedures.h"
#include "settings_read.h"
#include "setup_rig.h"
#include "utility_commands.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QString kComProblem =
    "A problem occured with the COM port. Correct the problem and try again.";
const QByteArray kSerial("\x01\x02\x82\x04\x05", 5);

} // namespace

class TestSetupProcedures : public QObject {
    Q_OBJECT
private:
    TempDataHome dataHome_;

private slots:
    void togglePolarity_succeedsOnAnyWaitingByte_data();
    void togglePolarity_succeedsOnAnyWaitingByte();
    void resetAccumulated_okOnlyWhenResetAcknowledged_data();
    void resetAccumulated_okOnlyWhenResetAcknowledged();
    void readSerialNumber_logsEachFailedStep_data();
    void readSerialNumber_logsEachFailedStep();
    void sendAcknowledge_showsTheAnswer_data();
    void sendAcknowledge_showsTheAnswer();
    void setupLog_keepsNewestLines();
    void suspendFailing_restartsNoRealTime_data();
    void suspendFailing_restartsNoRealTime();
};

void TestSetupProcedures::togglePolarity_succeedsOnAnyWaitingByte_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QByteArray>("replyToWord");
    QTest::addColumn<bool>("mute");
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<bool>("toggled");
    const QByteArray fc = kAck;
    QTest::newRow("channel 1") << 1 << QByteArray() << false << QList<QByteArray>{fc, "SET", "NG1"} << true;
    QTest::newRow("channel 2") << 2 << QByteArray() << false << QList<QByteArray>{fc, "SET", "NG2"} << true;
    QTest::newRow("any byte counts, not only an ack") << 1 << QByteArray("A") << false
        << QList<QByteArray>{fc, "SET", "NG1"} << true;
    QTest::newRow("silent monitor") << 2 << QByteArray() << true << QList<QByteArray>{fc, "SET", "NG2"} << false;
    QTest::newRow("other channel sends no word") << 3 << QByteArray() << true << QList<QByteArray>{fc, "SET"} << false;
}

void TestSetupProcedures::togglePolarity_succeedsOnAnyWaitingByte()
{
    QFETCH(int, channel);
    QFETCH(QByteArray, replyToWord);
    QFETCH(bool, mute);
    QFETCH(QList<QByteArray>, writes);
    QFETCH(bool, toggled);
    SetupRig rig;
    rig.prepare();
    rig.port.preload("stale");
    rig.monitor.mute = mute;
    if (!replyToWord.isEmpty())
        rig.port.responder = [&](const QByteArray &bytes) {
            if (bytes.startsWith("NG"))
                rig.port.arrive(replyToWord);
        };

    QCOMPARE(ModuleProcedures(rig.context).togglePolarity(channel), toggled);
    QCOMPARE(rig.port.writes, writes);
    QCOMPARE(rig.prompts.messages,
             toggled ? QStringList() : QStringList{"Toggle operation failed. Try again"});
    if (!replyToWord.isEmpty())
        QCOMPARE(rig.port.bytesAvailable(), replyToWord.size()); // left for whoever reads next
    QVERIFY(!rig.link.flags().commandInProgress);
    QVERIFY(rig.log.lines().isEmpty()); // real time is not suspended
}

void TestSetupProcedures::resetAccumulated_okOnlyWhenResetAcknowledged_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("transcript");
    QTest::addColumn<QString>("status");
    QTest::newRow("reset acknowledged") << "" << QStringList{"FC", "RQS", "RST"} << "OK";
    QTest::newRow("attention unanswered") << "ignore 1" << QStringList{"FC"} << "Error";
    QTest::newRow("request unacknowledged") << "silent RQS" << QStringList{"FC", "RQS"} << "Error";
    QTest::newRow("reset unacknowledged") << "silent RST" << QStringList{"FC", "RQS", "RST"} << "Error";
    QTest::newRow("port lost") << "lose RQS" << QStringList{"FC", "RQS"} << "Error";
    QTest::newRow("port cannot open") << "port cannot open" << QStringList() << "Error";
}

void TestSetupProcedures::resetAccumulated_okOnlyWhenResetAcknowledged()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, transcript);
    QFETCH(QString, status);
    SetupRig rig;
    rig.prepare();
    rig.applyFault(scenario);

    QCOMPARE(ModuleProcedures(rig.context).resetAccumulated(), status);
    QCOMPARE(rig.monitor.transcript, transcript);
    if (transcript.contains("RQS"))
        QVERIFY(rig.port.writes.contains("RQS")); // the words go out whole
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestSetupProcedures::readSerialNumber_logsEachFailedStep_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("serialNumber");
    const QString off = "Realtime is OFF";
    const QByteArray answer = kSerial + kAck;
    QTest::newRow("five bytes and ack") << "" << answer << QStringList{off} << "01213045";
    QTest::newRow("no final ack") << "" << kSerial
        << QStringList{off, "Did not successfuly receive acknowled for serial number read."} << "01213045";
    QTest::newRow("letter unacknowledged goes on") << "silent RR" << answer
        << QStringList{off, "Abort SRN command"} << "01213045";
    QTest::newRow("bytes missing at deadline") << "" << kSerial.left(4)
        << QStringList{off, "Abort Read Serial Number command"} << "";
    QTest::newRow("no attention answer") << "ignore 2" << answer << QStringList{off, "Did not receive ACK 1"} << "";
    QTest::newRow("SET unacknowledged") << "silent SET" << answer << QStringList{off, "Abort SET command"} << "";
    QTest::newRow("port lost") << "lose RR" << answer << QStringList{off, kComProblem} << "";
    QTest::newRow("port cannot open") << "port cannot open" << answer << QStringList{kComProblem} << "";
}

void TestSetupProcedures::readSerialNumber_logsEachFailedStep()
{
    QFETCH(QString, scenario);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, lines);
    QFETCH(QString, serialNumber);
    SetupRig rig;
    rig.prepare();
    rig.monitor.replies.insert("NN", reply);
    rig.applyFault(scenario);

    const std::optional<QString> text = UtilityCommands(rig.context).readSerialNumber();

    QCOMPARE(text.value_or(QString()), serialNumber);
    QCOMPARE(rig.log.lines(), lines);
    if (scenario.isEmpty())
        QCOMPARE(rig.port.written(), kAck + "SETSSRRNN");
    QVERIFY(!rig.link.flags().commandInProgress);
}

void TestSetupProcedures::sendAcknowledge_showsTheAnswer_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QByteArray>("stale");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("response");
    QTest::newRow("acknowledged") << "" << QByteArray() << QStringList{"252", "Successful response."} << "Acknowledged";
    QTest::newRow("a stale byte is the answer") << "" << QByteArray("A")
        << QStringList{"65", "Improper response."} << "Error";
    QTest::newRow("no answer") << "mute" << QByteArray() << QStringList{"No response was received."} << "";
    QTest::newRow("port lost") << "lose FC" << QByteArray() << QStringList{kComProblem} << "";
}

void TestSetupProcedures::sendAcknowledge_showsTheAnswer()
{
    QFETCH(QString, scenario);
    QFETCH(QByteArray, stale);
    QFETCH(QStringList, lines);
    QFETCH(QString, response);
    SetupRig rig;
    rig.prepare();
    rig.port.preload(stale);
    rig.applyFault(scenario);

    const std::optional<QString> text = UtilityCommands(rig.context).sendAcknowledge();

    QCOMPARE(text.value_or(QString()), response);
    QCOMPARE(rig.log.lines(), lines);
    QCOMPARE(rig.port.writes, QList<QByteArray>{kAck});
}

void TestSetupProcedures::setupLog_keepsNewestLines()
{
    SetupLog log;
    QSignalSpy removed(&log, &SetupLog::firstLineRemoved);
    for (int i = 0; i < 1000; ++i)
        log.addLine(QString::number(i));
    QCOMPARE(log.lines().size(), 1000); // a thousand lines are kept
    QCOMPARE(removed.count(), 0);
    log.addLine(QStringLiteral("1000"));
    QCOMPARE(log.lines().size(), 1000); // the 1001st pushes out the first
    QCOMPARE(log.lines().first(), QStringLiteral("1"));
    QCOMPARE(removed.count(), 1);
}

QTEST_GUILESS_MAIN(TestSetupProcedures)
#include "tst_setup_procedures.moc"

void TestSetupProcedures::suspendFailing_restartsNoRealTime_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("read settings") << "read settings";
    QTest::newRow("send acknowledge") << "send acknowledge";
    QTest::newRow("read settings for a client") << "read settings for a client";
}

void TestSetupProcedures::suspendFailing_restartsNoRealTime()
{
    QFETCH(QString, operation);
    SetupRig rig;
    rig.prepare();
    rig.link.flags().realTimeWasOn = true; // left by an earlier command, while real time ran
    rig.applyFault("port cannot open");
    if (operation == "read settings")
        QVERIFY(!SettingsRead(rig.context).readSettingsForWindow());
    else if (operation == "read settings for a client")
        QCOMPARE(SettingsRead(rig.context).readSettingsForServer().status,
                 QStringLiteral("No response from monitor."));
    else
        QVERIFY(!UtilityCommands(rig.context).sendAcknowledge());
    QVERIFY(!rig.link.flags().realTimeOn);
    QVERIFY2(!rig.log.lines().join('|').contains("Restoring"), qPrintable(rig.log.lines().join('|')));
}
