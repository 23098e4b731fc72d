#pragma once

#include "decoder_state.h"
#include "live_reading.h"
#include "packet_layout.h"

#include <QtGlobal>

#include <array>
#include <functional>

class Clock;
class StatusLines;

// Turns the bytes that follow a packet header into the LiveReading. The receiver finds the
// header and calls startPacket(); every later byte goes to takePacketByte() until inPacket()
// turns false. All arithmetic of a packet happens at its check byte (byte 40); the other bytes
// cost a store and an addition.
//
// Seams for parts built elsewhere:
//  - onPacketByte runs for every byte handed over after a header, before it is looked at. The
//    data-flow watchdog sets its idle tick count to 0 there.
//  - onPacketDecoded runs once after each packet has updated the LiveReading (while inPacket()
//    is still true). Web posting hooks its trigger there; it may process events.
class PacketDecoder {
public:
    PacketDecoder(StatusLines &log, const Clock &clock);

    std::function<void()> onPacketByte;
    std::function<void()> onPacketDecoded;

    // The header FE FF 01 has been read: collect a new packet body.
    void startPacket();
    bool inPacket() const { return inPacket_; }
    int byteCount() const { return packetByteCount_; }

    // Hands over the next byte while inPacket(). False when the packet has run away (far more
    // bytes than any packet has, without leaving packet mode): packet mode is then dropped and
    // the caller resets the line.
    bool takePacketByte(quint8 b);

    // Handles byte b as byte number byteCount() of the packet (already advanced to it). [PolarSubroutine]
    void decodeByte(quint8 b);

    const LiveReading &reading() const { return reading_; }
    int checksumErrorCount() const { return checksumErrorCount_; }
    // The raw power factors of the latest decoded packet, for the diagnostic fields.
    int pfRaw1() const { return pfRaw1_; }
    int pfRaw2() const { return pfRaw2_; }

    DecoderState persistedState() const;
    void restoreState(const DecoderState &state);

private:
    // Bytes after the header are numbered from 1; the check byte is the last of them.
    static constexpr int kCheckByte = packet::kCheckOffset - packet::kBodyOffset + 1;
    static constexpr int kRunawayCount = 121;

    void collectBodyByte(int n, quint8 b);
    void checkAndDecode(quint8 checkByte);
    void decodePacket();
    void trackMonitorResets();
    bool advanceSecondsCounter();
    void reportWrap();
    void takeCounters();
    void takeVoltsAndPowerFactors();
    void computePowerAndCurrent();

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
    int lastResetCount_ = 0;
    int checksumErrorCount_ = 0;
    bool rolloverPending_ = false;
    bool resetInThisPacket_ = false; // the monitor's counters restarted since the last packet
    int pfRaw1_ = 0;
    int pfRaw2_ = 0;

    double preReset1_ = 0;
    double preReset2_ = 0;
    double preResetP1_ = 0;
    double preResetP2_ = 0;
};
