// The real-time stream: arbitrary bytes in arbitrary chunks, with arbitrary pauses between them,
// through the packet receiver and the decoder, optionally from a restored state.
//
// Invariants: the four static counters never go down (also not below what a restored state
// carries), every decoded reading is finite with a seconds step of at least 1, the packet byte
// count stays within the runaway bound, and no more packets come out than the bytes can hold.

#include "fuzz_check.h"

#include "decoder_state.h"
#include "fake_serial_port.h"
#include "link_flags.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_receiver.h"
#include "status_lines.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

class CountingLines final : public StatusLines {
public:
    void addLine(const QString &) override { ++lines; }
    void clear() override {}
    int lines = 0;
};

struct Chunk {
    QByteArray bytes;
    int pauseMs = 0;
};

// Chunk lengths and pauses come from the end of the input, the bytes from its front.
std::vector<Chunk> chunksOf(FuzzedDataProvider &in)
{
    std::vector<Chunk> chunks;
    while (in.remaining_bytes() > 0) {
        Chunk c;
        const auto length = in.ConsumeIntegralInRange<size_t>(1, 96);
        c.pauseMs = in.ConsumeIntegralInRange<int>(0, 70000);
        const std::vector<char> bytes = in.ConsumeBytes<char>(length);
        c.bytes = QByteArray(bytes.data(), qsizetype(bytes.size()));
        chunks.push_back(c);
    }
    return chunks;
}

double counter40(FuzzedDataProvider &in)
{
    return double(in.ConsumeIntegralInRange<quint64>(0, (quint64(1) << 40) - 1));
}

// A state as the settings would restore it after an earlier run.
DecoderState restoredState(FuzzedDataProvider &in)
{
    DecoderState s;
    s.preReset1 = counter40(in);
    s.preReset2 = counter40(in);
    s.preResetP1 = counter40(in);
    s.preResetP2 = counter40(in);
    s.lastWs1 = counter40(in);
    s.lastWs2 = counter40(in);
    s.lastResetCount = in.ConsumeIntegralInRange<int>(0, 7);
    s.seconds = in.ConsumeIntegralInRange<qint32>(0, 0xFFFFFF);
    return s;
}

using Statics = std::array<double, 4>;

Statics staticsOf(const LiveReading &r)
{
    return {r.ws1Static, r.ws2Static, r.ws1PolarStatic, r.ws2PolarStatic};
}

void checkReading(const LiveReading &r, Statics &previous)
{
    const Statics now = staticsOf(r);
    static const char *const names[] = {"ws1Static", "ws2Static", "ws1PolarStatic",
                                        "ws2PolarStatic"};
    for (size_t i = 0; i < now.size(); ++i) {
        FUZZ_CHECK(now[i] >= previous[i], "%s fell from %.0f to %.0f", names[i], previous[i],
                   now[i]);
    }
    previous = now;
    for (const double v : {r.volts, r.watts1, r.watts2, r.kwh1, r.kwh2, double(r.amps1),
                           double(r.amps2), double(r.pf1), double(r.pf2)})
        FUZZ_CHECK(std::isfinite(v), "a reading is not finite (volts %g, W %g/%g, A %g/%g)",
                   r.volts, r.watts1, r.watts2, double(r.amps1), double(r.amps2));
    FUZZ_CHECK(r.secondsDelta >= 1, "seconds step %d", r.secondsDelta);
}

// The parts under test and their doubles; the one place that constructs them.
struct StreamRig {
    ManualClock clock;
    FakeSerialPort port{&clock};
    LinkFlags flags;
    CountingLines log;
    PacketDecoder decoder{log, clock};
    PacketReceiver receiver{port, clock, flags, decoder, log};
    int reopens = 0;

    StreamRig()
    {
        port.open(QStringLiteral("fuzz"));
        receiver.setPortReopener([this] { ++reopens; });
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    StreamRig rig;
    Statics previous{0, 0, 0, 0};
    if (in.ConsumeBool()) {
        const DecoderState s = restoredState(in);
        rig.decoder.restoreState(s);
        previous = {s.preReset1 + s.lastWs1, s.preReset2 + s.lastWs2, s.preResetP1,
                    s.preResetP2};
    }
    int decoded = 0;
    rig.decoder.onPacketDecoded = [&] {
        ++decoded;
        checkReading(rig.decoder.reading(), previous);
    };

    const std::vector<Chunk> chunks = chunksOf(in);
    qint64 bytes = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        if (i == 0)
            rig.port.preload(chunks[0].bytes);
        // The next chunk is on its way: a wait for a header byte may take it early.
        if (i + 1 < chunks.size())
            rig.port.arrive(chunks[i + 1].bytes);
        rig.receiver.drain();
        QCoreApplication::sendPostedEvents();
        rig.clock.advance(chunks[i].pauseMs);
        bytes += chunks[i].bytes.size();
        FUZZ_CHECK(rig.decoder.byteCount() >= 0 && rig.decoder.byteCount() <= 121,
                   "byte count %d", rig.decoder.byteCount());
    }
    const int packets = decoded + rig.decoder.checksumErrorCount();
    FUZZ_CHECK(packets <= bytes / 40, "%d packets out of %lld bytes", packets, bytes);
    return 0;
}
