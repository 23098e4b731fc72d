#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

// One current transformer as the monitor is told about it; the codes mean something only to
// the monitor's firmware, so any byte is kept as given.
struct CtSetting {
    quint8 type = 167;
    quint8 range = 5;
};

// The configuration the monitor keeps and reports in its settings block.
struct MonitorSettings {
    static constexpr int kSerialLength = 5;

    std::array<CtSetting, 2> ct;
    quint8 ptType = 0;
    quint8 ptRange = 1;
    quint16 intervalMinutes = 15;
    quint16 firmwareThousandths = 2200; // version 2.200
    quint8 deviceId = 1;
    std::array<quint8, kSerialLength> serial{12, 34, 56, 78, 90};
};

namespace settings_block {
inline constexpr int kSize = 33;
} // namespace settings_block

// The block the monitor sends after "RCV": the eleven meaningful bytes, then zeros up to size
// (or cut short, when a faulty size below eleven is asked for).
QByteArray encodeSettingsBlock(const MonitorSettings &settings, int size = settings_block::kSize);
