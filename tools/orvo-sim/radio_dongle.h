#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// How the dongle answers in command mode; the last two exercise the program's failure paths.
enum class RadioReplies {
    Normal,  // "OK" to the escape and to its own node, "ERROR" to anything it cannot do
    Silent,  // nothing at all, though it still changes modes as usual
    Errors,  // "ERROR" to the escape and to every command line
};

// What the dongle is, as the command line sets it up.
struct RadioSetup {
    int version = 0; // 0: no dongle, the monitor is on the cable; 1 or 2: node "E1" or "E2"
    RadioReplies replies = RadioReplies::Normal;
};

// A serial radio modem between the host's port and the monitor's radio node, free of any I/O:
// the caller feeds it bytes together with a monotonic time in milliseconds, and it says what
// goes where.
//
// Transparent mode passes bytes both ways untouched. "+++" puts it in command mode when the
// three '+' follow a pause of the host's and each other closely, so the same bytes inside a
// stream of data pass as data. In command mode, lines ending in a carriage return are
// commands: "ATDNE<n>" connects to node "E<n>" ("OK" for its own node, "ERROR" for any other)
// and returns to transparent mode either way; "ATCN" returns too; "AT" answers "OK"; anything
// else "ERROR". Bytes before the last "AT" of a line are ignored, and a line with no "AT" is
// not answered. With nothing from the host for a while it returns to transparent mode by
// itself. Nothing from the monitor reaches the host in command mode: it is dropped, as the
// radio does with what arrives over the air then.
//
// Replies carry no line terminator: the host reads replies two characters at a time, and a
// trailing byte would sit in its receive buffer ahead of the monitor's first acknowledge.
class RadioDongle {
public:
    // Quiet time on the host's side needed before the escape.
    static constexpr qint64 kEscapeGuardMs = 200;
    // All three '+' must arrive within this time of the first.
    static constexpr qint64 kEscapeWindowMs = 1000;
    // Command mode ends after this long with no byte from the host.
    static constexpr qint64 kCommandModeTimeoutMs = 5000;
    // Longest command line kept; a longer one keeps its last bytes.
    static constexpr qsizetype kMaxCommandLength = 32;

    struct HostBytesResult {
        QByteArray toMonitor;
        QByteArray toHost; // the dongle's own replies
    };

    explicit RadioDongle(int version, RadioReplies replies = RadioReplies::Normal);

    HostBytesResult receiveFromHost(QByteArrayView bytes, qint64 nowMs);
    // What of the monitor's bytes reaches the host.
    QByteArray receiveFromMonitor(QByteArrayView bytes, qint64 nowMs);

    bool inCommandMode(qint64 nowMs) const;
    QByteArray nodeName() const;

private:
    enum class Mode { Transparent, Command };

    void leaveExpiredCommandMode(qint64 nowMs);
    void receiveTransparentByte(char byte, qint64 nowMs, HostBytesResult &result);
    bool completesEscape(char byte, qint64 nowMs);
    void receiveCommandByte(char byte, QByteArray &reply);
    QByteArray executeCommand(QByteArrayView line);
    QByteArray reply(bool success) const;

    int version_;
    RadioReplies replies_;
    Mode mode_ = Mode::Transparent;
    qint64 commandModeEndsMs_ = 0;
    std::optional<qint64> lastHostByteMs_; // none before the first byte
    int escapePluses_ = 0;
    qint64 firstPlusMs_ = 0;
    QByteArray commandLine_;
};
