#include "DriveTimeCalculator.h"
#include "DriveTimeFill.h"
#include "DriveTimeSchedule.h"

#include <QtTest>

// The feasibility line's edge cases and the searches behind it, on drive
// times written by hand.
namespace {

constexpr qint64 kMin = 60000;

DriveStint track(int driver, qint64 from, qint64 to)
{
    return DriveStint{driver, false, 0, from * kMin, to * kMin};
}

DriveStint pit(int driver, qint64 from, qint64 to)
{
    return DriveStint{driver, true, 0, from * kMin, to * kMin};
}

const QVector<DriveDriver> kDrivers = {{1, QStringLiteral("Ann")}, {2, QStringLiteral("Bob")}, {3, QStringLiteral("Cid")}};

DriveTimeLimits limits(qint64 minTotal, qint64 maxTotal, qint64 continuous, qint64 rest)
{
    return DriveTimeLimits{minTotal * kMin, maxTotal * kMin, continuous * kMin, rest * kMin};
}

// Ann, Bob and Cid with what each still needs, nobody in the car.
CarDriveTime threeDrivers(const QVector<qint64>& needs)
{
    CarDriveTime car;
    for (int i = 0; i < 3; ++i) {
        DriverDriveTime d;
        d.driver = kDrivers.at(i).driver;
        d.name = kDrivers.at(i).name;
        d.toMinMs = needs.at(i) * kMin;
        car.drivers.append(d);
    }
    return car;
}

} // namespace

Q_DECLARE_METATYPE(QVector<DriveStint>)

class TestDriveTimePlan : public QObject
{
    Q_OBJECT

private slots:
    // Ann and Bob, nobody in the car, no rest running; the swap takes 1 and
    // counts as driving. Rests longer than a spell, where a list schedule
    // finds no plan: the answers by hand. Between two turns of one driver
    // only the other drives, one turn of at most a spell, so the car stands
    // for the rest beyond it: a bound that now proves the infeasible ones.
    void feasibilityExact_data()
    {
        QTest::addColumn<qint64>("ann");
        QTest::addColumn<qint64>("bob");
        QTest::addColumn<qint64>("continuous");
        QTest::addColumn<qint64>("rest");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plan");

        // Continuous 30, rest 40: Ann needs 60 (two full spells), Bob 40 (two
        // spells). A-B-A-B: Ann's second starts at 70 at the soonest, ends at
        // 100; Bob's second starts after it and runs at least 10: 110.
        // B-A-B-A: Ann's second starts 70 after Bob's first (at least 10
        // long): 110 again. More spells only add rests. The bound: between
        // Ann's two turns Bob drives at most 30 of her rest of 40, so the
        // car stands 10: 60 + 40 + 10.
        QTest::newRow("two long rests, none fits") << 60LL << 40LL << 30LL << 40LL << 100LL << int(DriveFeasibility::NotFeasible)
                                                   << "Not feasible: the minimums take 1:50 at the least, 1:40 remains" << "";
        // Yet the pit lane counts, so the car may never stand: each can
        // drive only 30 + 30 of 130 (a spell, the rest of 40, a spell).
        QTest::newRow("two long rests, slack") << 60LL << 40LL << 30LL << 40LL << 130LL << int(DriveFeasibility::NotFeasible)
                                               << "Not feasible: within the limits the drivers can drive only 2:00 of the 2:10 left" << "";
        // Continuous 4, rest 5, 5 each: two spells each. A-B-A-B ends at
        // least 5 after Bob's first ends (a1 + b1), plus b2: a1 + 10, and
        // a1 >= 1 as a2 <= 4: 11, with Ann's short spell first. The list
        // schedule (full spells first) ends at 14.
        // Each could drive 4 + 2 of 11, enough in sum; yet in any 9 each
        // drives at most 4 (a spell, the next one only after a rest of 5),
        // so the car stands within the first 9 whatever the timing.
        QTest::newRow("short spell first, exactly") << 5LL << 5LL << 4LL << 5LL << 11LL << int(DriveFeasibility::NotFeasible)
                                                    << "Not feasible: within the limits the drivers can drive only 0:08 of the first 0:09" << "";
        // Bob drives at most 4 of Ann's rest of 5 between her two turns:
        // 5 + 5 + 1.
        QTest::newRow("short spell first, one short") << 5LL << 5LL << 4LL << 5LL << 10LL << int(DriveFeasibility::NotFeasible)
                                                      << "Not feasible: the minimums take 0:11 at the least, 0:10 remains" << "";
    }

