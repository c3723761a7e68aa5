#include "DriveTimeSchedule.h"

#include "DriveTimeBound.h"

#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace DriveTimeSchedule {

namespace {

// The search works on the rules' own times, to the millisecond: no grid.
// A plan is a sequence of turns, one driver after another, never the same
// driver twice in a row; each turn starts as early as the car and the
// driver allow (the car is free, plus a swap once someone had it; his rest
// is over): waiting longer never helps, as no rule has an upper bound in
// time. So a plan is its order of drivers and its lengths.
//
// Which lengths: for one order, the end of the last turn is a convex
// piecewise-linear function of the lengths, non-decreasing in each (a
// start is the later of two sums of earlier lengths); its least value lies
// where every length is pinned by a bound (0, the spell's most, what is
// left of a need) or by a tie between the two reasons a turn waits (the
// car is handed over just as the next driver's rest ends). Most such
// lengths can be told when the turn is chosen: 0 (a hand-over only, which
// lets the driver who got out come back), the most it may last, what is
// left over once his later spells are full, the hand-over as another
// driver's rest ends, and the return from a rest as a waiting driver is
// done. Some are pinned only by turns further on (two spells of a need
// split in halves), so with step set every whole step is covered as well,
// after those lengths: a range of whole steps is dropped at once when the
// lower bound at its most hopeful (its shortest turn's end, its longest
// turn's need left; the bound only grows with either) is no earlier than
// the best plan, else halved down to single steps. The search is then
// exact over plans whose turns last whole steps or end at one of those
// lengths, and a plan timed finer is at most one step per turn earlier
// (round each of its turns up to a whole step, or to its bound when that
// comes first: every rule still holds, and each turn moves later by less
// than a step). With a step of 1 ms, the times' own unit, that is every
// plan to the millisecond.
//
// Branch and bound: the first plan tried is the earliest-finish-first list
// schedule (the driver who would finish his own need latest goes first, his
// spell as long as allowed); a branch whose lower bound is no earlier than
// the best plan is dropped, and the search ends when a plan meets the
// lower bound at the root. The bound (DriveTimeBound) is the latest of: the needs and the
// swaps they take in all (one driver never follows himself, so a driver
// with many turns brings the others' turns between them); the time the
// car stands while one driver rests; one driver's own earliest finish, his
// stops included; the needs of those who may not start before a moment,
// driven after it; one driver's span from his first turn, with what the
// others cannot drive before it; and at the start, the swaps and stops
// together over every count of turns per driver, or without stops the
// turns that bridge one driver's rests (a turn alone between two of his
// lasts his rest less two swaps; a shorter need leaves time nobody
// needs, else a turn more). The closer it is, the
// more often the first plans tried are proved best at once, and the fewer
// ranges of lengths the finer phases must halve.
// Drivers alike (the same need and rest) are tried once.
//
// Stops without a driver change (when they take race time) add their time
// to a turn, a step each time its run reaches the stop interval: for one
// order and one count of stops per turn the end is the same function plus
// a constant, and a turn just past a stop is later than the same turn
// ending just before it, so a best plan's turns also end where a stop
// falls due, a length tried with the others. Rounding a turn up to a whole
// step never crosses such a length, so the whole-step phase's claim holds.
//
// The search is bounded by its work, not only by the states it visits:
// every length tried counts, every range of whole steps weighed, and every
// state. Its depth is bounded
// too (kMaxTurns), so that the recursion stays well within a 1 MB stack.

class Search final
{
public:
    Search(const std::vector<PlanDriver>& drivers, qint64 continuous, qint64 gap, qint64 swap, qint64 step, qint64 limit, qint64 maxWork,
           const PlanStops& stops)
        : m_k(int(drivers.size()))
        , m_continuous(continuous)
        , m_gap(gap)
        , m_swap(swap)
        , m_step(step)
        , m_maxWork(maxWork)
        , m_stops(stops.every > 0 ? stops : PlanStops())
        , m_bestFinish(limit >= kNever ? kNever : limit + 1)
        , m_limit(limit)
        , m_bound(DriveTimeBound::State{m_need, m_ready, m_free, m_last, m_occupied, m_inCar, m_room0}, continuous, gap, swap, m_stops, &m_work)
    {
        for (int i = 0; i < m_k; ++i) {
            const PlanDriver& d = drivers.at(i);
            m_need.push_back(std::max<qint64>(0, d.need));
            m_ready.push_back(std::max<qint64>(0, d.ready));
            if (d.inCar) {
                m_inCar = i;
                m_room0 = std::clamp<qint64>(d.room, 0, continuous);
            } else if (d.justOut) {
                m_last = i;
            }
        }
        // Someone in the car is the one who had it.
        if (m_inCar >= 0)
            m_last = -1;
        m_occupied = m_inCar >= 0 || m_last >= 0;
    }

