// The live readings' cost figures by the tariff: the cost per hour at the present time's rate,
// today's cost minute by minute across the change to the night rate and across midnight, and
// without a tariff the single rate as before.
#include "live_figures.h"
#include "manual_clock.h"
#include "packet_decoder.h"
#include "packet_encoder.h"
#include "recorders.h"
#include "recording_settings_store.h"

#include <QTest>

namespace {

struct LiveRig {
    ManualClock clock{QDateTime(QDate(2026, 1, 14), QTime(22, 59, 0))};
    RecordingStatusLines log;
    RecordingSettingsStore store;
    PacketDecoder decoder{log, clock};
    LiveFigures figures{clock, store};
    PacketFields f;

    LiveRig() { decoder.addDecodedListener([this] { figures.take(decoder.reading()); }); }
    // A second of 3600 W on CH1 (a watt-hour), then its packet.
    void second(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            f.ws1 += 3600;
            ++f.seconds;
            clock.advance(1000);
            const QByteArray packet = encodePacket(f);
            decoder.startPacket();
            for (int b = 3; b < packet.size(); ++b)
                decoder.takePacketByte(quint8(packet.at(b)));
        }
    }
    const ChannelFigures &ch1() const { return figures.channels()[0]; }
};

Tariff nightAndDay()
{
    QStringList problems;
    return Tariff::fromTexts({QStringLiteral("07:00-23:00=0.30;23:00-07:00=0.12"), {}, {}}, 0.126, &problems);
}

} // namespace

class TestLiveTariff : public QObject {
    Q_OBJECT
private slots:
    void nightRateAcrossMidnight_costFollowsTheRate();
    void noTariff_singleRateAsBefore();
};

void TestLiveTariff::nightRateAcrossMidnight_costFollowsTheRate()
{
    LiveRig rig;
    rig.figures.setTariff(nightAndDay());
    rig.second(59); // up to 22:59:59: the first packet starts the day's count
    QCOMPARE(rig.ch1().costPerHour, 3.6 * 0.30);
    rig.second(61); // 23:00:00 to 23:01:00
    QCOMPARE(rig.ch1().costPerHour, 3.6 * 0.12);
    QCOMPARE(rig.ch1().costToday, (58 * 0.30 + 61 * 0.12) / 1000);
    QCOMPARE(rig.ch1().kwhToday, 119 / 1000.0);

    // The hour to midnight passes without packets; the next day starts from its first packet.
    rig.clock.advance(qint64(3538) * 1000);
    rig.f.seconds += 3538;
    rig.second(3); // 23:59:59, 00:00:00, 00:00:01
    QCOMPARE(rig.ch1().costToday, 0.12 / 1000);
}

void TestLiveTariff::noTariff_singleRateAsBefore()
{
    LiveRig rig;
    rig.figures.setTariff(Tariff());
    rig.figures.setRate(0.2);
    rig.second(120);
    QCOMPARE(rig.ch1().costPerHour, 3.6 * 0.2);
    QCOMPARE(rig.ch1().costToday, rig.ch1().kwhToday * 0.2);
}

QTEST_GUILESS_MAIN(TestLiveTariff)
#include "tst_live_tariff.moc"
