#include "meter_simulation.h"

#include "packet_encoder.h"

namespace {

constexpr int kFirstTrailerIndex = packet::kTrailer1Offset;
constexpr int kCheckIndex = packet::kCheckOffset;

} // namespace

MeterSimulation::MeterSimulation(const MeterSetup &setup)
    : load_(setup.load)
    , counters_(setup.secondsStart, setup.resetCount)
    , pacer_(setup.periodMs)
    , faults_(setup.faults)
{
}

bool MeterSimulation::invertPolarity(int channel)
{
    counters_.invertPolarity(channel - 1);
    return counters_.polarityInverted(channel - 1);
}

void MeterSimulation::advanceOnePeriod()
{
    lastInterval_ = load_.advance(pacer_.nextStep());
    counters_.record(lastInterval_);
}

void MeterSimulation::idle(qint64 periods)
{
    for (qint64 i = 0; i < periods; ++i)
        advanceOnePeriod();
}

PacketFields MeterSimulation::nextFields()
{
    const bool repeat = packetsMade_ > 0 && isDue(faults_.repeatSecondsEvery);
    if (!repeat) {
        if (packetsMade_ > 0 && isDue(faults_.resetAfter))
            counters_.reset();
        advanceOnePeriod();
    }
    ++packetsMade_;
    return counters_.fields();
}

QByteArray MeterSimulation::nextPacket()
{
    return spoil(encodePacket(nextFields()));
}

QByteArray MeterSimulation::spoil(QByteArray packet) const
{
    if (isDue(faults_.badTrailerEvery)) {
        const qint64 occurrence = packetsMade_ / faults_.badTrailerEvery;
        const int index = kFirstTrailerIndex + (occurrence % 2 == 0 ? 1 : 0);
        packet[index] = 0;
        // A valid check byte, so that the receiver gets as far as the trailer.
        const int check = packetCheckByte(packet.mid(packet::kBodyOffset, packet::kBodySize));
        packet[kCheckIndex] = static_cast<char>(check & 0xFF);
    }
    if (isDue(faults_.badChecksumEvery))
        packet[kCheckIndex] = static_cast<char>(packet[kCheckIndex] + 1);
    return packet;
}
