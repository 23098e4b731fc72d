#include "utility_commands.h"

#include "setup_logging.h"

namespace {

constexpr int kSerialNumberBytes = 5;
constexpr int kAnswerSeconds = 2;
constexpr int kAcknowledgeSettleMs = 1000;

// Kept as users know it: see docs/compatibility.md
const QString kComProblem = QStringLiteral(
    "A problem occured with the COM port. Correct the problem and try again.");
const QString kNoAttentionAck = QStringLiteral("Did not receive ACK 1");
const QString kSetAbort = QStringLiteral("Abort SET command");
const QString kSrnAbort = QStringLiteral("Abort SRN command");
const QString kSerialNumberAbort = QStringLiteral("Abort Read Serial Number command");
// "successfuly" and "acknowled" are kept as users know them: see docs/compatibility.md
const QString kSerialNumberUnacknowledged =
    QStringLiteral("Did not successfuly receive acknowled for serial number read.");
const QString kNoResponse = QStringLiteral("No response was received.");
const QString kSuccessful = QStringLiteral("Successful response.");
const QString kImproper = QStringLiteral("Improper response.");
const QString kNoAttentionResponse = QStringLiteral("No response from Acknowledge command");
const QString kNoRequestResponse = QStringLiteral("No response from Request command");
// "successfuly" is kept as users know it: see docs/compatibility.md
const QString kResetDone = QStringLiteral("Orvo has been successfuly reset");
const QString kNotReset = QStringLiteral("Orvo was not reset");
const QString kResetError = QStringLiteral("Reset Error");

} // namespace

std::optional<QString> UtilityCommands::readSerialNumber()
{
    SetupExchange exchange(context_);
    exchange.clearLog();
    if (!exchange.suspend()) {
        exchange.clearLog();
        exchange.log(kComProblem);
        return std::nullopt;
    }
    const std::optional<QString> serialNumber = serialNumberSteps(exchange);
    exchange.restore();
    return serialNumber;
}

std::optional<QString> UtilityCommands::serialNumberSteps(SetupExchange &exchange)
{
    Ack ack = exchange.openSet();
    // Each letter goes out twice (the sender writes a word's first, second and last character)
    // and a missing acknowledgement of one does not stop the others.
    for (const char *letter : {"S", "R", "N"}) {
        if (ack != Ack::Received)
            break;
        if (exchange.logIfMissing(exchange.word(letter), kSrnAbort) == Ack::Fault)
            ack = Ack::Fault;
    }
    if (ack == Ack::Received && !exchange.waitForBytes(kSerialNumberBytes, kAnswerSeconds))
        ack = exchange.logIfMissing(exchange.portOpen() ? Ack::Missing : Ack::Fault,
                                    kSerialNumberAbort);
    if (ack == Ack::Fault)
        exchange.log(kComProblem);
    if (ack != Ack::Received)
        return std::nullopt;
    QString serialNumber = QStringLiteral("0");
    for (int i = 0; i < kSerialNumberBytes; ++i)
        serialNumber += QString::number(exchange.readByte());
    qCInfo(lcSetup).noquote() << "serial number read:" << serialNumber;
    exchange.logIfMissing(exchange.awaitAck(), kSerialNumberUnacknowledged);
    return serialNumber;
}

std::optional<QString> UtilityCommands::sendAcknowledge()
{
    SetupExchange exchange(context_);
    // Nothing was suspended: restoring would act on what an earlier command left behind.
    if (!exchange.suspend())
        return std::nullopt;
    const std::optional<QString> response = acknowledgeSteps(exchange);
    exchange.restore();
    return response;
}

std::optional<QString> UtilityCommands::acknowledgeSteps(SetupExchange &exchange)
{
    // No draining first: whatever is waiting is what the monitor said.
    const bool sent = exchange.write(QByteArray(1, char(MonitorLink::kAttentionByte)));
    exchange.clearLog();
    if (sent)
        exchange.pause(kAcknowledgeSettleMs);
    if (!sent || !exchange.waitForBytes(1, kAnswerSeconds)) {
        exchange.log(exchange.portOpen() ? kNoResponse : kComProblem);
        return std::nullopt;
    }
    const int byte = exchange.readByte();
    qCInfo(lcSetup) << "acknowledge command answered with" << byte;
    exchange.log(QString::number(byte));
    if (byte == MonitorLink::kAttentionByte) {
        exchange.log(kSuccessful);
        return QStringLiteral("Acknowledged");
    }
    exchange.log(kImproper);
    return QStringLiteral("Error");
}

bool UtilityCommands::resetFromWindow()
{
    SetupExchange exchange(context_);
    exchange.clearLog();
    if (!exchange.suspend()) {
        exchange.clearLog();
        exchange.log(kComProblem);
        return false;
    }
    const ResetEnd end = resetSteps(exchange);
    qCInfo(lcSetup) << "reset from the setup window acknowledged:" << (end == ResetEnd::Reset);
    if (end == ResetEnd::Fault)
        exchange.message(kResetError);
    exchange.restore();
    return end == ResetEnd::Reset;
}

UtilityCommands::ResetEnd UtilityCommands::resetSteps(SetupExchange &exchange)
{
    Ack ack = exchange.writeAndAwaitAck(QByteArray(1, char(MonitorLink::kAttentionByte)));
    if (ack == Ack::Missing) {
        exchange.clearLog();
        exchange.log(kNoAttentionResponse);
        return ResetEnd::NotReset;
    }
    if (ack == Ack::Received)
        ack = exchange.logIfMissing(exchange.writeAndAwaitAck("RQS"), kNoRequestResponse);
    if (ack == Ack::Missing)
        return ResetEnd::NotReset;
    if (ack == Ack::Received)
        ack = exchange.writeAndAwaitAck("RST");
    if (ack == Ack::Fault)
        return ResetEnd::Fault;
    if (ack == Ack::Missing) {
        exchange.log(kNotReset);
        return ResetEnd::NotReset;
    }
    exchange.clearLog();
    exchange.log(kResetDone);
    return ResetEnd::Reset;
}
