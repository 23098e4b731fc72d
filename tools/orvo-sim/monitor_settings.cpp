#include "monitor_settings.h"

namespace {

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes += char(value >> 8);
    bytes += char(value & 0xFF);
}

} // namespace

QByteArray encodeSettingsBlock(const MonitorSettings &settings, int size)
{
    QByteArray block;
    for (const CtSetting &ct : settings.ct) {
        block += char(ct.type);
        block += char(ct.range);
    }
    block += char(settings.ptType);
    block += char(settings.ptRange);
    appendWord(block, settings.intervalMinutes);
    appendWord(block, settings.firmwareThousandths);
    block += char(settings.deviceId);
    block.resize(size, '\0');
    return block;
}
