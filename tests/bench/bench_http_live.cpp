// /api/live on loopback, and the service's memory with HTTP and MQTT on.
//
// 1. The API on this thread's event loop with a decoded packet, clients on their own threads
//    sending GET /api/live one after the other: on one kept-alive connection each, and on a
//    new connection for every request. Prints requests per second, median and 99th percentile.
// 2. orvotoved streaming from orvo-sim with the API and MQTT (a real mosquitto broker) on,
//    polled on /api/live and /metrics for a while: prints its resident memory and peak.
// Fails only when answers go missing, never on speed.
#include "http_api.h"
#include "manual_clock.h"
#include "mosquitto_broker.h"
#include "process_fixtures.h"
#include "recorders.h"
#include "sim_process.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kRequests = 20000;
const QByteArray kRequest = "GET /api/live HTTP/1.1\r\nHost: bench\r\n\r\n";
const QByteArray kClosingRequest = "GET /api/live HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n";

using Clock = std::chrono::steady_clock;

// One client's latencies in nanoseconds; fewer than asked when answers stopped coming.
std::vector<qint64> runClient(quint16 port, int requests, bool keepAlive)
{
    std::vector<qint64> latencies;
    latencies.reserve(size_t(requests));
    QTcpSocket socket;
    for (int i = 0; i < requests; ++i) {
        if (!keepAlive || i == 0) {
            socket.abort();
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (!socket.waitForConnected(5000))
                return latencies;
        }
        const auto start = Clock::now();
        socket.write(keepAlive ? kRequest : kClosingRequest);
        // The body is one JSON object: the answer is whole at its closing brace (kept alive), or
        // when the server closes.
        QByteArray answer;
        while (keepAlive ? !answer.endsWith('}') : socket.state() == QAbstractSocket::ConnectedState) {
            if (!socket.waitForReadyRead(5000) && keepAlive)
                return latencies;
            answer += socket.readAll();
        }
        answer += socket.readAll();
        if (!answer.startsWith("HTTP/1.1 200 "))
            return latencies;
        latencies.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    }
    return latencies;
}

double percentileMs(const std::vector<qint64> &sorted, double p)
{
    const size_t at = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return double(sorted[at]) / 1e6;
}

bool benchRequests(HttpApi &api, int clients, bool keepAlive)
{
    std::vector<std::vector<qint64>> results;
    results.resize(size_t(clients));
    int running = clients;
    const int each = keepAlive ? kRequests / clients : kRequests / clients / 4;
    QEventLoop loop; // the server answers on this thread meanwhile
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            results[size_t(c)] = runClient(api.port(), each, keepAlive);
            QMetaObject::invokeMethod(&loop, [&] {
                if (--running == 0)
                    loop.quit();
            }, Qt::QueuedConnection);
        });
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto &t : threads)
        t.join();
    std::vector<qint64> all;
    for (const auto &r : results)
        all.insert(all.end(), r.begin(), r.end());
    std::sort(all.begin(), all.end());
    if (all.size() != size_t(each * clients)) {
        std::printf("/api/live: %zu of %d answers came\n", all.size(), each * clients);
        return false;
    }
    std::printf("/api/live, %d client(s), %s: %.0f requests/s, median %.3f ms, p99 %.3f ms\n",
                clients, keepAlive ? "kept-alive connection" : "new connection each",
                double(all.size()) / seconds, percentileMs(all, 0.5), percentileMs(all, 0.99));
    return true;
}

bool benchServiceMemory()
{
    MosquittoBroker broker;
    if (!broker.available()) {
        std::printf("orvotoved memory: skipped (%s)\n", qPrintable(broker.whyNot()));
        return true;
    }
    SimProcess sim;
    if (!sim.start({"--port", "15", "--period-ms", "100", "--quiet"}))
        return false;
    QTemporaryDir dir;
    const quint16 httpPort = unusedLoopbackPort();
    QProcess daemon;
    if (!sim.startService(daemon, dir.filePath("bench.ini"), httpPort,
                          {{"mqtt/Enabled", "True"}, {"mqtt/Host", "127.0.0.1"},
                           {"mqtt/Port", QString::number(broker.port())}, {"mqtt/Interval", "0"}}))
        return false;
    // A minute of packets, ten a second, with the API polled all along.
    int answered = 0;
    const auto until = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < until) {
        for (const char *path : {"/api/live", "/metrics"}) {
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, httpPort);
            if (client.waitForConnected(1000)) {
                client.write(QByteArray("GET ") + path + " HTTP/1.1\r\nConnection: close\r\n\r\n");
                while (client.waitForReadyRead(1000))
                    client.readAll();
                ++answered;
            }
        }
        QTest::qWait(50);
    }
    const long rss = processStatusKb(daemon.processId(), "VmRSS:");
    const long peak = processStatusKb(daemon.processId(), "VmHWM:");
    stopProcess(daemon, 10000);
    std::printf("orvotoved with HTTP and MQTT on, 60 s at 10 packets/s, %d requests: "
                "resident %.1f MB, peak %.1f MB\n", answered, double(rss) / 1024, double(peak) / 1024);
    return rss > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ManualClock clock;
    RecordingStatusLines log;
    HttpSources sources;
    sources.linkUp = [] { return true; };
    HttpApi api(clock, &log, sources);
    LiveReading reading;
    reading.watts1 = 1500;
    reading.ws1Static = 123456789;
    reading.volts = 121.7;
    reading.seconds = 4242;
    api.packetDecoded(reading);
    HttpSettings settings;
    settings.enabled = true;
    settings.listen = QStringLiteral("127.0.0.1:%1").arg(unusedLoopbackPort());
    api.apply(settings);
    if (!api.isListening())
        return 1;
    bool ok = benchRequests(api, 1, true) && benchRequests(api, 4, true) && benchRequests(api, 1, false);
    api.stop();
    ok = benchServiceMemory() && ok;
    return ok ? 0 : 1;
}
