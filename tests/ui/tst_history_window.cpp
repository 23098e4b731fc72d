// The history window on the real widgets over a real SQLite record: the bars and texts of a day,
// a month and a year, previous/next, gaps marked, the cost by the tariff, the CSV export at the
// shown resolution and by minutes, and the window of a program whose record is off.
#include "history_window.h"
#include "manual_clock.h"
#include "sql_history_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QDate kDay(2026, 1, 14);

qint64 at(int hour, int minute, const QDate &day = kDay)
{
    return QDateTime(day, QTime(hour, minute)).toSecsSinceEpoch();
}

// From 10:00 to 10:59 CH1 draws 600 W and CH2 exports 120 W of its 200 W; 02:00 to 05:00 is a gap.
QList<HistoryRow> dayRows()
{
    QList<HistoryRow> rows;
    for (int m = 0; m < 60; ++m) {
        HistoryRow r;
        r.start = at(10, m);
        r.end = r.start + 60;
        r.packets = 60;
        r.energy = {36000, 12000, 0, 7200};
        rows.append(r);
    }
    HistoryRow gap;
    gap.start = at(2, 0);
    gap.end = at(5, 0);
    gap.kind = RowKind::Gap;
    gap.energy = {1800000, 0, 0, 0};
    rows.append(gap);
    return rows;
}

struct WindowRig {
    ManualClock clock{QDateTime(kDay, QTime(18, 30))};
    QTemporaryDir dir;
    SqlHistoryStore store{dir.filePath(QStringLiteral("kitchen.history.sqlite"))};
    Tariff tariff = [] {
        QStringList problems;
        return Tariff::fromTexts({QStringLiteral("07:00-23:00=0.30,23:00-07:00=0.12"), QStringLiteral("0.50"), {}},
                                 0.2, &problems);
    }();
    HistoryWindow window{&store, QStringLiteral("kitchen"), tariff, clock};

    WindowRig()
    {
        store.write(HistoryBatch{QStringLiteral("kitchen"), dayRows(), ResumePoint{}});
    }
    bool shown()
    {
        QSignalSpy spy(&window, &HistoryWindow::reportShown);
        if (!window.isVisible())
            window.show();
        return spy.wait(5000);
    }
    QString text(const char *name) { return window.findChild<QLabel *>(QString::fromLatin1(name))->text(); }
    template <class W>
    W *widget(const char *name) { return window.findChild<W *>(QString::fromLatin1(name)); }
};

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT
private slots:
    void day_showsHourBarsTotalsAndCost();
    void views_andPreviousNext_showTheirPeriods_data();
    void views_andPreviousNext_showTheirPeriods();
    void export_writesTheShownPeriodsCsv_data();
    void export_writesTheShownPeriodsCsv();
    void recordOff_saysSo();
};

void TestHistoryWindow::day_showsHourBarsTotalsAndCost()
{
    WindowRig rig;
    QVERIFY(rig.shown());
    QCOMPARE(rig.window.windowTitle(), QString("History"));
    QCOMPARE(rig.widget<QComboBox>("HistoryView")->currentText(), QString("Day"));
    QCOMPARE(rig.widget<QPushButton>("HistoryExport")->text(), QString("Export CSV..."));
    const QStringList hours = rig.window.chart().categories();
    QCOMPARE(hours.size(), 24);
    QCOMPARE(hours[10], QString("10"));
    // One bar per channel, consumed upwards and generated downwards.
    QCOMPARE(rig.window.chart().values(0)[10], 0.6);
    QCOMPARE(rig.window.chart().values(1)[10], 0.08);
    QCOMPARE(rig.window.chart().values(3)[10], -0.12);
    QCOMPARE(rig.window.chart().gapBuckets(), (QList<int>{2, 3, 4}));
    QCOMPARE(rig.text("HistoryGaps"), QString("Grey: no packets for over 2 minutes in 02, 03, 04"));
    QCOMPARE(rig.text("HistoryTotals"), QString("CH1 1.100 kWh, CH2 0.200 kWh; generated CH1 0.000 kWh, CH2 0.120 kWh"));
    // CH1's 0.6 kWh and CH2's 0.08 consumed at the day rate, the gap's 0.5 kWh at the night rate.
    QCOMPARE(rig.text("HistoryCost"), QString("Cost 0.76 (energy 0.26, standing charge 0.50)"));
    QCOMPARE(rig.text("HistoryStatus"), QString());
}

