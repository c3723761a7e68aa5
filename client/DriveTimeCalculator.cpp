#include "DriveTimeCalculator.h"

#include "DriveTimeFill.h"
#include "DriveTimeSchedule.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace DriveTimeCalculator {

namespace {

using DriveTimeSchedule::ceilDiv;

constexpr qint64 kMinuteMs = 60000;
// A car's own swaps stand for the typed swap time once there are this many:
// fewer, and one slow stop would decide.
constexpr int kSwapsToLearn = 3;
// The same for its stops without a driver change.
constexpr int kStopsToLearn = 3;
// DriveStint::pitInfo.
constexpr int kPlainStay = 0;
constexpr int kPenaltyStay = 1;
// The search's work per phase (states visited, lengths tried, ranges of
// them weighed, the turn counts the stop bound weighs and the rows the gap
// fillers' bound fills): 10 to 110 ns a
// unit on the 2-core build machine, so a car takes 3 to 8 ms CPU at the
// very worst with all three phases, twice a minute at most (0.5 to 5 ms
// in bench_drivetime's hard rows, which stop at this bound, a stop every
// minute included); some 20 µs when the first plan meets the bound, as it
// mostly does. The fill search (the pit lane counting for a
// driver) has the same budget and runs at most twice, so such a car takes
// up to about twice that at the very worst (tens of µs when it finds a
// plan at once).
constexpr qint64 kSearchWork = 25000;

qint64 duration(const DriveStint& s)
{
    return s.end > s.start ? s.end - s.start : 0;
}

// The driver of the next stint on track; -1 while the car is in the pit.
int nextTrackDriver(const QVector<DriveStint>& stints, int from)
{
    for (int i = from + 1; i < stints.size(); ++i)
        if (!stints.at(i).isPit)
            return stints.at(i).driver;
    return -1;
}

// Minutes, with hours past the first: "38 min", "15 h 46 min".
QString slackText(qint64 ms)
{
    const qint64 minutes = ms / 60000;
    return minutes < 60 ? QStringLiteral("%1 min").arg(minutes) : QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QString driverText(const CarDriveTime& car, int driver)
{
    for (const DriverDriveTime& d : car.drivers)
        if (d.driver == driver)
            return d.name.isEmpty() ? QStringLiteral("Driver %1").arg(driver) : d.name;
    return QStringLiteral("Driver %1").arg(driver);
}

// The car's stops without a driver change, as it has made them. A run much
// shorter than the longest (a repair a lap after a fuel stop, a stop just
// after a safety-car stay) says nothing of how far the car goes on a tank,
// nor its stay of how long refuelling takes: of the stops ending a run at
// least half the longest, the shorter middle run and the longer middle
// stay. Fewer than three stops: none known.
PlanStops stopsOf(const CarDriveTime& car)
{
    PlanStops stops;
    if (car.stopStaysMs.size() < kStopsToLearn)
        return stops;
    const qint64 longest = *std::max_element(car.runsToStopMs.cbegin(), car.runsToStopMs.cend());
    QVector<qint64> runs;
    QVector<qint64> stays;
    for (int i = 0; i < car.runsToStopMs.size(); ++i) {
        if (2 * car.runsToStopMs.at(i) >= longest) {
            runs.append(car.runsToStopMs.at(i));
            stays.append(car.stopStaysMs.at(i));
        }
    }
    std::sort(runs.begin(), runs.end());
    std::sort(stays.begin(), stays.end());
    // At least a minute: a run of nothing (two stays in a row) is no interval.
    stops.every = std::max(kMinuteMs, runs.at((runs.size() - 1) / 2));
    stops.time = stays.at(stays.size() / 2);
    stops.fuel = car.currentDriver != 0 ? car.runMs : 0;
    return stops;
}

// When the plan has met every need: the moment the last driver reaches
// his, 0 when none needs any.
qint64 needsMetAt(const std::vector<PlanDriver>& needs, const std::vector<PlanTurn>& turns)
{
    std::vector<qint64> left(needs.size());
    for (std::size_t i = 0; i < needs.size(); ++i)
        left[i] = needs.at(i).need;
    qint64 met = 0;
    for (const PlanTurn& t : turns) {
        qint64& l = left[t.driver];
        if (l <= 0)
            continue;
        const qint64 driven = std::min(l, t.end - t.start);
        l -= driven;
        if (l == 0)
            met = std::max(met, t.start + driven);
    }
    return met;
}

} // namespace

qint64 swapTimeMs(const CarDriveTime& car, qint64 typedMs)
{
    if (car.swapStaysMs.size() < kSwapsToLearn)
        return typedMs;
    QVector<qint64> stays = car.swapStaysMs;
    std::sort(stays.begin(), stays.end());
    // Of an even count the longer middle one: a swap taken longer makes no
    // plan look feasible that is not.
    // Never 0 (zero-length pit records): a hand-over would cost nothing and
    // a driver could follow himself at once; a typed swap is at least 1 s.
    return std::max<qint64>(1000, stays.at(stays.size() / 2));
}

QString hoursMinutes(qint64 ms, bool roundUp)
{
    const qint64 minutes = std::max<qint64>(0, roundUp ? ceilDiv(ms, 60000) : ms / 60000);
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QVector<DriveSpell> spells(const QVector<DriveStint>& stints, PitTimeRule rule, CarDriveTime* stays)
{
    QVector<DriveSpell> result;
    qint64 run = 0; // track time since the last stay that ended a run
    const auto open = [&](int driver, qint64 at, qint64 driven) { result.append(DriveSpell{driver, at, at, driven}); };
    for (int i = 0; i < stints.size(); ++i) {
        const DriveStint& s = stints.at(i);
        const qint64 d = duration(s);
        if (result.isEmpty()) {
            // A car whose first stint is in the pit: its driver is in it.
            open(s.driver, s.start, 0);
        }
        DriveSpell* current = &result.last();
        if (!s.isPit) {
            if (s.driver != current->driver) {
                // A change without a stay between.
                open(s.driver, s.start, 0);
                current = &result.last();
            }
            current->drivenMs += d;
            current->end = s.end;
            run += d;
            continue;
        }
        // Who leaves the pit: the next stint on track says. While the car
        // is still in, a plain stay's record names the incoming driver;
        // a penalty or safety-car stay's does not (the driver stays in
        // unless the car comes out with another one: a swap made under
        // the safety car is a swap like any other).
        const int onTrack = nextTrackDriver(stints, i);
        const int next = onTrack >= 0 ? onTrack : s.pitInfo == 0 ? s.driver : current->driver;
        const bool change = next != current->driver;
        // Every stay but a penalty's may refuel, and a driver change does;
        // the car's own stops are learnt from its plain stays alone (one
        // under the safety car is taken early).
        if (stays && !change && s.pitInfo == kPlainStay && onTrack >= 0) {
            stays->stopStaysMs.append(d);
            stays->runsToStopMs.append(run);
        }
        if (change || s.pitInfo != kPenaltyStay)
            run = 0;
        if (!change) {
            // The driver stays in the car (a refuelling stop, a penalty,
            // the safety car).
            if (rule != PitTimeRule::NotDriving)
                current->drivenMs += d;
            current->end = s.end;
            continue;
        }
        if (stays && onTrack >= 0)
            stays->swapStaysMs.append(d); // over: the car is out with the new driver
        switch (rule) {
        case PitTimeRule::NotDriving:
            current->end = s.start;
            open(next, s.end, 0);
            break;
        case PitTimeRule::Outgoing:
            current->drivenMs += d;
            current->end = s.end;
            open(next, s.end, 0);
            break;
        case PitTimeRule::Incoming:
            current->end = s.start;
            open(next, s.start, d);
            result.last().end = s.end;
            break;
        case PitTimeRule::Split: {
            const qint64 half = d / 2;
            current->drivenMs += half;
            current->end = s.start + half;
            open(next, s.start + half, d - half);
            result.last().end = s.end;
            break;
        }
        }
    }
    if (stays)
        stays->runMs = run;
    return result;
}

CarDriveTime compute(const QVector<DriveStint>& stints, const QVector<DriveDriver>& drivers, const DriveTimeLimits& limits, PitTimeRule rule,
                     qint64 nearMarginMs, qint64 now, bool running, bool raceOver)
{
    CarDriveTime car;
    car.spells = spells(stints, rule, &car);
    if (running && !car.spells.isEmpty())
        car.currentDriver = car.spells.last().driver;

    QVector<DriveDriver> listed = drivers;
    for (const DriveSpell& spell : car.spells) {
        const bool known = std::any_of(listed.cbegin(), listed.cend(), [&](const DriveDriver& d) { return d.driver == spell.driver; });
        if (!known)
            listed.append(DriveDriver{spell.driver, QString()});
    }

    for (const DriveDriver& who : listed) {
        DriverDriveTime row;
        row.driver = who.driver;
        row.name = who.name;
        QStringList over;
        QStringList near;
        const DriveSpell* last = nullptr;
        for (const DriveSpell& spell : car.spells) {
            if (spell.driver != who.driver)
                continue;
            if (last && limits.minRestMs > 0 && spell.start - last->end < limits.minRestMs && !over.contains(QStringLiteral("rest")))
                over << QStringLiteral("rest");
            if (limits.maxContinuousMs > 0 && spell.drivenMs > limits.maxContinuousMs && !over.contains(QStringLiteral("stint")))
                over << QStringLiteral("stint");
            row.totalMs += spell.drivenMs;
            last = &spell;
        }
        row.inCar = who.driver == car.currentDriver;
        if (row.inCar)
            row.continuousMs = car.spells.last().drivenMs;
        else if (last)
            row.restMs = std::max<qint64>(0, now - last->end);
        if (limits.minTotalMs > 0) {
            row.toMinMs = std::max<qint64>(0, limits.minTotalMs - row.totalMs);
            if (raceOver && row.toMinMs > 0)
                over << QStringLiteral("minimum");
        }
        if (limits.maxTotalMs > 0) {
            row.hasMax = true;
            row.toMaxMs = limits.maxTotalMs - row.totalMs;
            if (row.toMaxMs < 0)
                over << QStringLiteral("total");
            else if (row.toMaxMs <= nearMarginMs)
                near << QStringLiteral("total");
        }
        if (row.inCar && limits.maxContinuousMs > 0 && row.continuousMs <= limits.maxContinuousMs
            && limits.maxContinuousMs - row.continuousMs <= nearMarginMs)
            near << QStringLiteral("stint");
        row.state = !over.isEmpty() ? DriveState::Over : !near.isEmpty() ? DriveState::Near : DriveState::Ok;
        row.reason = (!over.isEmpty() ? over : near).join(QLatin1Char(' '));
        car.drivers.append(row);
    }
    return car;
}

// Whether every driver can still reach the minimum.
//
// The question is one of scheduling: the time left, [0, R], is shared out
// in spells, one driver at a time; a spell lasts at most C (the driver in
// the car has C minus his running spell left of his first one); a spell
// ends in a swap to another driver, so one driver never has two spells in
// a row, and two spells of one driver are at least Q' = max(Q, S) apart,
// S being the time a swap takes. When the pit lane counts for nobody,
// every swap also takes S of R from everyone. The car may stand between
// spells: when the pit lane counts for nobody it may stand in it, counting
// against no one's spell, rest or maximum. Every driver i must still get
// n_i.
//
// When the pit lane counts for a driver, every moment left is someone's
// (on track, or in the pit with him in the car), so the car may not stand:
// - A bound first: each driver can drive no more than his own spells and
//   rests allow from when he may start (ownCapacity), nor than his maximum
//   left; less than R in all proves the race cannot be filled. What the
//   sum has beyond R is the most spare the maxima leave.
// - The bound does not see two drivers resting at once, so a plan for the
//   minimums is Feasible only once some plan drives all of R within every
//   limit, each need met: DriveTimeFill's complete search over every order
//   and turn length (whole minutes, and the lengths the rules pin). Its
//   answer decides: a plan is Feasible, and the line shows that plan (its
//   next driver is the one the rest alert watches) with the slack it
//   leaves, a range up to the minimums' best when the fill meets the
//   needs later than that; a window from now that the drivers' own spells
//   and rests cannot cover (nobody ready yet; all resting at once) is Not
//   feasible outright; no plan of whole-minute turns stays Undecided (a
//   plan timed to the second is not ruled out: rounding a fill's turns
//   moves its end and can cross a maximum), and so does the search stopped
//   at its bound; the line says which.
//
// Stops without a driver change: when the pit lane counts for a driver,
// such a stop is his driving, a part of his turn like any lap, so it
// changes nothing here. When it counts for nobody, each takes race time
// from everyone: the plan makes one each time a run reaches the car's own
// interval between such stops, each as long as its own (stopsOf), a driver
// change starting a run afresh. Until the car has made three, none is
// counted and the plan says so.
//
// Decided by DriveTimeSchedule::earliest, which finds the earliest end of
// every minimum over every plan, so each verdict carries its proof:
// - NotFeasible at once when a bound already shows it: ownFinish, the
//   earliest one driver alone can be done (his first spell as long as
//   allowed, then full spells each after a gap of Q'), or all the needs
//   and the swaps they take in all together, past R.
// - Feasible with the plan found (its turns, and so who takes the car
//   next): its slack is exact when it meets the lower bound, or when the
//   millisecond phase went through every plan (a plan timed finer than the
//   timing's own unit is at most 1 ms a turn earlier); when only the
//   whole-minute phase did, it is the best of whole-minute plans, and a
//   plan timed finer may have up to a minute per turn more: the line
//   gives the range up to the lower bound's.
// - NotFeasible when the millisecond phase went through every plan and
//   none fits.
// - Undecided when the search stopped at its bound, when only the
//   whole-minute phase found no plan (one timed finer may fit), or when
//   the fill search stopped or found no plan of whole-minute turns (each
//   said so).
//
// The search first tries the lengths a best plan is mostly built from (a
// limit, a need, a hand-over as another driver's rest ends); when that plan
// does not meet the lower bound it also covers every whole minute, then
// every millisecond, each from the best plan so far: a length between
// those the rules give is pinned only by ties across turns. Ranges of
// lengths the lower bound rules out together are dropped at once, so the
// millisecond phase costs little where the bound is close; where it stops
// at its work, the whole-minute answer stands as a range (a plan timed
// finer can be earlier by less than a minute per turn, and those minutes
// add up over the turns).
DriveFeasibility feasibility(const CarDriveTime& car, const DriveTimeLimits& limits, qint64 remainingMs, qint64 swapMs, bool swapsCostTime)
{
    using DriveTimeSchedule::kNever;
    DriveFeasibility result;
    if (remainingMs < 0) {
        result.text = QStringLiteral("Race end unknown: type it in the drive-time rules");
        return result;
    }
    const qint64 C = limits.maxContinuousMs > 0 ? limits.maxContinuousMs : kNever;
    // A lone listed driver has no one to hand over to: one spell only.
    const qint64 Q = car.drivers.size() < 2 ? kNever : std::max(limits.minRestMs, swapMs);
    const qint64 R = remainingMs;
    const qint64 swapCost = swapsCostTime ? swapMs : 0;
    // A "Not feasible" that rests on the car's own swap time names it: a
    // crew that swaps faster may beat it. It does when swaps take race
    // time, or when a swap outlasts the rest between one driver's spells.
    // Until the car has its own, swapTimeMs gives the typed one: here 0.
    const bool ownSwap = swapMs == swapTimeMs(car, 0);
    const QString swapsText = (swapsCostTime || swapMs > limits.minRestMs) && ownSwap
        ? QStringLiteral(" (a driver swap %1 s, as the car's own)").arg(swapMs / 1000)
        : QString();
    std::vector<PlanDriver> needs;
    qint64 totalNeed = 0;
    qint64 turns = 0; // the least number of times drivers get in
    for (const DriverDriveTime& d : car.drivers) {
        PlanDriver n;
        n.need = std::max<qint64>(0, d.toMinMs);
        n.room = C;
        n.inCar = d.inCar;
        if (d.inCar) {
            n.room = C < kNever ? std::max<qint64>(0, C - d.continuousMs) : kNever;
            if (n.room == 0) {
                // At the limit: he gets out now and rests.
                n.inCar = false;
                n.justOut = true;
                n.ready = Q;
                n.room = C;
            }
        } else if (d.restMs >= 0 && limits.minRestMs > 0) {
            n.ready = std::max<qint64>(0, limits.minRestMs - d.restMs);
        }
        if (n.need > 0)
            turns += n.inCar ? (n.need > n.room ? (n.need - n.room + C - 1) / C : 0) : (n.need + C - 1) / C;
        totalNeed += n.need;
        needs.push_back(n);
    }
    // With nobody in the car the first to get in swaps with no one.
    if (car.currentDriver == 0 && turns > 0)
        --turns;

    // The proofs of failure that need no search.
    for (int i = 0; i < int(needs.size()); ++i) {
        const PlanDriver& n = needs.at(i);
        if (n.need == 0)
            continue;
        // A plan's turns never give a driver more than his need, so a need
        // within his maximum is all the search has to respect of it; a
        // minimum above the maximum, which the rules refuse, ends here.
        const DriverDriveTime& d = car.drivers.at(i);
        if (d.hasMax && n.need > std::max<qint64>(0, d.toMaxMs)) {
            result.verdict = DriveFeasibility::NotFeasible;
            result.driver = d.driver;
            result.needMs = n.need;
            result.canMs = std::max<qint64>(0, d.toMaxMs);
            result.text = QStringLiteral("Not feasible: %1 needs %2 more for the minimum, the maximum leaves %3")
                              .arg(driverText(car, d.driver), hoursMinutes(n.need, true), hoursMinutes(result.canMs, false));
            return result;
        }
        if (DriveTimeSchedule::ownFinish(n.ready, n.need, n.room, C, Q) > R) {
            result.verdict = DriveFeasibility::NotFeasible;
            result.driver = car.drivers.at(i).driver;
            result.needMs = n.need;
            result.canMs = DriveTimeSchedule::ownCapacity(n.ready, R, n.room, C, Q);
            result.text = QStringLiteral("Not feasible: %1 needs %2 more, %3 can still be scheduled")
                              .arg(driverText(car, result.driver), hoursMinutes(n.need, true), hoursMinutes(result.canMs, false))
                + (swapMs > limits.minRestMs ? swapsText : QString());
            return result;
        }
    }
    const qint64 allTogether = totalNeed + turns * swapCost;
    if (allTogether > R) {
        result.verdict = DriveFeasibility::NotFeasible;
        result.needMs = allTogether;
        result.canMs = R;
        result.text = turns * swapCost > 0
            ? QStringLiteral("Not feasible: the drivers need %1 more in all with %2, %3 remains")
                      .arg(hoursMinutes(allTogether, true), turns == 1 ? QStringLiteral("1 swap") : QStringLiteral("%1 swaps").arg(turns),
                           hoursMinutes(R, false))
                  + swapsText
            : QStringLiteral("Not feasible: the drivers need %1 more in all, %2 remains").arg(hoursMinutes(totalNeed, true), hoursMinutes(R, false));
        return result;
    }
    qint64 spare = -1;
    if (!swapsCostTime) {
        qint64 fill = 0;       // within the spell limit and rests
        qint64 fillMax = 0;    // and the maxima
        bool anyMax = false;
        for (int i = 0; i < int(needs.size()); ++i) {
            const PlanDriver& n = needs.at(i);
            const qint64 can = DriveTimeSchedule::ownCapacity(n.ready, R, n.room, C, Q);
            fill += can;
            const DriverDriveTime& d = car.drivers.at(i);
            anyMax = anyMax || d.hasMax;
            fillMax += d.hasMax ? std::min(can, std::max<qint64>(0, d.toMaxMs)) : can;
        }
        if (fillMax < R) {
            result.verdict = DriveFeasibility::NotFeasible;
            result.needMs = R;
            result.canMs = fillMax;
            result.text = QStringLiteral("Not feasible: within the %1 the drivers can drive only %2 of the %3 left")
                              .arg(fill < R ? QStringLiteral("limits") : QStringLiteral("maxima"), hoursMinutes(fillMax, false), hoursMinutes(R, false))
                + swapsText;
            return result;
        }
        if (anyMax)
            spare = fillMax - R;
    }
    result.spareMs = spare;
    // The most spare the maxima leave, when less than the slack.
    const auto spareText = [spare](qint64 slack) {
        return spare >= 0 && spare < slack ? QStringLiteral(", at most %1 spare under the maxima").arg(slackText(spare)) : QString();
    };
    // When the pit lane counts for a driver, a plan for the minimums is a
    // proof only once some plan drives all of the time left, each need met:
    // the complete search (DriveTimeFill) decides, and a plan it finds is
    // the one shown. Its None is over whole-minute turns only, so it leaves
    // the verdict Undecided; a window no timing fills proves the opposite.
    std::vector<qint64> most;
    for (const DriverDriveTime& d : car.drivers)
        most.push_back(d.hasMax ? std::max<qint64>(0, d.toMaxMs) : kNever);
    // The lengths the rules give first, within a quarter of the work: a
    // fill there is found at once; else every whole minute too, within what
    // work is left.
    const auto fillRace = [&](qint64 needsBy, qint64 work = kSearchWork) {
        const FillPlan quick = DriveTimeFill::fill(needs, most, C, Q, R, 0, work / 4, needsBy);
        if (quick.outcome == FillPlan::Found || quick.windowEnd > 0)
            return quick;
        FillPlan plan = DriveTimeFill::fill(needs, most, C, Q, R, kMinuteMs, std::max<qint64>(1, work - quick.work), needsBy);
        plan.work += quick.work;
        return plan;
    };
    const auto windowFails = [&](const FillPlan& fill) {
        if (fill.outcome != FillPlan::None || fill.windowEnd == 0)
            return false;
        result = DriveFeasibility();
        result.verdict = DriveFeasibility::NotFeasible;
        result.spareMs = spare;
        result.needMs = fill.windowEnd;
        result.canMs = fill.windowCan;
        result.text = QStringLiteral("Not feasible: within the limits the drivers can drive only %1 of the first %2")
                          .arg(hoursMinutes(fill.windowCan, false), hoursMinutes(fill.windowEnd, true))
            + swapsText;
        return true;
    };
    const auto notFilledText = [&spare](const FillPlan& fill) {
        return QStringLiteral("; filling the race within the limits not proved, ")
            + (fill.outcome == FillPlan::Stopped ? QStringLiteral("the search stopped at its bound") : QStringLiteral("no plan of whole-minute turns found"))
            + (spare >= 0 ? QStringLiteral(" (at most %1 spare)").arg(slackText(spare)) : QString());
    };
    if (totalNeed == 0) {
        result.slackMs = result.slackBoundMs = R;
        if (!swapsCostTime) {
            const FillPlan fill = fillRace(kNever);
            if (windowFails(fill))
                return result;
            if (fill.outcome != FillPlan::Found) {
                result.verdict = DriveFeasibility::Undecided;
                result.text = QStringLiteral("Every driver has the minimum") + notFilledText(fill);
                return result;
            }
        }
        result.verdict = DriveFeasibility::Feasible;
        result.text = QStringLiteral("Feasible: every driver has the minimum") + spareText(R);
        return result;
    }

    const PlanStops stops = swapsCostTime ? stopsOf(car) : PlanStops();
    DrivePlan plan = DriveTimeSchedule::earliest(needs, C, Q, swapCost, 0, R, kSearchWork, stops);
    // A bound past the end proves it: no plan to look for.
    const bool notProved = plan.bound <= R && (plan.outcome != DrivePlan::Found || plan.finish > plan.bound);
    // The step over which the plan is proved best (0: it meets the bound).
    qint64 grain = 0;
    if (notProved) {
        // Every whole minute too, from the best plan known, then every
        // millisecond from the best of those, as long as each phase goes
        // through every plan within its work.
        const auto fromBest = [&](qint64 step) {
            return DriveTimeSchedule::earliest(needs, C, Q, swapCost, step, plan.turns.empty() ? R : plan.finish - 1, kSearchWork, stops);
        };
        const auto adopt = [&plan](const DrivePlan& better) {
            if (!better.turns.empty()) {
                plan.turns = better.turns;
                plan.finish = better.finish;
            }
        };
        const DrivePlan minutes = fromBest(kMinuteMs);
        adopt(minutes);
        grain = kMinuteMs;
        if (minutes.outcome != DrivePlan::Stopped) {
            if (const DrivePlan exact = fromBest(1); exact.outcome != DrivePlan::Stopped) {
                adopt(exact);
                grain = 1;
            }
        }
        plan.outcome = minutes.outcome == DrivePlan::Stopped ? DrivePlan::Stopped : plan.turns.empty() ? DrivePlan::None : DrivePlan::Found;
    }
    // Stops without a driver change counted from the car's own: any verdict
    // of the search rests on them, so it names them.
    const QString stopsText = stops.every > 0 ? QStringLiteral(" (a stop without a driver change after every %1 of a run, %2 s each, as the car's own)")
                                                    .arg(hoursMinutes(stops.every, false))
                                                    .arg(stops.time / 1000)
        : swapsCostTime ? QStringLiteral(" (stops without a driver change not counted until the car has made %1)").arg(kStopsToLearn)
                        : QString();
    // A fill proves the minimums too, so it is tried as well when their
    // search stopped without a plan.
    FillPlan fill;
    if (!swapsCostTime && (!plan.turns.empty() || (plan.outcome == DrivePlan::Stopped && plan.bound <= R))) {
        fill = fillRace(kNever);
        if (windowFails(fill))
            return result;
        // A fill meeting the needs later than the minimums' plan leaves less
        // slack: one meeting them by then, when there is one, shows the best.
        if (fill.outcome == FillPlan::Found && !plan.turns.empty() && needsMetAt(needs, fill.turns) > plan.finish) {
            FillPlan early = fillRace(plan.finish);
            if (early.outcome == FillPlan::Found) {
                fill = std::move(early);
            } else if (early.outcome == FillPlan::None) {
                // Else the best fill of whole-minute turns meets them
                // between the two: halved to the minute within one budget.
                // A None is over those turns (and the lengths the rules
                // give) only, so the slack shown stays a range up to the
                // minimums' best.
                qint64 metBy = needsMetAt(needs, fill.turns);
                qint64 notBy = plan.finish;
                qint64 budget = kSearchWork;
                while (metBy - notBy > kMinuteMs && budget > 0) {
                    const qint64 by = notBy + std::max(kMinuteMs, (metBy - notBy) / 2 / kMinuteMs * kMinuteMs);
                    FillPlan tried = fillRace(by, budget);
                    budget -= tried.work;
                    if (tried.outcome == FillPlan::Stopped)
                        break;
                    if (tried.outcome == FillPlan::None) {
                        notBy = by;
                        continue;
                    }
                    metBy = needsMetAt(needs, tried.turns);
                    fill = std::move(tried);
                }
            }
        }
    }
    const bool filled = !swapsCostTime && fill.outcome == FillPlan::Found;
    if (plan.turns.empty() && !filled) {
        // Proved only by the bound or by going through every plan to the
        // millisecond; no plan of whole-minute turns leaves one timed
        // finer.
        const bool proved = plan.bound > R || (plan.outcome == DrivePlan::None && grain == 1);
        result.verdict = proved ? DriveFeasibility::NotFeasible : DriveFeasibility::Undecided;
        result.needMs = plan.bound;
        result.canMs = R;
        if (plan.bound > R)
            result.text = QStringLiteral("Not feasible: the minimums take %1 at the least, %2 remains").arg(hoursMinutes(plan.bound, true), hoursMinutes(R, false));
        else if (plan.outcome == DrivePlan::Stopped)
            result.text = QStringLiteral("Feasibility undecided: the search stopped at its bound, no plan within %1 found and none ruled out").arg(hoursMinutes(R, false));
        else if (proved)
            result.text = QStringLiteral("Not feasible: no plan fits every minimum in the %1 left").arg(hoursMinutes(R, false));
        else
            result.text = QStringLiteral("Feasibility undecided: no plan of whole-minute turns fits every minimum in the %1 left, one timed finer is not ruled out")
                              .arg(hoursMinutes(R, false));
        if (stops.every > 0)
            result.text += stopsText;
        if (result.verdict == DriveFeasibility::NotFeasible)
            result.text += swapsText;
        return result;
    }
    result.verdict = DriveFeasibility::Feasible;
    // No plan has more slack than the minimums' best allows: proved best
    // when the plan meets the bound, or when the millisecond phase went
    // through every plan (the timing's own unit); else the whole-minute
    // phase gives at most a minute per turn of the best plan less than one
    // timed finer, whose turns the search's depth bounds.
    const qint64 bestSlack = plan.turns.empty()      ? R - plan.bound
        : plan.finish <= plan.bound || grain == 1    ? R - plan.finish
        : plan.outcome == DrivePlan::Found           ? std::min(R - plan.bound, R - plan.finish + DriveTimeSchedule::kMaxTurns * grain)
                                                     : R - plan.bound;
    // The fill shown leaves the slack of its own meeting of the needs, which
    // may be later than the minimums' best: then a range.
    const std::vector<PlanTurn>& shown = filled ? fill.turns : plan.turns;
    const qint64 met = filled ? needsMetAt(needs, fill.turns) : plan.finish;
    result.slackMs = R - met;
    result.slackBoundMs = std::max(result.slackMs, bestSlack);
    QStringList turnsText;
    for (int i = 0; i < int(shown.size()); ++i) {
        const PlanTurn& turn = shown.at(i);
        if (filled && turn.start >= met) {
            // The rest of a fill, after the last need is met.
            turnsText << (shown.size() - i == 1 ? QStringLiteral("then 1 turn to the end") : QStringLiteral("then %1 turns to the end").arg(shown.size() - i));
            break;
        }
        const int driver = car.drivers.at(turn.driver).driver;
        const bool drivesOn = i == 0 && needs.at(turn.driver).inCar;
        if (!drivesOn && result.nextDriver == 0)
            result.nextDriver = driver;
        const qint64 driving = turn.end - turn.start - turn.stops * stops.time;
        QString text = driving > 0 ? QStringLiteral("%1 %2").arg(driverText(car, driver), hoursMinutes(driving, true))
                                   : QStringLiteral("%1 (swap only)").arg(driverText(car, driver));
        if (turn.stops > 0)
            text += turn.stops == 1 ? QStringLiteral(" (1 stop)") : QStringLiteral(" (%1 stops)").arg(turn.stops);
        turnsText << text;
    }
    result.plan = QStringLiteral("Plan: ") + turnsText.join(QStringLiteral(", ")) + stopsText;
    QString slack;
    if (result.slackBoundMs == result.slackMs || slackText(result.slackMs) == slackText(result.slackBoundMs))
        slack = QStringLiteral(", %1 slack").arg(slackText(result.slackMs));
    else if (filled || plan.outcome == DrivePlan::Found)
        slack = QStringLiteral(", %1 to %2 slack").arg(slackText(result.slackMs), slackText(result.slackBoundMs));
    else
        slack = QStringLiteral(", %1 to %2 slack (the search stopped at its bound)").arg(slackText(result.slackMs), slackText(result.slackBoundMs));
    if (!swapsCostTime && !filled) {
        result.verdict = DriveFeasibility::Undecided;
        result.text = QStringLiteral("Feasible for the minimums") + slack + notFilledText(fill);
    } else {
        result.text = QStringLiteral("Feasible") + slack + spareText(result.slackMs);
    }
    return result;
}

} // namespace DriveTimeCalculator
