// The dashboard in headless chromium against the program's HTTP API on loopback: the live
// figures follow the stream without a reload, the record's bars show a record the test wrote
// (gaps marked), nothing of it without the token, and its pictures at phone and desktop width.
#include "headless_chromium.h"
#include "history_records.h"
#include "http_api_rig.h"
#include "sql_history_store.h"
#include "tariff.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>

namespace {

const QDate kToday(2026, 12, 9);

// A day of a household until 18:30: a base load with a kettle now and then on channel 1, a
// heat pump cycling on channel 2 from 06:00, and the monitor unplugged from 03:00 to 04:00.
QList<HistoryRow> householdDay()
{
    QList<HistoryRow> rows;
    for (int minute = 0; minute < 18 * 60 + 30; ++minute) {
        const qint64 start = localSeconds(kToday, minute / 60, minute % 60);
        if (minute / 60 == 3)
            continue;
        const int w1 = 250 + int(150 * std::sin(minute / 90.0) + 60 * std::sin(minute * 1.7))
                       + (minute % 97 < 4 ? 2000 : 0);
        const int w2 = minute >= 6 * 60 ? (minute % 20 < 12 ? 900 : 150) + int(25 * std::sin(minute * 0.9)) : 120;
        HistoryRow row = recordMinute(start, qint64(w1) * 60);
        row.energy[1] = qint64(w2) * 60;
        rows.append(row);
    }
    rows.append(recordGap(localSeconds(kToday, 3, 0), localSeconds(kToday, 4, 0), 900000));
    return rows;
}

struct PageRig {
    QTemporaryDir dir;
    ApiRig http{QString::fromUtf8(kToken)};
    std::unique_ptr<SqlHistoryStore> store;
    QTimer feeder;
    int fed = 0;

    PageRig() { http.clock.setTime(QDateTime(kToday, QTime(18, 30))); }
    bool keepRecord(const QList<HistoryRow> &rows)
    {
        const QString file = dir.filePath("kitchen.history.sqlite");
        if (!writeRecord(file, "kitchen", rows))
            return false;
        store = std::make_unique<SqlHistoryStore>(file, SqlHistoryStore::Access::ReadOnly);
        Tariff tariff;
        tariff.setFlatRate(0.28);
        http.api.setRecord(store.get(), "kitchen", tariff);
        return true;
    }
    void packet(double watts1, double watts2)
    {
        http.clock.advance(1000);
        LiveReading r;
        r.watts1 = watts1;
        r.watts2 = watts2;
        r.ws1Static = 7200000 + fed * 1000.0;
        r.ws2PolarStatic = watts2 < 0 ? 360000 : 0;
        r.volts = 231.4;
        r.amps1 = float(watts1 / 231.4);
        r.amps2 = float(std::abs(watts2) / 231.4);
        r.pf1 = 0.97f;
        r.pf2 = 0.88f;
        r.seconds = 1000 + fed++;
        http.api.packetDecoded(r);
    }
    // A packet a second of the clock, four a second of real time, as a monitor would send.
    void feed()
    {
        QObject::connect(&feeder, &QTimer::timeout, &feeder,
                         [this] { packet(430 + 40 * std::sin(fed / 3.0), 780 + (fed % 5) * 12); });
        feeder.start(250);
    }
    QUrl url(bool withToken = true) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(http.port)
                        .arg(withToken ? "?token=" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(kToken))) : QString()));
    }
};

QString text(const char *id)
{
    return QStringLiteral("document.getElementById('%1').textContent").arg(QLatin1String(id));
}

} // namespace

class TestDashboardPage : public QObject {
    Q_OBJECT
private slots:
    void init();
    void live_figuresFollowTheStream();
    void record_barsOfEachPeriod_data();
    void record_barsOfEachPeriod();
    void withoutToken_nothingOfTheDashboard();
    void pictures_atPhoneAndDesktopWidth_data();
    void pictures_atPhoneAndDesktopWidth();
};

void TestDashboardPage::init()
{
    if (!HeadlessChromium::missing().isEmpty())
        QFAIL(qPrintable(HeadlessChromium::missing()));
}

void TestDashboardPage::live_figuresFollowTheStream()
{
    PageRig rig;
    rig.packet(1500, 36);
    HeadlessChromium page;
    QVERIFY2(page.open(rig.url()), qPrintable(page.error()));
    QVERIFY2(page.waitFor(text("power1") + " === '1500'"), qPrintable(page.error()));
    QCOMPARE(page.evaluate("document.querySelector('dd.gen2').hidden").toBool(), true);

    rig.packet(2222, -420);
    QVERIFY(page.waitFor(text("power1") + " === '2222'"));
    QVERIFY(page.evaluate("Number(document.body.dataset.packets)").toInt() >= 2);
    QCOMPARE(page.evaluate(text("power2")).toString(), QStringLiteral("-420"));
    QCOMPARE(page.evaluate("document.querySelector('dd.gen2').hidden").toBool(), false);
    QCOMPARE(page.evaluate(text("stream")).toString(), QStringLiteral("Stream live"));
    // Record off: the live part alone.
    QCOMPARE(page.evaluate("document.getElementById('record').hidden").toBool(), true);

    // No packet for ten seconds of the program's clock: its status says so, the page turns red.
    rig.http.linkUp = false;
    rig.http.clock.advance(10000);
    QVERIFY(page.waitFor("document.getElementById('age').classList.contains('stale')"));
    QCOMPARE(page.evaluate(text("stream")).toString(), QStringLiteral("Stream stopped"));
    QCOMPARE(page.evaluate(text("link")).toString(), QStringLiteral("Link down"));
}

