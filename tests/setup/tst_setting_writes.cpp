// The four sequences that write the monitor's settings, against a monitor double.
#include "setting_writes.h"
#include "setup_rig.h"

#include <QTest>

Q_DECLARE_METATYPE(SetupOutcome)

namespace {

SetupOutcome runWrite(SettingWrites &writes, const QString &operation, const QList<int> &args)
{
    const auto byte = [&](int i) { return quint8(args.at(i)); };
    if (operation == "CT")
        return writes.writeCtSetting(byte(0), byte(1), byte(2));
    if (operation == "PT")
        return writes.writePtSetting(byte(0), byte(1));
    if (operation == "interval")
        return writes.writeIntervalSetting(byte(0), byte(1));
    return writes.writeDeviceId(byte(0));
}

const QStringList kCt1{"FC", "SET", "CT1", "TYP", "TYP:5", "RNG", "RNG:10"};
const QStringList kPt{"FC", "SET", "PTT", "PTT:3", "PTR", "PTR:10"};
const QStringList kInterval{"FC", "SET", "IVL", "IVL:0", "IVL:255"};
const QStringList kId{"FC", "SET", "UID", "UID:127"};

} // namespace

class TestSettingWrites : public QObject {
    Q_OBJECT
private:
    TempDataHome dataHome_;

private slots:
    void writeSequence_sendsStepsAndLogsFailures_data();
    void writeSequence_sendsStepsAndLogsFailures();
    void portLostUnderWrite_endsWithItsMessage_data();
    void portLostUnderWrite_endsWithItsMessage();
    void writeWhileRealTimeShowsOn_stopsItFirst();
};

void TestSettingWrites::writeSequence_sendsStepsAndLogsFailures_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QList<int>>("args");
    QTest::addColumn<QStringList>("silent");
    QTest::addColumn<int>("ignoredAttentions");
    QTest::addColumn<QStringList>("transcript");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");
    QTest::addColumn<SetupOutcome>("outcome");
    using O = SetupOutcome;
    const QStringList none;
    const QString range = "Improper Range";
    QTest::newRow("CT range 0 refused") << "CT" << QList<int>{5, 0, 1} << none << 0 << none << none << range << O::Refused;
    QTest::newRow("CT range 11 refused") << "CT" << QList<int>{5, 11, 1} << none << 0 << none << none << range << O::Refused;
    QTest::newRow("CT range 10 accepted") << "CT" << QList<int>{5, 10, 1} << none << 0 << kCt1 << none << "" << O::Completed;
    QTest::newRow("CT type 0 sent as is on CH2") << "CT" << QList<int>{0, 4, 2} << none << 0
        << QStringList{"FC", "SET", "CT2", "TYP", "TYP:0", "RNG", "RNG:4"} << none << "" << O::Completed;
    QTest::newRow("CT channel 3 sends nothing") << "CT" << QList<int>{5, 4, 3} << none << 0 << none << none << "" << O::Refused;
    QTest::newRow("attention answered on second try") << "CT" << QList<int>{5, 10, 1} << none << 1
        << QStringList{"FC"} + kCt1 << none << "" << O::Completed;
    QTest::newRow("attention never answered") << "CT" << QList<int>{5, 10, 1} << none << 2
        << QStringList{"FC", "FC"} << QStringList{"Did not receive ACK 1"} << "" << O::Aborted;
    QTest::newRow("SET unacknowledged") << "ID" << QList<int>{127} << QStringList{"SET"} << 0
        << kId.mid(0, 2) << QStringList{"Abort SET command"} << "" << O::Aborted;
    QTest::newRow("CT1 unacknowledged") << "CT" << QList<int>{5, 10, 1} << QStringList{"CT1"} << 0
        << kCt1.mid(0, 3) << QStringList{"Abort CT1 command"} << "" << O::Aborted;
    QTest::newRow("CT2 unacknowledged") << "CT" << QList<int>{5, 10, 2} << QStringList{"CT2"} << 0
        << QStringList{"FC", "SET", "CT2"} << QStringList{"Abort CT2 command"} << "" << O::Aborted;
    QTest::newRow("TYP unacknowledged ends") << "CT" << QList<int>{5, 10, 1} << QStringList{"TYP"} << 0
        << kCt1.mid(0, 4) << QStringList{"Abort TYP command"} << "" << O::Aborted;
    QTest::newRow("CT type byte unacknowledged goes on") << "CT" << QList<int>{5, 10, 1} << QStringList{"TYP:5"} << 0
        << kCt1 << QStringList{"Did not successfuly send CT type"} << "" << O::Completed;
    QTest::newRow("RNG unacknowledged") << "CT" << QList<int>{5, 10, 1} << QStringList{"RNG"} << 0
        << kCt1.mid(0, 6) << QStringList{"Abort RNG command"} << "" << O::Aborted;
    QTest::newRow("CT range byte unacknowledged") << "CT" << QList<int>{5, 10, 1} << QStringList{"RNG:10"} << 0
        << kCt1 << QStringList{"Did not successfuly send new CT value"} << "" << O::Completed;
    QTest::newRow("PT range 0 refused") << "PT" << QList<int>{3, 0} << none << 0 << none << none << range << O::Refused;
    QTest::newRow("PT range 11 refused") << "PT" << QList<int>{3, 11} << none << 0 << none << none << range << O::Refused;
    QTest::newRow("PT range 10 accepted") << "PT" << QList<int>{3, 10} << none << 0 << kPt << none << "" << O::Completed;
    QTest::newRow("PTT unacknowledged") << "PT" << QList<int>{3, 10} << QStringList{"PTT"} << 0
        << kPt.mid(0, 3) << QStringList{"Abort PTT command"} << "" << O::Aborted;
    QTest::newRow("PT type byte unacknowledged") << "PT" << QList<int>{3, 10} << QStringList{"PTT:3"} << 0
        << kPt << QStringList{"Did not successfuly send PTtype"} << "" << O::Completed;
    QTest::newRow("PTR unacknowledged") << "PT" << QList<int>{3, 10} << QStringList{"PTR"} << 0
        << kPt.mid(0, 5) << QStringList{"Abort PTR command"} << "" << O::Aborted;
    QTest::newRow("PT range byte unacknowledged") << "PT" << QList<int>{3, 10} << QStringList{"PTR:10"} << 0
        << kPt << QStringList{"Did not successfuly send new PT value"} << "" << O::Completed;
    QTest::newRow("interval high byte first") << "interval" << QList<int>{0, 255} << none << 0 << kInterval << none << "" << O::Completed;
    QTest::newRow("IVL unacknowledged") << "interval" << QList<int>{0, 255} << QStringList{"IVL"} << 0
        << kInterval.mid(0, 3) << QStringList{"Abort IVL command"} << "" << O::Aborted;
    QTest::newRow("each interval byte unacknowledged") << "interval" << QList<int>{0, 255} << QStringList{"IVL:0", "IVL:255"} << 0
        << kInterval << QStringList(2, "Did not successfuly send Interval Setting value.") << "" << O::Completed;
    QTest::newRow("ID 127 sent") << "ID" << QList<int>{127} << none << 0 << kId << none << "" << O::Completed;
    QTest::newRow("ID 128 refused") << "ID" << QList<int>{128} << none << 0 << none << none
        << "ID value must be less than 128, Re-enter proper value" << O::Refused;
    QTest::newRow("UID unacknowledged") << "ID" << QList<int>{127} << QStringList{"UID"} << 0
        << kId.mid(0, 3) << QStringList{"Abort UID command"} << "" << O::Aborted;
    QTest::newRow("ID byte unacknowledged") << "ID" << QList<int>{127} << QStringList{"UID:127"} << 0
        << kId << QStringList{"Did not successfuly send DeviceID value"} << "" << O::Completed;
}

