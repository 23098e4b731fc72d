#pragma once

#include "packet_layout.h"

#include <QByteArray>

#include <cstdint>

// The contents of one real-time packet as the monitor sends it.
struct PacketFields {
    quint16 decivolts = 1200;        // line voltage in tenths of a volt
    quint64 ws1 = 0;                 // CH1 absolute watt-seconds (40 bits)
    quint64 ws2 = 0;                 // CH2 absolute watt-seconds (40 bits)
    quint64 ws1Polar = 0;            // CH1 polarized watt-seconds (40 bits)
    quint64 ws2Polar = 0;            // CH2 polarized watt-seconds (40 bits)
    quint16 pfRaw1 = 0;              // CH1 power factor, fraction of 65536
    quint16 pfRaw2 = 0;              // CH2 power factor, fraction of 65536
    quint8 resetCount = 0;           // the monitor's reset counter, 0 to 7
    quint32 seconds = 0;             // seconds counter (24 bits)
};

// Builds the 43 bytes of a packet, header to check byte, as the monitor sends them.
QByteArray encodePacket(const PacketFields &fields);

// The check byte of a packet body (39 bytes): a running sum from 510 that drops 256 once
// whenever it reaches 256. -1 when the sum never drops below 256 and no byte can match.
int packetCheckByte(const QByteArray &body);
