#include "DriveTimeFill.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace DriveTimeFill {

namespace {

using DriveTimeSchedule::kMaxTurns;
using DriveTimeSchedule::kNever;
using DriveTimeSchedule::ownCapacity;

// Turns, one driver after another, each starting as the one before ends
// (the car never stands, and a swap takes no race time from anyone when
// the pit lane counts as driving; it only keeps a driver from coming back
// before gap). So a plan is its order of drivers and its lengths.
//
// Lengths tried, longest first: the most the turn may last (the spell
// limit, his maximum left, the end); just his need; ending just as another
// driver's rest is over; back from his own rest just as another, in when
// his rest is over, ends a full turn or his need; and with step set, every
// whole step. The search goes through every such plan, so Found is a plan
// checked against every rule, and None proves that no plan of such turns
// exists.
//
// Pruning, each rule true of every plan from the state, so it drops none:
// - Each driver drives at most his own spells and rests allow from when he
//   may start (ownCapacity: spells as early and as long as allowed), and
//   at most his maximum left: his need beyond that fails, and so does any
//   window from now that the drivers' capacities in it do not cover, as
//   every moment of it is someone's. Windows tried: to the end, and to
//   each driver's first, second and third spell in his own schedule, where
//   the others' rests show (three drivers of spells 60 and rests 130 cannot
//   cover the 190 to the first one's return, whatever the lengths; nobody
//   ready now cannot cover the time until someone is).
// - The needs left cannot exceed the time left.
// - A state (time, who has the car, each driver's need, maximum left and
//   readiness, a rest over before now being over now) that failed once
//   fails again: its plans are the same.
// - Drivers alike (need, maximum left, readiness) are tried once.

class Search final
{
public:
    Search(const std::vector<PlanDriver>& drivers, const std::vector<qint64>& most, qint64 continuous, qint64 gap, qint64 end, qint64 step,
           qint64 maxWork, qint64 needsBy)
        : m_k(int(drivers.size()))
        , m_continuous(continuous)
        , m_gap(gap)
        , m_end(end)
        , m_step(step)
        , m_maxWork(maxWork)
        , m_needsBy(needsBy)
    {
        for (int i = 0; i < m_k; ++i) {
            const PlanDriver& d = drivers.at(i);
            m_need.push_back(std::max<qint64>(0, d.need));
            m_ready.push_back(std::max<qint64>(0, d.ready));
            m_most.push_back(i < int(most.size()) ? std::max<qint64>(0, most.at(i)) : kNever);
            if (d.inCar) {
                // He drives on, or gets out now and rests from now.
                m_last = i;
                m_drivesOn = true;
                m_room0 = std::max<qint64>(0, d.room);
                m_ready[i] = std::max(m_ready.at(i), gap);
            } else if (d.justOut) {
                m_last = i;
            }
        }
    }

    FillPlan run()
    {
        FillPlan plan;
        if (!feasibleBound(&plan.windowEnd, &plan.windowCan)) {
            plan.work = m_work;
            return plan;
        }
        plan.windowEnd = plan.windowCan = 0;
        const bool found = visit();
        plan.work = m_work;
        plan.outcome = found ? FillPlan::Found : m_stopped ? FillPlan::Stopped : FillPlan::None;
        if (found)
            plan.turns = m_path;
        return plan;
    }

private:
    struct Child {
        int driver;
        qint64 length;
        qint64 urgency; // what he could drive beyond his need: least first
    };

    bool mayDriveOn(int d) const { return m_drivesOn && d == m_last; }

    // The most d can drive from now to h.
    qint64 capacity(int d, qint64 h) const
    {
        const qint64 got = mayDriveOn(d) ? ownCapacity(m_t, h, m_room0, m_continuous, m_gap)
                                         : ownCapacity(std::max(m_ready.at(d), m_t), h, m_continuous, m_continuous, m_gap);
        return std::min(got, m_most.at(d));
    }

    // False when no plan from here can fill the time left; window: the
    // window no plan covers, and what the drivers can drive in it.
    bool feasibleBound(qint64* windowEnd = nullptr, qint64* windowCan = nullptr)
    {
        const qint64 left = m_end - m_t;
        qint64 needs = 0;
        for (int d = 0; d < m_k; ++d) {
            needs += m_need.at(d);
            if (m_need.at(d) > 0 && capacity(d, m_end) < m_need.at(d))
                return false;
        }
        if (needs > left)
            return false;
        if (m_needsBy < kNever) {
            // The turn that meets a need starts at a state where he could
            // meet it by then, so every plan kept meets them all by then.
            const qint64 by = std::min(m_needsBy, m_end);
            if (needs > 0 && needs > by - m_t)
                return false;
            for (int d = 0; d < m_k; ++d)
                if (m_need.at(d) > 0 && capacity(d, by) < m_need.at(d))
                    return false;
        }
        std::vector<qint64> ends{m_end};
        for (int d = 0; d < m_k; ++d) {
            const qint64 start = mayDriveOn(d) ? m_t : std::max(m_ready.at(d), m_t);
            if (start > m_t && start < m_end)
                ends.push_back(start);
            const qint64 first = mayDriveOn(d) ? m_room0 : m_continuous;
            if (first >= kNever || m_gap >= kNever)
                continue;
            const qint64 second = start + first + m_gap;
            for (const qint64 h : {second, second + m_continuous + m_gap})
                if (h > m_t && h < m_end)
                    ends.push_back(h);
        }
        m_work += qint64(ends.size());
        // The earliest window short is the one to report: the first moment
        // nobody can be at the wheel.
        std::sort(ends.begin(), ends.end());
        for (const qint64 h : ends) {
            qint64 can = 0;
            for (int d = 0; d < m_k; ++d)
                can += capacity(d, h);
            if (can < h - m_t) {
                if (windowEnd) {
                    *windowEnd = h;
                    *windowCan = can;
                }
                return false;
            }
        }
        return true;
    }

