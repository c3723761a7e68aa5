#pragma once

#include <QtGlobal>

#include <limits>
#include <vector>

// A driver as the schedule search sees him, times from now in ms.
struct PlanDriver {
    qint64 need = 0;  // still to drive for the minimum
    qint64 ready = 0; // when his rest allows him in again
    qint64 room = 0;  // in the car: what his running spell may still last
    bool inCar = false;
    bool justOut = false; // he had the car until now: another driver takes it next
                          // (ignored when someone is in the car)
};

// One turn at the wheel of a plan, from now in ms. A turn of 0 ms is a
// hand-over only: someone takes the car for the swap so that the driver
// who got out may come back.
struct PlanTurn {
    int driver = 0; // index into the drivers searched
    qint64 start = 0;
    qint64 end = 0;   // his driving and the stops made within the turn
    int stops = 0;    // stops without a driver change within the turn
};

// Stops without a driver change that take race time (the pit lane counts
// for nobody): within a turn, one each time the car has driven every since
// its last stop, each taking time. A driver change is a stop too, so a turn
// after one starts afresh; the driver in the car at the start is fuel into
// his run. every 0: none counted.
struct PlanStops {
    qint64 every = 0;
    qint64 time = 0;
    qint64 fuel = 0;
};

struct DrivePlan {
    enum Outcome {
        Found,   // the earliest plan within the limit, in turns
        None,    // every plan was looked at: none ends within the limit
        Stopped, // the search hit its bound (work or turns) first; turns hold the best plan
                 // found (empty: none), bound what no plan can beat
    };
    Outcome outcome = None;
    qint64 finish = 0; // Found and Stopped with turns: when the last need is met
    qint64 bound = 0;  // no plan meets every need earlier
    std::vector<PlanTurn> turns;
    qint64 work = 0; // states visited and lengths tried, for the benchmark
};

// The earliest moment every driver can have his need, over every order of
// turns and the lengths the rules allow (with step set, to within a step
// per turn), found by a depth-first branch-and-bound. Pure: tests give it
// the drivers by hand.
namespace DriveTimeSchedule {

// kNever stands for "no limit" (a spell, a rest) and "no end".
constexpr qint64 kNever = std::numeric_limits<qint64>::max() / 4;
// The most turns a plan searched may have: deeper, the search stops.
constexpr int kMaxTurns = 400;

// a / b rounded up, for a >= 0 and b > 0: turns, runs.
constexpr qint64 ceilDiv(qint64 a, qint64 b)
{
    return (a + b - 1) / b;
}

// continuous: the longest spell (kNever: none); gap: the least time
// between two spells of one driver (kNever: one spell each); swap: what a
// hand-over takes of the race (0 when the pit lane counts as driving);
// step: 0 tries only the lengths the limits, needs and rests give, else
// every whole step too; limit: plans ending later are of no interest;
// maxWork: the search's bound, in states visited, lengths tried, ranges of
// whole steps weighed, the turn counts its stop bound weighs and the rows
// its gap fillers' bound fills (it also stops past a few hundred turns);
// stops: those a turn makes.
DrivePlan earliest(const std::vector<PlanDriver>& drivers, qint64 continuous, qint64 gap, qint64 swap, qint64 step, qint64 limit, qint64 maxWork,
                   const PlanStops& stops = PlanStops());

// When a driver alone finishes a need starting at t, with a first spell of
// at most room, spells of at most continuous and gaps of gap: no schedule
// of his can do better.
qint64 ownFinish(qint64 t, qint64 need, qint64 room, qint64 continuous, qint64 gap);
// The most he alone can drive between t and end, same terms.
qint64 ownCapacity(qint64 t, qint64 end, qint64 room, qint64 continuous, qint64 gap);

} // namespace DriveTimeSchedule
