#include "meter_simulation.h"
#include "monitor_protocol.h"

#include <QLoggingCategory>
#include <QTest>

namespace {

const QByteArray FC("\xFC", 1);

QByteArray acks(int count)
{
    return QByteArray(count, '\xFC');
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (const int value : values)
        result += char(value);
    return result;
}

// Block bytes 1-11 at the start: CT 167/5 twice, PT 0/1, 15 minutes, firmware 2200, ID 1.
const QByteArray kDefaultHead = bytes({0xA7, 0x05, 0xA7, 0x05, 0x00, 0x01, 0x00, 0x0F, 0x08, 0x98, 0x01});

// The default block head with the bytes from block byte number `first` on replaced.
QByteArray headWith(int first, const QByteArray &replacement)
{
    return QByteArray(kDefaultHead).replace(first - 1, replacement.size(), replacement);
}

// Records what reaches the meter.
class RecordingMeter : public MeterControl {
public:
    QStringList calls;
    void resetAccumulated() override { calls << QStringLiteral("reset"); }
    bool invertPolarity(int channel) override
    {
        calls << QStringLiteral("invert %1").arg(channel);
        return true;
    }
};

} // namespace

using Reads = QList<QByteArray>;

class TestMonitorSetupCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("orvo.sim.info=false")); }
    void setupSequence_acksAndStores_data();
    void setupSequence_acksAndStores();
    void settingsRead_sendsBlockAfterAck_data();
    void settingsRead_sendsBlockAfterAck();
    void serialNumberRead_answersEachLetterOnce_data();
    void serialNumberRead_answersEachLetterOnce();
    void meterCommands_reachMeterOnlyInSequence_data();
    void meterCommands_reachMeterOnlyInSequence();
    void meterCommands_actOnSimulatedMeter();
};

void TestMonitorSetupCommands::setupSequence_acksAndStores_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QString>("withheldParameter");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("blockHead");

    const QByteArray none;
    const QString all;
    QTest::newRow("ct1_type_and_range") << Reads{FC, "SET", "CT1", "TYP", "\x64", "RNG", "\x07"} << none << all << acks(7) << headWith(1, bytes({100, 7}));
    QTest::newRow("ct2_apart_from_ct1") << Reads{FC, "SET", "CT2", "TYP", "\xAF", "RNG", "\x0A"} << none << all << acks(7) << headWith(3, bytes({175, 10}));
    QTest::newRow("pt_type_and_range") << Reads{FC, "SET", "PTT", "\x78", "PTR", "\x02"} << none << all << acks(6) << headWith(5, bytes({120, 2}));
    QTest::newRow("interval_high_then_low") << Reads{FC, "SET", "IVL", "\x01", "\x2C"} << none << all << acks(5) << headWith(7, bytes({0x01, 0x2C}));
    QTest::newRow("device_id") << Reads{FC, "SET", "UID", "\x7F"} << none << all << acks(4) << headWith(11, bytes({0x7F}));
    QTest::newRow("whole_sequence_in_one_read") << Reads{FC + "SETCT1TYP\x64RNG\x07"} << none << all << acks(7) << headWith(1, bytes({100, 7}));
    QTest::newRow("parameters_0xFC_not_attention") << Reads{FC, "SET", "CT1", "TYP", FC, "RNG", FC} << none << all << acks(7) << headWith(1, bytes({0xFC, 0xFC}));
    QTest::newRow("interval_bytes_0xFC") << Reads{FC + "SETIVL" + FC + FC} << none << all << acks(5) << headWith(7, bytes({0xFC, 0xFC}));
    QTest::newRow("type_letter_R_before_RNG") << Reads{FC + "SETCT2TYPRRNGN"} << none << all << acks(7) << headWith(3, QByteArray("RN"));
    QTest::newRow("device_id_S_not_serial_letter") << Reads{FC, "SET", "UID", "S"} << none << all << acks(4) << headWith(11, QByteArray("S"));
    QTest::newRow("ct_words_without_SET_ignored") << Reads{FC, "CT1", "TYP", "\x64", "RNG", "\x07"} << none << all << acks(1) << kDefaultHead;
    QTest::newRow("muted_TYP_takes_no_parameter") << Reads{FC, "SET", "CT1", "TYP", "\x64", "RNG", "\x07"} << QByteArray("TYP") << all << acks(3) << kDefaultHead;
    QTest::newRow("muted_IVL_takes_no_parameter") << Reads{FC, "SET", "IVL", "\x01", "\x2C"} << QByteArray("IVL") << all << acks(2) << kDefaultHead;
    QTest::newRow("withheld_ct_type_ack_value_kept") << Reads{FC, "SET", "CT1", "TYP", "\x64", "RNG", "\x07"} << none << "ct-type" << acks(6) << headWith(1, bytes({100, 7}));
    QTest::newRow("withheld_pt_range_ack_value_kept") << Reads{FC, "SET", "PTT", "\x78", "PTR", "\x02"} << none << "pt-range" << acks(5) << headWith(5, bytes({120, 2}));
    QTest::newRow("withheld_interval_high_ack_low_still_taken") << Reads{FC, "SET", "IVL", "\x01", "\x2C"} << none << "interval-high" << acks(4) << headWith(7, bytes({0x01, 0x2C}));
    QTest::newRow("withheld_device_id_ack_value_kept") << Reads{FC, "SET", "UID", "\x7F"} << none << "device-id" << acks(3) << headWith(11, bytes({0x7F}));
}

