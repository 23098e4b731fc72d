#include "module_procedures.h"

#include "setup_logging.h"

namespace {

constexpr int kTogglePauseMs = 20;

const QString kToggleFailed = QStringLiteral("Toggle operation failed. Try again");
const QString kStatusOk = QStringLiteral("OK");
const QString kStatusError = QStringLiteral("Error");
const QByteArray kAttention(1, char(MonitorLink::kAttentionByte));

} // namespace

bool ModuleProcedures::togglePolarity(int channel)
{
    SetupExchange exchange(context_);
    exchange.setCommandInProgress(true);
    exchange.drain();
    const QByteArray word = channel == 1 ? "NG1" : channel == 2 ? "NG2" : "";
    for (const QByteArray &bytes : {kAttention, QByteArray("SET"), word}) {
        if (!bytes.isEmpty())
            exchange.write(bytes);
        exchange.pause(kTogglePauseMs);
    }
    const bool answered = exchange.bytesWaiting() > 0;
    qCInfo(lcSetup) << "polarity toggle of channel" << channel << "answered:" << answered;
    // Let go of the port before the message box: nobody may answer it for hours (the server
    // runs this unattended), and the real-time stream must not wait for that.
    exchange.setCommandInProgress(false);
    if (!answered)
        exchange.message(kToggleFailed);
    return answered;
}

QString ModuleProcedures::resetAccumulated()
{
    SetupExchange exchange(context_);
    if (!exchange.suspend())
        return kStatusError;
    bool reset = false;
    if (exchange.writeAndAwaitAck(kAttention) == Ack::Received &&
        exchange.writeAndAwaitAck("RQS") == Ack::Received)
        reset = exchange.writeAndAwaitAck("RST") == Ack::Received;
    qCInfo(lcSetup) << "reset of accumulated data acknowledged:" << reset;
    exchange.restore();
    return reset ? kStatusOk : kStatusError;
}