    DrivePlan run()
    {
        DrivePlan plan;
        plan.bound = m_bound.atStart();
        m_rootBound = plan.bound;
        if (m_inCar >= 0) {
            // He drives on first, or gets out now.
            for (const qint64 length : lengths(m_inCar, 0, m_room0, m_stops.fuel)) {
                branch(m_inCar, 0, length, true);
                if (done())
                    break;
            }
            if (!done())
                branchSteps(m_inCar, 0, m_room0, true, m_stops.fuel);
            const int inCar = m_inCar;
            const qint64 ready = m_ready.at(inCar);
            m_inCar = -1;
            if (!done()) {
                m_ready[inCar] = std::max(ready, m_gap);
                m_last = inCar;
                visit();
            }
        } else {
            visit();
        }
        plan.work = m_work;
        if (m_bestFinish <= m_limit) {
            plan.finish = m_bestFinish;
            plan.turns = m_best;
        }
        plan.outcome = m_stopped ? DrivePlan::Stopped : m_bestFinish <= m_limit ? DrivePlan::Found : DrivePlan::None;
        return plan;
    }

private:
    struct Child {
        int driver;
        qint64 start;
        qint64 length;
        qint64 order; // the driver's own finish from this start: latest first
    };

    bool done() const { return m_stopped || m_bestFinish <= m_rootBound; }