void TestMonitorSetupCommands::setupSequence_acksAndStores()
{
    QFETCH(Reads, reads);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QString, withheldParameter);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, blockHead);

    ProtocolFaults faults;
    if (!mutedWord.isEmpty())
        faults.mutedWords.insert(mutedWord);
    if (!withheldParameter.isEmpty())
        faults.unacknowledgedParameters.insert(*MonitorProtocol::parameterNamed(withheldParameter));
    MonitorProtocol protocol(faults);

    QByteArray replies;
    for (const QByteArray &read : reads)
        replies += protocol.receive(read);

    QCOMPARE(replies.toHex(' '), reply.toHex(' '));
    QCOMPARE(encodeSettingsBlock(protocol.settings()).left(11).toHex(' '), blockHead.toHex(' '));
}

void TestMonitorSetupCommands::settingsRead_sendsBlockAfterAck_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("firmware");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray zeros(22, '\0');
    QTest::newRow("defaults_in_33_bytes") << 33 << 2200 << QByteArray() << acks(3) + kDefaultHead + zeros;
    QTest::newRow("firmware_high_byte_first") << 33 << 2310 << QByteArray() << acks(3) + headWith(9, bytes({0x09, 0x06})) + zeros;
    QTest::newRow("block_size_34_fault") << 34 << 2200 << QByteArray() << acks(3) + kDefaultHead + zeros + '\0';
    QTest::newRow("muted_RCV_sends_nothing") << 33 << 2200 << QByteArray("RCV") << acks(2);
}

void TestMonitorSetupCommands::settingsRead_sendsBlockAfterAck()
{
    QFETCH(int, blockSize);
    QFETCH(int, firmware);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);

    ProtocolFaults faults;
    faults.settingsBlockSize = blockSize;
    if (!mutedWord.isEmpty())
        faults.mutedWords.insert(mutedWord);
    MonitorSettings settings;
    settings.firmwareThousandths = quint16(firmware);
    MonitorProtocol protocol(faults, settings);

    QByteArray replies = protocol.receive(FC);
    replies += protocol.receive("SET");
    replies += protocol.receive("RCV");
    QCOMPARE(replies.toHex(' '), reply.toHex(' '));
    // The block ends the exchange, so the stream may come back after it.
    QCOMPARE(protocol.inExchange(), !mutedWord.isEmpty());
}

void TestMonitorSetupCommands::serialNumberRead_answersEachLetterOnce_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray serial = bytes({1, 2, 130, 4, 5});
    QTest::newRow("letters_sent_twice") << Reads{FC, "SET", "SS", "RR", "NN"} << QByteArray() << acks(5) + serial + FC;
    QTest::newRow("letters_sent_once") << Reads{FC, "SET", "S", "R", "N"} << QByteArray() << acks(5) + serial + FC;
    QTest::newRow("twice_in_one_read") << Reads{FC + "SETSSRRNN"} << QByteArray() << acks(5) + serial + FC;
    QTest::newRow("N_before_R_ignored") << Reads{FC, "SET", "SS", "NN"} << QByteArray() << acks(3);
    QTest::newRow("stray_word_ending_in_S_not_a_letter") << Reads{FC, "SET", "XYS", "RR", "NN"} << QByteArray() << acks(2);
    QTest::newRow("letters_without_SET_ignored") << Reads{FC, "SS", "RR", "NN"} << QByteArray() << acks(1);
    QTest::newRow("muted_N_no_serial") << Reads{FC, "SET", "SS", "RR", "NN"} << QByteArray("N") << acks(4);
}

