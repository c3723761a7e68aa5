#pragma once

#include "DriveTimeSchedule.h"

#include <vector>

// A plan that drives all of the time left, the car never standing, as it
// must when the pit lane counts for a driver.
struct FillPlan {
    enum Outcome {
        Found,   // turns hold a plan that fills the time left and every need
        None,    // every plan tried was looked at: none fills it
        Stopped, // the search hit its bound first: nothing proved
    };
    Outcome outcome = None;
    std::vector<PlanTurn> turns;
    // None decided before any turn by a window no plan can fill, at any
    // timing: from now to windowEnd the drivers can drive only windowCan.
    qint64 windowEnd = 0;
    qint64 windowCan = 0;
    qint64 work = 0; // states visited and lengths tried
};

// Whether the car can be driven without a break until end, every spell
// within continuous (the driver in the car: within his room), two spells of
// one driver at least gap apart, no one in before he is ready, every need
// met and no driver past his most (DriveTimeSchedule::kNever: no maximum).
// A depth-first search with a memo of states that failed; with step set it
// tries every whole step of a turn besides the lengths the rules give, and
// None is then a proof over plans of such turns. needsBy, when set: only
// plans that meet every need by then (a window failing at the root is then
// no proof about filling alone). Pure: tests give it the drivers by hand.
namespace DriveTimeFill {

FillPlan fill(const std::vector<PlanDriver>& drivers, const std::vector<qint64>& most, qint64 continuous, qint64 gap, qint64 end, qint64 step,
              qint64 maxWork, qint64 needsBy = DriveTimeSchedule::kNever);

} // namespace DriveTimeFill
