#include "household_load.h"
#include "meter_simulation.h"

#include <QTest>

#include <cmath>

namespace {

constexpr int kHour = 3600;

quint32 secondsBetween(quint32 earlier, quint32 later)
{
    return (later + packet::kSecondsModulus - earlier) % packet::kSecondsModulus;
}

MeterSetup setupWith(quint64 seed, bool solar, int startSecondOfDay, int periodMs = 1000, int solarChannel = 2)
{
    MeterSetup setup;
    setup.load = {seed, solar, startSecondOfDay, solarChannel};
    setup.periodMs = periodMs;
    return setup;
}

} // namespace

class TestHouseholdLoad : public QObject {
    Q_OBJECT
private slots:
    void counterIncrements_matchIntervalEnergy_data();
    void counterIncrements_matchIntervalEnergy();
    void solarChannel_followsTheSun_data();
    void solarChannel_followsTheSun();
    void severalHours_showFridgeCyclesAndKettle();
    void readings_stayPlausible();
    void seed_reproducesRun();
};

void TestHouseholdLoad::counterIncrements_matchIntervalEnergy_data()
{
    QTest::addColumn<bool>("solar");
    QTest::addColumn<int>("startSecondOfDay");
    QTest::addColumn<int>("periodMs");

    QTest::newRow("grid_only_one_second_period") << false << 8 * kHour << 1000;
    QTest::newRow("solar_generating_channel") << true << 12 * kHour << 1000;
    QTest::newRow("solar_around_sunrise_direction_changes") << true << 6 * kHour << 7000;
    QTest::newRow("fractional_period_uneven_steps") << false << 0 << 1500;
    QTest::newRow("long_period_many_seconds_per_packet") << true << 10 * kHour << 60000;
}

// The decoder takes the counters' increase over the seconds' increase as the mean power, so
// each increase must be the energy of exactly the seconds that passed, in its direction.
void TestHouseholdLoad::counterIncrements_matchIntervalEnergy()
{
    QFETCH(bool, solar);
    QFETCH(int, startSecondOfDay);
    QFETCH(int, periodMs);

    MeterSimulation meter(setupWith(42, solar, startSecondOfDay, periodMs));
    PacketFields previous = meter.nextFields();
    for (int i = 0; i < 2000; ++i) {
        const PacketFields now = meter.nextFields();
        const LoadInterval &interval = meter.lastInterval();
        QCOMPARE(secondsBetween(previous.seconds, now.seconds), quint32(interval.seconds));
        const std::array<quint64, 4> before{previous.ws1, previous.ws2, previous.ws1Polar, previous.ws2Polar};
        const std::array<quint64, 4> after{now.ws1, now.ws2, now.ws1Polar, now.ws2Polar};
        const std::array<double, 4> energy{interval.channels[0].absoluteWs, interval.channels[1].absoluteWs,
                                           interval.channels[0].generatedWs, interval.channels[1].generatedWs};
        for (int c = 0; c < 4; ++c) {
            QVERIFY2(after[c] >= before[c], qPrintable(QStringLiteral("counter %1 went back at packet %2").arg(c).arg(i)));
            const double increase = double(after[c] - before[c]);
            QVERIFY2(std::abs(increase - energy[c]) < 1.0,
                     qPrintable(QStringLiteral("counter %1 rose %2 for %3 Ws").arg(c).arg(increase).arg(energy[c])));
        }
        previous = now;
    }
}

void TestHouseholdLoad::solarChannel_followsTheSun_data()
{
    QTest::addColumn<int>("solarChannel");
    QTest::addColumn<int>("startSecondOfDay");
    QTest::addColumn<bool>("generates");

    QTest::newRow("noon_feeds_energy_back") << 2 << 12 * kHour << true;
    QTest::newRow("night_only_consumes") << 2 << 22 * kHour << false;
    QTest::newRow("array_on_channel_1_at_noon") << 1 << 12 * kHour << true;
}

