#pragma once

#include <QtGlobal>

// Where each field of a real-time packet lies. Offsets count from 0 at the first header byte,
// as a hex dump of the wire shows them; multi-byte fields are least significant byte first
// unless said otherwise.
//
//   offset  size  field
//    0       3    header FE FF 01
//    3       2    voltage, tenths of a volt, most significant byte first
//    5       5    CH1 absolute watt-seconds
//   10       5    CH2 absolute watt-seconds
//   15       5    CH1 polarized watt-seconds
//   20       5    CH2 polarized watt-seconds
//   25       2    CH1 power factor, fraction of 65536
//   27       2    CH2 power factor, fraction of 65536
//   29       2    not used
//   31       1    bits 0 to 2: the monitor's reset counter
//   32       5    not used
//   37       3    seconds counter (wraps at 2^24)
//   40       1    trailer FF
//   41       1    trailer FE
//   42       1    check byte
//
// The receiver numbers the bytes after the header from 1: byte number n lies at offset
// kBodyOffset + n - 1.
namespace packet {

inline constexpr int kSize = 43;

inline constexpr int kHeaderOffset = 0;
inline constexpr int kHeaderSize = 3;
inline constexpr quint8 kHeader[kHeaderSize] = {0xFE, 0xFF, 0x01};

// The 39 bytes between the header and the check byte.
inline constexpr int kBodyOffset = kHeaderOffset + kHeaderSize;
inline constexpr int kBodySize = 39;

inline constexpr int kVoltsOffset = 3; // most significant byte first
inline constexpr int kVoltsSize = 2;

inline constexpr int kCounterSize = 5; // 40-bit watt-second counters
inline constexpr int kWs1Offset = 5;
inline constexpr int kWs2Offset = 10;
inline constexpr int kWs1PolarOffset = 15;
inline constexpr int kWs2PolarOffset = 20;

inline constexpr int kPowerFactorSize = 2;
inline constexpr int kPf1Offset = 25;
inline constexpr int kPf2Offset = 27;

inline constexpr int kResetCountOffset = 31;
inline constexpr quint8 kResetCountMask = 0x07;

inline constexpr int kSecondsOffset = 37;
inline constexpr int kSecondsSize = 3;
inline constexpr int kSecondsTopOffset = kSecondsOffset + kSecondsSize - 1;
inline constexpr quint32 kSecondsModulus = 1u << 24;

inline constexpr int kTrailer1Offset = 40;
inline constexpr quint8 kTrailer1 = 0xFF;
inline constexpr int kTrailer2Offset = 41;
inline constexpr quint8 kTrailer2 = 0xFE;

inline constexpr int kCheckOffset = 42;
// The check byte's running sum starts from the three header bytes FE FF 01.
inline constexpr int kChecksumStart = 510;

static_assert(kBodyOffset + kBodySize == kCheckOffset && kCheckOffset + 1 == kSize);
static_assert(kTrailer2Offset + 1 == kCheckOffset);
static_assert(kSecondsOffset + kSecondsSize == kTrailer1Offset);
static_assert(kHeader[0] + kHeader[1] + kHeader[2] == kChecksumStart);

} // namespace packet
