// GETALL round trips through the data server from a loopback client in the same event loop:
// round trips per second, median and 99th percentile. The reading changes before every request,
// as a live stream would change it. Fails only when replies go missing, never on speed.

#include "command_interpreter.h"
#include "data_server.h"
#include "manual_clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRoundTrips = 20000;
constexpr int kWarmUp = 200;
constexpr int kTimeLimitMs = 4000;

class NoMonitor final : public MonitorCommands {
public:
    void togglePolarity(int) override {}
    MonitorSettingsReply readSettingsForServer() override { return {}; }
    QString resetAccumulated() override { return QStringLiteral("OK"); }
};

// Sends GETALL, waits for its line, records the time, sends the next one.
class RoundTripClient : public QObject {
public:
    RoundTripClient(QTcpSocket &socket, LiveReading &reading) : socket_(socket), reading_(reading)
    {
        connect(&socket_, &QIODevice::readyRead, this, &RoundTripClient::onReply);
    }
    void start() { send(); }
    std::vector<qint64> nsecs;
    int badReplies = 0;

private:
    void send()
    {
        reading_.watts1 = 1000 + count_ % 500;
        reading_.ws1 += 1234.5;
        reading_.seconds = count_;
        started_.start();
        socket_.write("GETALL\r");
    }
    void onReply()
    {
        while (socket_.canReadLine()) {
            const qint64 elapsed = started_.nsecsElapsed();
            if (socket_.readLine().count('\t') != 11)
                ++badReplies;
            if (++count_ > kWarmUp)
                nsecs.push_back(elapsed);
            if (count_ < kRoundTrips + kWarmUp)
                send();
            else
                QCoreApplication::quit();
        }
    }
    QTcpSocket &socket_;
    LiveReading &reading_;
    QElapsedTimer started_;
    int count_ = 0;
};

double percentileMs(std::vector<qint64> sorted, double p)
{
    const size_t at = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return double(sorted[at]) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ManualClock clock; // the server's ticks play no part here
    LinkFlags flags;
    flags.realTimeOn = true;
    LiveReading reading;
    LoadTable loads;
    LoadSwitchFlags loadSwitch;
    NoMonitor monitor;
    CommandInterpreter interpreter(reading, loads, loadSwitch, monitor, nullptr);
    DataServer server(clock, flags, interpreter, nullptr);
    server.setListenAddress(QHostAddress::LocalHost);
    server.setPort(0);
    server.open();

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.listeningPort());
    if (!socket.waitForConnected(5000)) {
        std::fprintf(stderr, "GETALL: could not connect\n");
        return 1;
    }
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    RoundTripClient client(socket, reading);
    QTimer::singleShot(0, &client, [&client] { client.start(); });
    QTimer::singleShot(kTimeLimitMs, &app, &QCoreApplication::quit);
    QElapsedTimer total;
    total.start();
    app.exec();
    const double seconds = double(total.nsecsElapsed()) / 1e9;

    std::vector<qint64> sorted = client.nsecs;
    if (sorted.empty() || client.badReplies > 0) {
        std::fprintf(stderr, "GETALL: %zu replies, %d malformed\n", sorted.size(),
                     client.badReplies);
        return 1;
    }
    std::sort(sorted.begin(), sorted.end());
    std::printf("GETALL: %.0f round trips/s, median %.3f ms, p99 %.3f ms (%zu round trips)\n",
                double(sorted.size()) / seconds, percentileMs(sorted, 0.5),
                percentileMs(sorted, 0.99), sorted.size());
    return 0;
}
