// The dashboard's live stream on loopback, and the service's memory with pages open.
//
// 1. The API on this thread's event loop, ten clients of /api/events on their own threads: a
//    packet is decoded every 5 ms, and each client notes when that packet's event reached it.
//    Prints the median and 99th percentile from decoding to the client.
// 2. orvotoved streaming from orvo-sim (ten packets a second) with HTTP on, and ten pages that
//    load the dashboard as a browser does (the page, its files, the record of today) and then
//    follow /api/events for 20 s: prints its resident memory before and with them.
// Fails only when events go missing, never on speed.
#include "http_api.h"
#include "manual_clock.h"
#include "process_fixtures.h"
#include "recorders.h"
#include "sim_process.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
constexpr int kPages = 10;
constexpr int kPackets = 2000;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch()).count();
}

// Follows /api/events until the packet numbered last arrives; notes each packet's arrival.
void followEvents(quint16 port, int last, std::vector<qint64> &arrivals, std::atomic<int> &ready)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return;
    socket.write("GET /api/events HTTP/1.1\r\nHost: bench\r\n\r\n");
    static const QRegularExpression seconds("\"seconds\":(\\d+)");
    QByteArray buffer;
    bool counted = false;
    while (socket.waitForReadyRead(5000)) {
        buffer += socket.readAll();
        if (!counted && buffer.contains("event: hello")) {
            counted = true;
            ++ready;
        }
        qsizetype end;
        while ((end = buffer.indexOf("\n\n")) >= 0) {
            const QByteArray event = buffer.left(end);
            buffer.remove(0, end + 2);
            const auto match = seconds.match(QString::fromLatin1(event));
            if (!event.startsWith("event: live") || !match.hasMatch())
                continue;
            const int n = match.captured(1).toInt();
            if (n >= 0 && n < int(arrivals.size()))
                arrivals[size_t(n)] = nowNs();
            if (n == last)
                return;
        }
    }
}

double percentileMs(std::vector<qint64> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    return double(sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))]) / 1e6;
}

bool benchLatency()
{
    ManualClock clock;
    RecordingStatusLines log;
    HttpSources sources;
    sources.linkUp = [] { return true; };
    HttpApi api(clock, &log, sources);
    HttpSettings settings;
    settings.enabled = true;
    settings.listen = QStringLiteral("127.0.0.1:%1").arg(unusedLoopbackPort());
    api.apply(settings);
    if (!api.isListening())
        return false;
    std::vector<qint64> sent(kPackets, 0);
    std::vector<std::vector<qint64>> arrivals(kPages, std::vector<qint64>(kPackets, 0));
    std::atomic<int> ready = 0;
    std::vector<std::thread> pages;
    for (int p = 0; p < kPages; ++p)
        pages.emplace_back([&, p] { followEvents(api.port(), kPackets - 1, arrivals[size_t(p)], ready); });
    if (!QTest::qWaitFor([&] { return ready == kPages; }, 10000))
        return false;
    LiveReading reading;
    reading.watts1 = 1500;
    reading.volts = 121.7;
    int next = 0;
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        reading.seconds = next;
        sent[size_t(next)] = nowNs();
        api.packetDecoded(reading);
        if (++next == kPackets)
            timer.stop(), loop.quit();
    });
    timer.start(5);
    loop.exec();
    // Each page ends with the last packet's event (or 5 s without one); the server answers meanwhile.
    std::atomic<int> running = kPages;
    std::thread joiner([&] {
        for (auto &t : pages)
            t.join(), --running;
    });
    while (running > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    joiner.join();
    api.stop();
    std::vector<qint64> latencies;
    for (const auto &a : arrivals)
        for (int n = 0; n < kPackets; ++n)
            if (a[size_t(n)] != 0)
                latencies.push_back(a[size_t(n)] - sent[size_t(n)]);
    std::printf("/api/events, %d pages, %d packets at 5 ms: %zu of %d events came, median %.3f ms, p99 %.3f ms\n",
                kPages, kPackets, latencies.size(), kPages * kPackets, percentileMs(latencies, 0.5),
                percentileMs(latencies, 0.99));
    return latencies.size() == size_t(kPages * kPackets);
}

// What a page asks for when it opens, each on a connection of its own; the bytes it got.
qint64 loadPage(quint16 port)
{
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    qint64 bytes = 0;
    for (const QString &path : {QStringLiteral("/"), QStringLiteral("/dashboard.css"), QStringLiteral("/dashboard.js"),
                                QStringLiteral("/chart.js"), QStringLiteral("/api/live"),
                                QStringLiteral("/api/history?from=%1&to=%2&step=hour").arg(today, tomorrow)}) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        if (!client.waitForConnected(1000))
            continue;
        client.write("GET " + path.toUtf8() + " HTTP/1.1\r\nConnection: close\r\n\r\n");
        while (client.waitForReadyRead(2000))
            bytes += client.readAll().size();
    }
    return bytes;
}

bool benchServiceMemory()
{
    SimProcess sim;
    if (!sim.start({"--port", "15", "--period-ms", "100", "--quiet"})) {
        std::printf("orvo-sim did not start\n");
        return false;
    }
    QTemporaryDir dir;
    const quint16 httpPort = unusedLoopbackPort();
    QProcess daemon;
    if (!sim.startService(daemon, dir.filePath("bench.ini"), httpPort)
        || !QTest::qWaitFor([&] { return loadPage(httpPort) > 0; }, 10000)) {
        std::printf("orvotoved did not serve the dashboard\n");
        return false;
    }
    QTest::qWait(3000); // the stream runs
    const long before = processStatusKb(daemon.processId(), "VmRSS:");
    std::vector<std::unique_ptr<QTcpSocket>> pages;
    qint64 loaded = 0;
    for (int p = 0; p < kPages; ++p) {
        loaded += loadPage(httpPort);
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, httpPort);
        socket->write("GET /api/events HTTP/1.1\r\nHost: bench\r\n\r\n");
        pages.push_back(std::move(socket));
    }
    QByteArray events;
    const auto until = Steady::now() + std::chrono::seconds(20);
    while (Steady::now() < until) {
        QTest::qWait(200);
        for (auto &page : pages)
            events += page->readAll().count("event: live") > 0 ? "x" : "";
    }
    const long with = processStatusKb(daemon.processId(), "VmRSS:");
    const long peak = processStatusKb(daemon.processId(), "VmHWM:");
    stopProcess(daemon, 10000);
    std::printf("orvotoved at 10 packets/s: resident %.1f MB; with %d dashboards open for 20 s "
                "(%.0f kB of page each): %.1f MB, peak %.1f MB\n",
                double(before) / 1024, kPages, double(loaded) / kPages / 1024, double(with) / 1024,
                double(peak) / 1024);
    return with > 0 && events.size() > kPages * 10;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool latency = benchLatency();
    const bool memory = benchServiceMemory();
    return latency && memory ? 0 : 1;
}
