#include "DriveTimeBound.h"

#include <algorithm>
#include <vector>

using DriveTimeSchedule::ceilDiv;
using DriveTimeSchedule::kNever;
using DriveTimeSchedule::ownFinish;

namespace {

// The most turns in all the swaps-and-stops bound weighs: its cost grows
// with their cube, so this bounds it (some 0.5 ms) rather than the work.
constexpr qint64 kJointTurns = 60;
// The most first lengths weighed for the driver in the car.
constexpr qint64 kFirstLengths = 32;
// The most rest gaps of one driver the gap fillers' bound weighs: its cost
// grows with their cube, and any of them alone still bounds every plan.
constexpr qint64 kFillerGaps = 16;

} // namespace

DriveTimeBound::DriveTimeBound(const State& state, qint64 continuous, qint64 gap, qint64 swap, const PlanStops& stops, qint64* work)
    : m_need(state.need)
    , m_ready(state.ready)
    , m_free(state.free)
    , m_last(state.last)
    , m_occupied(state.occupied)
    , m_inCar(state.inCar)
    , m_room0(state.room0)
    , m_continuous(continuous)
    , m_gap(gap)
    , m_swap(swap)
    , m_stops(stops)
    , m_work(*work)
{
}

qint64 DriveTimeBound::spellCap(int d) const
{
    return d == m_inCar ? m_room0 : m_continuous;
}

// The fewest times he gets in: the one driving on, past his room; anyone
// else, once a spell of his need.
qint64 DriveTimeBound::entries(int d) const
{
    const qint64 need = m_need.at(d);
    if (d == m_inCar)
        return need > m_room0 ? ceilDiv(need - m_room0, m_continuous) : 0;
    return need > 0 ? ceilDiv(need, m_continuous) : 0;
}

qint64 DriveTimeBound::lowerBound()
{
    const qint64 entry = m_occupied ? m_swap : 0;
    qint64 total = 0;
    qint64 turns = 0;
    qint64 bound = m_free;
    std::vector<qint64> starts(k(), kNever); // no driving towards his need earlier
    for (int d = 0; d < k(); ++d) {
        const qint64 need = m_need.at(d);
        if (need == 0)
            continue;
        total += need;
        qint64 start = std::max(m_ready.at(d), m_free + (d == m_last ? 2 * m_swap : entry));
        starts[d] = d == m_inCar ? m_free : start;
        if (d == m_inCar)
            start = m_free;
        turns += entries(d);
        const qint64 apart = std::max(m_gap, 2 * m_swap);
        bound = std::max(bound, ownFinish(start, need, spellCap(d), m_continuous, apart));
        // His own stops and rests, all of his turns' time.
        if (m_stops.every > 0 && apart < kNever)
            bound = std::max(bound, d == m_inCar ? m_free + need + inCarStopTime(apart) : start + need + leastStopTime(need, apart, 0));
    }
    // One driver never follows himself: between two turns of his comes
    // another's, and so does one before his first when he had the car
    // last. Counted are entries: the turn of one driving on is none.
    for (int d = 0; d < k(); ++d)
        turns = std::max(turns, 2 * entries(d) - (d == m_inCar || d == m_last ? 0 : 1));
    // Every turn but the first into an empty car is a swap.
    const qint64 swaps = std::max<qint64>(0, turns - (m_occupied ? 0 : 1));
    // With the stops counted, two bounds on the time in swaps and stops.
    // All together: each driver's need takes so many runs (a run ends at
    // a stop, and a change of driver is one); every run but one still
    // going on or into an empty car starts with a stop, and a stop
    // beyond the swaps takes the shorter of the two times (more swaps
    // than the least cost at least as much). Driver by driver: the
    // least each one's need spends in them (leastStopTime).
    qint64 stopped = swaps * m_swap;
    if (m_stops.every > 0 && total > 0) {
        qint64 runs = 0;
        qint64 own = 0;
        for (int d = 0; d < k(); ++d) {
            if (m_need.at(d) == 0)
                continue;
            runs += ceilDiv(m_need.at(d), m_stops.every);
            own += d == m_inCar ? inCarStopTime(m_swap) : leastStopTime(m_need.at(d), m_swap, m_swap);
        }
        const bool freeRun = !m_occupied || (m_inCar >= 0 && m_need.at(m_inCar) > 0);
        stopped += std::max<qint64>(0, runs - (freeRun ? 1 : 0) - swaps) * std::min(m_swap, m_stops.time);
        // The first turn into an empty car is no swap.
        stopped = std::max(stopped, own - (m_occupied ? 0 : m_swap));
    }
    return std::max({bound, m_free + total + stopped, m_free + total + restGaps(), fromStarts(starts), aroundOne(starts)});
}

