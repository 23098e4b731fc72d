// Throughput of the per-byte receive path: from the port's buffer, one byte at a time through
// the packet receiver and the decoder, to the LiveReading. Prints the best of a few passes and
// fails only when packets go missing, never on speed.

#include "byte_stream_port.h"
#include "link_flags.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_encoder.h"
#include "packet_receiver.h"
#include "status_lines.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr int kPackets = 60000; // about 2.6 MB
constexpr int kPasses = 3;

class CountingStatusLines final : public StatusLines {
public:
    void addLine(const QString &) override { ++lines; }
    void clear() override {}
    int lines = 0;
};

QByteArray packetStream()
{
    QByteArray stream;
    stream.reserve(qsizetype(kPackets) * packet::kSize);
    PacketFields f;
    f.pfRaw1 = 50000;
    f.pfRaw2 = 40000;
    for (int i = 1; i <= kPackets; ++i) {
        f.seconds = quint32(i);
        f.ws1 += 1234 + i % 97;
        f.ws2 += 345 + i % 31;
        f.ws1Polar = f.ws1 / 2;
        f.ws2Polar = f.ws2 / 2;
        stream += encodePacket(f);
    }
    return stream;
}

struct PassResult {
    qint64 nsecs = 0;
    int decoded = 0;
    int problems = 0;
};

PassResult runPass(QByteArray &stream)
{
    QBuffer source(&stream);
    source.open(QIODevice::ReadOnly);
    ManualClock clock;
    ByteStreamPort port(source, clock);
    port.open(QString());
    CountingStatusLines log;
    LinkFlags flags;
    PacketDecoder decoder(log, clock);
    PassResult result;
    double wattsSum = 0; // keeps the decoded values alive for the optimiser
    decoder.onPacketDecoded = [&] {
        ++result.decoded;
        wattsSum += decoder.reading().watts1;
    };
    PacketReceiver receiver(port, clock, flags, decoder, log);

    QElapsedTimer timer;
    timer.start();
    while (port.deliverNextChunk()) {
    }
    result.nsecs = timer.nsecsElapsed();
    result.problems = log.lines + decoder.checksumErrorCount() + (wattsSum < 0 ? 1 : 0);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QByteArray stream = packetStream();
    qint64 best = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        const PassResult r = runPass(stream);
        if (r.decoded != kPackets || r.problems != 0) {
            std::fprintf(stderr, "receive path: %d of %d packets decoded, %d problems\n",
                         r.decoded, kPackets, r.problems);
            return 1;
        }
        if (best == 0 || r.nsecs < best)
            best = r.nsecs;
    }
    const double seconds = double(qMax<qint64>(best, 1)) / 1e9;
    std::printf("receive path: %.1f MB/s (%lld bytes, %d packets in %.4f s, best of %d)\n",
                double(stream.size()) / seconds / 1e6, static_cast<long long>(stream.size()),
                kPackets, seconds, kPasses);
    return 0;
}
