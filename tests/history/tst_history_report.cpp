// Reports over a real SQLite record in a time zone with daylight-saving time: local days of 23
// and 25 hours, each minute priced at its local time's rate across midnight, gaps at the mean
// rate of their time, the standing charge per day; and orvo-history's command line over them.
#include "history_records.h"
#include "history_csv.h"
#include "history_reader.h"
#include "process_fixtures.h"
#include "sim_process.h"
#include "sql_history_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kNode = QStringLiteral("kitchen");
constexpr qint64 kKwh = 3'600'000;

struct ReportRig {
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("kitchen.history.sqlite"));
    SqlHistoryStore store{file};

    bool write(const QList<HistoryRow> &rows)
    {
        QSignalSpy written(&store, &HistoryStore::written);
        store.write(HistoryBatch{kNode, rows, ResumePoint{}});
        return written.size() == 1 && written[0][0].value<WriteOutcome>().ok;
    }
    PeriodReport report(const QDate &first, const QDate &end, PeriodStep step, const Tariff &tariff)
    {
        HistoryReader reader(store, kNode, tariff);
        QSignalSpy ready(&reader, &HistoryReader::ready);
        reader.request(first, end, step, QDateTime::currentSecsSinceEpoch());
        return ready.wait(5000) ? ready[0][0].value<PeriodReport>() : PeriodReport{};
    }
};

Tariff nightAndDay(const QString &standing = QString(), const QString &credit = QString())
{
    QStringList problems;
    const Tariff t = Tariff::fromTexts(
        TariffTexts{QStringLiteral("07:05-23:05=0.30;23:05-07:05=0.12"), standing, credit}, 0.2, &problems);
    return problems.isEmpty() ? t : Tariff();
}

} // namespace

class TestHistoryReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void localDay_hasTheHoursItLasted_data();
    void localDay_hasTheHoursItLasted();
    void nightRateAcrossMidnight_eachMinuteAtItsRate();
    void gapAcrossRateChange_pricedAtItsMeanRate();
    void ratesText_faulty_flatRateAndOneProblem_data();
    void ratesText_faulty_flatRateAndOneProblem();
    void orvoHistory_badArguments_oneLineAndCode2_data();
    void orvoHistory_badArguments_oneLineAndCode2();
    void orvoHistory_summaryAndExport_agreeWithTheRows();
};

void TestHistoryReport::initTestCase()
{
    QCOMPARE(QDateTime(QDate(2026, 7, 1), QTime(12, 0)).offsetFromUtc(), 7200); // Europe/Berlin
}

void TestHistoryReport::localDay_hasTheHoursItLasted_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QString>("thirdHourStarts"); // in the export's local time with offset
    QTest::newRow("summer time begins") << QDate(2026, 3, 29) << 23 << "2026-03-29T03:00:00+02:00";
    QTest::newRow("ordinary day") << QDate(2026, 6, 10) << 24 << "2026-06-10T02:00:00+02:00";
    QTest::newRow("summer time ends") << QDate(2026, 10, 25) << 25 << "2026-10-25T02:00:00+02:00";
}

void TestHistoryReport::localDay_hasTheHoursItLasted()
{
    QFETCH(QDate, day);
    QFETCH(int, hours);
    QFETCH(QString, thirdHourStarts);
    ReportRig rig;
    QList<HistoryRow> rows;
    const qint64 start = localDayStart(day);
    for (qint64 t = start; t < localDayStart(day.addDays(1)); t += 60)
        rows.append(recordMinute(t, 60));
    rows.append(recordMinute(start - 60, 1000)); // the day before and after stay out
    rows.append(recordMinute(localDayStart(day.addDays(1)), 1000));
    QVERIFY(rig.write(rows));

    const PeriodReport report = rig.report(day, day.addDays(1), PeriodStep::Hour, Tariff());
    QVERIFY2(report.ok, qPrintable(report.error));
    QCOMPARE(report.rows.size(), hours);
    for (const ReportRow &hour : report.rows)
        QCOMPARE(hour.energy[kAbs1], 3600);
    QCOMPARE(report.total.energy[kAbs1], hours * 3600);
    const QStringList csv = HistoryCsv::text(report).split(u'\n');
    QVERIFY(csv[3].startsWith(thirdHourStarts + u','));
    // The day as a whole: a row of a month report.
    const PeriodReport month = rig.report(day.addDays(1 - day.day()), day.addDays(1 - day.day()).addMonths(1),
                                          PeriodStep::Day, Tariff());
    QCOMPARE(month.rows[day.day() - 1].energy[kAbs1], hours * 3600);
    QCOMPARE(month.total.energy[kAbs1], hours * 3600 + 2000);
}

