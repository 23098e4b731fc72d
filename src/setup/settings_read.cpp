#include "settings_read.h"

#include "setup_logging.h"

namespace {

constexpr int kWordPauseMs = 10;
constexpr int kBlockArrivalMs = 100;

// The dots, the blanks inside the quotes and "Error # 33" are kept as users know them: see
// docs/compatibility.md
const QString kTurningOff = QStringLiteral("Realtime is ON...... Now turning it off.");
const QString kNoResponse =
    QStringLiteral("Unsuccessful in receiving response from Orvo-88. Try again.");
const QString kNoSetResponse = QStringLiteral("No response from \" SET \" command. Try again.");
const QString kNoRcvResponse = QStringLiteral("No response from \" RCV \" command. Try again.");
const QString kCouldNotRead = QStringLiteral("Could not read settings... Try again.");
const QString kWrongCount = QStringLiteral("Error # 33");
// Kept as users know it: see docs/compatibility.md
const QString kRead = QStringLiteral("Settings have been read successfuly");
// Kept as users know it: see docs/compatibility.md
const QString kComProblem = QStringLiteral(
    "A problem occured with the COM port. Correct the problem and try again.");
const QString kStatusOk = QStringLiteral("OK");
const QString kStatusNoMonitor = QStringLiteral("No response from monitor.");

} // namespace

SettingsRead::Request SettingsRead::requestBlock(SetupExchange &exchange)
{
    exchange.stopRealTimeIfOn(kTurningOff);
    exchange.drain();
    Ack ack = exchange.attentionTwice();
    if (ack == Ack::Missing) {
        exchange.clearLog();
        exchange.log(kNoResponse);
    }
    if (ack == Ack::Received) {
        exchange.pause(kWordPauseMs);
        ack = exchange.word("SET");
        if (ack == Ack::Missing)
            exchange.log(kNoSetResponse);
    }
    if (ack == Ack::Received) {
        exchange.pause(kWordPauseMs);
        ack = exchange.word("RCV");
        if (ack == Ack::Missing)
            exchange.log(kNoRcvResponse);
    }
    if (ack != Ack::Received)
        return ack == Ack::Fault ? Request::Fault : Request::NotRead;
    exchange.pause(kBlockArrivalMs);
    exchange.showRealTimeStopped();
    if (!exchange.portOpen())
        return Request::Fault;
    qCInfo(lcSetup) << "settings block requested;" << exchange.bytesWaiting() << "bytes waiting";
    // More than the block means something else is mixed in: not to be trusted.
    return exchange.bytesWaiting() == SettingsTexts::kBlockSize ? Request::BlockWaiting
                                                                : Request::NotRead;
}

bool SettingsRead::readSettings()
{
    SetupExchange exchange(context_);
    const bool waiting = requestBlock(exchange) == Request::BlockWaiting;
    if (!waiting)
        exchange.setCommandInProgress(false);
    return waiting;
}

SettingsRead::Outcome SettingsRead::readBlock(SetupExchange &exchange, Drain drain,
                                              SettingsTexts &texts)
{
    switch (requestBlock(exchange)) {
    case Request::BlockWaiting:
        break;
    case Request::NotRead:
        return Outcome::NotRead;
    case Request::Fault:
        return Outcome::Fault;
    }
    // Events handled here may bring a straggler after the block (the block is then not to be
    // trusted) or close the port. No event runs from the count to the last read, so no read
    // goes past what is waiting.
    exchange.pause(0);
    if (!exchange.portOpen())
        return Outcome::Fault;
    if (exchange.bytesWaiting() != SettingsTexts::kBlockSize)
        qCInfo(lcSetup) << "settings block:" << exchange.bytesWaiting() << "bytes instead of"
                        << SettingsTexts::kBlockSize;
    if (exchange.bytesWaiting() != SettingsTexts::kBlockSize)
        return Outcome::WrongCount;
    QByteArray block;
    for (int i = 0; i < SettingsTexts::kBytesRead; ++i)
        block += char(exchange.readByte());
    if (drain == Drain::SetupHandshake)
        exchange.attention();
    else if (MonitorLink *link = exchange.link())
        link->handshake();
    texts = SettingsTexts::fromBlock(block);
    qCDebug(lcSetup) << "settings block" << block.toHex(' ');
    exchange.setCommandInProgress(false);
    return Outcome::Read;
}

std::optional<SettingsTexts> SettingsRead::readSettingsForWindow()
{
    SetupExchange exchange(context_);
    // Nothing was suspended: restoring would act on what an earlier command left behind.
    if (!exchange.suspend())
        return std::nullopt;
    exchange.clearLog();
    std::optional<SettingsTexts> result;
    SettingsTexts texts;
    switch (readBlock(exchange, Drain::SetupHandshake, texts)) {
    case Outcome::Read:
        exchange.clearLog();
        exchange.log(kRead);
        result = texts;
        break;
    case Outcome::NotRead:
        exchange.log(kCouldNotRead);
        break;
    case Outcome::WrongCount:
        exchange.log(kWrongCount);
        break;
    case Outcome::Fault:
        exchange.log(kComProblem);
        break;
    }
    exchange.restore();
    return result;
}

ServerSettingsRead SettingsRead::readSettingsForServer()
{
    SetupExchange exchange(context_);
    ServerSettingsRead result;
    if (!exchange.suspend()) {
        result.status = kStatusNoMonitor;
        return result; // nothing to restore, as for the window's read
    }
    switch (readBlock(exchange, Drain::MainHandshake, result.texts)) {
    case Outcome::Read:
        result.status = kStatusOk;
        break;
    case Outcome::NotRead:
        result.status = kCouldNotRead;
        break;
    case Outcome::WrongCount:
        result.status = kWrongCount;
        break;
    case Outcome::Fault:
        break;
    }
    exchange.restore();
    return result;
}
