// The energy record over a year of minutes, written in simulated time into a real SQLite file:
// CPU per minute written (one transaction each, as the program writes), the file's size, the
// accounting's CPU per packet, and the latency of the day, month and year views with a day and
// night tariff, with the longest time a view's query held the event loop. Prints the figures;
// fails only when a view is wrong, never on speed.

#include "history_reader.h"
#include "minute_accountant.h"
#include "postgres_server.h"
#include "server_history_store.h"
#include "sql_history_store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>
#include <cstdio>

namespace {

double cpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A household minute: a base load with appliance steps, solar on CH2 by day.
HistoryRow householdMinute(qint64 start, qint64 n)
{
    HistoryRow r;
    r.start = start;
    r.end = start + 60;
    r.packets = 60;
    const int w1 = 280 + (n % 37 < 5 ? 2000 : 0) + int(n % 13) * 7;
    const int hour = int((start / 3600) % 24);
    const int solar = hour >= 8 && hour < 17 ? 900 + int(n % 50) : 0;
    r.energy = {w1 * 60, (150 + solar) * 60, 0, solar * 60};
    r.minWatts = {w1 - 40, 120};
    r.maxWatts = {w1 + 35, 150 + solar};
    r.minVolts = 228.0 + double(n % 20) / 10;
    r.maxVolts = r.minVolts + 2.5;
    return r;
}

struct ViewTiming {
    double ms = 0;
    double cpuMs = 0;
    double longestHoldMs = 0;    // wall clock: on a busy machine other processes take turns too
    double longestHoldCpuMs = 0; // the program's own work between two turns of the event loop
    PeriodReport report;
};

ViewTiming timeView(HistoryStore &store, const Tariff &tariff, const QDate &first, const QDate &end,
                    PeriodStep step)
{
    HistoryReader reader(store, QStringLiteral("bench"), tariff);
    QSignalSpy ready(&reader, &HistoryReader::ready);
    ViewTiming t;
    QElapsedTimer sinceTick;
    double cpuAtTick = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    QTimer ticker; // fires whenever the event loop turns: the gaps are what the query held it
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        t.longestHoldMs = std::max(t.longestHoldMs, double(sinceTick.nsecsElapsed()) / 1e6);
        t.longestHoldCpuMs = std::max(t.longestHoldCpuMs, (cpu - cpuAtTick) * 1000);
        cpuAtTick = cpu;
        sinceTick.start();
    });
    QElapsedTimer total;
    total.start();
    const double cpuStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    sinceTick.start();
    ticker.start();
    reader.request(first, end, step, QDateTime::currentSecsSinceEpoch());
    while (ready.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    t.ms = double(total.nsecsElapsed()) / 1e6;
    t.cpuMs = (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart) * 1000;
    t.report = ready[0][0].value<PeriodReport>();
    return t;
}

