#include "packet_encoder.h"

namespace {

void putLittleEndian(QByteArray &body, int firstByte, quint64 value, int width)
{
    for (int i = 0; i < width; ++i)
        body[firstByte - 1 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
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
    // Body bytes are numbered from 1, as the monitor's documentation numbers them.
    QByteArray body(packet::kBodySize, '\0');
    body[0] = static_cast<char>(f.decivolts >> 8);
    body[1] = static_cast<char>(f.decivolts & 0xFF);
    putLittleEndian(body, 3, f.ws1, 5);
    putLittleEndian(body, 8, f.ws2, 5);
    putLittleEndian(body, 13, f.ws1Polar, 5);
    putLittleEndian(body, 18, f.ws2Polar, 5);
    putLittleEndian(body, 23, f.pfRaw1, 2);
    putLittleEndian(body, 25, f.pfRaw2, 2);
    body[28] = static_cast<char>(f.resetCount & 0x07);
    putLittleEndian(body, 35, f.seconds % packet::kSecondsModulus, 3);
    body[37] = static_cast<char>(0xFF);
    body[38] = static_cast<char>(0xFE);

    QByteArray bytes("\xFE\xFF\x01", 3);
    bytes += body;
    bytes += static_cast<char>(packetCheckByte(body) & 0xFF);
    return bytes;
}