void TestSettingWrites::writeSequence_sendsStepsAndLogsFailures()
{
    QFETCH(QString, operation);
    QFETCH(QList<int>, args);
    QFETCH(QStringList, silent);
    QFETCH(int, ignoredAttentions);
    QFETCH(QStringList, transcript);
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    QFETCH(SetupOutcome, outcome);
    SetupRig rig;
    rig.prepare();
    rig.monitor.silent = QSet<QString>(silent.begin(), silent.end());
    rig.monitor.attentionsToIgnore = ignoredAttentions;
    SettingWrites writes(rig.context);

    QCOMPARE(runWrite(writes, operation, args), outcome);
    QCOMPARE(rig.monitor.transcript, transcript);
    QCOMPARE(rig.log.lines(), lines);
    QCOMPARE(rig.prompts.messages, message.isEmpty() ? QStringList() : QStringList{message});
    // Command words go out letter by letter, parameter bytes as one raw byte each.
    for (const QByteArray &write : std::as_const(rig.port.writes))
        QCOMPARE(write.size(), 1);
}

void TestSettingWrites::portLostUnderWrite_endsWithItsMessage_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QList<int>>("args");
    QTest::addColumn<QString>("lostOn");
    QTest::addColumn<QString>("message");
    QTest::newRow("CT") << "CT" << QList<int>{5, 10, 1} << "TYP"
                        << "The CT type or CT range is improper. Change value and try again";
    QTest::newRow("PT") << "PT" << QList<int>{3, 10} << "PTT:3" << "Error writing new PT setting value";
    QTest::newRow("interval") << "interval" << QList<int>{0, 15} << "SET"
                              << "Error writing new storage interval value";
    QTest::newRow("ID") << "ID" << QList<int>{7} << "UID" << "Error writing new Device ID value";
}

void TestSettingWrites::portLostUnderWrite_endsWithItsMessage()
{
    QFETCH(QString, operation);
    QFETCH(QList<int>, args);
    QFETCH(QString, lostOn);
    QFETCH(QString, message);
    SetupRig rig;
    rig.prepare();
    rig.monitor.loseDeviceOn = lostOn;
    SettingWrites writes(rig.context);

    QCOMPARE(runWrite(writes, operation, args), SetupOutcome::Fault);
    QCOMPARE(rig.monitor.transcript.last(), lostOn);
    QCOMPARE(rig.prompts.messages, QStringList{message});
    QVERIFY(rig.log.lines().isEmpty());
}

void TestSettingWrites::writeWhileRealTimeShowsOn_stopsItFirst()
{
    SetupRig rig;
    rig.prepare(true);
    RecordingStatusLines window;
    QVERIFY(rig.link.suspendRealTime(window));
    rig.monitor.transcript.clear();
    SettingWrites writes(rig.context);

    QCOMPARE(writes.writeDeviceId(9), SetupOutcome::Completed);
    // The stop flag outlives the stop until the watchdog sees the stream end, so the stream is
    // stopped once more before the command.
    QCOMPARE(rig.monitor.transcript,
             (QStringList{"FC", "TOG", "OFF", "FC", "SET", "UID", "UID:9"}));
    QVERIFY(rig.link.flags().realTimeWasOn);
    QVERIFY(rig.link.flags().commandInProgress);
    rig.link.restoreRealTime(window);
    QCOMPARE(rig.monitor.transcript.mid(7), (QStringList{"FC", "TOG", "PLR"}));
}

QTEST_GUILESS_MAIN(TestSettingWrites)
#include "tst_setting_writes.moc"