    void visit()
    {
        if (done())
            return;
        if (++m_work > m_maxWork || m_path.size() >= std::size_t(kMaxTurns)) {
            m_stopped = true;
            return;
        }
        if (std::all_of(m_need.cbegin(), m_need.cend(), [](qint64 n) { return n == 0; })) {
            if (m_free < m_bestFinish) {
                m_bestFinish = m_free;
                m_best = m_path;
            }
            return;
        }
        if (m_bound.lowerBound() >= m_bestFinish)
            return;
        // Orders that meet in the same state go on alike: once is enough.
        if (!m_seen.insert(stateKey()).second)
            return;

        const qint64 entry = m_occupied ? m_swap : 0;
        // A hand-over only, to let the driver who just got out come back.
        const bool handOver = m_last >= 0 && m_need.at(m_last) > 0 && !m_lastHandOver;
        std::vector<Child> children;
        std::vector<std::pair<int, qint64>> steps; // whole steps, after the lengths the rules give: driver, start
        int idle = -1; // the soonest driver with no need: one stands for all
        for (int d = 0; d < m_k; ++d) {
            if (d == m_last)
                continue;
            const qint64 start = std::max(m_free + entry, m_ready.at(d));
            const qint64 need = m_need.at(d);
            if (need == 0) {
                if (handOver && (idle < 0 || m_ready.at(d) < m_ready.at(idle)))
                    idle = d;
                continue;
            }
            bool twin = false;
            for (int o = 0; o < d && !twin; ++o)
                twin = o != m_last && m_need.at(o) == need && m_ready.at(o) == m_ready.at(d);
            if (twin)
                continue;
            const qint64 order = ownFinish(start, need, m_continuous, m_continuous, m_gap);
            for (const qint64 length : lengths(d, start, m_continuous, 0))
                children.push_back(Child{d, start, length, order});
            if (handOver)
                children.push_back(Child{d, start, 0, order});
            steps.emplace_back(d, start);
        }
        m_work += qint64(children.size());
        if (m_work > m_maxWork) {
            m_stopped = true;
            return;
        }
        if (idle >= 0)
            children.push_back(Child{idle, std::max(m_free + entry, m_ready.at(idle)), 0, -1});
        // The list schedule's choice first: the soonest start, then the
        // latest own finish, then the longest turn.
        std::stable_sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
            if (a.start != b.start)
                return a.start < b.start;
            if (a.order != b.order)
                return a.order > b.order;
            return a.length > b.length;
        });
        for (const Child& c : children) {
            branch(c.driver, c.start, c.length, false);
            if (done())
                return;
        }
        for (const auto& [d, start] : steps) {
            branchSteps(d, start, m_continuous, false, 0);
            if (done())
                return;
        }
    }

    // Every whole step below the longest a turn of d from start may last
    // (cap, his need), longest first: a range whose lower bound, taken at
    // its most hopeful (the shortest turn's end and the longest turn's need
    // left; the bound grows with each), is no earlier than the best plan
    // holds none better; else it is halved, down to single lengths. None
    // without step.
    void branchSteps(int d, qint64 start, qint64 cap, bool drivesOn, qint64 fuel)
    {
        if (m_step <= 0)
            return;
        const qint64 last = (std::min(cap, m_need.at(d)) - 1) / m_step * m_step;
        if (last < m_step)
            return;
        // A stack of ranges, not a recursion: the turns' depth alone bounds
        // the stack. The upper half of a range goes before its lower half.
        std::vector<std::pair<qint64, qint64>> ranges{{m_step, last}};
        while (!ranges.empty() && !done()) {
            const auto [from, to] = ranges.back();
            ranges.pop_back();
            if (from == to) {
                branch(d, start, from, drivesOn);
                continue;
            }
            if (++m_work > m_maxWork) {
                m_stopped = true;
                return;
            }
            if (hopefulBound(d, start, from, to, drivesOn, fuel) >= m_bestFinish)
                continue;
            const qint64 mid = from + ((to - from) / m_step / 2) * m_step;
            ranges.emplace_back(from, mid);
            ranges.emplace_back(mid + m_step, to);
        }
    }

    qint64 hopefulBound(int d, qint64 start, qint64 lo, qint64 hi, bool drivesOn, qint64 fuel)
    {
        const Saved saved = take(d, start + lo + stopsIn(lo, fuel) * m_stops.time, hi, drivesOn);
        const qint64 bound = m_bound.lowerBound();
        undo(d, saved);
        return bound;
    }

    // What a turn of d changes, kept so that it can be undone.
    struct Saved {
        qint64 need;
        qint64 ready;
        qint64 free;
        int last;
        bool lastHandOver;
        bool occupied;
        int inCar;
    };

    // d drives length until end.
    Saved take(int d, qint64 end, qint64 length, bool drivesOn)
    {
        const Saved saved{m_need.at(d), m_ready.at(d), m_free, m_last, m_lastHandOver, m_occupied, m_inCar};
        m_need[d] = saved.need - std::min(saved.need, length);
        m_ready[d] = end + m_gap;
        m_free = end;
        m_last = d;
        m_lastHandOver = length == 0;
        m_occupied = true;
        if (drivesOn)
            m_inCar = -1;
        return saved;
    }

    void undo(int d, const Saved& saved)
    {
        m_need[d] = saved.need;
        m_ready[d] = saved.ready;
        m_free = saved.free;
        m_last = saved.last;
        m_lastHandOver = saved.lastHandOver;
        m_occupied = saved.occupied;
        m_inCar = saved.inCar;
    }

    // A rest over before the car is free is over now: such drivers are alike.
    std::string stateKey() const
    {
        std::vector<qint64> key;
        key.reserve(3 + 2 * m_k);
        key.push_back(m_free);
        key.push_back(m_last);
        key.push_back(m_lastHandOver);
        for (int d = 0; d < m_k; ++d) {
            key.push_back(m_need.at(d));
            key.push_back(d == m_last ? m_ready.at(d) : std::max(m_ready.at(d), m_free));
        }
        return std::string(reinterpret_cast<const char*>(key.data()), key.size() * sizeof(qint64));
    }

    // The stops a turn of length makes, fuel into its run.
    qint64 stopsIn(qint64 length, qint64 fuel) const
    {
        return m_stops.every > 0 && length > 0 ? std::max<qint64>(0, ceilDiv(fuel + length, m_stops.every) - 1) : 0;
    }

    // The length of a turn, fuel into its run, that with its stops takes
    // span; -1 when none does (span falls within a stop: the length
    // ending as that stop falls due is tried anyway). With n stops the
    // length is span - n time, and its run must reach n stop intervals
    // but not n + 1: n every < fuel + span - n time <= (n + 1) every.
    qint64 lengthEndingIn(qint64 span, qint64 fuel) const
    {
        if (m_stops.every <= 0 || m_stops.time <= 0 || span <= 0)
            return span;
        const qint64 n = std::max<qint64>(0, ceilDiv(fuel + span - m_stops.every, m_stops.every + m_stops.time));
        const qint64 length = span - n * m_stops.time;
        return length > 0 && stopsIn(length, fuel) == n ? length : -1;
    }

    // The lengths a turn of d from start, fuel into its run, may take,
    // longest first.
    std::vector<qint64> lengths(int d, qint64 start, qint64 cap, qint64 fuel) const
    {
        const qint64 need = m_need.at(d);
        const qint64 full = std::min(cap, need);
        std::vector<qint64> result;
        if (full <= 0)
            return result;
        const auto add = [&](qint64 length) {
            if (length > 0 && length < full)
                result.push_back(length);
        };
        // What is left over once his later spells are full.
        if (need > cap && m_continuous < kNever)
            add(need % m_continuous);
        for (int e = 0; e < m_k; ++e) {
            const qint64 other = m_need.at(e);
            if (e == d || other == 0)
                continue;
            // Handed over just as e's rest ends.
            add(lengthEndingIn(m_ready.at(e) - m_swap - start, fuel));
            // Back from his rest just as e, waiting for his own, is done
            // (e's turn starts a run afresh).
            for (const qint64 turn : {std::min(m_continuous, other), other % m_continuous})
                if (turn > 0)
                    add(lengthEndingIn(m_ready.at(e) + turn + stopsIn(turn, 0) * m_stops.time + m_swap - m_gap - start, fuel));
        }
        // Ending just as a stop falls due.
        if (m_stops.every > 0)
            for (qint64 run = m_stops.every - fuel % m_stops.every; run < full; run += m_stops.every)
                add(run);
        std::sort(result.begin(), result.end(), std::greater<qint64>());
        result.erase(std::unique(result.begin(), result.end()), result.end());
        result.insert(result.begin(), full);
        return result;
    }

    // One turn, then the rest of the plan, then undone.
    void branch(int d, qint64 start, qint64 length, bool drivesOn)
    {
        const qint64 stops = stopsIn(length, drivesOn ? m_stops.fuel : 0);
        const qint64 end = start + length + stops * m_stops.time;
        const Saved saved = take(d, end, length, drivesOn);
        m_path.push_back(PlanTurn{d, start, end, int(stops)});
        visit();
        m_path.pop_back();
        undo(d, saved);
    }

    const int m_k;
    const qint64 m_continuous;
    const qint64 m_gap;
    const qint64 m_swap;
    const qint64 m_step;
    const qint64 m_maxWork;
    const PlanStops m_stops;
    std::vector<qint64> m_need;
    std::vector<qint64> m_ready;
    int m_inCar = -1; // still in the car at the start, driving on
    qint64 m_room0 = 0;
    int m_last = -1;  // who had the car last: he may not follow himself
    qint64 m_free = 0;
    bool m_lastHandOver = false;
    bool m_occupied = false; // someone had the car: getting in is a swap
    std::unordered_set<std::string> m_seen;
    std::vector<PlanTurn> m_path;
    std::vector<PlanTurn> m_best;
    qint64 m_bestFinish;
    qint64 m_limit;
    qint64 m_rootBound = 0;
    qint64 m_work = 0;
    bool m_stopped = false;
    DriveTimeBound m_bound; // reads the state above in place
};

} // namespace

