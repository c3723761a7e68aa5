#include "DriveTimeCalculator.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace DriveTimeCalculator {

namespace {

constexpr qint64 kNever = std::numeric_limits<qint64>::max() / 4;

qint64 duration(const DriveStint& s)
{
    return s.end > s.start ? s.end - s.start : 0;
}

// The driver of the next stint on track, else (the car is in the pit now)
// the driver the stay itself names.
int nextDriver(const QVector<DriveStint>& stints, int from)
{
    for (int i = from + 1; i < stints.size(); ++i)
        if (!stints.at(i).isPit)
            return stints.at(i).driver;
    return stints.at(from).driver;
}

qint64 ceilDiv(qint64 a, qint64 b)
{
    return (a + b - 1) / b;
}

// When a driver alone finishes a need of n starting at t, with a first
// spell of at most room (the rest of his running spell; C when he gets in
// afresh), spells of at most C and rests of Q: the first spell as long as
// it may be, then full spells. Running the first spell to its end is best:
// stopping it early leaves more to drive after the same rest.
qint64 ownFinish(qint64 t, qint64 n, qint64 room, qint64 C, qint64 Q)
{
    if (n <= 0)
        return t;
    if (C <= 0)
        return t + n;
    if (n <= room)
        return t + n;
    if (Q >= kNever)
        return kNever;
    const qint64 left = n - room;
    return t + room + Q + left + Q * (ceilDiv(left, C) - 1);
}

// The most a driver alone can drive between t and end, same terms.
qint64 ownCapacity(qint64 t, qint64 end, qint64 room, qint64 C, qint64 Q)
{
    if (end <= t)
        return 0;
    if (C <= 0)
        return end - t;
    qint64 got = std::min(room, end - t);
    if (Q >= kNever)
        return got;
    t += room + Q;
    if (t >= end)
        return got;
    const qint64 cycles = (end - t) / (C + Q);
    got += cycles * C + std::min(C, end - t - cycles * (C + Q));
    return got;
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

} // namespace

QString hoursMinutes(qint64 ms, bool roundUp)
{
    const qint64 minutes = std::max<qint64>(0, roundUp ? ceilDiv(ms, 60000) : ms / 60000);
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QVector<DriveSpell> spells(const QVector<DriveStint>& stints, PitTimeRule rule)
{
    QVector<DriveSpell> result;
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
                // A change without a stay between (after a penalty or
                // safety-car stay, which never changes the driver).
                open(s.driver, s.start, 0);
                current = &result.last();
            }
            current->drivenMs += d;
            current->end = s.end;
            continue;
        }
        const int next = nextDriver(stints, i);
        const bool change = s.pitInfo == 0 && next != current->driver;
        if (!change) {
            // The driver stays in the car (a refuelling stop, a penalty,
            // the safety car).
            if (rule != PitTimeRule::NotDriving)
                current->drivenMs += d;
            current->end = s.end;
            continue;
        }
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
    return result;
}

