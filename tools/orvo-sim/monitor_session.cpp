#include "monitor_session.h"

#include "sim_log.h"

namespace {

// Longer than any pause the host makes between the words of one exchange.
constexpr int kExchangeTimeoutMs = 3000;

} // namespace

MonitorSession::MonitorSession(PtyDevice &line, MonitorProtocol &protocol, PacketStream &stream,
                               QObject *parent)
    : QObject(parent)
    , line_(line)
    , protocol_(protocol)
    , stream_(stream)
{
    exchangeTimeout_.setSingleShot(true);
    exchangeTimeout_.setInterval(kExchangeTimeoutMs);
    connect(&exchangeTimeout_, &QTimer::timeout, this, &MonitorSession::onExchangeTimeout);
    connect(&line_, &PtyDevice::bytesReceived, this, &MonitorSession::onBytes);
    connect(&stream_, &PacketStream::packetReady, &line_, &PtyDevice::write);
}

void MonitorSession::startStreaming()
{
    protocol_.setStreaming(true);
    updateStream();
}

void MonitorSession::onBytes(const QByteArray &bytes)
{
    qCDebug(lcSim).noquote() << "received" << bytes.toHex(' ');
    const QByteArray reply = protocol_.receive(bytes);
    if (!reply.isEmpty())
        line_.write(reply);
    if (protocol_.inExchange())
        exchangeTimeout_.start();
    else
        exchangeTimeout_.stop();
    updateStream();
}

void MonitorSession::onExchangeTimeout()
{
    qCInfo(lcSim) << "exchange left unfinished; back to rest";
    protocol_.abandonExchange();
    updateStream();
}

void MonitorSession::updateStream()
{
    if (protocol_.isStreaming() != reportedStreaming_) {
        reportedStreaming_ = protocol_.isStreaming();
        qCInfo(lcSim) << (reportedStreaming_ ? "real-time streaming on" : "real-time streaming off");
    }
    if (protocol_.isStreaming() && !protocol_.inExchange())
        stream_.start();
    else
        stream_.stop();
}
