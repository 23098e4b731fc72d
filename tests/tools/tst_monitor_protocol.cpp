// The simulator's side of the monitor's protocol: replies, streaming state, stored settings and
// the commands that reach the meter, for the real-time and the setup exchanges.

#include "meter_simulation.h"
#include "monitor_protocol.h"
#include "test_fixtures.h"

#include <QLoggingCategory>
#include <QTest>

namespace {

using Reads = QList<QByteArray>;

const QByteArray FC("\xFC", 1);
const QByteArray none;

QByteArray acks(int count)
{
    return QByteArray(count, '\xFC');
}

// Block bytes 1-11 at the start: CT 167/5 twice, PT 0/1, 15 minutes, firmware 2200, ID 1.
const QByteArray kDefaultHead = bytes({0xA7, 0x05, 0xA7, 0x05, 0x00, 0x01, 0x00, 0x0F, 0x08, 0x98, 0x01});

// The default block head with the bytes from block byte number `first` on replaced.
QByteArray headWith(int first, const QByteArray &replacement)
{
    return QByteArray(kDefaultHead).replace(first - 1, replacement.size(), replacement);
}

ProtocolFaults muting(const QByteArray &word)
{
    ProtocolFaults faults;
    if (!word.isEmpty())
        faults.mutedWords.insert(word);
    return faults;
}

// Everything the protocol answers to the reads, as hex for readable failures.
QByteArray repliesTo(MonitorProtocol &protocol, const Reads &reads)
{
    QByteArray replies;
    for (const QByteArray &read : reads)
        replies += protocol.receive(read);
    return replies.toHex(' ');
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

class TestMonitorProtocol : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("orvo.sim.info=false")); }
    void realTimeBytes_giveRepliesAndStreamingState_data();
    void realTimeBytes_giveRepliesAndStreamingState();
    void abandonedExchange_forgetsPartWord();
    void attentionInsideExchange_restartsExchange();
    void setupSequence_acksAndStores_data();
    void setupSequence_acksAndStores();
    void settingsRead_sendsBlockAfterAck_data();
    void settingsRead_sendsBlockAfterAck();
    void commandWords_replyAndReachMeterOnlyInSequence_data();
    void commandWords_replyAndReachMeterOnlyInSequence();
    void meterCommands_actOnSimulatedMeter();
};

void TestMonitorProtocol::realTimeBytes_giveRepliesAndStreamingState_data()
{
    QTest::addColumn<bool>("streamingBefore");
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<bool>("noAck");
    QTest::addColumn<bool>("ackSecondAttention");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("streamingAfter");
    QTest::addColumn<bool>("exchangeOpen");

    QTest::newRow("attention_echoed_and_holds_stream") << true << Reads{FC} << false << false << none << acks(1) << true << true;
    QTest::newRow("start_sequence_turns_streaming_on") << false << Reads{FC, "TOG", "PLR"} << false << false << none << acks(3) << true << false;
    QTest::newRow("start_retry_second_attention") << false << Reads{FC, FC, "TOG", "PLR"} << false << false << none << acks(4) << true << false;
    QTest::newRow("words_split_across_reads") << false << Reads{FC, "T", "OG", "P", "L", "R"} << false << false << none << acks(3) << true << false;
    QTest::newRow("sequence_in_one_read") << false << Reads{FC + "TOGPLR"} << false << false << none << acks(3) << true << false;
    QTest::newRow("garbage_before_words_ignored") << false << Reads{FC, "xyTOG", "\r\nPL", "R"} << false << false << none << acks(3) << true << false;
    QTest::newRow("words_without_attention_ignored") << false << Reads{"TOGPLR"} << false << false << none << none << false << false;
    QTest::newRow("PLR_without_TOG_ignored") << false << Reads{FC, "PLR"} << false << false << none << acks(1) << false << true;
    QTest::newRow("unknown_word_ignored") << false << Reads{FC, "XYZ"} << false << false << none << acks(1) << false << true;
    QTest::newRow("lower_case_word_ignored") << false << Reads{FC, "tog"} << false << false << none << acks(1) << false << true;
    QTest::newRow("null_bytes_ignored") << false << Reads{FC, QByteArray(3, '\0'), "TOG"} << false << false << none << acks(2) << false << true;
    QTest::newRow("stop_sequence_turns_streaming_off") << true << Reads{FC, "TOG", "OFF"} << false << false << none << acks(3) << false << false;
    QTest::newRow("OFF_without_TOG_keeps_streaming") << true << Reads{FC, "OFF"} << false << false << none << acks(1) << true << true;
    QTest::newRow("no_ack_answers_and_does_nothing") << false << Reads{FC, "TOG", "PLR"} << true << false << none << none << false << false;
    QTest::newRow("no_ack_stop_leaves_stream_running") << true << Reads{FC, FC, "TOG", "OFF"} << true << false << none << none << true << false;
    QTest::newRow("second_attention_only_single_unanswered") << false << Reads{FC} << false << true << none << none << false << false;
    QTest::newRow("second_attention_only_words_after_first_ignored") << false << Reads{FC, "TOG"} << false << true << none << none << false << false;
    QTest::newRow("second_attention_only_start_succeeds") << false << Reads{FC, FC, "TOG", "PLR"} << false << true << none << acks(3) << true << false;
    QTest::newRow("second_attention_only_start_then_stop") << false << Reads{FC, FC, "TOG", "PLR", FC, FC, "TOG", "OFF"} << false << true << none << acks(6) << false << false;
    QTest::newRow("muted_PLR_neither_acked_nor_started") << false << Reads{FC, "TOG", "PLR"} << false << false << QByteArray("PLR") << acks(2) << false << true;
    QTest::newRow("muted_TOG_blocks_start") << false << Reads{FC, "TOG", "PLR"} << false << false << QByteArray("TOG") << acks(1) << false << true;
}