qint64 ownFinish(qint64 t, qint64 need, qint64 room, qint64 continuous, qint64 gap)
{
    // The first spell as long as it may be, then full spells: stopping one
    // early leaves more to drive after the same gap.
    if (need <= 0)
        return t;
    if (need <= room)
        return t + need;
    if (gap >= kNever)
        return kNever;
    const qint64 left = need - room;
    return t + room + gap + left + gap * (ceilDiv(left, continuous) - 1);
}

qint64 ownCapacity(qint64 t, qint64 end, qint64 room, qint64 continuous, qint64 gap)
{
    if (end <= t)
        return 0;
    qint64 got = std::min(room, end - t);
    if (gap >= kNever || room >= end - t)
        return got;
    t += room + gap;
    if (t >= end)
        return got;
    const qint64 cycles = (end - t) / (continuous + gap);
    got += cycles * continuous + std::min(continuous, end - t - cycles * (continuous + gap));
    return got;
}

DrivePlan earliest(const std::vector<PlanDriver>& drivers, qint64 continuous, qint64 gap, qint64 swap, qint64 step, qint64 limit, qint64 maxWork,
                   const PlanStops& stops)
{
    return Search(drivers, continuous, gap, swap, step, limit, maxWork, stops).run();
}

} // namespace DriveTimeSchedule