CarDriveTime compute(const QVector<DriveStint>& stints, const QVector<DriveDriver>& drivers, const DriveTimeLimits& limits, PitTimeRule rule,
                     qint64 nearMarginMs, qint64 now, bool running, bool raceOver)
{
    CarDriveTime car;
    car.spells = spells(stints, rule);
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
// S being the time a swap takes (someone else is in the car meanwhile).
// When the pit lane counts for nobody, every swap also takes S of R from
// everyone. The car may be driven by anyone between the spells that count
// (time no one needs is no loss); it is not left idle in reality, but a
// schedule with idle time only says the real one has room.
// Every driver i must still get n_i.
//
// The answer is exact because each verdict carries its proof:
// - NotFeasible for one driver: ownFinish is the earliest he alone can be
//   done (his first spell as long as allowed, then full spells each after
//   a gap of Q': any schedule of his has at least as many gaps before the
//   same amount), so past R no schedule helps him; ownCapacity is what he
//   can still get.
// - NotFeasible for all together: the spells do not overlap, and when
//   swaps cost time each driver not in the car who still needs time gets
//   in at least once, so the needs and those swaps cannot add up to more
//   than R.
// - Feasible: a schedule was built that meets every rule (an earliest-
//   finish-first list schedule: whenever the car is free it goes to the
//   rested driver whose own finish lies latest, for as long as his spell
//   may last or his need runs, never to the driver who just got out: when
//   he alone is left, another driver takes a turn in between); it shows
//   the slack it leaves, and the lower bound above shows the most slack
//   any schedule can leave. When the two agree the slack is exact.
// - Undecided when neither a schedule nor a proof was found: said so, never
//   guessed (it needs rests longer than the others' spells can fill).
DriveFeasibility feasibility(const CarDriveTime& car, const DriveTimeLimits& limits, qint64 remainingMs, qint64 swapMs, bool swapsCostTime)
{
    DriveFeasibility result;
    if (remainingMs < 0) {
        result.text = QStringLiteral("Race end unknown: type it in the drive-time rules");
        return result;
    }
    const qint64 C = limits.maxContinuousMs;
    // A lone listed driver has no one to hand over to: one spell only.
    const qint64 Q = car.drivers.size() < 2 ? kNever : std::max(limits.minRestMs, swapMs);
    const qint64 R = remainingMs;
    const qint64 swapCost = swapsCostTime ? swapMs : 0;
    struct Need {
        int driver;
        qint64 need;
        qint64 ready; // when he may get in
        qint64 room;  // his first spell's most
        bool inCar;
    };
    QVector<Need> needs;
    qint64 totalNeed = 0;
    qint64 swapsIn = 0; // drivers who need time and must first get in
    int last = -1;      // who had the car last: he may not follow himself
    for (const DriverDriveTime& d : car.drivers) {
        Need n{d.driver, std::max<qint64>(0, d.toMinMs), 0, C > 0 ? C : kNever, d.inCar};
        if (d.inCar) {
            last = needs.size();
            n.room = C > 0 ? std::max<qint64>(0, C - d.continuousMs) : kNever;
            if (n.room == 0) {
                // At the limit: he gets out now and rests.
                n.inCar = false;
                n.ready = Q;
                n.room = C;
            }
        } else if (d.restMs >= 0 && limits.minRestMs > 0) {
            n.ready = std::max<qint64>(0, limits.minRestMs - d.restMs);
        }
        if (n.need > 0 && !n.inCar)
            ++swapsIn;
        totalNeed += n.need;
        needs.append(n);
    }
    // With nobody in the car the first to get in swaps with no one.
    if (car.currentDriver == 0 && swapsIn > 0)
        --swapsIn;

    // Lower bound of the time every need takes, and the proofs of failure.
    qint64 bound = totalNeed + swapsIn * swapCost;
    for (const Need& n : needs) {
        if (n.need == 0)
            continue;
        const qint64 finish = ownFinish(n.ready, n.need, n.room, C, Q);
        bound = std::max(bound, finish);
        if (finish > R) {
            result.verdict = DriveFeasibility::NotFeasible;
            result.driver = n.driver;
            result.needMs = n.need;
            result.canMs = ownCapacity(n.ready, R, n.room, C, Q);
            result.text = QStringLiteral("Not feasible: %1 needs %2 more, %3 can still be scheduled")
                              .arg(driverText(car, n.driver), hoursMinutes(n.need, true), hoursMinutes(result.canMs, false));
            return result;
        }
    }
    if (bound > R) {
        result.verdict = DriveFeasibility::NotFeasible;
        result.needMs = bound;
        result.canMs = R;
        result.text = swapsIn * swapCost > 0
            ? QStringLiteral("Not feasible: the drivers need %1 more in all with %2 swaps, %3 remains")
                  .arg(hoursMinutes(bound, true))
                  .arg(swapsIn)
                  .arg(hoursMinutes(R, false))
            : QStringLiteral("Not feasible: the drivers need %1 more in all, %2 remains").arg(hoursMinutes(totalNeed, true), hoursMinutes(R, false));
        return result;
    }

    // The list schedule.
    qint64 t = 0;
    for (;;) {
        int pick = -1;
        qint64 pickFinish = -1;
        qint64 nextReady = kNever;
        bool onlyLast = false;
        for (int i = 0; i < needs.size(); ++i) {
            const Need& n = needs.at(i);
            if (n.need == 0)
                continue;
            if (n.ready > t) {
                nextReady = std::min(nextReady, n.ready);
                continue;
            }
            if (i == last && !n.inCar) {
                onlyLast = true;
                continue;
            }
            const qint64 finish = ownFinish(t, n.need, n.room, C, Q);
            // Ties: the driver in the car stays (no swap), then entry order.
            if (finish > pickFinish || (finish == pickFinish && n.inCar)) {
                pick = i;
                pickFinish = finish;
            }
        }
        if (pick < 0) {
            if (onlyLast) {
                // Another driver takes a turn: a swap out and one back.
                t += 2 * swapCost;
                last = -1;
                continue;
            }
            if (nextReady == kNever)
                break; // every need met
            // Someone else drives meanwhile: a swap to him.
            if (last >= 0) {
                t += swapCost;
                last = -1;
            }
            t = std::max(t, nextReady);
            continue;
        }
        for (Need& n : needs) {
            // Whoever was in the car and is not picked gets out now.
            if (n.inCar && &n != &needs[pick]) {
                n.inCar = false;
                n.ready = std::max(n.ready, t + Q);
                n.room = C > 0 ? C : kNever;
            }
        }
        Need& n = needs[pick];
        if (!n.inCar && (last >= 0 || t > 0 || car.currentDriver != 0))
            t += swapCost; // he gets in
        const qint64 spell = std::min(n.need, n.room);
        t += spell;
        n.need -= spell;
        n.inCar = false;
        n.ready = t + Q;
        n.room = C > 0 ? C : kNever;
        last = pick;
    }
    if (t > R) {
        result.verdict = DriveFeasibility::Undecided;
        result.text = QStringLiteral("Feasibility undecided: no schedule found within %1, none ruled out").arg(hoursMinutes(R, false));
        return result;
    }
    result.verdict = DriveFeasibility::Feasible;
    result.slackMs = R - t;
    result.slackBoundMs = R - bound;
    if (totalNeed == 0)
        result.text = QStringLiteral("Feasible: every driver has the minimum");
    else if (t == bound || slackText(result.slackMs) == slackText(result.slackBoundMs))
        result.text = QStringLiteral("Feasible, %1 slack").arg(slackText(result.slackMs));
    else
        result.text = QStringLiteral("Feasible, %1 to %2 slack").arg(slackText(result.slackMs), slackText(result.slackBoundMs));
    return result;
}

} // namespace DriveTimeCalculator
