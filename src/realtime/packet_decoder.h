#pragma once

#include "decoder_state.h"
#include "live_reading.h"
#include "packet_plausibility.h"
#include "packet_layout.h"

#include <QtGlobal>

#include <array>
#include <functional>
#include <vector>

class Clock;
class StatusLines;

// Turns the bytes that follow a packet header into the LiveReading. The receiver finds the
// header and calls startPacket(); every later byte goes to takePacketByte() until inPacket()
// turns false. All arithmetic of a packet happens at its check byte (byte 40); the other bytes
// cost a store and an addition.
//
// Seams for parts built elsewhere:
//  - onPacketByte runs for every byte handed over after a header, before it is looked at. The
//    data-flow watchdog sets its idle tick count to 0 there. Bytes of a body taken together
//    (takeBody) run it together, before the packet is checked. It runs in the middle of a
//    packet and must not start a command exchange or close the port: the receiver looks at
//    those once per packet body, not before each of its bytes.
//  - onPacketDecoded runs once after each packet has updated the LiveReading (while inPacket()
//    is still true). Web posting hooks its trigger there; it may process events.
//  - addDecodedListener adds a further function that runs after onPacketDecoded, for every
//    part that wants each packet without taking the single seam from another (the live
//    readings window, ...). Listeners run in the order added and stay for the decoder's life.
//
// A packet is believed only when it fits the last accepted one (SuspectFilter); a doubtful one
// is held, unseen, until the next packet shows whether it was noise or a real change of the
// monitor's counters. The static counters so never decrease.
class PacketDecoder {
public:
    PacketDecoder(StatusLines &log, const Clock &clock);

    std::function<void()> onPacketByte;
    std::function<void()> onPacketDecoded;
    // Further listeners of a decoded packet, run after onPacketDecoded in the order they were
    // added, for parts that must not take that hook from its user (the MQTT publisher).
    void addDecodedListener(std::function<void()> listener)
    {
        decodedListeners_.push_back(std::move(listener));
    }

    // The header FE FF 01 has been read: collect a new packet body.
    void startPacket();
    bool inPacket() const { return inPacket_; }
    int byteCount() const { return packetByteCount_; }

    // Hands over the next byte while inPacket(). False when the packet has run away (far more
    // bytes than any packet has, without leaving packet mode): packet mode is then dropped and
    // the caller resets the line.
    bool takePacketByte(quint8 b);

    // The next byte belongs to the body, which takeBody() can take.
    bool inBody() const { return inPacket_ && packetByteCount_ < kCheckByte - 1; }
    // Takes the rest of the body from nextByte() (a byte, or -1 when none is waiting); false
    // when the bytes ran out first. onPacketByte runs once for each byte, after the loop: this
    // runs for nearly every byte of the stream, so the loop holds only what a byte needs.
    template <typename NextByte>
    bool takeBody(NextByte &&nextByte);

    // Handles byte b as byte number byteCount() of the packet (already advanced to it). [PolarSubroutine]
    void decodeByte(quint8 b);

    const LiveReading &reading() const { return reading_; }
    int checksumErrorCount() const { return checksumErrorCount_; }
    // The raw power factors of the latest decoded packet, for the diagnostic fields.
    int pfRaw1() const { return pfRaw1_; }
    int pfRaw2() const { return pfRaw2_; }

    // Held packets dropped as noise, also those dropped at shut-down or end of input, and
    // packets that repeat the last accepted second.
    int suspectDroppedCount() const { return filter_.droppedCount(); }
    bool holdingPacket() const { return filter_.holding(); }
    // Shut-down or end of input: a held packet is dropped. The saved state never includes it.
    void dropHeldPacket() { filter_.dropHeld(); }
    // For captures without arrival times: the seconds counter may advance by at most this
    // many seconds between packets, instead of the time elapsed plus a minute.
    void setFixedSecondsAllowance(std::optional<qint64> seconds)
    {
        filter_.setFixedAllowance(seconds);
    }

    // The counters of the last accepted packet and the offsets; a held packet is not included.
    DecoderState persistedState() const;
    void restoreState(const DecoderState &state);
    // Sets the four pre-reset offsets to 0 ("Reset Static Pre-Reset Values"): the static
    // counters then start again from the monitor's own counters.
    void clearPreResets() { preResets_ = CounterSet{}; }

private:
    // Bytes after the header are numbered from 1; the check byte is the last of them.
    static constexpr int kCheckByte = packet::kCheckOffset - packet::kBodyOffset + 1;
    static constexpr int kRunawayCount = 121;

    void collectBodyByte(int n, quint8 b);
    void checkAndDecode(quint8 checkByte);
    void decodePacket();
    PacketSample readSample() const;
    bool consider(const PacketSample &p);
    void take(const PacketSample &p, plausibility::Carry carry);
    void reportWrap();
    void takeCounters(const PacketSample &p);
    void takeVoltsAndPowerFactors(const PacketSample &p);
    void computePowerAndCurrent(bool fromZero1, bool fromZero2);

    // Fields are read by their offset in the packet (packet_layout.h).
    quint8 byteAt(int offset) const { return packetBuf_[offset]; }
    double counterAt(int offset) const;
    int wordAt(int offset) const;

    StatusLines &log_;
    const Clock &clock_;
    LiveReading reading_;

    bool inPacket_ = false;
    int packetByteCount_ = 0;
    std::array<quint8, packet::kSize> packetBuf_{}; // the packet by offset; the header is not stored
    int packetChecksum_ = 0;
    int checksumErrorCount_ = 0;
    int pfRaw1_ = 0;
    int pfRaw2_ = 0;

    std::vector<std::function<void()>> decodedListeners_;
    SuspectFilter filter_;       // the last accepted packet and a held one
    CounterSet preResets_;       // offsets collected at monitor resets, per counter
};

template <typename NextByte>
bool PacketDecoder::takeBody(NextByte &&nextByte)
{
    // Count and sum stay in registers; the running sum drops 256 once it reaches 256.
    const int first = packetByteCount_;
    int n = first;
    int sum = packetChecksum_;
    bool complete = true;
    while (n < kCheckByte - 1) {
        const int b = nextByte();
        if (b < 0) {
            complete = false;
            break;
        }
        packetBuf_[packet::kBodyOffset + n] = static_cast<quint8>(b);
        ++n;
        sum += b;
        if (sum >= 256)
            sum -= 256;
    }
    packetByteCount_ = n;
    packetChecksum_ = sum;
    if (onPacketByte) {
        for (int i = first; i < n; ++i)
            onPacketByte();
    }
    return complete;
}