// The polarized counter of the solar channel advances exactly while it feeds energy back; the
// other channel only consumes, so its polarized counter stays at zero.
void TestHouseholdLoad::solarChannel_followsTheSun()
{
    QFETCH(int, solarChannel);
    QFETCH(int, startSecondOfDay);
    QFETCH(bool, generates);

    MeterSimulation meter(setupWith(7, true, startSecondOfDay, 1000, solarChannel));
    const auto polar = [](const PacketFields &f, int ch) { return ch == 1 ? f.ws1Polar : f.ws2Polar; };
    const auto absolute = [](const PacketFields &f, int ch) { return ch == 1 ? f.ws1 : f.ws2; };
    const int other = 3 - solarChannel;
    PacketFields previous = meter.nextFields();
    int negativeIntervals = 0;
    const int intervals = 1800;
    for (int i = 0; i < intervals; ++i) {
        const PacketFields now = meter.nextFields();
        const double watts = meter.lastInterval().meanWatts(solarChannel - 1);
        QVERIFY(absolute(now, solarChannel) > absolute(previous, solarChannel));
        if (watts < 0) {
            ++negativeIntervals;
            QVERIFY(polar(now, solarChannel) > polar(previous, solarChannel));
        } else {
            QCOMPARE(polar(now, solarChannel), polar(previous, solarChannel));
        }
        QVERIFY(meter.lastInterval().meanWatts(other - 1) > 0);
        QCOMPARE(polar(now, other), quint64(0));
        previous = now;
    }
    if (generates)
        QVERIFY2(negativeIntervals > intervals * 9 / 10, qPrintable(QString::number(negativeIntervals)));
    else
        QCOMPARE(negativeIntervals, 0);
}

void TestHouseholdLoad::severalHours_showFridgeCyclesAndKettle()
{
    HouseholdLoad load({3, false, 0});
    int compressorStarts = 0;
    int kettleSeconds = 0;
    double previousWatts = load.advance(1).meanWatts(0);
    for (int s = 0; s < 6 * kHour; ++s) {
        const double watts = load.advance(1).meanWatts(0);
        if (watts - previousWatts > 400 && watts < 1000)
            ++compressorStarts;
        if (watts > 1900)
            ++kettleSeconds;
        previousWatts = watts;
    }
    // About 40 minutes per fridge cycle and a kettle about every 45 minutes.
    QVERIFY2(compressorStarts >= 6 && compressorStarts <= 12, qPrintable(QString::number(compressorStarts)));
    QVERIFY2(kettleSeconds >= 180, qPrintable(QString::number(kettleSeconds)));
}

void TestHouseholdLoad::readings_stayPlausible()
{
    MeterSimulation meter(setupWith(11, true, 9 * kHour));
    for (int i = 0; i < 5000; ++i) {
        const PacketFields f = meter.nextFields();
        QVERIFY2(f.decivolts >= 1150 && f.decivolts <= 1250, qPrintable(QString::number(f.decivolts)));
        for (const quint16 raw : {f.pfRaw1, f.pfRaw2})
            QVERIFY2(raw >= 0.45 * 65536 && raw <= 0.995 * 65536, qPrintable(QString::number(raw)));
    }
}

void TestHouseholdLoad::seed_reproducesRun()
{
    MeterSimulation first(setupWith(99, true, 12 * kHour));
    MeterSimulation again(setupWith(99, true, 12 * kHour));
    MeterSimulation other(setupWith(100, true, 12 * kHour));
    bool otherDiffers = false;
    for (int i = 0; i < 100; ++i) {
        const QByteArray packet = first.nextPacket();
        QCOMPARE(again.nextPacket(), packet);
        otherDiffers = otherDiffers || other.nextPacket() != packet;
    }
    QVERIFY(otherDiffers);
}

QTEST_GUILESS_MAIN(TestHouseholdLoad)
#include "tst_household_load.moc"
