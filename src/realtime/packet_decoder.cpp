#include "packet_decoder.h"

#include "clock.h"
#include "packet_layout.h"
#include "realtime_logging.h"
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
        qCInfo(lcRealTime) << "packet longer than" << kRunawayCount << "bytes: line out of step";
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
        qCInfo(lcRealTime) << "checksum error: sum" << packetChecksum_ << "check byte"
                           << int(checkByte) << "errors so far" << checksumErrorCount_;
        inPacket_ = false;
        packetByteCount_ = 0;
        return;
    }
    if (byteAt(packet::kTrailer1Offset) != packet::kTrailer1
        || byteAt(packet::kTrailer2Offset) != packet::kTrailer2)
        qCInfo(lcRealTime) << "bad trailer" << int(byteAt(packet::kTrailer1Offset))
                           << int(byteAt(packet::kTrailer2Offset));
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
    const PacketSample p = readSample();
    if (p.seconds == filter_.reference().seconds) {
        // The packet repeats the last accepted second: nothing is decoded, and it is counted
        // as dropped. Packet mode ends here: kept on, it would take the next header's first
        // byte and so lose the packet after the repeat as well, uncounted.
        qCDebug(lcRealTime) << "seconds counter unchanged at" << p.seconds << ": packet skipped";
        reading_.lastSeconds = reading_.seconds;
        filter_.dropRepeat(p);
        inPacket_ = false;
        return;
    }
    const bool backwards = !plausibility::secondsAdvance(filter_.reference(), p);
    if (!consider(p) && backwards) {
        qCInfo(lcRealTime) << "seconds counter went back from" << filter_.reference().seconds
                           << "to" << p.seconds;
        // "occured" is kept as users know it: see docs/compatibility.md
        log_.addLine(QStringLiteral("A seconds counter error has occured!"));
        packetByteCount_ = 0; // packet mode stays on: the next bytes are taken as a body
        return;
    }
    inPacket_ = false;
}

PacketSample PacketDecoder::readSample() const
{
    PacketSample p;
    p.counters = CounterSet{counterAt(packet::kWs1Offset), counterAt(packet::kWs2Offset),
                            counterAt(packet::kWs1PolarOffset), counterAt(packet::kWs2PolarOffset)};
    p.volts = (256 * byteAt(packet::kVoltsOffset) + byteAt(packet::kVoltsOffset + 1)) * 0.1;
    p.seconds = byteAt(packet::kSecondsOffset) | byteAt(packet::kSecondsOffset + 1) << 8
                | byteAt(packet::kSecondsTopOffset) << 16;
    p.secondsTopByte = byteAt(packet::kSecondsTopOffset);
    p.resetCount = byteAt(packet::kResetCountOffset) & packet::kResetCountMask;
    p.pfRaw1 = wordAt(packet::kPf1Offset);
    p.pfRaw2 = wordAt(packet::kPf2Offset);
    p.arrivalMs = clock_.monotonicMs(); // no local time here: that would cost a system call
    return p;
}

// True when p was taken (it may have been held instead).
bool PacketDecoder::consider(const PacketSample &p)
{
    using Verdict = SuspectFilter::Verdict;
    switch (filter_.judge(p)) {
    case Verdict::Accept:
        take(p, plausibility::Carry::None);
        return true;
    case Verdict::AcceptReset:
        // The monitor restarted its counters from zero: what it had counted before joins the
        // offsets, so the static counters go on from where they were, reset after reset.
        qCInfo(lcRealTime) << "monitor reset its counters; reset count now" << p.resetCount;
        take(p, plausibility::Carry::All);
        return true;
    case Verdict::TakeHeldFirst:
        // The held packet was confirmed by this one: the monitor's counters really changed.
        take(filter_.takeHeld(), plausibility::Carry::Fallen);
        return consider(p);
    case Verdict::Hold:
        break;
    }
    return false;
}

