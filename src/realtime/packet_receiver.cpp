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
    // The flags and the port are looked at again before every byte: a callback of the decoder
    // may have started a command exchange or closed the port meanwhile.
    while (!flags_.commandInProgress && port_.isOpen() && port_.bytesAvailable() > 0) {
        const int b = port_.readByte();
        if (b < 0)
            break;
        handleByte(static_cast<quint8>(b));
    }
    handling_ = false;
}

void PacketReceiver::handleByte(quint8 b)
{
    if (!decoder_.inPacket()) {
        searchHeader(b);
        return;
    }
    if (!decoder_.takePacketByte(b) && reopenPort_) {
        qCInfo(lcRealTime) << "reopening the port to start the line afresh";
        // No packet is this long: the line is out of step, so start it afresh.
        reopenPort_();
    }
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
