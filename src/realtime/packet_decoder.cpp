#include "packet_decoder.h"

#include "clock.h"
#include "packet_layout.h"
#include "status_lines.h"

#include <cmath>

namespace {

// A power factor that has never been sent is 0, and a dead line reads 0 V: the current is then
// unknown, and 0 A is shown instead of an infinite or undefined figure.
float currentOf(double watts, float powerFactor, double volts)
{
    if (powerFactor == 0 || volts == 0)
        return 0;
    return static_cast<float>(watts / powerFactor / volts);
}

} // namespace

PacketDecoder::PacketDecoder(StatusLines &log, const Clock &clock) : log_(log), clock_(clock) {}

void PacketDecoder::startPacket()
{
    packetByteCount_ = 0;
    inPacket_ = true;
    packetChecksum_ = packet::kChecksumStart;
}

bool PacketDecoder::takePacketByte(quint8 b)
{
    if (packetByteCount_ >= kRunawayCount) {
        packetByteCount_ = 0;
        inPacket_ = false;
        return false;
    }
    ++packetByteCount_;
    decodeByte(b);
    return true;
}

void PacketDecoder::decodeByte(quint8 b)
{
    if (onPacketByte)
        onPacketByte();
    const int n = packetByteCount_;
    if (n < kCheckByte)
        collectBodyByte(n, b);
    else if (n > kCheckByte)
        inPacket_ = false; // the byte after a packet that stayed open ends packet mode
    else
        checkAndDecode(b);
}

void PacketDecoder::collectBodyByte(int n, quint8 b)
{
    packetBuf_[packet::kBodyOffset + n - 1] = b;
    packetChecksum_ += b;
    if (packetChecksum_ >= 256)
        packetChecksum_ -= 256;
}

void PacketDecoder::checkAndDecode(quint8 checkByte)
{
    if (checkByte != packetChecksum_) {
        ++checksumErrorCount_;
        inPacket_ = false;
        packetByteCount_ = 0;
        return;
    }
    if (byteAt(packet::kTrailer1Offset) != packet::kTrailer1) {
        log_.addLine(QStringLiteral("FF error"));
        inPacket_ = false;
        return;
    }
    if (byteAt(packet::kTrailer2Offset) != packet::kTrailer2) {
        log_.addLine(QStringLiteral("FE error"));
        inPacket_ = false;
        return;
    }
    decodePacket();
}

void PacketDecoder::decodePacket()
{
    trackMonitorResets();
    if (!advanceSecondsCounter())
        return; // packet mode stays on, as the seconds rules require
    takeCounters();
    takeVoltsAndPowerFactors();
    computePowerAndCurrent();
    reading_.kwh1 = reading_.ws1 / 3600 * 0.001;
    reading_.kwh2 = reading_.ws2 / 3600 * 0.001;
    if (onPacketDecoded)
        onPacketDecoded();
    inPacket_ = false;
}

void PacketDecoder::trackMonitorResets()
{
    const int resetCount = byteAt(packet::kResetCountOffset) & packet::kResetCountMask;
    resetInThisPacket_ = false;
    if (resetCount == lastResetCount_)
        return;
    const int expected = lastResetCount_ == 7 ? 0 : lastResetCount_ + 1;
    if (resetCount == expected) {
        // The monitor restarted its counters from zero: what it had counted before joins the
        // offsets, so the static counters go on from where they were, reset after reset.
        preReset1_ += reading_.lastWs1;
        preReset2_ += reading_.lastWs2;
        resetInThisPacket_ = true;
    }
    lastResetCount_ = resetCount;
}

bool PacketDecoder::advanceSecondsCounter()
{
    LiveReading &r = reading_;
    r.lastSeconds = r.seconds;
    r.seconds = byteAt(packet::kSecondsOffset) | byteAt(packet::kSecondsOffset + 1) << 8
                | byteAt(packet::kSecondsTopOffset) << 16;
    if (byteAt(packet::kSecondsTopOffset) == 255)
        rolloverPending_ = true;

    if (r.seconds == r.lastSeconds)
        return false;
    if (r.seconds > r.lastSeconds) {
        // 64-bit so that a corrupt stored counter cannot overflow the subtraction
        r.secondsDelta = static_cast<qint32>(qint64(r.seconds) - r.lastSeconds);
        return true;
    }
    if (byteAt(packet::kSecondsTopOffset) != 0 || !rolloverPending_) {
        log_.addLine(QStringLiteral("A seconds counter error has occured!"));
        packetByteCount_ = 0;
        return false;
    }
    r.secondsDelta = static_cast<qint32>(qint64(r.seconds) + packet::kSecondsModulus - r.lastSeconds);
    rolloverPending_ = false;
    reportWrap();
    return true;
}

