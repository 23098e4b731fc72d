#include "settings_block.h"

#include "number_format.h"

namespace {

constexpr int kFirmwareScale = 1000;

// Byte n of the block, numbered from 1.
int byteAt(const QByteArray &block, int n)
{
    return n <= block.size() ? static_cast<unsigned char>(block.at(n - 1)) : 0;
}

int wordAt(const QByteArray &block, int highByte)
{
    return byteAt(block, highByte) * 256 + byteAt(block, highByte + 1);
}

QString decimal(int value)
{
    return NumberFormat::signPositioned(value);
}

} // namespace

SettingsTexts SettingsTexts::fromBlock(const QByteArray &block)
{
    SettingsTexts texts;
    texts.ch1CtType = decimal(byteAt(block, 1));
    texts.ch1CtRange = decimal(byteAt(block, 2));
    texts.ch2CtType = decimal(byteAt(block, 3));
    texts.ch2CtRange = decimal(byteAt(block, 4));
    texts.ptType = decimal(byteAt(block, 5));
    texts.ptRange = decimal(byteAt(block, 6));
    texts.storageInterval = decimal(wordAt(block, 7));
    texts.firmwareVersion =
        NumberFormat::pattern(double(wordAt(block, 9)) / kFirmwareScale, u"#.###");
    texts.deviceId = decimal(byteAt(block, 11));
    return texts;
}

QStringList SettingsTexts::toList() const
{
    return {ch1CtType, ch1CtRange, ch2CtType, ch2CtRange, ptType,
            ptRange,   storageInterval, firmwareVersion, deviceId};
}