void TestDashboardPage::record_barsOfEachPeriod_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<int>("bars");
    QTest::addColumn<QString>("gapLabel");
    QTest::newRow("hours of today") << "hours" << 24 << "03:00";
    QTest::newRow("days of this month") << "days" << 31 << "9";
    QTest::newRow("months of this year") << "months" << 12 << "Dec";
}

void TestDashboardPage::record_barsOfEachPeriod()
{
    QFETCH(QString, view);
    QFETCH(int, bars);
    QFETCH(QString, gapLabel);
    PageRig rig;
    QVERIFY(rig.keepRecord({recordMinute(localSeconds(kToday, 9, 0), 36000),
                            recordMinute(localSeconds(kToday, 9, 1), 36000, 7200),
                            recordGap(localSeconds(kToday, 3, 0), localSeconds(kToday, 3, 30), 720000)}));
    rig.packet(600, 0);
    HeadlessChromium page;
    QVERIFY2(page.open(rig.url()), qPrintable(page.error()));
    QVERIFY2(page.waitFor("document.getElementById('record').dataset.bars === '24'"), qPrintable(page.error()));
    page.evaluate(QStringLiteral("document.querySelector('[data-view=%1]').click()").arg(view));
    QVERIFY(page.waitFor(QStringLiteral("document.getElementById('record').dataset.view === '%1' && "
                                        "document.getElementById('record').dataset.bars === '%2'").arg(view).arg(bars)));
    const QString gapRows = page.evaluate("[...document.querySelectorAll('#record-rows tr[data-gap=true]')]"
                                          ".map((tr) => tr.cells[0].textContent).join()").toString();
    QCOMPARE(gapRows, gapLabel);
    QCOMPARE(page.evaluate(text("record-total")).toString(),
             QStringLiteral("Total 0.220 kWh (channel 1 0.220, channel 2 0.000), generated 0.002 kWh, cost 0.06 "
                            "· 1 with a gap (hatched)"));
    QCOMPARE(page.evaluate(text("today1")).toString(), QStringLiteral("0.220"));
    QCOMPARE(page.evaluate("Chart.getChart('record-chart').data.datasets.length").toInt(), 4); // 2 channels, generated, gap
    // The live chart starts from the record's minutes: the two at 09:00, about 600 W.
    QCOMPARE(page.evaluate("Chart.getChart('live-chart').data.datasets[0].data.filter((p) => p.y !== null)"
                           ".slice(0, 2).map((p) => Math.round(p.y)).join()").toString(),
             QStringLiteral("600,480"));
}

void TestDashboardPage::withoutToken_nothingOfTheDashboard()
{
    PageRig rig;
    rig.packet(1500, 36);
    for (const char *path : {"/", "/dashboard.js", "/api/events"})
        QCOMPARE(rig.http.get(QString::fromLatin1(path)).status, 401);
    HeadlessChromium page;
    QVERIFY2(page.open(rig.url(false)), qPrintable(page.error()));
    QVERIFY(page.waitFor("location.protocol === 'http:' && document.readyState === 'complete'"));
    QCOMPARE(page.evaluate("document.getElementById('power1') === null").toBool(), true);
    QCOMPARE(page.evaluate("document.body.innerText.trim()").toString(), QStringLiteral("Unauthorized"));
    QCOMPARE(rig.http.api.events().streams(), 0);
}

void TestDashboardPage::pictures_atPhoneAndDesktopWidth_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("file");
    QTest::newRow("phone") << QSize(390, 844) << "dashboard-phone.png";
    QTest::newRow("desktop") << QSize(1280, 900) << "dashboard-desktop.png";
}

void TestDashboardPage::pictures_atPhoneAndDesktopWidth()
{
    QFETCH(QSize, size);
    QFETCH(QString, file);
    PageRig rig;
    QVERIFY(rig.keepRecord(householdDay()));
    rig.feed();
    HeadlessChromium page(size);
    QVERIFY2(page.open(rig.url()), qPrintable(page.error()));
    QVERIFY2(page.waitFor("Number(document.body.dataset.packets) >= 8 && "
                          "document.getElementById('record').dataset.bars === '24'"), qPrintable(page.error()));
    // One column on a phone, three on a desktop.
    const int columns = page.evaluate("getComputedStyle(document.querySelector('main')).gridTemplateColumns"
                                      ".split(' ').length").toInt();
    QCOMPARE(columns, size.width() < 760 ? 1 : 3);
    const QByteArray png = page.screenshot();
    QCOMPARE(pngSize(png), size);
    if (qEnvironmentVariableIntValue("ORVO_UPDATE_PICTURES") == 1) {
        QFile picture(QStringLiteral(ORVO_DOCS_DIR "/") + file);
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write(png);
    }
}

QTEST_GUILESS_MAIN(TestDashboardPage)
#include "tst_dashboard_page.moc"
