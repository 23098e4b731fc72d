#include "packet_receiver.h"

#include "byte_waits.h"
#include "link_flags.h"
#include "packet_decoder.h"
#include "realtime_logging.h"
#include "packet_layout.h"
#include "serial_port.h"
#include "status_lines.h"

namespace {

constexpr int kHeader1 = packet::kHeader[0];
constexpr int kHeader2 = packet::kHeader[1];
constexpr int kHeader3 = packet::kHeader[2];
constexpr int kHeaderByteWaitSeconds = 2;

} // namespace

PacketReceiver::PacketReceiver(SerialPort &port, Clock &clock, const LinkFlags &flags,
                               PacketDecoder &decoder, StatusLines &log, QObject *parent)
    : QObject(parent), port_(port), clock_(clock), flags_(flags), decoder_(decoder), log_(log)
{
    connect(&port_, &SerialPort::readyRead, this, &PacketReceiver::receiveAvailable);
}

void PacketReceiver::receiveAvailable()
{
    if (handling_)
        return; // the handler already running reads this byte in its turn
    handling_ = true;
    // The flags and the port are looked at again after every step that may run a callback of
    // the decoder, which may have started a command exchange or closed the port meanwhile. The
    // bytes of a body run none that may (PacketDecoder::onPacketByte), so a body goes to the
    // decoder in one step. readByte() tells an empty buffer itself (-1): a byte costs one call.
    SerialPort &port = port_;
    while (!flags_.commandInProgress && port_.isOpen()) {
        if (decoder_.inBody()) {
            if (!decoder_.takeBody([&port] { return port.readByte(); }))
                break;
            continue;
        }
        const int b = port_.readByte();
        if (b < 0)
            break;
        if (!decoder_.inPacket())
            searchHeader(static_cast<quint8>(b));
        else if (!decoder_.takePacketByte(static_cast<quint8>(b)))
            restartLine();
    }
    handling_ = false;
}

void PacketReceiver::restartLine()
{
    if (!reopenPort_)
        return;
    qCInfo(lcRealTime) << "reopening the port to start the line afresh";
    // No packet is this long: the line is out of step, so start it afresh.
    reopenPort_();
}

void PacketReceiver::searchHeader(quint8 b)
{
    ++headerSearchBytes_;
    if (b != kHeader1)
        return;
    int next = 0;
    if (!readHeaderByte(next) || next != kHeader2)
        return;
    if (!readHeaderByte(next) || next != kHeader3)
        return;
    logHeaderFound();
    decoder_.startPacket();
}

bool PacketReceiver::readHeaderByte(int &b)
{
    // A byte already waiting, as in a stream in step, needs no deadline.
    b = port_.readByte();
    if (b >= 0) {
        ++headerSearchBytes_;
        return true;
    }
    if (!waitForByteBlocking(port_, SecondDeadline(clock_, kHeaderByteWaitSeconds))) {
        if (port_.isOpen()) // a port that went away is reported by the session, not here
            log_.addLine(QStringLiteral("Time out error"));
        return false;
    }
    b = port_.readByte();
    ++headerSearchBytes_;
    return b >= 0;
}

void PacketReceiver::logHeaderFound()
{
    // A stream in step needs the three header bytes only; anything more was passed over.
    if (headerSearchBytes_ > 3)
        qCInfo(lcRealTime) << "header found after" << headerSearchBytes_ - 3 << "stray bytes";
    headerSearchBytes_ = 0;
}
