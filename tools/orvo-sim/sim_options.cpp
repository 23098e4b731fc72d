#include "sim_options.h"

#include <QCommandLineParser>
#include <QRandomGenerator>
#include <QTime>

#include <limits>

namespace {

const char *const kDescription = R"(Plays the energy monitor's side of the serial line on a pseudo-terminal.
The first line printed is the terminal's device path; log lines go to standard error.

Protocol: the attention byte 0xFC is echoed. After it every command word is acknowledged with
0xFC, and so is every parameter byte that follows a word; a parameter is the next byte whatever
its value (0xFC and letters included). Values are kept as sent, without range checks.
  TOG PLR | TOG OFF          start | stop the real-time stream
  RQS RST                    reset: the four energy counters to 0, the reset counter (packet
                             byte 29) one on, modulo 8; polarity is kept
  SET CT1|CT2 TYP t RNG r    CT type t and range r of channel 1 | 2
  SET PTT t PTR r            PT type t and range r
  SET IVL h l                storage interval h*256+l minutes
  SET UID i                  device ID i
  SET RCV                    then the settings block: CT1 type, CT1 range, CT2 type, CT2 range,
                             PT type, PT range, interval high, low, firmware*1000 high, low,
                             device ID, zeros up to 33 bytes
  SET S R N                  serial number: each letter acknowledged once (a letter sent twice
                             in a row, "SS", is acknowledged once), then after N the five serial
                             bytes and 0xFC
  SET NG1|NG2                invert the polarity of channel 1 | 2
At start: CT type 167 range 5 on both channels, PT type 0 range 1, interval 15 minutes,
firmware 2200 (--firmware), device ID 1, serial 12,34,56,78,90 (--serial). Other bytes are
ignored. No packets are sent while an exchange is open (given up after 3 s); a stream that an
exchange held resumes one period after the exchange ends.

Load profile: each channel carries a household load simulated second by second: a baseload of
60-150 W that wanders with noise (power factor 0.85), a fridge cycling about 15 min on at
120 W after a 2 s start surge of 600 W and 25 min off (power factor 0.7), and a 2000 W kettle
boiling for 3 min about every 45 min (power factor 0.99). With --solar, one channel (channel 2,
or the one --solar-channel names) also carries a 2.5 kW solar array (power factor 0.98)
producing between 06:00 and 18:00 of simulated time (--time-of-day sets the start, 11:00 by
default), so its power is negative in daytime. Line voltage about 120 V with drift, noise and a
slight sag under load. With QT_LOGGING_RULES=orvo.sim.load.debug=true each appliance step
(fridge or kettle on or off, per channel) is logged.

Counters: the absolute counters (bytes 3-12) count energy in either direction; the polarized
counters (bytes 13-22) count generated (exported) energy only and stand still while a channel
consumes, so on a household without --solar they stay at 0. Inverting a channel's polarity
(NG1, NG2) makes its polarized counter count consumed energy only, standing still while the
channel generates; inverting again switches back. The counter keeps its value, only what it
adds from then on changes. Energy of a time when packets were held is counted after a reset or
inversion made meanwhile.
Each packet advances the seconds counter by the period in whole seconds, at least one, so with
periods under a second simulated time runs faster than the clock. The counters' increase over
the seconds' increase is the mean power of the interval. The meter keeps counting while it is
not streaming.

Radio: with --radio 1 or 2 a radio dongle stands in front of the monitor, its node "E1" or
"E2". It passes bytes both ways until "+++" arrives after at least 200 ms of quiet from the
host, three '+' in a row within 1 s (the same bytes inside data are only data; the '+' reach
the monitor either way, which ignores them). It answers "OK" and is then in command mode: a
line "ATDNE<n>" and carriage return answers "OK" for its own node and "ERROR" for another, and
the link is transparent again either way; "ATCN" answers "OK" and returns too; "AT" answers
"OK"; any other line "ERROR". After 5 s with nothing from the host the link returns to
transparent by itself. Replies have no line terminator. In command mode the monitor sees
nothing, and its packets and acknowledges are dropped.

Faults: --no-ack, --ack-second-attention, --no-ack-word, --no-ack-param, --block-size,
--bad-checksum-every, --bad-trailer-every, --reset-after, --restart-after, --repeat-seconds-every,
--seconds-start, --reset-count, --radio-silent, --radio-error.)";