// The month view on PostgreSQL over loopback, through the worker thread: a month written in
// day-long batches to a server the bench starts; false when the view is wrong.
bool postgresMonth(const Tariff &tariff)
{
    PostgresServer server;
    const QString error = server.start();
    if (!error.isEmpty()) {
        std::printf("PostgreSQL: %s\n", qPrintable(error));
        return false;
    }
    QString problem;
    const HistoryServer address = *parseHistoryServer(server.url(), &problem);
    const QDate firstDay(2025, 1, 1);
    const qint64 start = localDayStart(firstDay);
    qint64 total = 0;
    QElapsedTimer wall;
    wall.start();
    {
        SqlHistoryStore writer(address, SqlHistoryStore::Access::ReadWrite);
        for (int d = 0; d < 31; ++d) {
            HistoryBatch day{QStringLiteral("bench"), {}, {}};
            for (qint64 m = d * 1440; m < (d + 1) * 1440; ++m) {
                day.rows.append(householdMinute(start + m * 60, m));
                total += day.rows.last().energy[0];
            }
            day.resume = ResumePoint{(start + (d + 1) * 86400) * 1000, {total, 0, 0, 0}, start, {}};
            if (!writer.writeNow(day, &problem)) {
                std::printf("PostgreSQL write failed: %s\n", qPrintable(problem));
                return false;
            }
        }
        writer.close();
    }
    std::printf("PostgreSQL: wrote 31 days of minutes in %.1f s\n", double(wall.elapsed()) / 1000);
    ServerHistoryStore store(address, QString(), SqlHistoryStore::Access::ReadOnly);
    timeView(store, tariff, firstDay, QDate(2025, 2, 1), PeriodStep::Day); // connection and cache
    const ViewTiming t = timeView(store, tariff, firstDay, QDate(2025, 2, 1), PeriodStep::Day);
    std::printf("PostgreSQL month view (days): %.1f ms (%.1f ms CPU of the program's thread), the event loop "
                "held at most %.1f ms\n", t.ms, t.cpuMs, t.longestHoldMs);
    store.close();
    return t.report.ok && t.report.rows.size() == 31 && t.report.total.energy[0] == total;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    // ORVO_BENCH_RECORD keeps the record in that file, and a second run only reads it.
    const QString kept = qEnvironmentVariable("ORVO_BENCH_RECORD");
    const QString file = kept.isEmpty() ? dir.filePath(QStringLiteral("bench.history.sqlite")) : kept;
    const bool written = !kept.isEmpty() && QFileInfo::exists(kept);
    SqlHistoryStore store(file);
    int failures = 0;
    QObject::connect(&store, &HistoryStore::written, [&](const WriteOutcome &o) { failures += o.ok ? 0 : 1; });

    const QDate firstDay(2025, 1, 1);
    const qint64 start = localDayStart(firstDay);
    // Days from the argument, else from ORVO_BENCH_DAYS (the sanitizer build's short run).
    const QString daysText = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                      : qEnvironmentVariable("ORVO_BENCH_DAYS", QStringLiteral("365"));
    const int days = daysText.toInt();
    const qint64 minutes = (localDayStart(firstDay.addDays(days)) - start) / 60;
    qint64 total = 0;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    double slowestMs = 0;
    int over5ms = 0; // the WAL's checkpoints, which sync the file, and the machine's own pauses
    for (qint64 m = 0; m < minutes; ++m) {
        const HistoryRow row = householdMinute(start + m * 60, m);
        total += row.energy[0];
        if (written)
            continue;
        QElapsedTimer one;
        one.start();
        store.write(HistoryBatch{QStringLiteral("bench"), {row}, ResumePoint{(start + m * 60 + 59) * 1000, {total, 0, 0, 0}, start, {}}});
        slowestMs = std::max(slowestMs, double(one.nsecsElapsed()) / 1e6);
        over5ms += one.nsecsElapsed() > 5'000'000 ? 1 : 0;
    }
    const double cpuPerMinuteMs = (cpuSeconds() - cpuBefore) / double(minutes) * 1000;
    std::printf("wrote %lld minutes in %.1f s: %.3f ms CPU per minute, %d writes over 5 ms, the slowest %.1f ms, "
                "%d failed\n",
                static_cast<long long>(minutes), double(wall.elapsed()) / 1000, cpuPerMinuteMs, over5ms, slowestMs,
                failures);
    store.close();
    std::printf("file size after a year: %.1f MB (WAL %.1f MB)\n", double(QFileInfo(file).size()) / 1e6,
                double(QFileInfo(file + QStringLiteral("-wal")).size()) / 1e6);

    // The accounting in memory, per packet: what every accepted packet costs the program.
    MinuteAccountant accountant;
    accountant.setRecordEnd(std::nullopt);
    const double cpuAccount = cpuSeconds();
    constexpr qint64 kPackets = 2'000'000;
    for (qint64 p = 0; p < kPackets; ++p) {
        accountant.take(PacketFacts{p * 1000, {p * 300, p * 100, 0, 0}, {300, 100}, 230.1});
        if (p % 60 == 59)
            accountant.takeRows();
    }
    std::printf("accounting: %.3f us CPU per packet\n", (cpuSeconds() - cpuAccount) / double(kPackets) * 1e6);

    QStringList problems;
    const Tariff tariff = Tariff::fromTexts(
        TariffTexts{QStringLiteral("07:00-23:00=0.30;23:00-07:00=0.12"), QStringLiteral("0.45"), QStringLiteral("0.08")},
        0.2, &problems);
    const struct {
        const char *name;
        QDate first;
        QDate end;
        PeriodStep step;
        int rows;
    } views[] = {{"day view (hours)", QDate(2025, 1, 14), QDate(2025, 1, 15), PeriodStep::Hour, 24},
                 {"month view (days)", QDate(2025, 1, 1), QDate(2025, 2, 1), PeriodStep::Day, 31},
                 {"year view (months)", firstDay, firstDay.addYears(1), PeriodStep::Month, 12}};
    bool right = failures == 0;
    for (const auto &v : views) {
        timeView(store, tariff, v.first, v.end, v.step); // the file's pages into the cache first
        const ViewTiming t = timeView(store, tariff, v.first, v.end, v.step);
        std::printf("%s: %.1f ms (%.1f ms CPU), the event loop held at most %.1f ms (%.1f ms CPU)\n", v.name,
                    t.ms, t.cpuMs, t.longestHoldMs, t.longestHoldCpuMs);
        right = right && t.report.ok && t.report.rows.size() == v.rows;
        if (v.step == PeriodStep::Month)
            right = right && t.report.total.energy[0] == total;
    }
    right = postgresMonth(tariff) && right;
    std::printf("%s\n", right ? "views right" : "A VIEW IS WRONG");
    return right ? 0 : 1;
}