void TestHistoryReport::nightRateAcrossMidnight_eachMinuteAtItsRate()
{
    ReportRig rig;
    const QDate d1(2026, 1, 14), d2(2026, 1, 15);
    // The rates change off the quarter hours, inside the record's summed quarters.
    QVERIFY(rig.write({recordMinute(localSeconds(d1, 23, 4), kKwh), recordMinute(localSeconds(d1, 23, 5), kKwh),
                       recordMinute(localSeconds(d2, 0, 30), kKwh), recordMinute(localSeconds(d2, 7, 4), kKwh),
                       recordMinute(localSeconds(d2, 7, 5), kKwh, kKwh / 2)}));
    const PeriodReport days = rig.report(d1, d2.addDays(1), PeriodStep::Day,
                                         nightAndDay(QStringLiteral("0.50"), QStringLiteral("0.08")));
    QCOMPARE(days.rows.size(), 2);
    QCOMPARE(days.rows[0].energyCost, 0.30 + 0.12);
    // 07:05 consumed half a kWh at the day rate and exported half at the credit.
    QCOMPARE(days.rows[1].energyCost, 0.12 + 0.12 + 0.5 * 0.30 - 0.5 * 0.08);
    QCOMPARE(days.rows[1].standing, 0.50);
    QCOMPARE(days.total.cost(), 0.42 + 0.35 + 1.0);

    const PeriodReport hours = rig.report(d1, d2, PeriodStep::Hour, nightAndDay());
    QCOMPARE(hours.rows[23].energy[kAbs1], 2 * kKwh);
    QCOMPARE(hours.rows[23].energyCost, 0.30 + 0.12);
    const PeriodReport minutes = rig.report(d2, d2.addDays(1), PeriodStep::Minute, nightAndDay());
    QCOMPARE(minutes.rows.size(), 3);
    QCOMPARE(minutes.rows[1].energyCost, 0.12);
    QCOMPARE(minutes.rows[2].energyCost, 0.5 * 0.30);
}

void TestHistoryReport::gapAcrossRateChange_pricedAtItsMeanRate()
{
    ReportRig rig;
    const QDate d(2026, 1, 14);
    QVERIFY(rig.write({recordGap(localSeconds(d, 22, 5), localSeconds(d.addDays(1), 0, 5), 2 * kKwh)}));
    const PeriodReport hours = rig.report(d, d.addDays(1), PeriodStep::Hour, nightAndDay());
    QCOMPARE(hours.rows[22].energy[kAbs1], 2 * kKwh);
    QVERIFY(hours.rows[22].gap && hours.rows[23].gap && !hours.rows[21].gap);
    QCOMPARE(hours.rows[22].energyCost, 2 * (0.30 + 0.12) / 2);
    QCOMPARE(hours.total.energyCost, 0.42);
}

void TestHistoryReport::ratesText_faulty_flatRateAndOneProblem_data()
{
    QTest::addColumn<QString>("rates");
    QTest::newRow("no price") << "07:00-23:00";
    QTest::newRow("hour 25") << "07:00-25:00=0.3";
    QTest::newRow("price not a number") << "07:00-23:00=cheap";
    QTest::newRow("one of two entries") << "07:00-23:00=0.3;23:00=0.1";
}

void TestHistoryReport::ratesText_faulty_flatRateAndOneProblem()
{
    QFETCH(QString, rates);
    QStringList problems;
    const Tariff t = Tariff::fromTexts(TariffTexts{rates, {}, {}}, 0.2, &problems);
    QCOMPARE(problems.size(), 1);
    QVERIFY(problems[0].startsWith(QStringLiteral("[tariff] Rates \"%1\"").arg(rates)));
    QVERIFY(!t.hasPeriods());
    QCOMPARE(t.rateAtMinute(8 * 60), 0.2);
}

