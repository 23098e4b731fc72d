#include "monitor_protocol.h"

#include <QTest>

namespace {

const QByteArray FC("\xFC", 1);

QByteArray acks(int count)
{
    return QByteArray(count, '\xFC');
}

} // namespace

class TestMonitorProtocol : public QObject {
    Q_OBJECT
private slots:
    void bytes_giveRepliesAndStreamingState_data();
    void bytes_giveRepliesAndStreamingState();
    void abandonedExchange_forgetsPartWord();
    void attentionInsideExchange_restartsExchange();
};

void TestMonitorProtocol::bytes_giveRepliesAndStreamingState_data()
{
    QTest::addColumn<bool>("streamingBefore");
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<bool>("noAck");
    QTest::addColumn<bool>("ackSecondAttention");
    QTest::addColumn<QByteArray>("mutedWord");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("streamingAfter");
    QTest::addColumn<bool>("exchangeOpen");

    using L = QList<QByteArray>;
    const QByteArray none;
    QTest::newRow("attention_echoed_and_holds_stream") << true << L{FC} << false << false << none << acks(1) << true << true;
    QTest::newRow("start_sequence_turns_streaming_on") << false << L{FC, "TOG", "PLR"} << false << false << none << acks(3) << true << false;
    QTest::newRow("start_retry_second_attention") << false << L{FC, FC, "TOG", "PLR"} << false << false << none << acks(4) << true << false;
    QTest::newRow("words_split_across_reads") << false << L{FC, "T", "OG", "P", "L", "R"} << false << false << none << acks(3) << true << false;
    QTest::newRow("sequence_in_one_read") << false << L{FC + "TOGPLR"} << false << false << none << acks(3) << true << false;
    QTest::newRow("garbage_before_words_ignored") << false << L{FC, "xyTOG", "\r\nPL", "R"} << false << false << none << acks(3) << true << false;
    QTest::newRow("words_without_attention_ignored") << false << L{"TOGPLR"} << false << false << none << none << false << false;
    QTest::newRow("PLR_without_TOG_ignored") << false << L{FC, "PLR"} << false << false << none << acks(1) << false << true;
    QTest::newRow("unknown_word_ignored") << false << L{FC, "XYZ"} << false << false << none << acks(1) << false << true;
    QTest::newRow("lower_case_word_ignored") << false << L{FC, "tog"} << false << false << none << acks(1) << false << true;
    QTest::newRow("null_bytes_ignored") << false << L{FC, QByteArray(3, '\0'), "TOG"} << false << false << none << acks(2) << false << true;
    QTest::newRow("stop_sequence_turns_streaming_off") << true << L{FC, "TOG", "OFF"} << false << false << none << acks(3) << false << false;
    QTest::newRow("OFF_without_TOG_keeps_streaming") << true << L{FC, "OFF"} << false << false << none << acks(1) << true << true;
    QTest::newRow("no_ack_answers_and_does_nothing") << false << L{FC, "TOG", "PLR"} << true << false << none << none << false << false;
    QTest::newRow("no_ack_stop_leaves_stream_running") << true << L{FC, FC, "TOG", "OFF"} << true << false << none << none << true << false;
    QTest::newRow("second_attention_only_single_unanswered") << false << L{FC} << false << true << none << none << false << false;
    QTest::newRow("second_attention_only_words_after_first_ignored") << false << L{FC, "TOG"} << false << true << none << none << false << false;
    QTest::newRow("second_attention_only_start_succeeds") << false << L{FC, FC, "TOG", "PLR"} << false << true << none << acks(3) << true << false;
    QTest::newRow("second_attention_only_start_then_stop") << false << L{FC, FC, "TOG", "PLR", FC, FC, "TOG", "OFF"} << false << true << none << acks(6) << false << false;
    QTest::newRow("muted_PLR_neither_acked_nor_started") << false << L{FC, "TOG", "PLR"} << false << false << QByteArray("PLR") << acks(2) << false << true;
    QTest::newRow("muted_TOG_blocks_start") << false << L{FC, "TOG", "PLR"} << false << false << QByteArray("TOG") << acks(1) << false << true;
}

void TestMonitorProtocol::bytes_giveRepliesAndStreamingState()
{
    QFETCH(bool, streamingBefore);
    QFETCH(QList<QByteArray>, reads);
    QFETCH(bool, noAck);
    QFETCH(bool, ackSecondAttention);
    QFETCH(QByteArray, mutedWord);
    QFETCH(QByteArray, reply);
    QFETCH(bool, streamingAfter);
    QFETCH(bool, exchangeOpen);

    ProtocolFaults faults;
    faults.noAck = noAck;
    faults.ackSecondAttention = ackSecondAttention;
    if (!mutedWord.isEmpty())
        faults.mutedWords.insert(mutedWord);
    MonitorProtocol protocol(faults);
    protocol.setStreaming(streamingBefore);

    QByteArray replies;
    for (const QByteArray &read : reads)
        replies += protocol.receive(read);

    QCOMPARE(replies.toHex(' '), reply.toHex(' '));
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

QTEST_GUILESS_MAIN(TestMonitorProtocol)
#include "tst_monitor_protocol.moc"