void PacketDecoder::reportWrap()
{
    log_.addLine(QStringLiteral(
        "Error.... Last second counter value is greater than the current value."));
    log_.addLine(QStringLiteral("Last counter = %1   Current counter = %2")
                     .arg(reading_.lastSeconds)
                     .arg(reading_.seconds));
    log_.addLine(clock_.now().toString(QStringLiteral("MM,dd,yyyy hh:mm")));
}

void PacketDecoder::takeCounters()
{
    LiveReading &r = reading_;
    r.ws1 = counterAt(packet::kWs1Offset);
    r.ws2 = counterAt(packet::kWs2Offset);
    r.ws1Polar = counterAt(packet::kWs1PolarOffset);
    r.ws2Polar = counterAt(packet::kWs2PolarOffset);
    r.ws1Static = r.ws1 + preReset1_;
    r.ws2Static = r.ws2 + preReset2_;
    r.ws1PolarStatic = r.ws1Polar + preResetP1_;
    r.ws2PolarStatic = r.ws2Polar + preResetP2_;
}

void PacketDecoder::takeVoltsAndPowerFactors()
{
    reading_.volts = (256 * byteAt(packet::kVoltsOffset) + byteAt(packet::kVoltsOffset + 1)) * 0.1;
    pfRaw1_ = wordAt(packet::kPf1Offset);
    pfRaw2_ = wordAt(packet::kPf2Offset);
    // Small raw values are what the monitor sends while it has no valid figure yet.
    if (pfRaw1_ > 255)
        reading_.pf1 = static_cast<float>(pfRaw1_ / 65536.0);
    if (pfRaw2_ > 255)
        reading_.pf2 = static_cast<float>(pfRaw2_ / 65536.0);
}

void PacketDecoder::computePowerAndCurrent()
{
    LiveReading &r = reading_;
    // Counters that restarted from zero since the last packet hold what was counted since the
    // reset; measured against the old counters they would give a huge negative power.
    const double base1 = resetInThisPacket_ ? 0 : r.lastWs1;
    const double base2 = resetInThisPacket_ ? 0 : r.lastWs2;
    r.watts1 = std::floor((r.ws1 - base1) / r.secondsDelta);
    r.watts2 = std::floor((r.ws2 - base2) / r.secondsDelta);
    r.amps1 = currentOf(r.watts1, r.pf1, r.volts);
    r.amps2 = currentOf(r.watts2, r.pf2, r.volts);
    r.lastWs1 = r.ws1;
    r.lastWs2 = r.ws2;
}

double PacketDecoder::counterAt(int offset) const
{
    double value = 0;
    double weight = 1;
    for (int i = 0; i < packet::kCounterSize; ++i) {
        value += byteAt(offset + i) * weight;
        weight *= 256;
    }
    return value;
}

int PacketDecoder::wordAt(int offset) const
{
    return byteAt(offset) + 256 * byteAt(offset + 1);
}

DecoderState PacketDecoder::persistedState() const
{
    DecoderState s;
    s.preReset1 = preReset1_;
    s.preReset2 = preReset2_;
    s.preResetP1 = preResetP1_;
    s.preResetP2 = preResetP2_;
    s.lastWs1 = reading_.lastWs1;
    s.lastWs2 = reading_.lastWs2;
    s.lastResetCount = lastResetCount_;
    s.seconds = reading_.seconds;
    return s;
}

void PacketDecoder::restoreState(const DecoderState &s)
{
    preReset1_ = s.preReset1;
    preReset2_ = s.preReset2;
    preResetP1_ = s.preResetP1;
    preResetP2_ = s.preResetP2;
    reading_.lastWs1 = s.lastWs1;
    reading_.lastWs2 = s.lastWs2;
    lastResetCount_ = s.lastResetCount;
    reading_.seconds = s.seconds;
}