// Those who may not start before a moment drive all of their needs
// after it, a swap before each further turn and another's turn between
// two of one driver's: for each moment a driver may start at.
qint64 DriveTimeBound::fromStarts(const std::vector<qint64>& starts) const
{
    qint64 bound = 0;
    for (const qint64 from : starts) {
        if (from >= kNever)
            continue;
        qint64 need = 0;
        qint64 turns = 0;
        qint64 apart = 0;
        for (int d = 0; d < k(); ++d) {
            if (m_need.at(d) == 0 || starts.at(d) < from)
                continue;
            need += m_need.at(d);
            // The driver in the car drives on, or gets out now.
            qint64 own = ceilDiv(m_need.at(d), m_continuous);
            if (d == m_inCar)
                own = std::min(own, 1 + (m_need.at(d) > m_room0 ? ceilDiv(m_need.at(d) - m_room0, m_continuous) : 0));
            turns += own;
            apart = std::max(apart, 2 * (own - 1));
        }
        bound = std::max(bound, from + need + std::max(turns - 1, apart) * m_swap);
    }
    return bound;
}

// From a driver's first turn to the end: his need, his rests between
// his turns, and within them at least two swaps each and whatever the
// others drive of their needs that they cannot drive before he starts:
// no more than the car has time for from the soonest of them until his
// swap in. That grows as fast as his start, no faster (one car), so his
// earliest start bounds every plan.
qint64 DriveTimeBound::aroundOne(const std::vector<qint64>& starts) const
{
    const qint64 apart = std::max(m_gap, 2 * m_swap);
    if (apart >= kNever || m_continuous >= kNever)
        return 0;
    qint64 bound = 0;
    for (int d = 0; d < k(); ++d) {
        if (m_need.at(d) == 0 || d == m_inCar || starts.at(d) >= kNever)
            continue;
        const qint64 from = starts.at(d);
        const qint64 gaps = ceilDiv(m_need.at(d), m_continuous) - 1;
        qint64 others = 0;
        qint64 soonest = kNever;
        for (int e = 0; e < k(); ++e) {
            if (e == d || m_need.at(e) == 0)
                continue;
            others += m_need.at(e);
            soonest = std::min(soonest, starts.at(e));
        }
        const qint64 before = std::min(others, std::max<qint64>(0, from - m_swap - soonest));
        bound = std::max(bound, from + m_need.at(d) + std::max(gaps * apart, 2 * gaps * m_swap + others - before));
    }
    return bound;
}

// Another bound on the time nobody drives: a driver's two turns are at
// least gap apart, end to start, and between them only others drive,
// m turns of at most a spell each, every one of the m + 1 hand-overs
// taking a swap; the rest of the gap the car stands. So each such gap
// holds at least max((m + 1) swap, gap - m C) of no driving, the least
// over m at the crossing of the two (with two drivers m is 1: the other
// cannot follow himself). A driver needs at least so many turns, so
// that many gaps less one; getting into a car someone had is one more
// swap. Others' stops are left out, so it stays a bound with them; his
// own, within his turns, are added.
qint64 DriveTimeBound::restGaps()
{
    if (m_gap >= kNever || m_continuous >= kNever)
        return 0;
    qint64 gapCost = std::max(2 * m_swap, m_gap - m_continuous);
    if (k() > 2) {
        const qint64 cross = std::max<qint64>(1, (m_gap - m_swap) / (m_continuous + m_swap));
        for (const qint64 m : {cross, cross + 1})
            gapCost = std::min(gapCost, std::max((m + 1) * m_swap, m_gap - m * m_continuous));
    }
    qint64 most = 0;
    for (int d = 0; d < k(); ++d) {
        const qint64 need = m_need.at(d);
        if (need == 0)
            continue;
        if (m_stops.every > 0) {
            // His own stops lie within his turns, outside his gaps.
            most = std::max(most, d == m_inCar ? inCarStopTime(gapCost) : leastStopTime(need, gapCost, m_occupied ? m_swap : 0));
            continue;
        }
        // Driving on, a gap before each turn past his room; getting
        // out now, one before each turn.
        if (d == m_inCar)
            most = std::max(most, entries(d) * gapCost);
        else
            most = std::max(most, (entries(d) - 1) * gapCost + (m_occupied ? m_swap : 0));
    }
    return most;
}

