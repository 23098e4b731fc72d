#include "packet_encoder.h"

namespace {

void putLittleEndian(QByteArray &bytes, int offset, quint64 value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

int packetCheckByte(const QByteArray &body)
{
    int sum = packet::kChecksumStart;
    for (const char c : body) {
        sum += static_cast<unsigned char>(c);
        if (sum >= 256)
            sum -= 256;
    }
    return sum < 256 ? sum : -1;
}

QByteArray encodePacket(const PacketFields &f)
{
    using namespace packet;
    QByteArray bytes(kSize, '\0');
    for (int i = 0; i < kHeaderSize; ++i)
        bytes[kHeaderOffset + i] = static_cast<char>(kHeader[i]);
    bytes[kVoltsOffset] = static_cast<char>(f.decivolts >> 8);
    bytes[kVoltsOffset + 1] = static_cast<char>(f.decivolts & 0xFF);
    putLittleEndian(bytes, kWs1Offset, f.ws1, kCounterSize);
    putLittleEndian(bytes, kWs2Offset, f.ws2, kCounterSize);
    putLittleEndian(bytes, kWs1PolarOffset, f.ws1Polar, kCounterSize);
    putLittleEndian(bytes, kWs2PolarOffset, f.ws2Polar, kCounterSize);
    putLittleEndian(bytes, kPf1Offset, f.pfRaw1, kPowerFactorSize);
    putLittleEndian(bytes, kPf2Offset, f.pfRaw2, kPowerFactorSize);
    bytes[kResetCountOffset] = static_cast<char>(f.resetCount & kResetCountMask);
    putLittleEndian(bytes, kSecondsOffset, f.seconds % kSecondsModulus, kSecondsSize);
    bytes[kTrailer1Offset] = static_cast<char>(kTrailer1);
    bytes[kTrailer2Offset] = static_cast<char>(kTrailer2);
    bytes[kCheckOffset] = static_cast<char>(packetCheckByte(bytes.mid(kBodyOffset, kBodySize)) & 0xFF);
    return bytes;
}
