// The trigger run over packet sequences: which packets post, why, and with what change values;
// the interval tick on the manual clock; the post log's limit.
#include "web_rig.h"

#include <QTest>

Q_DECLARE_METATYPE(TriggerThresholds)

namespace {
TriggerThresholds every(int seconds, int watts1 = 60, int watts2 = 60)
{
    return TriggerThresholds{seconds, watts1, watts2};
}
} // namespace

class TestPostTrigger : public QObject {
    Q_OBJECT
private slots:
    void packetSequence_postsAtSettledChangesIntervalsAndLoads_data();
    void packetSequence_postsAtSettledChangesIntervalsAndLoads();
    void realTimeStops_tickStopsAtNextTickKeepingItsCount();
    void postLog_1001stRowRemovesTheOldest();
};

void TestPostTrigger::packetSequence_postsAtSettledChangesIntervalsAndLoads_data()
{
    QTest::addColumn<TriggerThresholds>("thresholds");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("posts");

    QTest::newRow("steady load never posts")
        << every(60) << "40/30 40/30 40/30 40/30 40/30 40/30 40/30 40/30" << QStringList{};
    QTest::newRow("within the threshold never posts")
        << every(60) << "40/30 100/90 40/30 100/90 160/150 100/90" << QStringList{};
    QTest::newRow("rise posts at the first settled packet, positive")
        << every(60) << "40/30 40/30 40/30 1000/30 1000/30 1000/30"
        << QStringList{"4|CH1 / |960|0"};
    QTest::newRow("drop posts negative")
        << every(60) << "40/30 1000/30 1000/30 1000/30 1000/30 40/30 40/30 40/30"
        << QStringList{"2|CH1 / |960|0", "6|CH1 / |-960|0"};
    QTest::newRow("ramp posts once, from its foot")
        << every(60) << "40/30 200/30 400/30 600/30 600/30" << QStringList{"4|CH1 / |560|0"};
    QTest::newRow("channel 2 drop alone")
        << every(60) << "40/30 40/800 40/800 40/800 40/30 40/30"
        << QStringList{"2|CH2 / |0|770", "5|CH2 / |0|-770"};
    // A 100 W step against thresholds of 60 W and 400 W: each channel has its own.
    QTest::newRow("channel 2's threshold is its own")
        << every(60, 60, 400) << "40/30 140/130 140/130 140/130"
        << QStringList{"2|CH1 / |100|0"};
    QTest::newRow("channel 1's threshold is its own")
        << every(60, 400, 60) << "40/30 140/130 140/130 140/130"
        << QStringList{"2|CH2 / |0|100"};
    QTest::newRow("both channels firing read CH2")
        << every(60) << "40/30 40/30 1000/500 1000/500" << QStringList{"3|CH2 / |960|470"};
    QTest::newRow("first packet above the threshold fires when it settles")
        << every(60) << "500/30 500/30" << QStringList{"1|CH1 / |0|0"};
    QTest::newRow("interval ends: time out post")
        << every(3) << "40/30 t 40/30 t 40/30 t 40/30 t 40/30" << QStringList{"3| Time out|0|0"};
    QTest::newRow("interval ends while pending: nothing, next interval from 0")
        << every(3) << "40/30 t 40/30 t 1000/30 t 2000/30 t 2000/30 t 2000/30 t 2000/30"
        << QStringList{"4|CH1 / |1960|0", "6| Time out|0|0"};
    QTest::newRow("load switch posts at the next packet and says so")
        << every(60) << "40/30 40/30 L 40/30 40/30" << QStringList{"2|Load Change|0|0"};
    QTest::newRow("load switch with a change names both")
        << every(60) << "40/30 1000/30 L 1000/30" << QStringList{"2|CH1 / Load Change|960|0"};
}

void TestPostTrigger::packetSequence_postsAtSettledChangesIntervalsAndLoads()
{
    QFETCH(TriggerThresholds, thresholds);
    QFETCH(QString, script);
    QFETCH(QStringList, posts);
    WebRig rig;
    rig.settings.thresholds = thresholds;
    QCOMPARE(rig.play(script), posts);
    QCOMPARE(rig.pushes, posts.size());
    QVERIFY(!rig.loadSwitch.loadChanged);
}

void TestPostTrigger::realTimeStops_tickStopsAtNextTickKeepingItsCount()
{
    WebRig rig;
    QVERIFY(!rig.poster.trigger().tickRunning());
    rig.play("40/30 t t off t t t");
    QVERIFY(!rig.poster.trigger().tickRunning());
    QCOMPARE(rig.poster.trigger().intervalCount(), 3);
    rig.flags.realTimeOn = true;
    rig.play("40/30 t");
    QVERIFY(rig.poster.trigger().tickRunning());
    QCOMPARE(rig.poster.trigger().intervalCount(), 4);
}

void TestPostTrigger::postLog_1001stRowRemovesTheOldest()
{
    PostLogModel log;
    for (int i = 1; i <= PostLogModel::kMaxRows + 1; ++i)
    {
        PostLogRow row;
        row.change1 = i;
        log.insertPost(row);
    }
    QCOMPARE(log.rowCount(), 1000);
    QCOMPARE(log.post(0).change1, 1001);
    QCOMPARE(log.post(999).change1, 2);
}

QTEST_GUILESS_MAIN(TestPostTrigger)
#include "tst_post_trigger.moc"
