#pragma once

#include "DriveTimeSchedule.h"

#include <array>
#include <cstddef>
#include <functional>
#include <unordered_map>
#include <vector>

// What no plan from a state of the minimums' search can beat: the latest of
// the bounds DriveTimeSchedule.cpp lists, each something every plan from
// there must spend. It reads the search's state where the search keeps it,
// and counts its own work into the search's.
class DriveTimeBound final
{
public:
    // The search's state, read in place.
    struct State {
        const std::vector<qint64>& need;
        const std::vector<qint64>& ready;
        const qint64& free;
        const int& last;       // who had the car last: he may not follow himself
        const bool& occupied;  // someone had the car: getting in is a swap
        const int& inCar;      // still in the car at the start, driving on
        const qint64& room0;   // what his running spell may still last
    };

    DriveTimeBound(const State& state, qint64 continuous, qint64 gap, qint64 swap, const PlanStops& stops, qint64* work);
    DriveTimeBound(const DriveTimeBound&) = delete;
    DriveTimeBound& operator=(const DriveTimeBound&) = delete;

    qint64 lowerBound();
    // At the start: lowerBound, and the swaps and the stops together over
    // every count of turns per driver, or without stops the turns that
    // bridge one driver's rests: too costly to weigh at every state.
    qint64 atStart();

private:
    qint64 swapsAndStops();
    int k() const { return int(m_need.size()); }
    qint64 spellCap(int d) const;
    qint64 entries(int d) const;
    qint64 fromStarts(const std::vector<qint64>& starts) const;
    qint64 aroundOne(const std::vector<qint64>& starts) const;
    qint64 restGaps();
    qint64 gapFillers();
    qint64 inCarStopTime(qint64 between);
    qint64 freshStops(qint64 need, qint64 turns) const;
    qint64 leastStopTime(qint64 need, qint64 between, qint64 entry);

    const std::vector<qint64>& m_need;
    const std::vector<qint64>& m_ready;
    const qint64& m_free;
    const int& m_last;
    const bool& m_occupied;
    const int& m_inCar;
    const qint64& m_room0;
    const qint64 m_continuous;
    const qint64 m_gap;
    const qint64 m_swap;
    const PlanStops m_stops;
    qint64& m_work;
    // The same needs come back in state after state: leastStopTime's
    // answers, by need, what lies between turns and before the first.
    using StopKey = std::array<qint64, 3>;
    struct StopKeyHash {
        std::size_t operator()(const StopKey& k) const { return std::hash<qint64>()(k[0] * 1000003 ^ k[1] * 10007 ^ k[2]); }
    };
    std::unordered_map<StopKey, qint64, StopKeyHash> m_leastStops;
};