void TestMonitorSetupCommands::serialNumberRead_answersEachLetterOnce()
{
    QFETCH(Reads, reads);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);

    ProtocolFaults faults;
    if (!mutedWord.isEmpty())
        faults.mutedWords.insert(mutedWord);
    MonitorSettings settings;
    settings.serial = {1, 2, 130, 4, 5};
    MonitorProtocol protocol(faults, settings);

    QByteArray replies;
    for (const QByteArray &read : reads)
        replies += protocol.receive(read);
    QCOMPARE(replies.toHex(' '), reply.toHex(' '));
}

void TestMonitorSetupCommands::meterCommands_reachMeterOnlyInSequence_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("calls");

    const QByteArray none;
    QTest::newRow("reset") << Reads{FC, "RQS", "RST"} << none << acks(3) << QStringList{"reset"};
    QTest::newRow("reset_in_one_read") << Reads{FC + "RQSRST"} << none << acks(3) << QStringList{"reset"};
    QTest::newRow("RST_without_RQS_ignored") << Reads{FC, "RST"} << none << acks(1) << QStringList{};
    QTest::newRow("RQS_after_SET_ignored") << Reads{FC, "SET", "RQS", "RST"} << none << acks(2) << QStringList{};
    QTest::newRow("muted_RST_no_reset") << Reads{FC, "RQS", "RST"} << QByteArray("RST") << acks(2) << QStringList{};
    QTest::newRow("polarity_channel_1") << Reads{FC, "SET", "NG1"} << none << acks(3) << QStringList{"invert 1"};
    QTest::newRow("polarity_channel_2_one_read") << Reads{FC + "SETNG2"} << none << acks(3) << QStringList{"invert 2"};
    QTest::newRow("polarity_twice") << Reads{FC + "SETNG1", FC + "SETNG1"} << none << acks(6) << QStringList{"invert 1", "invert 1"};
    QTest::newRow("NG1_without_SET_ignored") << Reads{FC, "NG1"} << none << acks(1) << QStringList{};
    QTest::newRow("muted_NG1_still_acks_the_rest") << Reads{FC, "SET", "NG1"} << QByteArray("NG1") << acks(2) << QStringList{};
}

void TestMonitorSetupCommands::meterCommands_reachMeterOnlyInSequence()
{
    QFETCH(Reads, reads);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, calls);

    ProtocolFaults faults;
    if (!mutedWord.isEmpty())
        faults.mutedWords.insert(mutedWord);
    RecordingMeter meter;
    MonitorProtocol protocol(faults, {}, &meter);

    QByteArray replies;
    for (const QByteArray &read : reads)
        replies += protocol.receive(read);
    QCOMPARE(replies.toHex(' '), reply.toHex(' '));
    QCOMPARE(meter.calls, calls);
}

void TestMonitorSetupCommands::meterCommands_actOnSimulatedMeter()
{
    MeterSetup setup;
    setup.load.seed = 5;
    setup.resetCount = 7;
    MeterSimulation meter(setup);
    MonitorProtocol protocol({}, {}, &meter);
    meter.idle(100);
    const PacketFields before = meter.nextFields();
    QVERIFY(before.ws1 > 0 && before.ws2Polar > 0);

    QCOMPARE(protocol.receive(FC + "RQS" + "RST"), acks(3));
    const PacketFields after = meter.nextFields();
    QCOMPARE(after.resetCount, quint8(0));
    QCOMPARE(after.seconds, before.seconds + 1);
    // Only the one period since the reset is counted.
    const ChannelEnergy &sinceReset = meter.lastInterval().channels[0];
    QVERIFY(qAbs(double(after.ws1) - sinceReset.absoluteWs) < 1.0);
    QVERIFY(qAbs(double(after.ws1Polar) - sinceReset.consumedWs) < 1.0);

    // Channel 1 only consumes, so once inverted its polarized counter stands still.
    QCOMPARE(protocol.receive(FC + "SET" + "NG1"), acks(3));
    const PacketFields inverted = meter.nextFields();
    QCOMPARE(inverted.ws1Polar, after.ws1Polar);
    QVERIFY(inverted.ws1 > after.ws1);
    QVERIFY(inverted.ws2Polar > after.ws2Polar);
}

QTEST_GUILESS_MAIN(TestMonitorSetupCommands)
#include "tst_monitor_setup_commands.moc"