// leastStopTime for the driver in the car at the start: driving on, his
// first turn lasts at most his room and his run is fuel into its
// stops, and each later turn comes after between; getting out now, each
// of his turns does. His first turn is tried at his room and at each
// length that ends as a stop falls due, as a best split ends there.
qint64 DriveTimeBound::inCarStopTime(qint64 between)
{
    const qint64 need = m_need.at(m_inCar);
    const qint64 full = std::min(m_room0, need);
    const qint64 every = m_stops.every;
    // Too many first lengths to weigh (short runs): his first turn as
    // any other's, fresh and without an entry, holds less.
    if (full / every > kFirstLengths)
        return leastStopTime(need, between, 0);
    qint64 least = leastStopTime(need, between, between);
    const auto tryFirst = [&](qint64 first) {
        const qint64 stops = ceilDiv(m_stops.fuel + first, every) - 1;
        const qint64 left = need - first;
        least = std::min(least, stops * m_stops.time + (left > 0 ? leastStopTime(left, between, between) : 0));
    };
    if (full > 0)
        tryFirst(full);
    for (qint64 first = every - m_stops.fuel % every; first < full; first += every)
        tryFirst(first);
    return least;
}

// The fewest stops a need takes in turns fresh turns, each at most a
// spell; kNever when they cannot hold it. A turn's first C / every runs
// drive a whole run each and one more what is left of C, so r runs
// drive at most so much; each run after a turn's first starts with a
// stop.
qint64 DriveTimeBound::freshStops(qint64 need, qint64 turns) const
{
    if (need <= 0)
        return 0;
    const qint64 every = m_stops.every;
    const qint64 cap = std::min(m_continuous, need);
    const qint64 whole = cap / every;
    const qint64 part = cap - whole * every;
    qint64 runs = 0;
    if (need <= every * whole * turns) {
        runs = ceilDiv(need, every);
    } else {
        const qint64 left = need - every * whole * turns;
        if (part == 0 || left > part * turns)
            return kNever;
        runs = whole * turns + ceilDiv(left, part);
    }
    return std::max(runs, turns) - turns;
}

