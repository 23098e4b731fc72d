// The cost of the live readings window at one packet a second with the 1-hour chart showing:
// CPU time per second of streaming (the share of a core), and resident memory after 1,000 and
// after 100,000 packets. Time runs on a manual clock, so an hour of streaming takes seconds; the
// window paints offscreen as it would on a screen. Prints the figures and fails only when the
// window stops drawing or memory grows without bound, never on speed.

#include "live_figures.h"
#include "live_readings_window.h"
#include "live_reading.h"
#include "manual_clock.h"
#include "recording_settings_store.h"

#include <QApplication>
#include <QChartView>
#include <QFile>

#include <sys/resource.h>

#include <cstdio>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

class PaintCounter final : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        paints += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

// A household: a base load with appliance steps, CH2 a smaller load.
struct Stream {
    LiveReading r;
    qint64 n = 0;
    void next()
    {
        ++n;
        r.watts1 = 300 + (n % 600 < 120 ? 2000 : 0) + (n % 97 == 0 ? 1500 : 0);
        r.watts2 = 150 + (n % 300 < 40 ? 800 : 0);
        r.ws1Static += r.watts1;
        r.ws2Static += r.watts2;
        r.volts = 120.5;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ManualClock clock{QDateTime(QDate(2026, 3, 7), QTime(8, 0))};
    RecordingSettingsStore store;
    LiveFigures figures(clock, store);
    LiveReadingsWindow window(figures, clock);
    window.setSpan(HistorySpan::Hour1);
    window.show();
    PaintCounter counter;
    window.findChild<QChartView *>()->viewport()->installEventFilter(&counter);
    Stream stream;
    // paintEvery: how many packets pass between two turns of the event loop, where the window
    // paints. 1 for the CPU figure; more for the long run, to keep the test quick under the
    // sanitizers (the drawing code still runs every second, only the paints are combined).
    auto streamFor = [&](qint64 packets, int paintEvery) {
        for (qint64 i = 0; i < packets; ++i) {
            stream.next();
            figures.take(stream.r);
            clock.advance(1000); // the window's refresh timer fires
            if (i % paintEvery == 0)
                QCoreApplication::processEvents();
        }
    };

    streamFor(1000, 1);
    const long rss1000 = residentKb();
    const double cpuFrom = cpuSeconds();
    const int paintsFrom = counter.paints;
    constexpr int kHour = 3600;
    streamFor(kHour, 1);
    const double cpuPerSecond = (cpuSeconds() - cpuFrom) / kHour;
    const int chartPaints = counter.paints - paintsFrom;
    streamFor(100000 - 1000 - kHour, 20);
    const long rss100000 = residentKb();

    std::printf("live readings, 1-hour span, one packet a second:\n");
    std::printf("  CPU %.3f ms per second of streaming = %.3f%% of a core (%d chart paints in an hour)\n",
                cpuPerSecond * 1e3, cpuPerSecond * 100, chartPaints);
    std::printf("  resident memory: %ld kB after 1,000 packets, %ld kB after 100,000 (%+ld kB)\n",
                rss1000, rss100000, rss100000 - rss1000);
    std::printf("  stored history buckets: %d\n", figures.history().storedBucketCount());
    const bool drew = chartPaints > 0 && window.chartDraws() > 0;
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps freed memory in quarantine (256 MB), so resident memory says
    // nothing about growth there; its leak check does that job.
    const bool bounded = true;
#else
    const bool bounded = rss100000 - rss1000 < 5 * 1024;
#endif
    return drew && bounded ? 0 : 1;
}
