// A TCP client's text: arbitrary bytes in arbitrary chunks through the command line reader, each
// complete line through the interpreter, against a reading of arbitrary values (not-a-number and
// infinities included) and a monitor whose settings come from an arbitrary settings block.
//
// Invariants: the text left pending never exceeds the reader's bound; a line is what was
// pending, ends in CR and fits the bound; every reply, framed as the server sends it, is one line
// ending in CR LF; a line gets at most two replies.

#include "fuzz_check.h"

#include "command_interpreter.h"
#include "command_line_reader.h"
#include "load_table.h"
#include "recorders.h"
#include "server_fakes.h"
#include "settings_block.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QIODevice>

#include <cstring>

namespace {

// The receiving side of a connection: bytes fed in come out of the device in order.
class IncomingText final : public QIODevice {
public:
    IncomingText() { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return pending_.size() + QIODevice::bytesAvailable(); }
    void feed(const QByteArray &bytes) { pending_ += bytes; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(pending_.size()));
        if (n > 0)
            std::memcpy(data, pending_.constData(), size_t(n));
        pending_.remove(0, n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray pending_;
};

double anyDouble(FuzzedDataProvider &in)
{
    const auto bits = in.ConsumeIntegral<quint64>();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void fillReading(FuzzedDataProvider &in, LiveReading &r)
{
    for (double *d : {&r.volts, &r.ws1, &r.ws2, &r.ws1Polar, &r.ws2Polar, &r.ws1Static,
                      &r.ws2Static, &r.ws1PolarStatic, &r.ws2PolarStatic, &r.watts1, &r.watts2,
                      &r.kwh1, &r.kwh2})
        *d = anyDouble(in);
    for (float *f : {&r.amps1, &r.amps2, &r.pf1, &r.pf2})
        *f = float(anyDouble(in));
    r.seconds = in.ConsumeIntegral<qint32>();
}

// The framing of DataServer::sendLine.
void checkReply(const QString &reply)
{
    const QByteArray framed = reply.toLatin1() + "\r\n";
    FUZZ_CHECK(framed.count('\r') == 1 && framed.count('\n') == 1,
               "reply is not one line: \"%s\"", text(reply).c_str());
    FUZZ_CHECK(framed.size() > 2, "empty reply");
}

// The parts under test and their doubles; the one place that constructs them.
struct ServerRig {
    LiveReading reading;
    LoadTable loads;
    LoadSwitchFlags loadSwitch;
    FakeMonitorCommands monitor;
    RecordingPrompts prompts;
    CommandInterpreter interpreter{reading, loads, loadSwitch, monitor, &prompts};
    CommandLineReader reader;
    IncomingText connection;
};

void answer(ServerRig &rig, const QByteArray &line)
{
    int replies = 0;
    rig.interpreter.interpret(line, [&replies](const QString &reply) {
        ++replies;
        checkReply(reply);
    });
    FUZZ_CHECK(replies <= 2, "%d replies to one line", replies);
}

void readOnce(ServerRig &rig, qint64 waiting)
{
    QByteArray line;
    const CommandLineReader::Result result = rig.reader.read(rig.connection, line);
    const qint64 left = rig.connection.bytesAvailable();
    FUZZ_CHECK(left <= CommandLineReader::kMaxPending, "%lld bytes pending", left);
    if (result == CommandLineReader::Result::TooLong) {
        FUZZ_CHECK(waiting > CommandLineReader::kMaxPending, "too long at %lld bytes", waiting);
        return;
    }
    if (result != CommandLineReader::Result::Line)
        return;
    FUZZ_CHECK(line.endsWith('\r') && line.size() <= CommandLineReader::kMaxPending,
               "line of %lld bytes", qint64(line.size()));
    FUZZ_CHECK(line.size() == waiting && left == 0, "line is not all the pending text");
    answer(rig, line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    ServerRig rig;
    fillReading(in, rig.reading);
    const std::vector<char> block = in.ConsumeBytes<char>(in.ConsumeIntegralInRange<size_t>(0, 40));
    rig.monitor.settings.values =
        SettingsTexts::fromBlock(QByteArray(block.data(), qsizetype(block.size()))).toList();
    while (in.remaining_bytes() > 0) {
        // Mostly small pieces, sometimes one that passes the bound by itself.
        const size_t length = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(1, 64)
                                               : in.ConsumeIntegralInRange<size_t>(1, 5000);
        const std::vector<char> bytes = in.ConsumeBytes<char>(length);
        rig.connection.feed(QByteArray(bytes.data(), qsizetype(bytes.size())));
        readOnce(rig, rig.connection.bytesAvailable());
    }
    return 0;
}
