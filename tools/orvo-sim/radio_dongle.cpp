#include "radio_dongle.h"

#include <utility>

namespace {

constexpr char kEscapeChar = '+';
constexpr int kEscapeLength = 3;
constexpr char kCommandEnd = '\r';

} // namespace

RadioDongle::RadioDongle(int version, RadioReplies replies)
    : version_(version)
    , replies_(replies)
{
}

QByteArray RadioDongle::nodeName() const
{
    return "E" + QByteArray::number(version_);
}

bool RadioDongle::inCommandMode(qint64 nowMs) const
{
    return mode_ == Mode::Command && nowMs < commandModeEndsMs_;
}

RadioDongle::HostBytesResult RadioDongle::receiveFromHost(QByteArrayView bytes, qint64 nowMs)
{
    HostBytesResult result;
    leaveExpiredCommandMode(nowMs);
    for (const char byte : bytes) {
        if (mode_ == Mode::Command) {
            commandModeEndsMs_ = nowMs + kCommandModeTimeoutMs;
            receiveCommandByte(byte, result.toHost);
        } else {
            receiveTransparentByte(byte, nowMs, result);
        }
        lastHostByteMs_ = nowMs;
    }
    return result;
}

QByteArray RadioDongle::receiveFromMonitor(QByteArrayView bytes, qint64 nowMs)
{
    leaveExpiredCommandMode(nowMs);
    return mode_ == Mode::Command ? QByteArray() : bytes.toByteArray();
}

void RadioDongle::leaveExpiredCommandMode(qint64 nowMs)
{
    if (mode_ == Mode::Command && !inCommandMode(nowMs)) {
        mode_ = Mode::Transparent;
        commandLine_.clear();
    }
}

void RadioDongle::receiveTransparentByte(char byte, qint64 nowMs, HostBytesResult &result)
{
    // The escape's own bytes go on to the monitor as well: until the third '+' nobody can
    // tell them from data, and holding them back would stall a host waiting for an answer.
    result.toMonitor += byte;
    if (!completesEscape(byte, nowMs))
        return;
    mode_ = Mode::Command;
    commandModeEndsMs_ = nowMs + kCommandModeTimeoutMs;
    commandLine_.clear();
    result.toHost += reply(true);
}

bool RadioDongle::completesEscape(char byte, qint64 nowMs)
{
    const bool hostWasQuiet = !lastHostByteMs_ || nowMs - *lastHostByteMs_ >= kEscapeGuardMs;
    if (byte != kEscapeChar)
        escapePluses_ = 0;
    else if (escapePluses_ > 0 && nowMs - firstPlusMs_ <= kEscapeWindowMs)
        ++escapePluses_;
    else if (hostWasQuiet) {
        escapePluses_ = 1;
        firstPlusMs_ = nowMs;
    } else {
        escapePluses_ = 0;
    }
    if (escapePluses_ < kEscapeLength)
        return false;
    escapePluses_ = 0;
    return true;
}

void RadioDongle::receiveCommandByte(char byte, QByteArray &reply)
{
    if (byte != kCommandEnd) {
        commandLine_ += byte;
        if (commandLine_.size() > kMaxCommandLength)
            commandLine_.remove(0, commandLine_.size() - kMaxCommandLength);
        return;
    }
    const QByteArray line = std::exchange(commandLine_, {});
    reply += executeCommand(line);
}

QByteArray RadioDongle::executeCommand(QByteArrayView line)
{
    const QByteArray upper = line.toByteArray().toUpper();
    const qsizetype at = upper.lastIndexOf("AT");
    if (at < 0)
        return {};
    const QByteArray command = upper.mid(at).trimmed();
    if (command.startsWith("ATDN")) {
        mode_ = Mode::Transparent;
        return reply(command == "ATDN" + nodeName());
    }
    if (command == "ATCN") {
        mode_ = Mode::Transparent;
        return reply(true);
    }
    return reply(command == "AT");
}

QByteArray RadioDongle::reply(bool success) const
{
    switch (replies_) {
    case RadioReplies::Silent:
        return {};
    case RadioReplies::Errors:
        return "ERROR";
    case RadioReplies::Normal:
        break;
    }
    return success ? "OK" : "ERROR";
}