// Between two turns of one driver lies his rest: with a single turn of
// another between, that turn and the two swaps around it last the rest,
// so it is at least gap less two swaps long (g); a gap with two turns or
// more between takes a turn more. Of a driver's turns that fill such
// gaps alone, no more than his need is driving he needs: q of them leave
// at least q g less his need (and, past a spell, q (g - spell)) of time
// nobody needs, driving past a need or the car standing. For each
// driver with gaps between his turns, the least over how many of them
// each other driver fills alone and how many turns he takes of those
// turns' swaps and that time: no plan spends less. Not with stops, whose
// time within a filler's turn would fill the gap too.
qint64 DriveTimeBound::gapFillers()
{
    const qint64 g = m_gap - 2 * m_swap;
    if (m_stops.every > 0 || m_gap >= kNever || m_continuous >= kNever || g <= 0)
        return 0;
    std::vector<qint64> own(k(), 0);
    for (int d = 0; d < k(); ++d)
        own[d] = entries(d);
    qint64 best = 0;
    for (int d = 0; d < k(); ++d) {
        // His gaps: between his turns; one who just got out also needs
        // another's turn before his first.
        const qint64 gaps = std::min(kFillerGaps, d == m_inCar ? own[d] : std::max<qint64>(0, own[d] - 1));
        if (gaps == 0)
            continue;
        const qint64 before = d == m_last && d != m_inCar && own[d] > 0 ? 1 : 0;
        const qint64 spareCap = 2 * gaps + before;
        // cost[S][P]: filling S gaps alone with P turns to spare.
        std::vector<std::vector<qint64>> cost(gaps + 1, std::vector<qint64>(spareCap + 1, kNever));
        cost[0][0] = 0;
        for (int x = 0; x < k(); ++x) {
            if (x == d)
                continue;
            m_work += gaps + 1;
            std::vector<std::vector<qint64>> next(gaps + 1, std::vector<qint64>(spareCap + 1, kNever));
            for (qint64 S = 0; S <= gaps; ++S) {
                for (qint64 P = 0; P <= spareCap; ++P) {
                    if (cost[S][P] >= kNever)
                        continue;
                    for (qint64 alone = 0; S + alone <= gaps; ++alone) {
                        const qint64 turns = std::max(own[x], alone);
                        const qint64 idle = std::max({qint64(0), alone * g - m_need.at(x), alone * (g - m_continuous)});
                        const qint64 spare = std::min(spareCap, P + turns - alone);
                        qint64& to = next[S + alone][spare];
                        to = std::min(to, cost[S][P] + turns * m_swap + idle);
                    }
                }
            }
            cost = std::move(next);
        }
        qint64 least = kNever;
        for (qint64 S = 0; S <= gaps; ++S) {
            for (qint64 P = 0; P <= spareCap; ++P) {
                if (cost[S][P] >= kNever)
                    continue;
                // The gaps not filled alone take two turns each: any
                // driver takes the turns still missing, a swap each.
                const qint64 missing = std::max<qint64>(0, 2 * (gaps - S) + before - P);
                least = std::min(least, cost[S][P] + missing * m_swap);
            }
        }
        if (least >= kNever)
            continue;
        // His own turns are entries too.
        best = std::max(best, least + (own[d] - (m_occupied ? 0 : 1)) * m_swap);
    }
    return best;
}

qint64 DriveTimeBound::atStart()
{
    const qint64 bound = lowerBound();
    // One counts with stops only, the other without.
    const qint64 joint = std::max(swapsAndStops(), gapFillers());
    if (joint <= 0 || joint >= kNever)
        return bound;
    qint64 total = 0;
    for (const qint64 need : m_need)
        total += need;
    return std::max(bound, m_free + total + joint);
}

