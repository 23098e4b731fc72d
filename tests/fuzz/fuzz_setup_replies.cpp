// The monitor's answers to the setup commands: an arbitrary settings block, and an arbitrary
// answer to the serial-number request from a monitor that may leave any acknowledgement out.
//
// Invariants: every settings text is the decimal value of its bytes with the sign position
// (" 100"), the firmware text reads back as its thousandths, and the nine texts fit one reply
// line; a serial number is "0" and the decimal values of the first five bytes that followed the
// request's acknowledgement, and there is none when fewer came or an acknowledgement was missing.

#include "fuzz_check.h"

#include "fake_serial_port.h"
#include "manual_clock.h"
#include "monitor_link.h"
#include "settings_block.h"
#include "setup_exchange.h"
#include "setup_log.h"
#include "utility_commands.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <optional>

namespace {

const char kAck = char(0xFC);

int byteAt(const QByteArray &block, int n)
{
    return n <= block.size() ? static_cast<unsigned char>(block.at(n - 1)) : 0;
}

void checkNumberText(const QString &t, int value)
{
    FUZZ_CHECK(t == u' ' + QString::number(value), "\"%s\" for %d", text(t).c_str(), value);
}

void checkSettingsBlock(const QByteArray &block)
{
    const SettingsTexts s = SettingsTexts::fromBlock(block);
    checkNumberText(s.ch1CtType, byteAt(block, 1));
    checkNumberText(s.ch1CtRange, byteAt(block, 2));
    checkNumberText(s.ch2CtType, byteAt(block, 3));
    checkNumberText(s.ch2CtRange, byteAt(block, 4));
    checkNumberText(s.ptType, byteAt(block, 5));
    checkNumberText(s.ptRange, byteAt(block, 6));
    checkNumberText(s.storageInterval, byteAt(block, 7) * 256 + byteAt(block, 8));
    checkNumberText(s.deviceId, byteAt(block, 11));
    const int thousandths = byteAt(block, 9) * 256 + byteAt(block, 10);
    // "#.###" shows 0 as "." and 2 as "2."
    bool ok = s.firmwareVersion == u".";
    const double firmware = ok ? 0 : s.firmwareVersion.toDouble(&ok);
    FUZZ_CHECK(ok && qRound(firmware * 1000) == thousandths && s.firmwareVersion.contains(u'.'),
               "firmware \"%s\" for %d", text(s.firmwareVersion).c_str(), thousandths);
    const QString line = s.toList().join(u'\t');
    FUZZ_CHECK(s.toList().size() == 9 && !line.contains(u'\r') && !line.contains(u'\n'),
               "\"%s\"", text(line).c_str());
}

// The monitor's side of the serial-number request: 0xFC and each command word ("SET", or a
// letter sent twice) are acknowledged unless silenced; the answer follows the "NN" word's.
class SerialMonitor {
public:
    SerialMonitor(FakeSerialPort &port, quint8 silent, QByteArray answer)
        : port_(port), silent_(silent), answer_(std::move(answer))
    {
        port_.responder = [this](const QByteArray &bytes) {
            for (const char c : bytes)
                take(c);
        };
    }

private:
    void take(char c)
    {
        if (c == kAck && word_.isEmpty()) {
            acknowledge(0, {});
            return;
        }
        word_ += c;
        if (word_ == "SET" || (word_.size() == 2 && word_[0] == word_[1])) {
            const QByteArray word = std::exchange(word_, QByteArray());
            static const QByteArray order[] = {"SET", "SS", "RR", "NN"};
            for (int i = 0; i < 4; ++i) {
                if (word == order[i])
                    acknowledge(i + 1, word == "NN" ? answer_ : QByteArray());
            }
        } else if (word_.size() >= 3) {
            word_.clear();
        }
    }
    void acknowledge(int step, const QByteArray &then)
    {
        if (!(silent_ & (1 << step)))
            port_.arrive(kAck + then);
    }

    FakeSerialPort &port_;
    quint8 silent_;
    QByteArray answer_;
    QByteArray word_;
};

// The parts under test and their doubles; the one place that constructs them.
struct SetupRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    MonitorLink link{port, clock, Reporters{}};
    SetupLog log;
    SetupContext context{&link, &log, Reporters{}};

    SetupRig()
    {
        clock.setAutoAdvance(true);
        port.open(QStringLiteral("fuzz"));
    }
};

void checkSerialNumber(quint8 silent, const QByteArray &answer)
{
    SetupRig rig;
    SerialMonitor monitor(rig.port, silent, answer);
    const std::optional<QString> serial = UtilityCommands(rig.context).readSerialNumber();
    // The attention byte is tried twice; the words once each.
    const bool attentionHeard = (silent & 1) == 0;
    const bool wordsHeard = (silent & 0x1E) == 0;
    const bool expected = attentionHeard && wordsHeard && answer.size() >= 5;
    QString digits = QStringLiteral("0");
    for (int i = 0; i < 5 && i < answer.size(); ++i)
        digits += QString::number(static_cast<unsigned char>(answer[i]));
    FUZZ_CHECK(serial.has_value() == expected, "serial number %s (silent %02x, %lld bytes)",
               serial ? text(*serial).c_str() : "none", silent, qint64(answer.size()));
    FUZZ_CHECK(!serial || *serial == digits, "\"%s\" for \"%s\"", text(*serial).c_str(),
               text(digits).c_str());
    FUZZ_CHECK(!rig.link.flags().commandInProgress, "the port stays owned by the command");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const bool serial = in.ConsumeBool();
    const quint8 silent = in.ConsumeIntegral<quint8>() & 0x1F;
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const QByteArray answer(bytes.data(), qsizetype(bytes.size()));
    if (serial) {
        // Most runs with every acknowledgement, so that the answer itself is read.
        checkSerialNumber(silent & 0x10 ? silent : 0, answer.left(16));
    } else {
        checkSettingsBlock(answer);
    }
    return 0;
}