void PacketDecoder::take(const PacketSample &p, plausibility::Carry carry)
{
    const FitReference &ref = filter_.reference();
    const std::optional<qint64> advance = plausibility::secondsAdvance(ref, p);
    const bool wrapped = advance && p.seconds < ref.seconds;
    const auto fromZero = plausibility::carryForward(preResets_, ref.counters, p.counters, carry);

    LiveReading &r = reading_;
    r.lastSeconds = r.seconds;
    r.seconds = p.seconds;
    // A held packet whose seconds went backwards came from a monitor that restarted its
    // seconds counter too: its own count is the time since then.
    r.secondsDelta = advance && *advance > 0 ? static_cast<qint32>(*advance) : qMax(1, p.seconds);
    if (wrapped) {
        qCInfo(lcRealTime) << "seconds counter wrapped from" << r.lastSeconds << "to" << r.seconds;
        reportWrap();
    }
    takeCounters(p);
    takeVoltsAndPowerFactors(p);
    computePowerAndCurrent(fromZero[0], fromZero[1]);
    r.kwh1 = r.ws1 / 3600 * 0.001;
    r.kwh2 = r.ws2 / 3600 * 0.001;
    filter_.accepted(p, wrapped);
    qCDebug(lcRealTime) << "packet: seconds" << r.seconds << "volts" << r.volts << "watts"
                        << r.watts1 << r.watts2;
    if (onPacketDecoded)
        onPacketDecoded();
    // By index: a listener may add another while it runs.
    for (std::size_t i = 0; i < decodedListeners_.size(); ++i)
        decodedListeners_[i]();
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

void PacketDecoder::takeCounters(const PacketSample &p)
{
    LiveReading &r = reading_;
    r.ws1 = p.counters.ws1;
    r.ws2 = p.counters.ws2;
    r.ws1Polar = p.counters.ws1Polar;
    r.ws2Polar = p.counters.ws2Polar;
    r.ws1Static = r.ws1 + preResets_.ws1;
    r.ws2Static = r.ws2 + preResets_.ws2;
    r.ws1PolarStatic = r.ws1Polar + preResets_.ws1Polar;
    r.ws2PolarStatic = r.ws2Polar + preResets_.ws2Polar;
}

void PacketDecoder::takeVoltsAndPowerFactors(const PacketSample &p)
{
    reading_.volts = p.volts;
    pfRaw1_ = p.pfRaw1;
    pfRaw2_ = p.pfRaw2;
    // Small raw values are what the monitor sends while it has no valid figure yet.
    if (pfRaw1_ > 255)
        reading_.pf1 = static_cast<float>(pfRaw1_ / 65536.0);
    if (pfRaw2_ > 255)
        reading_.pf2 = static_cast<float>(pfRaw2_ / 65536.0);
}

void PacketDecoder::computePowerAndCurrent(bool fromZero1, bool fromZero2)
{
    LiveReading &r = reading_;
    // Counters that restarted from zero since the last packet hold what was counted since the
    // restart; measured against the old counters they would give a huge negative power.
    const double base1 = fromZero1 ? 0 : r.lastWs1;
    const double base2 = fromZero2 ? 0 : r.lastWs2;
    r.watts1 = std::floor((r.ws1 - base1) / r.secondsDelta);
    r.watts2 = std::floor((r.ws2 - base2) / r.secondsDelta);
    r.amps1 = currentOf(r.watts1, r.pf1, r.volts);
    r.amps2 = currentOf(r.watts2, r.pf2, r.volts);
    r.lastWs1 = r.ws1;
    r.lastWs2 = r.ws2;
}

double PacketDecoder::counterAt(int offset) const
{
    // Least significant byte first; 40 bits are exact in a double.
    static_assert(packet::kCounterSize == 5);
    const quint64 value = quint64(byteAt(offset)) | quint64(byteAt(offset + 1)) << 8
                          | quint64(byteAt(offset + 2)) << 16 | quint64(byteAt(offset + 3)) << 24
                          | quint64(byteAt(offset + 4)) << 32;
    return double(value);
}

int PacketDecoder::wordAt(int offset) const
{
    return byteAt(offset) + 256 * byteAt(offset + 1);
}

DecoderState PacketDecoder::persistedState() const
{
    const FitReference &ref = filter_.reference();
    DecoderState s;
    s.preReset1 = preResets_.ws1;
    s.preReset2 = preResets_.ws2;
    s.preResetP1 = preResets_.ws1Polar;
    s.preResetP2 = preResets_.ws2Polar;
    s.lastWs1 = ref.counters.ws1;
    s.lastWs2 = ref.counters.ws2;
    s.lastWsP1 = ref.counters.ws1Polar;
    s.lastWsP2 = ref.counters.ws2Polar;
    s.lastResetCount = ref.resetCount;
    s.seconds = ref.seconds;
    return s;
}

void PacketDecoder::restoreState(const DecoderState &s)
{
    preResets_ = CounterSet{s.preReset1, s.preReset2, s.preResetP1, s.preResetP2};
    reading_.lastWs1 = s.lastWs1;
    reading_.lastWs2 = s.lastWs2;
    reading_.seconds = s.seconds;
    // A client asking before the first packet is decoded sees the counters where they were,
    // not a fall to zero.
    reading_.ws1Static = s.lastWs1 + s.preReset1;
    reading_.ws2Static = s.lastWs2 + s.preReset2;
    reading_.ws1PolarStatic = s.lastWsP1 + s.preResetP1;
    reading_.ws2PolarStatic = s.lastWsP2 + s.preResetP2;
    FitReference ref;
    ref.counters = CounterSet{s.lastWs1, s.lastWs2, s.lastWsP1, s.lastWsP2};
    ref.seconds = s.seconds;
    ref.resetCount = s.lastResetCount;
    ref.rolloverPending = (s.seconds >> 16) == 255;
    filter_.restore(ref); // no arrival time: only counters and volts are compared
}