// At the start only, as its work grows with the turns: the swaps and
// the stops together. More turns of one driver take fewer stops but
// more swaps, his own and the others' turns between his; over every
// count of turns per driver, the least of swaps times a swap's time
// and stops times a stop's. The driver in the car drives on (his turn
// now counts, within his room and fuel into its run) or gets out now.
qint64 DriveTimeBound::swapsAndStops()
{
    if (m_stops.every <= 0 || m_continuous >= kNever)
        return 0;
    const qint64 every = m_stops.every;
    // Turns worth counting: up to runs no longer than a stop interval
    // (no stop), one more for the turn driven on.
    const auto mostTurns = [&](qint64 need) { return 2 + ceilDiv(need, std::min({m_continuous, need, every})); };
    // Past so many turns in all (short runs, long needs) the tables
    // cost more than the bound gives: left out.
    qint64 size = 0;
    for (const qint64 need : m_need)
        size += need > 0 ? mostTurns(need) + 1 : 0;
    if (size == 0 || size > kJointTurns)
        return 0;
    m_work += size;
    // Per driver: his fewest stops by his number of turns.
    struct Own {
        std::vector<qint64> stops; // kNever: too few turns
        qint64 drivenOn = 0;       // his turns with no entry: the one he drives on
        qint64 lessApart = 1;      // entries at least twice his turns less this
    };
    const auto table = [&](qint64 need, bool drivesOn) {
        std::vector<qint64> stops;
        for (qint64 turns = 0; turns <= mostTurns(need); ++turns) {
            qint64 least = kNever;
            if (!drivesOn) {
                least = turns == 0 ? kNever : freshStops(need, turns);
            } else if (turns > 0) {
                const qint64 full = std::min(m_room0, need);
                const auto first = [&](qint64 length) {
                    const qint64 rest = freshStops(need - length, turns - 1);
                    if (rest < kNever)
                        least = std::min(least, ceilDiv(m_stops.fuel + length, every) - 1 + rest);
                };
                if (full > 0)
                    first(full);
                for (qint64 length = every - m_stops.fuel % every; length < full; length += every)
                    first(length);
            }
            stops.push_back(least);
        }
        return stops;
    };
    // For each number of entries, from the fewest: the fewest stops
    // with that many, each driver's turns within it and far enough
    // apart; no more entries once their swaps alone cost the best.
    const auto cheapest = [&](const std::vector<Own>& owns) {
        qint64 best = kNever;
        for (qint64 entries = 0; entries <= 2 * size; ++entries) {
            const qint64 swaps = std::max<qint64>(0, entries - (m_occupied ? 0 : 1));
            if (swaps * m_swap >= best)
                break;
            std::vector<qint64> fewest(entries + 1, kNever); // by entries used so far
            fewest[0] = 0;
            for (const Own& o : owns) {
                std::vector<qint64> next(entries + 1, kNever);
                for (qint64 turns = 0; turns < qint64(o.stops.size()); ++turns) {
                    if (o.stops.at(turns) >= kNever || 2 * turns - o.lessApart > entries)
                        continue;
                    const qint64 used = std::max<qint64>(0, turns - o.drivenOn);
                    for (qint64 e = 0; e + used <= entries; ++e)
                        if (fewest.at(e) < kNever)
                            next[e + used] = std::min(next.at(e + used), fewest.at(e) + o.stops.at(turns));
                }
                fewest = std::move(next);
            }
            const qint64 stops = *std::min_element(fewest.cbegin(), fewest.cend());
            if (stops < kNever)
                best = std::min(best, swaps * m_swap + stops * m_stops.time);
        }
        return best;
    };
    std::vector<Own> owns;
    int inCar = -1;
    for (int d = 0; d < k(); ++d) {
        const qint64 need = m_need.at(d);
        if (need == 0)
            continue;
        if (d == m_inCar)
            inCar = int(owns.size());
        Own o;
        o.stops = table(need, false);
        o.lessApart = d == m_last || d == m_inCar ? 0 : 1;
        owns.push_back(o);
    }
    qint64 best = cheapest(owns); // the driver in the car gets out now
    if (inCar >= 0) {
        Own& o = owns[inCar];
        o.stops = table(m_need.at(m_inCar), true);
        o.drivenOn = 1;
        o.lessApart = 2; // his further turns each after another's
        best = std::min(best, cheapest(owns));
    }
    return best;
}

// The least time one driver's need spends in swaps and stops: in T
// turns (freshStops) each turn starts with a swap (the first not when
// he drives on) and each further run with a stop. Over every T worth trying: from
// the fewest turns to turns no longer than a run. between: what lies
// between two of his turns at the least (a swap; or a rest gap's time
// nobody drives), entry: before the first.
qint64 DriveTimeBound::leastStopTime(qint64 need, qint64 between, qint64 entry)
{
    // The same needs come back in state after state: worked out once.
    const StopKey key{need, between, entry};
    ++m_work;
    if (const auto known = m_leastStops.find(key); known != m_leastStops.end())
        return known->second;
    const qint64 cap = std::min(m_continuous, need);
    const qint64 fewest = ceilDiv(need, cap);
    const qint64 most = std::max(fewest, ceilDiv(need, std::min(cap, m_stops.every)));
    qint64 least = kNever;
    // More turns only add to what lies between them: done once that
    // alone costs the least found. Work like any other: with short
    // runs it is many turns per visit.
    for (qint64 turns = fewest; turns <= most && (turns - 1) * between + entry < least; ++turns) {
        ++m_work;
        if (const qint64 stops = freshStops(need, turns); stops < kNever)
            least = std::min(least, (turns - 1) * between + entry + stops * m_stops.time);
    }
    m_leastStops.emplace(key, least);
    return least;
}