struct NumberOption {
    QString name;
    qint64 low;
    qint64 high;
};

std::optional<qint64> readNumber(const QCommandLineParser &parser, const NumberOption &option,
                                 qint64 fallback, QString *error)
{
    if (!parser.isSet(option.name))
        return fallback;
    bool ok = false;
    const qint64 value = parser.value(option.name).toLongLong(&ok);
    if (!ok || value < option.low || value > option.high) {
        *error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                     .arg(option.name, QString::number(option.low), QString::number(option.high));
        return std::nullopt;
    }
    return value;
}

void addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Also link the terminal as COM<N> in the ports directory (1-64)."), QStringLiteral("N")},
        {QStringLiteral("stdout"), QStringLiteral("Stream packets to standard output at once: no terminal, no handshake.")},
        {QStringLiteral("period-ms"), QStringLiteral("Reporting period in milliseconds (default 1000)."), QStringLiteral("MS")},
        {QStringLiteral("count"), QStringLiteral("End after N packets."), QStringLiteral("N")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the load model, for a reproducible run (default: random, logged)."), QStringLiteral("S")},
        {QStringLiteral("solar"), QStringLiteral("Channel 2 (or the --solar-channel) generates in daytime, as a solar array does.")},
        {QStringLiteral("solar-channel"), QStringLiteral("The channel that carries the solar array with --solar, 1 or 2 (default 2)."), QStringLiteral("N")},
        {QStringLiteral("time-of-day"), QStringLiteral("Simulated time of day at the start (default 11:00)."), QStringLiteral("HH:MM")},
        {QStringLiteral("start-streaming"), QStringLiteral("Stream without waiting for the handshake.")},
        {QStringLiteral("no-ack"), QStringLiteral("Fault: never acknowledge or act on anything.")},
        {QStringLiteral("ack-second-attention"), QStringLiteral("Fault: ignore the first attention byte of each handshake, acknowledge the second.")},
        {QStringLiteral("no-ack-word"), QStringLiteral("Fault: neither acknowledge nor act on this command word, one of %1 (repeatable).").arg(MonitorProtocol::knownWords().join(u' ')), QStringLiteral("WORD")},
        {QStringLiteral("no-ack-param"), QStringLiteral("Fault: take this parameter byte but do not acknowledge it, one of %1 (repeatable).").arg(MonitorProtocol::parameterNames().join(u' ')), QStringLiteral("NAME")},
        {QStringLiteral("block-size"), QStringLiteral("Fault: send a settings block of N bytes, 1-255 (default 33)."), QStringLiteral("N")},
        {QStringLiteral("firmware"), QStringLiteral("Firmware version times 1000 in the settings block, 0-65535 (default 2200)."), QStringLiteral("N")},
        {QStringLiteral("serial"), QStringLiteral("Serial number, five bytes 0-255 (default 12,34,56,78,90)."), QStringLiteral("A,B,C,D,E")},
        {QStringLiteral("bad-checksum-every"), QStringLiteral("Fault: every Nth packet has a wrong check byte."), QStringLiteral("N")},
        {QStringLiteral("bad-trailer-every"), QStringLiteral("Fault: every Nth packet has a wrong trailer byte (first and second in turn) and a valid check byte."), QStringLiteral("N")},
        {QStringLiteral("reset-after"), QStringLiteral("Fault: every N packets the monitor resets its counters to 0 and advances its reset counter (mod 8)."), QStringLiteral("N")},
        {QStringLiteral("restart-after"), QStringLiteral("Fault: after N packets the monitor loses power and comes back once: the stream stops until the host starts it again."), QStringLiteral("N")},
        {QStringLiteral("repeat-seconds-every"), QStringLiteral("Fault: every Nth packet repeats the previous one, seconds counter included."), QStringLiteral("N")},
        {QStringLiteral("seconds-start"), QStringLiteral("Seconds counter at the start, e.g. near the wrap at 16777216 (default 0)."), QStringLiteral("S")},
        {QStringLiteral("reset-count"), QStringLiteral("Reset counter at the start, 0-7 (default 0)."), QStringLiteral("R")},
        {QStringLiteral("radio"), QStringLiteral("Put a radio dongle of version N (1 or 2) in front of the monitor."), QStringLiteral("N")},
        {QStringLiteral("radio-silent"), QStringLiteral("Fault: the radio dongle answers nothing in command mode.")},
        {QStringLiteral("radio-error"), QStringLiteral("Fault: the radio dongle answers \"ERROR\" to everything in command mode.")},
        {QStringLiteral("quiet"), QStringLiteral("No log lines on standard error.")},
        {QStringLiteral("verbose"), QStringLiteral("Also log every byte received.")},
    });
}