void TestHistoryReport::orvoHistory_badArguments_oneLineAndCode2_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no such day") << QStringList{"summary", "--day", "2026-02-30"};
    QTest::newRow("a month for --day") << QStringList{"summary", "--day", "2026-02"};
    QTest::newRow("a step of weeks") << QStringList{"export", "--from", "2026", "--to", "2027", "--step", "week"};
    QTest::newRow("to before from") << QStringList{"export", "--from", "2026-03", "--to", "2026-02", "--step", "day"};
}

void TestHistoryReport::orvoHistory_badArguments_oneLineAndCode2()
{
    QFETCH(QStringList, arguments);
    QProcess tool;
    tool.start(SimProcess::binDir() + "/orvo-history", arguments);
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    QCOMPARE(err.count(u'\n'), 1);
    QVERIFY(err.startsWith(QStringLiteral("orvo-history: ")));
    QVERIFY(tool.readAllStandardOutput().isEmpty());
}

void TestHistoryReport::orvoHistory_summaryAndExport_agreeWithTheRows()
{
    ReportRig rig;
    const QDate d(2026, 10, 25);
    QVERIFY(rig.write({recordMinute(localSeconds(d, 9, 0), 1234), recordMinute(localSeconds(d, 9, 1), 766),
                       recordGap(localSeconds(d, 9, 2), localSeconds(d, 9, 7), 5000), recordMinute(localSeconds(d, 23, 59), 7)}));
    const QString settings = rig.dir.filePath(QStringLiteral("kitchen.ini"));
    {
        // As a user writes it: with commas, since an unquoted ";" begins an INI comment.
        QFile ini(settings);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[history]\nDatabase=%1\n[tariff]\nRates=07:00-23:00=0.30,23:00-07:00=0.12\n")
                      .arg(rig.file).toUtf8());
    }
    const auto run = [&](const QStringList &arguments) {
        QProcess tool;
        tool.start(SimProcess::binDir() + "/orvo-history", QStringList{"--settings", settings} + arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    };
    const QStringList summary = run({"summary", "--day", "2026-10-25"});
    QCOMPARE(summary.size(), 2);
    QVERIFY(summary[0].startsWith("start,end,ch1_ws,ch2_ws,ch1_generated_ws,ch2_generated_ws,gap"));
    QVERIFY2(summary[1].startsWith("2026-10-25T00:00:00+02:00,2026-10-26T00:00:00+01:00,7007,0,0,0,1,0,"),
             qPrintable(summary[1]));
    // 2000 Ws at 0.30 and 7 Ws at 0.12 by the minute; the gap from 09:02 to 09:07 at 0.30.
    QCOMPARE(summary[1].section(u',', 12, 12), QString::number((7000 * 0.30 + 7 * 0.12) / kKwh, 'f', 4));
    const QStringList hours = run({"export", "--from", "2026-10-25", "--to", "2026-10-26", "--step", "hour"});
    QCOMPARE(hours.size(), 1 + 25);
    QVERIFY(hours[11].startsWith("2026-10-25T09:00:00+01:00,2026-10-25T10:00:00+01:00,7000,0,0,0,1,"));
    const QStringList minutes = run({"export", "--from", "2026-10", "--to", "2026-11", "--step", "minute"});
    QCOMPARE(minutes.size(), 1 + 4);
    QVERIFY(minutes[3].startsWith("2026-10-25T09:02:00+01:00,2026-10-25T09:07:00+01:00,5000,0,0,0,1,"));

    QProcess help;
    help.start(SimProcess::binDir() + "/orvo-history", {"--settings", settings, "--help"});
    QVERIFY(help.waitForFinished(10000));
    QVERIFY(help.readAllStandardOutput().contains(rig.file.toUtf8()));
}

int main(int argc, char *argv[])
{
    // Days of 23 and 25 hours need a zone with daylight-saving time, whatever the machine's.
    qputenv("TZ", "Europe/Berlin");
    QCoreApplication app(argc, argv);
    TestHistoryReport test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_history_report.moc"
