#pragma once

#include "manual_clock.h"
#include "packet_decoder.h"
#include "recorders.h"
#include "test_packets.h"

// A decoder with its recorders, fed packets the way the receiver hands them over.
struct DecoderRig {
    ManualClock clock{QDateTime(QDate(2026, 3, 7), QTime(9, 5, 30))};
    RecordingStatusLines log;
    PacketDecoder decoder{log, clock};
    int decoded = 0;

    DecoderRig()
    {
        decoder.onPacketDecoded = [this] { ++decoded; };
    }

    void feed(const QByteArray &packet)
    {
        decoder.startPacket();
        for (int i = 3; i < packet.size(); ++i)
            decoder.takePacketByte(static_cast<quint8>(packet.at(i)));
    }
    void feed(const PacketFields &fields) { feed(encodePacket(fields)); }
    const LiveReading &reading() const { return decoder.reading(); }
};
