#pragma once

#include "packet_encoder.h"

#include <QByteArray>

// Packets for the receiver and decoder tests, built the way the monitor sends them.
namespace test_packets {

// A packet at the given seconds count whose counters grow with it, so consecutive packets
// give a steady power and can be told apart by their seconds.
inline PacketFields steadyLoadAt(quint32 seconds)
{
    PacketFields f;
    f.seconds = seconds;
    f.ws1 = quint64(seconds) * 100;
    f.ws2 = quint64(seconds) * 50;
    f.pfRaw1 = 32768;
    f.pfRaw2 = 32768;
    return f;
}

inline QByteArray packetAt(quint32 seconds)
{
    return encodePacket(steadyLoadAt(seconds));
}

inline QByteArray bodyOf(const QByteArray &packet)
{
    return packet.mid(packet::kBodyOffset, packet::kBodySize);
}

// Header, the body as given and the check byte that fits it.
inline QByteArray packetWithBody(const QByteArray &body)
{
    const auto *header = reinterpret_cast<const char *>(packet::kHeader);
    return QByteArray(header, packet::kHeaderSize) + body + char(packetCheckByte(body) & 0xFF);
}

inline QByteArray withBadCheckByte(QByteArray packet)
{
    packet[packet.size() - 1] = char(packet.back() ^ 0x5A);
    return packet;
}

// A packet whose check byte is right but whose trailer byte (at packet::kTrailer1Offset or
// packet::kTrailer2Offset) is not.
inline QByteArray withBrokenTrailer(QByteArray packet, int trailerOffset)
{
    packet[trailerOffset] = 0;
    return packetWithBody(bodyOf(packet));
}

} // namespace test_packets