bool readNumbers(const QCommandLineParser &parser, SimOptions &options, QString *error)
{
    constexpr qint64 kMax = std::numeric_limits<int>::max();
    const auto port = readNumber(parser, {QStringLiteral("port"), 1, 64}, 0, error);
    const auto period = readNumber(parser, {QStringLiteral("period-ms"), 1, 3600000}, 1000, error);
    const auto count = readNumber(parser, {QStringLiteral("count"), 0, kMax}, 0, error);
    const auto badChecksum = readNumber(parser, {QStringLiteral("bad-checksum-every"), 0, kMax}, 0, error);
    const auto badTrailer = readNumber(parser, {QStringLiteral("bad-trailer-every"), 0, kMax}, 0, error);
    const auto resetAfter = readNumber(parser, {QStringLiteral("reset-after"), 0, kMax}, 0, error);
    const auto repeat = readNumber(parser, {QStringLiteral("repeat-seconds-every"), 0, kMax}, 0, error);
    const auto restartAfter = readNumber(parser, {QStringLiteral("restart-after"), 0, kMax}, 0, error);
    const auto secondsStart = readNumber(parser, {QStringLiteral("seconds-start"), 0, 16777215}, 0, error);
    const auto resetCount = readNumber(parser, {QStringLiteral("reset-count"), 0, 7}, 0, error);
    if (!port || !period || !count || !badChecksum || !badTrailer || !resetAfter || !repeat
        || !secondsStart || !resetCount || !restartAfter)
        return false;
    options.restartAfter = *restartAfter;
    options.port = int(*port);
    options.count = *count;
    options.meter.periodMs = int(*period);
    options.meter.faults = {int(*badChecksum), int(*badTrailer), int(*resetAfter), int(*repeat)};
    options.meter.secondsStart = quint32(*secondsStart);
    options.meter.resetCount = quint8(*resetCount);
    return true;
}

bool readLoadProfile(const QCommandLineParser &parser, LoadProfile &load, QString *error)
{
    load.solar = parser.isSet(QStringLiteral("solar"));
    const auto solarChannel = readNumber(parser, {QStringLiteral("solar-channel"), 1, 2}, load.solarChannel, error);
    if (!solarChannel)
        return false;
    if (!load.solar && parser.isSet(QStringLiteral("solar-channel"))) {
        *error = QStringLiteral("--solar-channel names the channel of the solar array: add --solar");
        return false;
    }
    load.solarChannel = int(*solarChannel);
    load.seed = QRandomGenerator::global()->generate64();
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        load.seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed takes a whole number from 0 to 18446744073709551615");
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("time-of-day"))) {
        const QTime time = QTime::fromString(parser.value(QStringLiteral("time-of-day")), QStringLiteral("H:mm"));
        if (!time.isValid()) {
            *error = QStringLiteral("--time-of-day takes a time such as 06:30");
            return false;
        }
        load.startSecondOfDay = time.msecsSinceStartOfDay() / 1000;
    }
    return true;
}

