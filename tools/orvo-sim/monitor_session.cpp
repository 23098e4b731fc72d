#include "monitor_session.h"

#include "sim_log.h"

namespace {

// Longer than any pause the host makes between the words of one exchange.
constexpr int kExchangeTimeoutMs = 3000;

} // namespace

MonitorSession::MonitorSession(PtyDevice &line, MonitorProtocol &protocol, PacketStream &stream,
                               RadioDongle *radio, QObject *parent)
    : QObject(parent)
    , line_(line)
    , protocol_(protocol)
    , stream_(stream)
    , radio_(radio)
{
    radioClock_.start();
    exchangeTimeout_.setSingleShot(true);
    exchangeTimeout_.setInterval(kExchangeTimeoutMs);
    connect(&exchangeTimeout_, &QTimer::timeout, this, &MonitorSession::onExchangeTimeout);
    connect(&line_, &PtyDevice::bytesReceived, this, &MonitorSession::onBytes);
    connect(&stream_, &PacketStream::packetReady, this, &MonitorSession::sendFromMonitor);
    connect(&stream_, &PacketStream::packetReady, this, &MonitorSession::countPacket);
}

void MonitorSession::countPacket()
{
    if (restartAfter_ <= 0 || ++packetsSent_ != restartAfter_)
        return;
    qCInfo(lcSim) << "power lost after" << packetsSent_ << "packets; back, not streaming";
    protocol_.abandonExchange();
    protocol_.setStreaming(false);
    updateStream();
}

void MonitorSession::startStreaming()
{
    protocol_.setStreaming(true);
    updateStream();
}

void MonitorSession::onBytes(const QByteArray &bytes)
{
    qCDebug(lcSim).noquote() << "received" << bytes.toHex(' ');
    const QByteArray forMonitor = passThroughRadio(bytes);
    if (forMonitor.isEmpty())
        return;
    const QByteArray reply = protocol_.receive(forMonitor);
    if (!reply.isEmpty()) {
        // Also an exchange that opened and closed within these bytes keeps the next packet
        // off its answer.
        heldForExchange_ = heldForExchange_ || stream_.isRunning();
        stream_.stop();
    }
    sendFromMonitor(reply);
    if (protocol_.inExchange())
        exchangeTimeout_.start();
    else
        exchangeTimeout_.stop();
    updateStream();
}

// The dongle answers its own commands at once; what remains is the monitor's.
QByteArray MonitorSession::passThroughRadio(const QByteArray &bytes)
{
    if (!radio_)
        return bytes;
    const qint64 now = radioClock_.elapsed();
    const bool wasInCommandMode = radio_->inCommandMode(now);
    RadioDongle::HostBytesResult result = radio_->receiveFromHost(bytes, now);
    if (!result.toHost.isEmpty()) {
        qCInfo(lcSim).noquote() << "radio" << radio_->nodeName() << "answers" << result.toHost;
        line_.write(result.toHost);
    }
    const bool inCommandMode = radio_->inCommandMode(now);
    if (inCommandMode != wasInCommandMode)
        qCInfo(lcSim).noquote() << "radio" << radio_->nodeName()
                                << (inCommandMode ? "in command mode" : "transparent");
    return result.toMonitor;
}

void MonitorSession::sendFromMonitor(const QByteArray &bytes)
{
    const QByteArray toHost = radio_ ? radio_->receiveFromMonitor(bytes, radioClock_.elapsed()) : bytes;
    if (!toHost.isEmpty())
        line_.write(toHost);
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
    if (protocol_.isStreaming() && !protocol_.inExchange()) {
        if (heldForExchange_)
            stream_.resume();
        else
            stream_.start();
        heldForExchange_ = false;
    } else {
        heldForExchange_ = protocol_.isStreaming() && (heldForExchange_ || stream_.isRunning());
        stream_.stop();
    }
}