void TestMonitorProtocol::realTimeBytes_giveRepliesAndStreamingState()
{
    QFETCH(bool, streamingBefore);
    QFETCH(Reads, reads);
    QFETCH(bool, noAck);
    QFETCH(bool, ackSecondAttention);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);
    QFETCH(bool, streamingAfter);
    QFETCH(bool, exchangeOpen);

    ProtocolFaults faults = muting(mutedWord);
    faults.noAck = noAck;
    faults.ackSecondAttention = ackSecondAttention;
    MonitorProtocol protocol(faults);
    protocol.setStreaming(streamingBefore);

    QCOMPARE(repliesTo(protocol, reads), reply.toHex(' '));
    QCOMPARE(protocol.isStreaming(), streamingAfter);
    QCOMPARE(protocol.inExchange(), exchangeOpen);
}

void TestMonitorProtocol::abandonedExchange_forgetsPartWord()
{
    MonitorProtocol protocol;
    QCOMPARE(protocol.receive(FC + "TO"), acks(1));
    protocol.abandonExchange();
    QVERIFY(!protocol.inExchange());
    QCOMPARE(protocol.receive("G"), QByteArray());
    QCOMPARE(protocol.receive(FC + "G"), acks(1));
}

void TestMonitorProtocol::attentionInsideExchange_restartsExchange()
{
    // A host that gives up after "TOG" and starts over must not have "PLR" taken as the
    // second word of the abandoned exchange.
    MonitorProtocol protocol;
    QCOMPARE(protocol.receive(FC + "TOG"), acks(2));
    QCOMPARE(protocol.receive(FC + "PLR"), acks(1));
    QVERIFY(!protocol.isStreaming());
}

void TestMonitorProtocol::setupSequence_acksAndStores_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QString>("withheldParameter");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("blockHead");

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

void TestMonitorProtocol::setupSequence_acksAndStores()
{
    QFETCH(Reads, reads);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QString, withheldParameter);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, blockHead);

    ProtocolFaults faults = muting(mutedWord);
    if (!withheldParameter.isEmpty())
        faults.unacknowledgedParameters.insert(*MonitorProtocol::parameterNamed(withheldParameter));
    MonitorProtocol protocol(faults);

    QCOMPARE(repliesTo(protocol, reads), reply.toHex(' '));
    QCOMPARE(encodeSettingsBlock(protocol.settings()).left(11).toHex(' '), blockHead.toHex(' '));
}

void TestMonitorProtocol::settingsRead_sendsBlockAfterAck_data()
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