    void feasibilityExact()
    {
        QFETCH(qint64, ann);
        QFETCH(qint64, bob);
        QFETCH(qint64, continuous);
        QFETCH(qint64, rest);
        QFETCH(qint64, remaining);
        QFETCH(int, verdict);
        QFETCH(QString, text);
        QFETCH(QString, plan);
        const DriveTimeLimits rules = limits(0, 0, continuous, rest);
        CarDriveTime car;
        car.drivers = {DriverDriveTime{}, DriverDriveTime{}};
        car.drivers[0].driver = 1;
        car.drivers[0].name = QStringLiteral("Ann");
        car.drivers[0].toMinMs = ann * kMin;
        car.drivers[1].driver = 2;
        car.drivers[1].name = QStringLiteral("Bob");
        car.drivers[1].toMinMs = bob * kMin;
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, rules, remaining * kMin, kMin, false);
        QCOMPARE(result.text, text);
        QCOMPARE(int(result.verdict), verdict);
        QCOMPARE(result.plan, plan);
        QCOMPARE(result.nextDriver, plan.isEmpty() ? 0 : 1);
    }

    // Ann is in the car at the 60 limit and needs 30, rest 30: Bob takes the
    // car for the swap, Ann is back at 30 and done at 60 of 100.
    void feasibilityAtTheLimit()
    {
        const DriveTimeLimits rules = limits(0, 0, 60, 30);
        CarDriveTime car;
        car.drivers = {DriverDriveTime{}, DriverDriveTime{}};
        car.drivers[0].driver = 1;
        car.drivers[0].name = QStringLiteral("Ann");
        car.drivers[0].toMinMs = 30 * kMin;
        car.drivers[0].inCar = true;
        car.drivers[0].continuousMs = 60 * kMin;
        car.drivers[1].driver = 2;
        car.drivers[1].name = QStringLiteral("Bob");
        car.drivers[1].toMinMs = 0;
        car.currentDriver = 1;
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, rules, 100 * kMin, kMin, false);
        QCOMPARE(result.text, QStringLiteral("Feasible, 40 min slack"));
        // The plan that fills the race: Bob until Ann's rest is over, Ann's
        // full spell, Bob to the end.
        QCOMPARE(result.plan, QStringLiteral("Plan: Bob 0:30, Ann 1:00, then 1 turn to the end"));
        QCOMPARE(result.nextDriver, 2);
    }

    // Nobody in the car, min 30 each, continuous 60; a swap takes 2. When
    // the pit lane counts for a driver, all of the time left is someone's.
    void feasibilityMaxima_data()
    {
        QTest::addColumn<qint64>("minTotal");
        QTest::addColumn<qint64>("maxTotal");
        QTest::addColumn<qint64>("rest");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<bool>("swapsCost");
        QTest::addColumn<QString>("text");
        // Three maxima of 60 cover 180 of 200.
        QTest::newRow("maxima short") << 30LL << 60LL << 30LL << 200LL << false
                                      << "Not feasible: within the maxima the drivers can drive only 3:00 of the 3:20 left";
        QTest::newRow("maxima short, minimums met") << 0LL << 60LL << 30LL << 200LL << false
                                                    << "Not feasible: within the maxima the drivers can drive only 3:00 of the 3:20 left";
        // Each drives his 60 in turn; the minimums are done at 90.
        QTest::newRow("maxima fill it exactly") << 30LL << 60LL << 30LL << 180LL << false << "Feasible, 1 h 30 min slack, at most 0 min spare under the maxima";
        // A rest of 150: one spell of 60 each fits in 200, whatever the
        // maxima, and with none.
        QTest::newRow("rests within the maxima") << 30LL << 150LL << 150LL << 200LL << false
                                                 << "Not feasible: within the limits the drivers can drive only 3:00 of the 3:20 left";
        QTest::newRow("rests, no maxima") << 30LL << 0LL << 150LL << 200LL << false
                                          << "Not feasible: within the limits the drivers can drive only 3:00 of the 3:20 left";
        // A rest of 130: each can drive 60 + 60 of 250, enough in sum; but
        // in the 190 to the first one's return each drives at most 60, so
        // after three spells all three rest (130 > 120).
        QTest::newRow("all three resting") << 30LL << 0LL << 130LL << 250LL << false
                                           << "Not feasible: within the limits the drivers can drive only 3:00 of the first 3:10";
        // The car may stand in a pit lane that counts for nobody: 90 and two
        // swaps of 2.
        QTest::newRow("pit lane for nobody") << 30LL << 60LL << 30LL << 200LL << true << "Feasible, 1 h 46 min slack";
        // A minimum above the maximum (the dialog allows it).
        QTest::newRow("minimum above the maximum") << 90LL << 60LL << 30LL << 400LL << true << "Not feasible: Ann needs 1:30 more for the minimum, the maximum leaves 1:00";
    }

    void feasibilityMaxima()
    {
        QFETCH(qint64, minTotal);
        QFETCH(qint64, maxTotal);
        QFETCH(qint64, rest);
        QFETCH(qint64, remaining);
        QFETCH(bool, swapsCost);
        QFETCH(QString, text);
        const DriveTimeLimits rules = limits(minTotal, maxTotal, 60, rest);
        const PitTimeRule pit = swapsCost ? PitTimeRule::NotDriving : PitTimeRule::Outgoing;
        const CarDriveTime car = DriveTimeCalculator::compute({}, kDrivers, rules, pit, 0, 0, false, false);
        QCOMPARE(DriveTimeCalculator::feasibility(car, rules, remaining * kMin, 2 * kMin, swapsCost).text, text);
    }

    // Ann has her 90 and stays in the car; Bob and Cid need 90 each, no
    // continuous limit, swaps of 2 for nobody.
    void feasibilityStops_data()
    {
        QTest::addColumn<QVector<DriveStint>>("stints");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plan");
        // Every 40 for 2, Ann 4 into a run: 90 takes three runs, so each
        // needs two stops besides the swap in: 180 + 2 swaps + 4 stops of 2.
        const QVector<DriveStint> every40 = {track(1, 0, 40),    pit(1, 40, 42),    track(1, 42, 82), pit(1, 82, 84),
                                             track(1, 84, 124), pit(1, 124, 126), track(1, 126, 130)};
        const QString stops40 = QStringLiteral(" (a stop without a driver change after every 0:40 of a run, 120 s each, as the car's own)");
        QTest::newRow("stops use the slack") << every40 << 200LL << "Feasible, 8 min slack" << "Plan: Bob 1:30 (2 stops), Cid 1:30 (2 stops)" + stops40;
        QTest::newRow("stops make it infeasible") << every40 << 191LL << "Not feasible: the minimums take 3:12 at the least, 3:11 remains" + stops40 << "";
        // A fuel run of 45 and its stay of 1, then repairs after 4 and 3
        // (stays of 3 and 4), which say nothing of a tank: a stop every 45
        // of 1, so 180 + 2 swaps of 2 + 2 stops of 1 = 186.
        const QVector<DriveStint> repairs = {track(1, 0, 45), pit(1, 45, 46), track(1, 46, 50), pit(1, 50, 53),
                                             track(1, 53, 56), pit(1, 56, 60), track(1, 60, 130)};
        QTest::newRow("repair stops") << repairs << 200LL << "Feasible, 14 min slack"
                                      << "Plan: Bob 1:30 (1 stop), Cid 1:30 (1 stop) (a stop without a driver change after every 0:45 of a run, 60 s each, "
                                         "as the car's own)";
    }

    void feasibilityStops()
    {
        QFETCH(QVector<DriveStint>, stints);
        QFETCH(qint64, remaining);
        QFETCH(QString, text);
        QFETCH(QString, plan);
        const DriveTimeLimits rules = limits(90, 0, 0, 0);
        const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, rules, PitTimeRule::NotDriving, 0, 130 * kMin, true, false);
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, rules, remaining * kMin, 2 * kMin, true);
        QCOMPARE(result.text, text);
        QCOMPARE(result.plan, plan);
    }

    // The pit lane counts for a driver, so the car may never stand. Ann has
    // her minimum and 55 of a 60 spell; Bob needs 30 and has rested 70 of
    // 100. Ann can drive 5, then 60 after her rest (65); Bob 60 from 30,
    // then 10 after his rest (70): 2:15 of 3:20.
    void feasibilityFillsTheRace()
    {
        const DriveTimeLimits rules = limits(30, 0, 60, 100);
        CarDriveTime car;
        car.drivers = {DriverDriveTime{}, DriverDriveTime{}};
        car.drivers[0].driver = 1;
        car.drivers[0].name = QStringLiteral("Ann");
        car.drivers[0].toMinMs = 0;
        car.drivers[0].inCar = true;
        car.drivers[0].continuousMs = 55 * kMin;
        car.drivers[1].driver = 2;
        car.drivers[1].name = QStringLiteral("Bob");
        car.drivers[1].toMinMs = 30 * kMin;
        car.drivers[1].restMs = 70 * kMin;
        car.currentDriver = 1;
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, rules, 200 * kMin, kMin, false);
        QCOMPARE(result.text, QStringLiteral("Not feasible: within the limits the drivers can drive only 2:15 of the 3:20 left"));
    }

    // The pit lane counts for a driver: continuous 60, swaps of 1.
    void feasibilityFill_data()
    {
        QTest::addColumn<QVector<qint64>>("needs");  // Ann, Bob, Cid
        QTest::addColumn<QVector<qint64>>("rested"); // -1: never drove; Ann's: in the car, her spell so far
        QTest::addColumn<qint64>("rest");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plan");
        QTest::addColumn<int>("next");
        // The minimums' plan, Cid 60 then Bob 20, extended step by step gives
        // the car at 80 to Ann, who can drive on longest (to 140); then
        // nobody is ready (Cid at 180, Bob at 200). A plan that fills the
        // 240: Cid 0-60, Bob 60-120, Ann 120-180, Cid 180-240.
        QTest::newRow("a fill the extension missed") << QVector<qint64>{0, 20, 60} << QVector<qint64>{-1, -1, -1} << 120LL << 240LL
                                                     << "Feasible, 2 h 40 min slack" << "Plan: Cid 1:00, Bob 1:00, then 2 turns to the end" << 3;
        // Ann is at her limit; Bob is back at 20, Cid at 30: by the sums
        // (Ann 120-150, Bob 20-80, Cid 30-90) 150 of 150 could be driven,
        // but nobody can take the car before 20.
        QTest::newRow("nobody ready") << QVector<qint64>{0, 0, 0} << QVector<qint64>{60, 100, 90} << 120LL << 150LL
                                      << "Not feasible: within the limits the drivers can drive only 0:00 of the first 0:20" << "" << 0;
        // Ann has 5 left of her spell and, once out, is back 90 later; Cid
        // is back at 70; Bob drives at most 60 from now. To 70: 5 + 60 + 0.
        // The minimums' plan (Bob 0-20 at once) cannot be extended: Ann,
        // out at 0, may not take the car again before 90.
        QTest::newRow("the driver out at once rests") << QVector<qint64>{0, 20, 0} << QVector<qint64>{55, -1, 20} << 90LL << 150LL
                                                      << "Not feasible: within the limits the drivers can drive only 1:05 of the first 1:10" << "" << 0;
        // Ann has 40 left of her spell. Bob in at once meets his 20 at 20, but
        // then nobody is ready at 60 (Cid at 70, Ann at 90): Ann must drive
        // on at least 10, so every fill meets Bob's need at 30 or later
        // (Ann 0-10, Bob 10-70, Cid 70-130, Ann 130-150: 2 h). The first fill
        // found drives Ann on for all of her 40 (Bob's 20 met at 60): the
        // moment is halved down to 30. Bob is next, not at once. The search
        // proves no fill of whole-minute turns earlier, so the slack stays a
        // range up to the minimums' best (Bob at once, 2 h 10 min).
        QTest::newRow("the fill's own plan") << QVector<qint64>{0, 20, 0} << QVector<qint64>{20, -1, 20} << 90LL << 150LL
                                             << "Feasible, 2 h 0 min to 2 h 10 min slack" << "Plan: Ann 0:10, Bob 1:00, then 2 turns to the end" << 2;
        // The same with only those 10 left of her spell: no fill meets Bob's
        // need before 30, the one the first fill found.
        QTest::newRow("every earlier moment fails") << QVector<qint64>{0, 20, 0} << QVector<qint64>{50, -1, 20} << 90LL << 150LL
                                                    << "Feasible, 2 h 0 min to 2 h 10 min slack" << "Plan: Ann 0:10, Bob 1:00, then 2 turns to the end" << 2;
    }

    void feasibilityFill()
    {
        QFETCH(QVector<qint64>, needs);
        QFETCH(QVector<qint64>, rested);
        QFETCH(qint64, rest);
        QFETCH(qint64, remaining);
        QFETCH(QString, text);
        QFETCH(QString, plan);
        QFETCH(int, next);
        const DriveTimeLimits rules = limits(0, 0, 60, rest);
        CarDriveTime car = threeDrivers(needs);
        for (int i = 0; i < 3; ++i) {
            DriverDriveTime& d = car.drivers[i];
            d.inCar = i == 0 && rested.at(0) >= 0;
            if (d.inCar)
                d.continuousMs = rested.at(0) * kMin;
            else
                d.restMs = rested.at(i) < 0 ? -1 : rested.at(i) * kMin;
        }
        car.currentDriver = car.drivers.at(0).inCar ? 1 : 0;
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, rules, remaining * kMin, kMin, false);
        QCOMPARE(result.text, text);
        QCOMPARE(result.plan, plan);
        QCOMPARE(result.nextDriver, next);
    }

    // Spells of 60, rests of 86. Ann is 2 short of her spell and must drive
    // 51 more; Bob is back at 10; Cid may drive 46 in all. While Ann rests
    // (86 or more) only Cid then Bob can drive, each once (a second spell
    // of one would need 86 between): Bob at most 60, so Cid at least 26.
    // When Ann stops again, within 60 of Bob's end, Bob is not rested and
    // Cid can add at most 20: then nobody, and 188 cannot be filled at any
    // timing. The search finds no plan of whole-minute turns, which proves
    // nothing of other timings: amber, never "Feasible".
    void fillNotProved()
    {
        CarDriveTime car = threeDrivers({51, 0, 0});
        car.drivers[0].inCar = true;
        car.drivers[0].continuousMs = 58 * kMin;
        car.drivers[1].restMs = 76 * kMin;
        car.drivers[2].hasMax = true;
        car.drivers[2].toMaxMs = 46 * kMin;
        car.currentDriver = 1;
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, limits(0, 0, 60, 86), 188 * kMin, kMin, false);
        // The minimums alone: Ann 0-2 and 88-137, 51 left; the drivers' own
        // spells could drive 62 + 92 + 46, 12 over.
        QCOMPARE(result.text, QStringLiteral("Feasible for the minimums, 51 min slack; filling the race within the limits not proved, "
                                             "no plan of whole-minute turns found (at most 12 min spare)"));
        QCOMPARE(result.verdict, DriveFeasibility::Undecided);
    }

    // The fill search itself: Ann and Bob, spells of 60, gaps of 60, no need.
    void fillSearch_data()
    {
        QTest::addColumn<qint64>("bobReady");
        QTest::addColumn<qint64>("maxWork");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("turns"); // driver:start-end, minutes
        QTest::addColumn<qint64>("windowEnd");
        QTest::addColumn<qint64>("windowCan");
        // Alike, so Ann first; each back just as the other's 60 ends.
        QTest::newRow("found") << 0LL << 25000LL << int(FillPlan::Found) << "0:0-60 1:60-120 0:120-180 1:180-240" << 0LL << 0LL;
        QTest::newRow("work budget hit") << 0LL << 1LL << int(FillPlan::Stopped) << "" << 0LL << 0LL;
        // Bob ready at 70: to 70 only Ann drives, 0-60; the earliest window
        // short (to 240 also: Ann 0-60 and 120-180, Bob 70-130 and 190-240).
        QTest::newRow("Bob late") << 70LL << 25000LL << int(FillPlan::None) << "" << 70LL << 60LL;
    }

    void fillSearch()
    {
        QFETCH(qint64, bobReady);
        QFETCH(qint64, maxWork);
        QFETCH(int, outcome);
        QFETCH(QString, turns);
        QFETCH(qint64, windowEnd);
        QFETCH(qint64, windowCan);
        std::vector<PlanDriver> drivers(2);
        drivers[1].ready = bobReady * kMin;
        const FillPlan plan = DriveTimeFill::fill(drivers, {}, 60 * kMin, 60 * kMin, 240 * kMin, kMin, maxWork);
        QCOMPARE(int(plan.outcome), outcome);
        QStringList got;
        for (const PlanTurn& t : plan.turns)
            got << QStringLiteral("%1:%2-%3").arg(t.driver).arg(t.start / kMin).arg(t.end / kMin);
        QCOMPARE(got.join(QLatin1Char(' ')), turns);
        QCOMPARE(plan.windowEnd, windowEnd * kMin);
        QCOMPARE(plan.windowCan, windowCan * kMin);
    }

    // Spells of 168, rests of 231, the pit lane counting for a driver, 24 h
    // left. Ann, in the car with 155 of her spell left, needs 49; Bob
    // nothing; Cid 224, back at 162: he is done at 162 + 168 + 231 + 56 =
    // 617 at the soonest. A fill meets it: Ann out at 99, back just as
    // Cid's first turn ends at 330; Bob 99-162 and 498-561; Cid 561-617
    // meets his need. The whole-minute search, longest turns first, spends
    // its work before it tries Ann out at 99.
    void feasibilityFillBackInTime()
    {
        CarDriveTime car = threeDrivers({49, 0, 224});
        car.drivers[0].inCar = true;
        car.drivers[0].continuousMs = 13 * kMin;
        car.drivers[2].restMs = 69 * kMin;
        car.currentDriver = 1;
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, limits(0, 0, 168, 231), 1440 * kMin, 2 * kMin, false);
        QCOMPARE(result.text, QStringLiteral("Feasible, 13 h 43 min slack"));
        QCOMPARE(result.plan, QStringLiteral("Plan: Ann 1:39, Bob 1:03, Cid 2:48, Ann 2:48, Bob 1:03, Cid 2:48, then 5 turns to the end"));
    }

    // The search's own bounds and lengths: nobody in the car.
    void searchBounds_data()
    {
        QTest::addColumn<qint64>("ann");
        QTest::addColumn<qint64>("bob");
        QTest::addColumn<qint64>("cid"); // -1: only Ann and Bob
        QTest::addColumn<qint64>("swap");
        QTest::addColumn<qint64>("continuous");
        QTest::addColumn<qint64>("gap");
        QTest::addColumn<qint64>("maxWork");
        QTest::addColumn<qint64>("step"); // 0: only the lengths the limits give
        QTest::addColumn<qint64>("stopEvery"); // 0: no stops counted
        QTest::addColumn<qint64>("stopTime");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<qint64>("finish");
        QTest::addColumn<qint64>("bound");
        // feasibilityExact's first case: 110, no plan before 110 (100 of
        // driving, and the car stands 10 of Ann's rest of 40 between her
        // two turns, Bob driving at most 30 of it).
        QTest::newRow("work enough") << 60LL << 40LL << -1LL << 0LL << 30LL << 40LL << 25000LL << 1LL << 0LL << 0LL << int(DrivePlan::Found) << 110LL << 110LL;
        QTest::newRow("work budget hit") << 60LL << 40LL << -1LL << 0LL << 30LL << 40LL << 3LL << 1LL << 0LL << 0LL << int(DrivePlan::Stopped) << 0LL << 110LL;
        // Three drivers, swaps of 5: between two of Ann's turns the others
        // drive m turns of at most 41 with m + 1 swaps, so the car stands at
        // least max(5 (m + 1), 100 - 41 m): 59, 18, 20 for m = 1, 2, 3, so
        // 18, not two drivers' 59. Bound: 164 of driving + 18 = 182, Ann's
        // own 41 + 100 + 41 too; met by Ann 0-41, Bob 46-87, Cid 92-133,
        // Ann 141-182.
        QTest::newRow("three drivers") << 82LL << 41LL << 41LL << 5LL << 41LL << 100LL << 25000LL << 1LL << 0LL << 0LL << int(DrivePlan::Found) << 182LL << 182LL;
        // halvesFromTheBest's drivers: the lengths the rules give alone.
        QTest::newRow("halves, lengths only") << 10LL << 10LL << 8LL << 1LL << 6LL << 14LL << 25000LL << 0LL << 0LL << 0LL << int(DrivePlan::Found) << 34LL << 33LL;
        // Spells of 1 need 600 turns: the dive stops at its depth.
        QTest::newRow("depth cap") << 300LL << 300LL << -1LL << 0LL << 1LL << 1LL << 1000000LL << 1LL << 0LL << 0LL << int(DrivePlan::Stopped) << 0LL << 600LL;
        // A tie with the stops' time: spells of 54, gaps of 38, swaps of 2, a
        // stop every 39 of 4; Ann needs 43, Bob 50. No plan ends before 99:
        // 93 of driving, each need two runs (a swap or a stop of at least 2
        // between them) and the first swap. Bob 0-11, Ann 13-52, Bob 54-93,
        // Ann 95-99 meets it without a stop. Bob's 11 is a tie the first phase
        // tries: back from his rest just as Ann, from 0, would be done with 43,
        // its stop and the swap (43 + 4 + 2 - 38); without the stop's time it
        // tried 7 and found only 101.
        QTest::newRow("a tie with the stops' time") << 43LL << 50LL << -1LL << 2LL << 54LL << 38LL << 25000LL << 0LL << 39LL << 4LL << int(DrivePlan::Found) << 99LL << 99LL;
        // The rest-gap bound with stops: spells of 30, gaps of 40, swaps of 2,
        // a stop every 25 of 3; Ann needs 60, Bob 30, the car empty. Between
        // Ann's two turns (30 each, 60 in one is past the spell) the car stands
        // at least max(2 + 2, 40 - 30) = 10; her 60 in two turns of 30 takes
        // four runs, so two stops of 3 (in three turns: two gaps, 20): 16. So
        // 90 + 16 = 106, above her own 30 + 40 + 30 and the swaps and stops
        // all together (98). Met: Ann 0-33 (a stop at 25), Bob 35-68 (a stop
        // at 60), Ann 73-106 (a stop at 98), back 40 after 33.
        QTest::newRow("rest gaps with stops") << 60LL << 30LL << -1LL << 2LL << 30LL << 40LL << 25000LL << 0LL << 25LL << 3LL << int(DrivePlan::Found) << 106LL << 106LL;
    }

    void searchBounds()
    {
        QFETCH(qint64, ann);
        QFETCH(qint64, bob);
        QFETCH(qint64, cid);
        QFETCH(qint64, swap);
        QFETCH(qint64, continuous);
        QFETCH(qint64, gap);
        QFETCH(qint64, maxWork);
        QFETCH(qint64, step);
        QFETCH(qint64, stopEvery);
        QFETCH(qint64, stopTime);
        QFETCH(int, outcome);
        QFETCH(qint64, finish);
        QFETCH(qint64, bound);
        std::vector<PlanDriver> drivers(cid < 0 ? 2 : 3);
        drivers[0].need = ann * kMin;
        drivers[1].need = bob * kMin;
        if (cid >= 0)
            drivers[2].need = cid * kMin;
        const PlanStops stops{stopEvery * kMin, stopTime * kMin, 0};
        const DrivePlan plan = DriveTimeSchedule::earliest(drivers, continuous * kMin, gap * kMin, swap * kMin, step * kMin, 1440 * kMin, maxWork, stops);
        QCOMPARE(int(plan.outcome), outcome);
        QCOMPARE(plan.finish, finish * kMin);
        QCOMPARE(plan.bound, bound * kMin);
        QCOMPARE(plan.turns.empty(), finish == 0);
    }

    // Plans the first phase finds, proved best at once by the lower bound:
    // the finish equals it. Ann may be in the car with room left of her
    // spell, fuel into her run; times in minutes.
    void provedBest_data()
    {
        QTest::addColumn<QVector<qint64>>("needs");
        QTest::addColumn<QVector<qint64>>("ready");
        QTest::addColumn<qint64>("room"); // -1: the car empty; 0: Ann just out, resting
        QTest::addColumn<qint64>("fuel");
        QTest::addColumn<qint64>("continuous");
        QTest::addColumn<qint64>("gap");
        QTest::addColumn<qint64>("stopEvery"); // 0: no stops counted
        QTest::addColumn<qint64>("stopTime");
        QTest::addColumn<qint64>("finish");
        // Swaps of 2 throughout.
        // Ann needs 30 with 20 of room: a second turn, so out and back in
        // through Bob, two swaps: 20 + 2 + 2 + 10.
        QTest::newRow("back in after a hand-over") << QVector<qint64>{30, 0} << QVector<qint64>{0, 0} << 20LL << 0LL << 40LL << 0LL << 0LL << 0LL << 34LL;
        // Ann needs 70 with 10 of room, so two turns after this one, each
        // after one of Bob's: four swaps, though Bob needs only one turn.
        QTest::newRow("never twice in a row") << QVector<qint64>{70, 10} << QVector<qint64>{0, 0} << 10LL << 0LL << 40LL << 0LL << 0LL << 0LL << 88LL;
        // Ann needs 40 with 30 of room, 20 into a run with a stop of 3 every 25:
        // one stop and a hand-over of two swaps whichever way (30 with a
        // stop, then 10; 5, then 35 with a stop; or out now, then 40).
        QTest::newRow("the room and the run in the car") << QVector<qint64>{40, 0} << QVector<qint64>{0, 0} << 30LL << 20LL << 40LL << 0LL << 25LL << 3LL << 47LL;
        // Ann alone needs 60 in spells of 30 with rests of 40 and a stop of
        // 3 every 25: her two turns each take a stop, 33 + 40 + 33.
        QTest::newRow("her own stops and rest") << QVector<qint64>{60, 0} << QVector<qint64>{0, 0} << -1LL << 0LL << 30LL << 40LL << 25LL << 3LL << 106LL;
        // Ann, just out of the car (no room), needs 200 in spells of 80 with
        // a stop of 1 every 30; Bob 40. Three turns of hers take 7 runs, 4
        // stops, and 6 swaps, as another's turn comes before each of hers;
        // four turns, 3 stops and 8 swaps. Bob's 40 in the first two of
        // those others' turns (30 + 10) takes no stop: 240 + 12 + 4.
        QTest::newRow("swaps against stops") << QVector<qint64>{200, 40} << QVector<qint64>{0, 0} << 0LL << 0LL << 80LL << 0LL << 30LL << 1LL << 256LL;
        // Bob may start at 50 and Cid at 60: both needs come after 50 with
        // a swap between them, whatever Ann does before.
        QTest::newRow("late starters") << QVector<qint64>{10, 30, 40} << QVector<qint64>{0, 50, 60} << -1LL << 0LL << 100LL << 0LL << 0LL << 0LL << 122LL;
        // Ann needs 140 with 20 of room: two more spells of 60, each after
        // a rest of 34, which one turn between bridges only when it lasts
        // 30. Bob's whole need is 20, so Cid's 60 bridges both (or Bob and
        // Cid share one, a swap more) and Bob drives last: 220, 5 swaps.
        QTest::newRow("too short to bridge a rest") << QVector<qint64>{140, 20, 60} << QVector<qint64>{0, 0, 0} << 20LL << 0LL << 60LL << 34LL << 0LL << 0LL << 230LL;
        // Ann from 10 needs two turns 30 apart; Bob (from 9, 30 in one turn)
        // cannot drive before her, so his turn and two swaps lie between
        // hers: 10 + 60 + 34.
        QTest::newRow("between one driver's turns") << QVector<qint64>{60, 30} << QVector<qint64>{10, 9} << -1LL << 0LL << 30LL << 30LL << 0LL << 0LL << 104LL;
    }

    void provedBest()
    {
        QFETCH(QVector<qint64>, needs);
        QFETCH(QVector<qint64>, ready);
        QFETCH(qint64, room);
        QFETCH(qint64, fuel);
        QFETCH(qint64, continuous);
        QFETCH(qint64, gap);
        QFETCH(qint64, stopEvery);
        QFETCH(qint64, stopTime);
        QFETCH(qint64, finish);
        std::vector<PlanDriver> drivers(needs.size());
        for (int i = 0; i < needs.size(); ++i) {
            drivers[i].need = needs.at(i) * kMin;
            drivers[i].ready = ready.at(i) * kMin;
        }
        drivers[0].inCar = room > 0;
        drivers[0].room = room * kMin;
        drivers[0].justOut = room == 0;
        if (room == 0)
            drivers[0].ready = std::max(gap, 2LL) * kMin;
        const PlanStops stops{stopEvery * kMin, stopTime * kMin, fuel * kMin};
        const DrivePlan plan = DriveTimeSchedule::earliest(drivers, continuous * kMin, gap * kMin, 2 * kMin, 0, 1440 * kMin, 25000, stops);
        QCOMPARE(int(plan.outcome), int(DrivePlan::Found));
        QCOMPARE(plan.finish, finish * kMin);
        QCOMPARE(plan.bound, finish * kMin);
    }

    // Spells of 60, rests of 120, swaps of 2 for nobody, the car empty: Ann
    // needs 68 and Bob 110, two turns each; Cid nothing. Bob first: he is
    // done at 110 + 120 = 230 at the soonest, and between his turns Ann
    // drives one turn of at most 60 (her rest is 120 too), so 8 are left
    // for after him: 232 + 8. Ann first for a: Bob is done at 232 + a at
    // the soonest, and a under 8 leaves her more than 60, two turns 120
    // apart after hers. So 240 at the soonest, which the lower bound does
    // not show: the search proves it by going through every plan to the
    // millisecond, so the slack is exact, and so is the edge.
    void feasibilityProvedBySearch_data()
    {
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<QString>("text");
        QTest::newRow("slack") << 393LL << "Feasible, 2 h 33 min slack";
        QTest::newRow("exactly") << 240LL << "Feasible, 0 min slack";
        QTest::newRow("a minute short") << 239LL << "Not feasible: no plan fits every minimum in the 3:59 left";
    }

    void feasibilityProvedBySearch()
    {
        QFETCH(qint64, remaining);
        QFETCH(QString, text);
        const DriveFeasibility result = DriveTimeCalculator::feasibility(threeDrivers({68, 110, 0}), limits(0, 0, 60, 120), remaining * kMin, 2 * kMin, true);
        QCOMPARE(result.text, text);
        if (result.verdict != DriveFeasibility::Feasible)
            return;
        QCOMPARE(result.slackMs, (remaining - 240) * kMin);
        QCOMPARE(result.slackBoundMs, result.slackMs);
        QCOMPARE(result.plan, QStringLiteral("Plan: Bob 0:50, Ann 1:00, Cid (swap only), Bob 1:00, Ann 0:08 (stops without a driver change not counted until "
                                             "the car has made 3)"));
    }

    // Ann and Bob need 10, Cid 8: spells of 6, rests of 14, swaps of 1,
    // two turns each, so 28 + 5 swaps = 33. Met only when Bob splits his
    // need in halves, 5 and 5, back from his rest just as Ann's second turn
    // ends: Ann 0-4, Bob 5-10, Cid 11-17, Ann 18-24, Bob 25-30, Cid 31-33.
    // No length the limits, needs and rests give is 5 (they give 34): from
    // that plan, as the line searches, the whole minutes find it, each of
    // every range of them the bound leaves tried.
    void halvesFromTheBest()
    {
        std::vector<PlanDriver> drivers(3);
        drivers[0].need = drivers[1].need = 10 * kMin;
        drivers[2].need = 8 * kMin;
        const DrivePlan plan = DriveTimeSchedule::earliest(drivers, 6 * kMin, 14 * kMin, kMin, kMin, 34 * kMin - 1, 25000);
        QCOMPARE(int(plan.outcome), int(DrivePlan::Found));
        QCOMPARE(plan.finish, 33 * kMin);
    }

    // Spells of a second for five hours, rests of 3 s: the bound at the
    // start weighs a bounded number of Ann's 18 000 rests, and the search
    // stops at its depth with her own finish, 18 000 s of driving and
    // 17 999 rests.
    void manyRestsBounded()
    {
        std::vector<PlanDriver> drivers(2);
        drivers[0].need = 300 * kMin;
        const DrivePlan plan = DriveTimeSchedule::earliest(drivers, 1000, 3000, 1000, 0, 1440 * kMin, 25000);
        QCOMPARE(int(plan.outcome), int(DrivePlan::Stopped));
        QCOMPARE(plan.bound, 71997000LL);
    }

    // Ann and Bob need an hour each, the car empty: with the car's own
    // swaps of 90 s the hand-over leaves them short, which names the swap
    // time a faster crew may beat.
    void learntSwapNamed()
    {
        CarDriveTime car = threeDrivers({60, 60, 0});
        car.swapStaysMs = {90000, 90000, 90000};
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, limits(0, 0, 0, 0), 120 * kMin, 90000, true);
        QCOMPARE(int(result.verdict), int(DriveFeasibility::NotFeasible));
        QCOMPARE(result.text, QStringLiteral("Not feasible: the drivers need 2:02 more in all with 1 swap, 2:00 remains (a driver swap 90 s, as the car's own)"));
        // Ann alone needs 300 in spells of 120 with no rest, the pit lane
        // counting: the swaps out and back in keep her from 3 of it.
        car = threeDrivers({300, 0, 0});
        car.swapStaysMs = {90000, 90000, 90000};
        const DriveFeasibility alone = DriveTimeCalculator::feasibility(car, limits(0, 0, 120, 0), 300 * kMin, 90000, false);
        QCOMPARE(alone.text, QStringLiteral("Not feasible: Ann needs 5:00 more, 4:57 can still be scheduled (a driver swap 90 s, as the car's own)"));
    }

    // What the line says when the search stops: a plan found gives a range
    // up to what no plan can beat; none found, Undecided.
    void feasibilityAtItsBound()
    {
        // Ann in the car (needs 320), Bob 400, Cid 350; spells 101, rest
        // 250, swaps of 2 for nobody, 24 h left. Bob alone, in at 2,
        // finishes at 2 + 101 + 250 + 299 + 2 x 250 = 1152 at the soonest:
        // at most 288 of slack.
        CarDriveTime car = threeDrivers({320, 400, 350});
        car.drivers[0].inCar = true;
        car.currentDriver = 1;
        DriveFeasibility result = DriveTimeCalculator::feasibility(car, limits(0, 0, 101, 250), 1440 * kMin, 2 * kMin, true);
        QCOMPARE(int(result.verdict), int(DriveFeasibility::Feasible));
        QCOMPARE(result.slackBoundMs, 288 * kMin);
        QVERIFY2(result.text.endsWith(QStringLiteral(" to 4 h 48 min slack (the search stopped at its bound)")), qPrintable(result.text));
        // Spells of 1 for 300 each: more turns than the search goes deep.
        car = CarDriveTime();
        car.drivers.resize(2);
        for (int i = 0; i < 2; ++i) {
            car.drivers[i].driver = i + 1;
            car.drivers[i].toMinMs = 300 * kMin;
        }
        result = DriveTimeCalculator::feasibility(car, limits(0, 0, 1, 0), 1440 * kMin, kMin, false);
        QCOMPARE(int(result.verdict), int(DriveFeasibility::Undecided));
        QCOMPARE(result.text, QStringLiteral("Feasibility undecided: the search stopped at its bound, no plan within 24:00 found and none ruled out"));
        // Rests of 702 with spells of 236: no plan of whole-minute turns
        // fits the 24 h and the millisecond phase stops at its work, so a
        // plan timed finer is not ruled out: undecided, not "Not feasible".
        car = CarDriveTime();
        const qint64 needs[] = {0, 21087000, 21407000, 12817000};
        const qint64 rested[] = {-1, 20634000, 19666000, 20416000};
        for (int i = 0; i < 4; ++i) {
            DriverDriveTime d;
            d.driver = i + 1;
            d.toMinMs = needs[i];
            d.restMs = rested[i];
            car.drivers.append(d);
        }
        car.drivers[0].inCar = true;
        car.drivers[0].continuousMs = 4201000;
        car.currentDriver = 1;
        result = DriveTimeCalculator::feasibility(car, limits(0, 0, 236, 702), 1440 * kMin, 90000, true);
        QCOMPARE(int(result.verdict), int(DriveFeasibility::Undecided));
        QCOMPARE(result.text, QStringLiteral("Feasibility undecided: no plan of whole-minute turns fits every minimum in the 24:00 left, one timed finer is not ruled out"));
    }
};

QTEST_GUILESS_MAIN(TestDriveTimePlan)
#include "tst_drivetimeplan.moc"
