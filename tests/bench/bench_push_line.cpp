// Packet to push line: each packet's bytes go through the decoder, the web posting trigger
// (a load switch before each packet makes every one post) and the data server to a client on
// loopback in the same event loop. Prints median and 99th percentile from the first packet
// byte to the client holding the pushed line. Fails only when lines go missing, never on speed.

#include "command_interpreter.h"
#include "data_server.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_encoder.h"
#include "status_lines.h"
#include "web_poster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kPackets = 20000;
constexpr int kWarmUp = 200;
constexpr int kTimeLimitMs = 6000;

class NoMonitor final : public MonitorCommands {
public:
    void togglePolarity(int) override {}
    MonitorSettingsReply readSettingsForServer() override { return {}; }
    QString resetAccumulated() override { return QStringLiteral("OK"); }
};

class NoLines final : public StatusLines {
public:
    void addLine(const QString &) override {}
    void clear() override {}
};

// Hands over one packet, waits for its pushed line, records the time, sends the next.
class PacketFeeder : public QObject {
public:
    PacketFeeder(QTcpSocket &client, PacketDecoder &decoder, LoadSwitchFlags &loadSwitch)
        : client_(client), decoder_(decoder), loadSwitch_(loadSwitch)
    {
        fields_.pfRaw1 = 50000;
        fields_.pfRaw2 = 40000;
        connect(&client_, &QIODevice::readyRead, this, &PacketFeeder::onLine);
    }
    void start() { feed(); }
    std::vector<qint64> nsecs;
    int badLines = 0;

private:
    void feed()
    {
        fields_.seconds += 1;
        fields_.ws1 += 1000 + count_ % 300;
        fields_.ws2 += 300 + count_ % 50;
        const QByteArray bytes = encodePacket(fields_);
        loadSwitch_.loadChanged = true;
        started_.start();
        decoder_.startPacket();
        for (int i = packet::kBodyOffset; i < bytes.size() && decoder_.inPacket(); ++i)
            decoder_.takePacketByte(quint8(bytes[i]));
    }
    void onLine()
    {
        while (client_.canReadLine()) {
            const qint64 elapsed = started_.nsecsElapsed();
            if (client_.readLine().count('\t') != 11)
                ++badLines;
            if (++count_ > kWarmUp)
                nsecs.push_back(elapsed);
            if (count_ < kPackets + kWarmUp)
                feed();
            else
                QCoreApplication::quit();
        }
    }
    QTcpSocket &client_;
    PacketDecoder &decoder_;
    LoadSwitchFlags &loadSwitch_;
    PacketFields fields_;
    QElapsedTimer started_;
    int count_ = 0;
};

double percentileMs(const std::vector<qint64> &sorted, double p)
{
    const size_t at = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return double(sorted[at]) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ManualClock clock;
    LinkFlags flags;
    flags.realTimeOn = true;
    NoLines log;
    PacketDecoder decoder(log, clock);
    decoder.setFixedSecondsAllowance(10);
    LoadTable loads;
    LoadSwitchFlags loadSwitch;
    NoMonitor monitor;
    CommandInterpreter interpreter(decoder.reading(), loads, loadSwitch, monitor, nullptr);
    DataServer server(clock, flags, interpreter, nullptr);
    server.setListenAddress(QHostAddress::LocalHost);
    server.setPort(0);
    server.setAutoWriteLocal(true);
    server.open();
    WebPoster poster(decoder.reading(), clock, flags, loadSwitch);
    poster.pushReadings = [&server] { server.pushReadings(); };
    decoder.onPacketDecoded = [&poster] { poster.packetDecoded(); };

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.listeningPort());
    if (!client.waitForConnected(5000)) {
        std::fprintf(stderr, "push line: could not connect\n");
        return 1;
    }
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    PacketFeeder feeder(client, decoder, loadSwitch);
    // The server takes the client in its event; the first packet follows it.
    QTimer::singleShot(50, &feeder, [&feeder] { feeder.start(); });
    QTimer::singleShot(kTimeLimitMs, &app, &QCoreApplication::quit);
    app.exec();

    std::vector<qint64> sorted = feeder.nsecs;
    if (sorted.empty() || feeder.badLines > 0) {
        std::fprintf(stderr, "push line: %zu lines, %d malformed\n", sorted.size(),
                     feeder.badLines);
        return 1;
    }
    std::sort(sorted.begin(), sorted.end());
    std::printf("packet to push line: median %.3f ms, p99 %.3f ms (%zu packets, %zu posts logged)\n",
                percentileMs(sorted, 0.5), percentileMs(sorted, 0.99), sorted.size(),
                size_t(poster.log().rowCount()));
    return 0;
}