    std::string stateKey() const
    {
        std::vector<qint64> key;
        key.reserve(3 + 3 * m_k);
        key.push_back(m_t);
        key.push_back(m_last);
        key.push_back(m_drivesOn);
        for (int d = 0; d < m_k; ++d) {
            key.push_back(m_need.at(d));
            key.push_back(m_most.at(d));
            key.push_back(std::max(m_ready.at(d), m_t));
        }
        return std::string(reinterpret_cast<const char*>(key.data()), key.size() * sizeof(qint64));
    }

    std::vector<qint64> lengths(int d, qint64 full) const
    {
        std::vector<qint64> result{full};
        const auto add = [&](qint64 length) {
            if (length > 0 && length < full)
                result.push_back(length);
        };
        add(m_need.at(d));
        for (int e = 0; e < m_k; ++e) {
            if (e == d)
                continue;
            add(m_ready.at(e) - m_t);
            // Back from his rest just as e, in when his own rest is over
            // (someone else driving until then), ends a turn.
            if (m_ready.at(e) > m_t && m_gap < kNever)
                for (const qint64 turn : {std::min(m_continuous, m_most.at(e)), m_need.at(e)})
                    if (turn > 0 && turn < kNever)
                        add(m_ready.at(e) + turn - m_gap - m_t);
        }
        if (m_step > 0)
            for (qint64 length = full / m_step * m_step; length > 0; length -= m_step)
                add(length);
        std::sort(result.begin() + 1, result.end(), std::greater<qint64>());
        result.erase(std::unique(result.begin(), result.end()), result.end());
        return result;
    }

    bool visit()
    {
        if (m_stopped)
            return false;
        if (++m_work > m_maxWork || m_path.size() >= std::size_t(kMaxTurns)) {
            m_stopped = true;
            return false;
        }
        if (m_t >= m_end)
            return std::all_of(m_need.cbegin(), m_need.cend(), [](qint64 n) { return n == 0; });
        if (!feasibleBound())
            return false;
        const std::string key = stateKey();
        if (m_failed.count(key))
            return false;

        std::vector<Child> children;
        for (int d = 0; d < m_k; ++d) {
            const bool drivesOn = mayDriveOn(d);
            if (!drivesOn && (d == m_last || m_ready.at(d) > m_t))
                continue;
            bool twin = false;
            for (int o = 0; o < d && !twin && !drivesOn; ++o)
                twin = o != m_last && m_need.at(o) == m_need.at(d) && m_most.at(o) == m_most.at(d) && m_ready.at(o) <= m_t;
            if (twin)
                continue;
            const qint64 full = std::min({drivesOn ? m_room0 : m_continuous, m_end - m_t, m_most.at(d)});
            if (full <= 0)
                continue;
            const qint64 urgency = capacity(d, m_end) - m_need.at(d);
            for (const qint64 length : lengths(d, full))
                children.push_back(Child{d, length, m_need.at(d) > 0 ? urgency : kNever});
        }
        m_work += qint64(children.size());
        // The driver with the least to spare first, his longest turn first.
        std::stable_sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
            if (a.urgency != b.urgency)
                return a.urgency < b.urgency;
            return a.length > b.length;
        });
        for (const Child& c : children) {
            if (branch(c.driver, c.length))
                return true;
            if (m_stopped)
                return false;
        }
        m_failed.insert(key);
        return false;
    }

    bool branch(int d, qint64 length)
    {
        const qint64 t = m_t;
        const qint64 need = m_need.at(d);
        const qint64 most = m_most.at(d);
        const qint64 ready = m_ready.at(d);
        const int last = m_last;
        const bool drivesOn = m_drivesOn;
        m_t = t + length;
        m_need[d] = need - std::min(need, length);
        m_most[d] = most >= kNever ? kNever : most - length;
        m_ready[d] = m_t + m_gap;
        m_last = d;
        m_drivesOn = false;
        m_path.push_back(PlanTurn{d, t, m_t, 0});
        if (visit())
            return true;
        m_path.pop_back();
        m_t = t;
        m_need[d] = need;
        m_most[d] = most;
        m_ready[d] = ready;
        m_last = last;
        m_drivesOn = drivesOn;
        return false;
    }

    const int m_k;
    const qint64 m_continuous;
    const qint64 m_gap;
    const qint64 m_end;
    const qint64 m_step;
    const qint64 m_maxWork;
    const qint64 m_needsBy;
    std::vector<qint64> m_need;
    std::vector<qint64> m_ready;
    std::vector<qint64> m_most;
    qint64 m_t = 0;
    int m_last = -1;         // who had the car last: he may not follow himself
    bool m_drivesOn = false; // but the driver in the car at the start drives on
    qint64 m_room0 = 0;
    std::unordered_set<std::string> m_failed;
    std::vector<PlanTurn> m_path;
    qint64 m_work = 0;
    bool m_stopped = false;
};

} // namespace

FillPlan fill(const std::vector<PlanDriver>& drivers, const std::vector<qint64>& most, qint64 continuous, qint64 gap, qint64 end, qint64 step,
              qint64 maxWork, qint64 needsBy)
{
    return Search(drivers, most, continuous, gap, end, step, maxWork, needsBy).run();
}

} // namespace DriveTimeFill