void TestMonitorProtocol::settingsRead_sendsBlockAfterAck()
{
    QFETCH(int, blockSize);
    QFETCH(int, firmware);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);

    ProtocolFaults faults = muting(mutedWord);
    faults.settingsBlockSize = blockSize;
    MonitorSettings settings;
    settings.firmwareThousandths = quint16(firmware);
    MonitorProtocol protocol(faults, settings);

    QCOMPARE(repliesTo(protocol, {FC, "SET", "RCV"}), reply.toHex(' '));
    // The block ends the exchange, so the stream may come back after it.
    QCOMPARE(protocol.inExchange(), !mutedWord.isEmpty());
}

// The reset, the polarity toggle, and the serial-number read (each letter answered once).
void TestMonitorProtocol::commandWords_replyAndReachMeterOnlyInSequence_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("calls");

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
    const QByteArray serial = bytes({1, 2, 130, 4, 5});
    QTest::newRow("letters_sent_twice") << Reads{FC, "SET", "SS", "RR", "NN"} << none << acks(5) + serial + FC << QStringList{};
    QTest::newRow("letters_sent_once") << Reads{FC, "SET", "S", "R", "N"} << none << acks(5) + serial + FC << QStringList{};
    QTest::newRow("twice_in_one_read") << Reads{FC + "SETSSRRNN"} << none << acks(5) + serial + FC << QStringList{};
    QTest::newRow("N_before_R_ignored") << Reads{FC, "SET", "SS", "NN"} << none << acks(3) << QStringList{};
    QTest::newRow("stray_word_ending_in_S_not_a_letter") << Reads{FC, "SET", "XYS", "RR", "NN"} << none << acks(2) << QStringList{};
    QTest::newRow("letters_without_SET_ignored") << Reads{FC, "SS", "RR", "NN"} << none << acks(1) << QStringList{};
    QTest::newRow("muted_N_no_serial") << Reads{FC, "SET", "SS", "RR", "NN"} << QByteArray("N") << acks(4) << QStringList{};
}

void TestMonitorProtocol::commandWords_replyAndReachMeterOnlyInSequence()
{
    QFETCH(Reads, reads);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, calls);

    RecordingMeter meter;
    MonitorSettings settings;
    settings.serial = {1, 2, 130, 4, 5};
    MonitorProtocol protocol(muting(mutedWord), settings, &meter);

    QCOMPARE(repliesTo(protocol, reads), reply.toHex(' '));
    QCOMPARE(meter.calls, calls);
}

void TestMonitorProtocol::meterCommands_actOnSimulatedMeter()
{
    MeterSetup setup;
    setup.load.seed = 5;
    setup.load.solar = true; // channel 2 generates at the default 11:00, channel 1 only consumes
    setup.resetCount = 7;
    MeterSimulation meter(setup);
    MonitorProtocol protocol({}, {}, &meter);
    meter.idle(100);
    const PacketFields before = meter.nextFields();
    QVERIFY(before.ws1 > 0 && before.ws2Polar > 0);
    QCOMPARE(before.ws1Polar, quint64(0));

    QCOMPARE(protocol.receive(FC + "RQS" + "RST"), acks(3));
    const PacketFields after = meter.nextFields();
    QCOMPARE(after.resetCount, quint8(0));
    QCOMPARE(after.seconds, before.seconds + 1);
    // Only the one period since the reset is counted.
    const LoadInterval &sinceReset = meter.lastInterval();
    QVERIFY(qAbs(double(after.ws1) - sinceReset.channels[0].absoluteWs) < 1.0);
    QVERIFY(qAbs(double(after.ws2Polar) - sinceReset.channels[1].generatedWs) < 1.0);
    QVERIFY(after.ws2Polar < before.ws2Polar);

    // Channel 1 only consumes, so once inverted its polarized counter counts that energy.
    QCOMPARE(protocol.receive(FC + "SET" + "NG1"), acks(3));
    const PacketFields inverted = meter.nextFields();
    QVERIFY(qAbs(double(inverted.ws1Polar - after.ws1Polar) - meter.lastInterval().channels[0].consumedWs) < 1.0);
    QVERIFY(inverted.ws1Polar > after.ws1Polar);
    QVERIFY(inverted.ws2Polar > after.ws2Polar);
}

QTEST_GUILESS_MAIN(TestMonitorProtocol)
#include "tst_monitor_protocol.moc"
