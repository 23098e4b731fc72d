#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The monitor's settings as texts, from the SettingsBlock it sends after "RCV": bytes and 16-bit
// values as decimal text with a blank before non-negative values (" 100"), the firmware version
// (thousandths) by the pattern "#.###".
struct SettingsTexts {
    static constexpr int kBlockSize = 33; // what the monitor sends
    static constexpr int kBytesRead = 32; // what is taken; the last is drained by a handshake

    QString ch1CtType;
    QString ch1CtRange;
    QString ch2CtType;
    QString ch2CtRange;
    QString ptType;
    QString ptRange;
    QString storageInterval; // minutes
    QString firmwareVersion;
    QString deviceId;

    // From at least the first eleven bytes of the block. A 16-bit value is read unsigned
    // (0 to 65535), so a high byte of 128 or more gives a large value, never a negative one.
    static SettingsTexts fromBlock(const QByteArray &block);

    // The nine texts in the order above.
    QStringList toList() const;
};
