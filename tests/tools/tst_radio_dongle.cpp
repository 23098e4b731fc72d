#include "radio_dongle.h"

#include <QTest>

namespace {

// One thing happening on either side of the dongle, at a time in milliseconds.
struct LineEvent {
    qint64 atMs = 0;
    bool fromMonitor = false;
    QByteArray bytes;
};

LineEvent host(qint64 atMs, const QByteArray &bytes)
{
    return {atMs, false, bytes};
}

LineEvent monitor(qint64 atMs, const QByteArray &bytes)
{
    return {atMs, true, bytes};
}

using Events = QList<LineEvent>;

const QByteArray FC("\xFC", 1);
const QByteArray packet("\xFE\xFF\x01" "packet", 9);
constexpr qint64 kTimeout = 5000; // command mode ends after 5 s without a command

// The start of every discovery: the escape after the host has been quiet.
const LineEvent escape = host(0, "+++");

} // namespace

Q_DECLARE_METATYPE(LineEvent)
Q_DECLARE_METATYPE(RadioReplies)

class TestRadioDongle : public QObject {
    Q_OBJECT
private slots:
    void hostCommands_answeredAndForwarded_data();
    void hostCommands_answeredAndForwarded();
    void escapeGuard_tellsEscapeFromData_data();
    void escapeGuard_tellsEscapeFromData();
    void monitorBytes_reachHostOnlyWhenTransparent_data();
    void monitorBytes_reachHostOnlyWhenTransparent();
    void replyFaults_changeAnswersNotModes_data();
    void replyFaults_changeAnswersNotModes();

private:
    static void addColumns();
    static void run();
};

void TestRadioDongle::addColumns()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<RadioReplies>("replies");
    QTest::addColumn<Events>("events");
    QTest::addColumn<QByteArray>("toMonitor");
    QTest::addColumn<QByteArray>("toHost");
    QTest::addColumn<bool>("commandModeAfter");
}

// Plays the events and compares everything each side received, in order, and the mode at the
// time of the last event.
void TestRadioDongle::run()
{
    QFETCH(int, version);
    QFETCH(RadioReplies, replies);
    QFETCH(Events, events);
    QFETCH(QByteArray, toMonitor);
    QFETCH(QByteArray, toHost);
    QFETCH(bool, commandModeAfter);

    RadioDongle dongle(version, replies);
    QByteArray monitorGot;
    QByteArray hostGot;
    for (const LineEvent &event : events) {
        if (event.fromMonitor) {
            hostGot += dongle.receiveFromMonitor(event.bytes, event.atMs);
        } else {
            const RadioDongle::HostBytesResult result = dongle.receiveFromHost(event.bytes, event.atMs);
            monitorGot += result.toMonitor;
            hostGot += result.toHost;
        }
    }
    QCOMPARE(monitorGot.toHex(' '), toMonitor.toHex(' '));
    QCOMPARE(hostGot, toHost);
    QCOMPARE(dongle.inCommandMode(events.isEmpty() ? 0 : events.constLast().atMs), commandModeAfter);
}

