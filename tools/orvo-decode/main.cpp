// orvo-decode [FILE]: runs a captured real-time stream (a file, or standard input) through the
// program's own packet receiver and decoder, from a first run's state, and writes JSON lines:
// one per decoded packet, one per status line, and a summary at the end. Packets the decoder
// holds as doubtful and then drops, and packets that repeat the last second, are counted in the
// summary as suspectDropped.

#include "byte_stream_port.h"
#include "json_lines.h"
#include "link_flags.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_receiver.h"
#include "stdin_source.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

int decodeStream(QIODevice &input)
{
    ManualClock clock(QDateTime::currentDateTime());
    ByteStreamPort port(input, clock);
    port.open(QString());

    JsonLineWriter out(stdout);
    JsonStatusLines log(out);
    LinkFlags flags;
    PacketDecoder decoder(log, clock);
    // A capture carries no arrival times: allow the seconds counter an hour between packets.
    decoder.setFixedSecondsAllowance(plausibility::kUntimedAllowance);
    int packets = 0;
    decoder.onPacketDecoded = [&] {
        ++packets;
        out.writeReading(decoder.reading());
    };

    PacketReceiver receiver(port, clock, flags, decoder, log);
    receiver.setPortReopener([&port] {
        port.close();
        port.open(QString());
    });

    while (port.deliverNextChunk())
        out.flush(); // a live stream's lines come out as its packets arrive
    receiver.drain();
    decoder.dropHeldPacket(); // nothing follows that could confirm it
    out.writeSummary(packets, decoder.checksumErrorCount(), decoder.suspectDroppedCount());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() > 1 || (!args.isEmpty() && args.first().startsWith(QLatin1String("--")))) {
        std::fprintf(stderr, "usage: orvo-decode [FILE]\n"
                             "Decodes a raw real-time capture (standard input when no FILE) "
                             "into JSON lines.\n");
        return args.contains(QLatin1String("--help")) ? 0 : 2;
    }
    if (args.isEmpty() || args.first() == QLatin1String("-")) {
        StdinSource input;
        return decodeStream(input);
    }
    QFile input(args.first());
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "orvo-decode: cannot open %s: %s\n", qPrintable(input.fileName()),
                     qPrintable(input.errorString()));
        return 1;
    }
    return decodeStream(input);
}