void TestHistoryWindow::views_andPreviousNext_showTheirPeriods_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<int>("moves"); // Previous (-) or Next (+) clicks
    QTest::addColumn<QString>("date");
    QTest::addColumn<QStringList>("firstLabels");
    QTest::addColumn<int>("bars");
    QTest::newRow("the day before") << 0 << -1 << "2026-01-13" << QStringList{"00", "01"} << 24;
    QTest::newRow("the month") << 1 << 0 << "2026-01" << QStringList{"1", "2"} << 31;
    QTest::newRow("the next month") << 1 << 1 << "2026-02" << QStringList{"1", "2"} << 28;
    QTest::newRow("the year") << 2 << 0 << "2026" << QStringList{"Jan", "Feb"} << 12;
    QTest::newRow("the year before") << 2 << -1 << "2025" << QStringList{"Jan", "Feb"} << 12;
}

void TestHistoryWindow::views_andPreviousNext_showTheirPeriods()
{
    QFETCH(int, view);
    QFETCH(int, moves);
    QFETCH(QString, date);
    QFETCH(QStringList, firstLabels);
    QFETCH(int, bars);
    WindowRig rig;
    QVERIFY(rig.shown());
    QSignalSpy shown(&rig.window, &HistoryWindow::reportShown);
    if (view > 0) {
        rig.widget<QComboBox>("HistoryView")->setCurrentIndex(view);
        emit rig.widget<QComboBox>("HistoryView")->activated(view);
        QVERIFY(shown.wait(5000));
    }
    for (int i = 0; i < std::abs(moves); ++i) {
        QTest::mouseClick(rig.widget<QPushButton>(moves < 0 ? "HistoryPrevious" : "HistoryNext"), Qt::LeftButton);
        QVERIFY(shown.wait(5000));
    }
    QCOMPARE(rig.widget<QDateEdit>("HistoryDate")->text(), date);
    QCOMPARE(rig.window.chart().categories().mid(0, 2), firstLabels);
    QCOMPARE(rig.window.chart().categories().size(), bars);
    const bool holdsTheDay = date == "2026-01" || date == "2026";
    QCOMPARE(rig.text("HistoryTotals").startsWith("CH1 1.100 kWh"), holdsTheDay);
}

void TestHistoryWindow::export_writesTheShownPeriodsCsv_data()
{
    QTest::addColumn<bool>("minutes");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("suggested");
    QTest::newRow("hours, as shown") << false << 1 + 24 << "history-2026-01-14-hour.csv";
    QTest::newRow("minutes") << true << 1 + 61 << "history-2026-01-14-minute.csv";
}

void TestHistoryWindow::export_writesTheShownPeriodsCsv()
{
    QFETCH(bool, minutes);
    QFETCH(int, lines);
    QFETCH(QString, suggested);
    WindowRig rig;
    QVERIFY(rig.shown());
    const QString file = rig.dir.filePath("out.csv");
    QString offered;
    rig.window.chooseExportFile = [&](const QString &name) {
        offered = name;
        return file;
    };
    rig.widget<QCheckBox>("HistoryExportMinutes")->setChecked(minutes);
    QSignalSpy finished(&rig.window, &HistoryWindow::exportFinished);
    QTest::mouseClick(rig.widget<QPushButton>("HistoryExport"), Qt::LeftButton);
    QVERIFY(finished.wait(5000));
    QVERIFY(offered.endsWith(suggested));
    QCOMPARE(rig.text("HistoryStatus"), "Exported " + file);
    QFile csv(file);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QStringList written = QString::fromUtf8(csv.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(written.size(), lines);
    QVERIFY(written[0].startsWith("start,end,ch1_ws,ch2_ws,ch1_generated_ws,ch2_generated_ws,gap"));
}

void TestHistoryWindow::recordOff_saysSo()
{
    ManualClock clock;
    HistoryWindow window(nullptr, QStringLiteral("kitchen"), Tariff(), clock);
    window.show();
    QCOMPARE(window.findChild<QLabel *>("HistoryStatus")->text(),
             QString("The energy record is off ([history] Enabled)."));
}

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