void TestRadioDongle::hostCommands_answeredAndForwarded_data()
{
    addColumns();
    const auto normal = RadioReplies::Normal;
    QTest::newRow("escape_alone_answers_OK") << 2 << normal << Events{escape} << QByteArray("+++") << QByteArray("OK") << true;
    QTest::newRow("own_node_v2_found") << 2 << normal << Events{escape, host(10, "ATDNE2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("own_node_v1_found") << 1 << normal << Events{escape, host(10, "ATDNE1\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("other_node_refused_then_transparent") << 2 << normal << Events{escape, host(10, "ATDNE1\r")} << QByteArray("+++") << QByteArray("OKERROR") << false;
    QTest::newRow("unknown_node_refused") << 1 << normal << Events{escape, host(10, "ATDNE7\r")} << QByteArray("+++") << QByteArray("OKERROR") << false;
    QTest::newRow("escape_split_across_reads") << 2 << normal << Events{host(0, "+"), host(5, "+"), host(10, "+"), host(20, "ATDN"), host(30, "E2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("command_byte_by_byte") << 2 << normal << Events{escape, host(1, "A"), host(2, "T"), host(3, "D"), host(4, "N"), host(5, "E"), host(6, "2"), host(7, "\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("escape_and_command_in_one_read") << 2 << normal << Events{host(0, "+++ATDNE2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("no_carriage_return_no_answer_yet") << 2 << normal << Events{escape, host(10, "ATDNE2")} << QByteArray("+++") << QByteArray("OK") << true;
    QTest::newRow("stray_bytes_before_command_ignored") << 2 << normal << Events{escape, host(10, QByteArray("\n\0x", 3) + "ATDNE2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("line_feeds_around_commands") << 2 << normal << Events{escape, host(10, "AT\r\nATDNE2\r\n")} << QByteArray("+++\n") << QByteArray("OKOKOK") << false;
    QTest::newRow("long_garbage_keeps_command_tail") << 2 << normal << Events{escape, host(10, QByteArray(100, 'x') + "ATDNE2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("lower_case_command_accepted") << 2 << normal << Events{escape, host(10, "atdne2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("line_without_AT_unanswered") << 2 << normal << Events{escape, host(10, "hello\r")} << QByteArray("+++") << QByteArray("OK") << true;
    QTest::newRow("plain_AT_answers_OK_and_stays") << 2 << normal << Events{escape, host(10, "AT\r")} << QByteArray("+++") << QByteArray("OKOK") << true;
    QTest::newRow("unknown_command_ERROR_and_stays") << 2 << normal << Events{escape, host(10, "ATXY\r")} << QByteArray("+++") << QByteArray("OKERROR") << true;
    QTest::newRow("error_then_discovery_still_works") << 2 << normal << Events{escape, host(10, "ATXY\r"), host(20, "ATDNE2\r")} << QByteArray("+++") << QByteArray("OKERROROK") << false;
    QTest::newRow("ATCN_leaves_command_mode") << 2 << normal << Events{escape, host(10, "ATCN\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("bytes_after_found_node_reach_monitor") << 2 << normal << Events{escape, host(10, "ATDNE2\r" + FC + "TOG")} << QByteArray("+++" + FC + "TOG") << QByteArray("OKOK") << false;
    QTest::newRow("bytes_after_refused_node_reach_monitor") << 2 << normal << Events{escape, host(10, "ATDNE1\r"), host(20, FC)} << QByteArray("+++" + FC) << QByteArray("OKERROR") << false;
    QTest::newRow("silence_returns_to_transparent") << 2 << normal << Events{escape, host(kTimeout, FC)} << QByteArray("+++" + FC) << QByteArray("OK") << false;
    QTest::newRow("just_before_time_out_still_commands") << 2 << normal << Events{escape, host(kTimeout - 1, "ATDNE2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("command_bytes_extend_command_mode") << 2 << normal << Events{escape, host(kTimeout - 1, "AT"), host(2 * kTimeout - 2, "DNE2\r")} << QByteArray("+++") << QByteArray("OKOK") << false;
    QTest::newRow("half_line_forgotten_after_time_out") << 2 << normal << Events{escape, host(10, "ATDN"), host(10 + kTimeout, "+++"), host(20 + kTimeout, "E2\r")} << QByteArray("++++++") << QByteArray("OKOK") << true;
    QTest::newRow("escape_inside_command_mode_ignored") << 2 << normal << Events{escape, host(500, "+++")} << QByteArray("+++") << QByteArray("OK") << true;
    QTest::newRow("second_discovery_after_quiet") << 2 << normal << Events{escape, host(10, "ATDNE2\r"), host(500, "+++"), host(510, "ATDNE2\r")} << QByteArray("++++++") << QByteArray("OKOKOKOK") << false;
}

void TestRadioDongle::hostCommands_answeredAndForwarded()
{
    run();
}

void TestRadioDongle::escapeGuard_tellsEscapeFromData_data()
{
    addColumns();
    const auto normal = RadioReplies::Normal;
    const qint64 guard = 200;   // quiet before the escape
    const qint64 window = 1000; // the three pluses arrive within a second
    QTest::newRow("pluses_right_after_data_are_data") << 2 << normal << Events{host(0, FC + "+++")} << QByteArray(FC + "+++") << QByteArray() << false;
    QTest::newRow("pluses_soon_after_data_are_data") << 2 << normal << Events{host(0, "TOG"), host(guard - 1, "+++")} << QByteArray("TOG+++") << QByteArray() << false;
    QTest::newRow("pluses_after_guard_are_escape") << 2 << normal << Events{host(0, "TOG"), host(guard, "+++")} << QByteArray("TOG+++") << QByteArray("OK") << true;
    QTest::newRow("byte_between_pluses_breaks_escape") << 2 << normal << Events{host(0, "++x+")} << QByteArray("++x+") << QByteArray() << false;
    QTest::newRow("byte_between_pluses_then_later_escape") << 2 << normal << Events{host(0, "++x+"), host(guard, "+++")} << QByteArray("++x++++") << QByteArray("OK") << true;
    QTest::newRow("pluses_spread_beyond_window") << 2 << normal << Events{host(0, "+"), host(window / 2, "+"), host(window + 1, "+")} << QByteArray("+++") << QByteArray() << false;
    QTest::newRow("pluses_within_window") << 2 << normal << Events{host(0, "+"), host(window / 2, "+"), host(window, "+")} << QByteArray("+++") << QByteArray("OK") << true;
    QTest::newRow("two_pluses_then_data_not_escape") << 2 << normal << Events{host(0, "++"), host(10, FC), host(20, "+")} << QByteArray("++" + FC + "+") << QByteArray() << false;
    QTest::newRow("parameter_plus_after_ack_is_data") << 2 << normal << Events{host(0, FC), host(30, "SET"), host(60, "+"), host(90, "+"), host(120, "+")} << QByteArray(FC + "SET+++") << QByteArray() << false;
    QTest::newRow("monitor_traffic_does_not_break_quiet") << 2 << normal << Events{host(0, "TOG"), monitor(guard, packet), host(guard, "+++")} << QByteArray("TOG+++") << QByteArray(packet + "OK") << true;
}

void TestRadioDongle::escapeGuard_tellsEscapeFromData()
{
    run();
}

void TestRadioDongle::monitorBytes_reachHostOnlyWhenTransparent_data()
{
    addColumns();
    const auto normal = RadioReplies::Normal;
    QTest::newRow("transparent_passes_packets") << 2 << normal << Events{monitor(0, packet), monitor(100, FC)} << QByteArray() << QByteArray(packet + FC) << false;
    QTest::newRow("command_mode_drops_packets") << 2 << normal << Events{monitor(0, packet), escape, monitor(100, packet), monitor(200, FC)} << QByteArray("+++") << QByteArray(packet + "OK") << true;
    QTest::newRow("dropped_packets_never_delivered_later") << 2 << normal << Events{escape, monitor(100, packet), host(200, "ATDNE2\r"), monitor(300, FC)} << QByteArray("+++") << QByteArray("OKOK" + FC) << false;
    QTest::newRow("refused_node_passes_again") << 2 << normal << Events{escape, host(10, "ATDNE1\r"), monitor(20, packet)} << QByteArray("+++") << QByteArray("OKERROR" + packet) << false;
    QTest::newRow("time_out_passes_again") << 2 << normal << Events{escape, monitor(kTimeout - 1, packet), monitor(kTimeout, FC)} << QByteArray("+++") << QByteArray("OK" + FC) << false;
    QTest::newRow("pluses_in_data_keep_packets_flowing") << 2 << normal << Events{host(0, FC + "+++"), monitor(10, packet)} << QByteArray(FC + "+++") << QByteArray(packet) << false;
    QTest::newRow("silent_command_mode_drops_packets") << 2 << RadioReplies::Silent << Events{escape, monitor(100, packet)} << QByteArray("+++") << QByteArray() << true;
}

void TestRadioDongle::monitorBytes_reachHostOnlyWhenTransparent()
{
    run();
}

void TestRadioDongle::replyFaults_changeAnswersNotModes_data()
{
    addColumns();
    const auto silent = RadioReplies::Silent;
    const auto errors = RadioReplies::Errors;
    QTest::newRow("silent_escape_unanswered") << 2 << silent << Events{escape} << QByteArray("+++") << QByteArray() << true;
    QTest::newRow("silent_own_node_unanswered_but_connects") << 2 << silent << Events{escape, host(10, "ATDNE2\r" + FC)} << QByteArray("+++" + FC) << QByteArray() << false;
    QTest::newRow("silent_returns_to_transparent_on_time_out") << 2 << silent << Events{escape, host(kTimeout, FC)} << QByteArray("+++" + FC) << QByteArray() << false;
    QTest::newRow("error_escape_answers_ERROR") << 2 << errors << Events{escape} << QByteArray("+++") << QByteArray("ERROR") << true;
    QTest::newRow("error_own_node_answers_ERROR") << 2 << errors << Events{escape, host(10, "ATDNE2\r")} << QByteArray("+++") << QByteArray("ERRORERROR") << false;
    QTest::newRow("error_plain_AT_answers_ERROR") << 1 << errors << Events{escape, host(10, "AT\r")} << QByteArray("+++") << QByteArray("ERRORERROR") << true;
    QTest::newRow("error_data_still_passes") << 2 << errors << Events{host(0, FC + "TOG"), monitor(10, FC)} << QByteArray(FC + "TOG") << QByteArray(FC) << false;
}

void TestRadioDongle::replyFaults_changeAnswersNotModes()
{
    run();
}

QTEST_GUILESS_MAIN(TestRadioDongle)
#include "tst_radio_dongle.moc"