bool readProtocolFaults(const QCommandLineParser &parser, ProtocolFaults &faults, QString *error)
{
    faults.noAck = parser.isSet(QStringLiteral("no-ack"));
    faults.ackSecondAttention = parser.isSet(QStringLiteral("ack-second-attention"));
    const QStringList knownWords = MonitorProtocol::knownWords();
    for (const QString &word : parser.values(QStringLiteral("no-ack-word"))) {
        if (!knownWords.contains(word)) {
            *error = QStringLiteral("--no-ack-word takes one of %1").arg(knownWords.join(u' '));
            return false;
        }
        faults.mutedWords.insert(word.toLatin1());
    }
    for (const QString &name : parser.values(QStringLiteral("no-ack-param"))) {
        const std::optional<SetupParameter> parameter = MonitorProtocol::parameterNamed(name);
        if (!parameter) {
            *error = QStringLiteral("--no-ack-param takes one of %1").arg(MonitorProtocol::parameterNames().join(u' '));
            return false;
        }
        faults.unacknowledgedParameters.insert(*parameter);
    }
    const auto blockSize = readNumber(parser, {QStringLiteral("block-size"), 1, 255}, settings_block::kSize, error);
    if (!blockSize)
        return false;
    faults.settingsBlockSize = int(*blockSize);
    return true;
}

bool readMonitorSettings(const QCommandLineParser &parser, MonitorSettings &settings, QString *error)
{
    const auto firmware = readNumber(parser, {QStringLiteral("firmware"), 0, 65535}, settings.firmwareThousandths, error);
    if (!firmware)
        return false;
    settings.firmwareThousandths = quint16(*firmware);
    if (!parser.isSet(QStringLiteral("serial")))
        return true;
    const QStringList parts = parser.value(QStringLiteral("serial")).split(u',');
    bool ok = parts.size() == MonitorSettings::kSerialLength;
    for (int i = 0; ok && i < parts.size(); ++i) {
        const uint byte = parts[i].toUInt(&ok);
        ok = ok && byte <= 255;
        settings.serial[i] = quint8(byte);
    }
    if (!ok)
        *error = QStringLiteral("--serial takes five whole numbers from 0 to 255, such as 12,34,56,78,90");
    return ok;
}

bool readRadio(const QCommandLineParser &parser, const SimOptions &options, RadioSetup &radio, QString *error)
{
    const auto version = readNumber(parser, {QStringLiteral("radio"), 1, 2}, 0, error);
    if (!version)
        return false;
    radio.version = int(*version);
    const bool silent = parser.isSet(QStringLiteral("radio-silent"));
    const bool errors = parser.isSet(QStringLiteral("radio-error"));
    if ((silent || errors) && radio.version == 0) {
        *error = QStringLiteral("--radio-silent and --radio-error need a dongle: add --radio 1 or --radio 2");
        return false;
    }
    if (silent && errors) {
        *error = QStringLiteral("--radio-silent and --radio-error exclude each other");
        return false;
    }
    if (radio.version != 0 && options.toStdout) {
        *error = QStringLiteral("--radio needs a terminal, and --stdout has none");
        return false;
    }
    radio.replies = silent ? RadioReplies::Silent : errors ? RadioReplies::Errors : RadioReplies::Normal;
    return true;
}

} // namespace

std::optional<SimOptions> parseSimOptions(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    addOptions(parser);
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst());
        return std::nullopt;
    }
    SimOptions options;
    options.toStdout = parser.isSet(QStringLiteral("stdout"));
    options.startStreaming = parser.isSet(QStringLiteral("start-streaming"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    if (!readNumbers(parser, options, error) || !readLoadProfile(parser, options.meter.load, error)
        || !readProtocolFaults(parser, options.protocol, error)
        || !readMonitorSettings(parser, options.monitor, error)
        || !readRadio(parser, options, options.radio, error))
        return std::nullopt;
    if (options.toStdout && options.port > 0) {
        *error = QStringLiteral("--port links a terminal, and --stdout has none");
        return std::nullopt;
    }
    return options;
}
