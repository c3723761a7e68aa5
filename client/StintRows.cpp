#include "StintRows.h"

#include "SessionClock.h"
#include "V2DataProvider.h"

#include <QHash>

#include <algorithm>

namespace {

int pitInfoOf(const QString& pitType)
{
    const QString type = pitType.toLower();
    if (type == QLatin1String("penalty"))
        return StintRow::Penalty;
    if (type == QLatin1String("sc"))
        return StintRow::SafetyCar;
    return StintRow::NoPitInfo;
}

// A car's feasibility, searched once until its stints, rules, swap time or
// drivers change or the race's minute or the server's turns (the race clock
// stands under a red flag while rests run on): the panel and the alert
// monitor each ask every second, and a search can take a millisecond or
// two. Within the minute the needs and rests only move with the clock. GUI
// thread only.
struct FeasibilityCache {
    QByteArray key;
    DriveFeasibility result;
};

QByteArray feasibilityKey(const V2DataProvider& p, const QVector<DriveStint>& stints, bool running, const QVector<DriveDriver>& drivers,
                          const DriveTimeLimits& limits, const DriveTimeRules& rules, qint64 remainingMs)
{
    QVector<qint64> key{qint64(quintptr(&p)), running, limits.minTotalMs, limits.maxTotalMs, limits.maxContinuousMs, limits.minRestMs,
                        qint64(rules.pitTime), rules.swapTimeMs, remainingMs < 0 ? -1 : remainingMs / 60000,
                        SessionClock::serverNowMs() / 60000};
    for (const DriveDriver& d : drivers)
        key << d.driver;
    for (int i = 0; i < stints.size(); ++i) {
        const DriveStint& s = stints.at(i);
        // The running stint's end is now: the minute stands for it.
        key << s.driver << s.isPit << s.pitInfo << s.start << (running && i == stints.size() - 1 ? 0 : s.end);
    }
    QByteArray bytes(reinterpret_cast<const char*>(key.constData()), int(key.size() * sizeof(qint64)));
    // The verdict's texts name the drivers.
    for (const DriveDriver& d : drivers)
        bytes += d.name.toUtf8() + '\0';
    return bytes;
}

} // namespace

namespace StintRows {

QVector<StintRow> read(const V2DataProvider& p, const QString& pNum)
{
    QVector<StintRow> rows;
    if (pNum.isEmpty())
        return rows;
    const bool running = p.isRunning(pNum);
    // The running stint counts up to now, on the clock the pit times use.
    const quint64 now = static_cast<quint64>(qMax<qint64>(0, SessionClock::serverNowMs()));
    // The open stint of a car that has stopped (after the flag, or retired)
    // ended with its last lap: after the flag these totals are what a team
    // checks against the drive-time rules.
    const quint64 stopped = running ? 0 : p.getLastLapEndTime(pNum);
    bool first = true;
    int previousDriver = 0;
    quint64 sessionAccumulated = 0;
    quint64 sessionAccumulatedOnTrack = 0;
    quint64 accumulatedOnTrack = 0;
    quint64 singleStint = 0;
    QHash<int, quint64> sessionByDriver;
    QHash<int, quint64> sessionOnTrackByDriver;
    for (const QString& key : p.getStintKeys(pNum)) {
        StintRow row;
        row.participant = pNum;
        row.driver = p.getStintDriver(pNum, key);
        row.driverName = p.getStintDriverName(pNum, key);
        row.type = p.getStintType(pNum, key);
        row.isPit = row.type == QLatin1String("PIT");
        row.pitInfo = pitInfoOf(p.getStintPitType(pNum, key));
        row.start = p.getStintStartTime(pNum, key);
        row.finish = p.getStintFinishTime(pNum, key);
        row.accumulated = p.getStintDriverAccumTime(pNum, key);
        const QPair<int, int> laps = p.getStintLaps(pNum, key);
        row.openLap = laps.first;
        row.closeLap = laps.second;
        row.running = running;
        const quint64 end = row.finish != 0 ? row.finish : running ? qMax(now, row.start) : qMax(stopped, row.start);
        row.end = end;
        const quint64 d = end >= row.start ? end - row.start : 0;

        if (!first && row.driver == previousDriver) {
            sessionAccumulated += d;
            if (!row.isPit) {
                accumulatedOnTrack += d;
                sessionAccumulatedOnTrack += d;
            }
        } else {
            accumulatedOnTrack = d;
            sessionAccumulated = row.driverName.isEmpty() ? 0 : sessionByDriver.value(row.driver) + d;
            if (row.isPit) {
                accumulatedOnTrack = 0;
                sessionAccumulatedOnTrack = sessionOnTrackByDriver.value(row.driver);
            } else {
                const auto known = sessionOnTrackByDriver.constFind(row.driver);
                sessionAccumulatedOnTrack = known != sessionOnTrackByDriver.cend() ? known.value() + d : d;
            }
        }
        sessionByDriver.insert(row.driver, sessionAccumulated);
        sessionOnTrackByDriver.insert(row.driver, sessionAccumulatedOnTrack);
        row.accumulatedOnTrack = accumulatedOnTrack;
        row.sessionAccumulated = sessionAccumulated;
        row.sessionAccumulatedOnTrack = sessionAccumulatedOnTrack;

        // A fuel stint ends at a normal pit stay; penalties and safety-car stays keep counting.
        singleStint += d;
        if (row.isPit && row.pitInfo == StintRow::NoPitInfo)
            singleStint = 0;
        row.singleStintTime = singleStint;

        previousDriver = row.driver;
        first = false;
        rows.append(row);
    }
    return rows;
}

qint64 remainingMs(const DriveTimeRules& rules)
{
    // A race by laps with a maximum time may end well before it: that time
    // would make a schedule look feasible that is not, so it is no end.
    const int type = SessionClock::finalType();
    if (type == SessionClock::FinalByTime || type == SessionClock::FinalByTimePlusLaps)
        return qint64(SessionClock::remainingSeconds()) * 1000;
    if (rules.scheduledEndMs > 0)
        return std::max<qint64>(0, rules.scheduledEndMs - (SessionClock::trackTimeMs() - SessionClock::utcOffset()));
    return -1;
}

CarDriveCheck driveTime(const V2DataProvider& p, const QString& pNum, const DriveTimeRules& rules, qint64 remainingMs)
{
    QVector<DriveStint> stints;
    for (const StintRow& s : read(p, pNum))
        stints.append(DriveStint{s.driver, s.isPit, s.pitInfo, qint64(s.start), qint64(s.end)});
    QVector<DriveDriver> drivers;
    for (const int number : p.getDriverNumbers(pNum))
        drivers.append(DriveDriver{number, p.getDriverName(pNum, number)});
    CarDriveCheck check;
    check.limits = rules.limitsFor(p.getParticipantClass(pNum));
    // A team follows its car all weekend; a minimum is owed over the race,
    // so practice and qualifying show the times and judge nothing.
    const bool race = p.isRace();
    const bool running = p.isRunning(pNum);
    // A minimum is missed once the car is in after the flag, whether the
    // race ran by time or by laps; until then its final lap still counts.
    const bool over = race && !running && (remainingMs == 0 || p.isSessionFinished());
    check.times = DriveTimeCalculator::compute(stints, drivers, check.limits, rules.pitTime, rules.nearMarginMs, SessionClock::serverNowMs(),
                                               running, over);
    if (race && remainingMs == 0 && running) {
        check.feasibility.verdict = DriveFeasibility::Undecided;
        check.feasibility.text = QStringLiteral("Time is up: the minimums are settled at the flag");
    } else if (race) {
        static QHash<QString, FeasibilityCache> cache;
        FeasibilityCache& cached = cache[pNum];
        const QByteArray key = feasibilityKey(p, stints, running, drivers, check.limits, rules, remainingMs);
        if (cached.key != key) {
            cached.key = key;
            cached.result = DriveTimeCalculator::feasibility(check.times, check.limits, remainingMs,
                                                             DriveTimeCalculator::swapTimeMs(check.times, rules.swapTimeMs),
                                                             rules.pitTime == PitTimeRule::NotDriving);
        }
        check.feasibility = cached.result;
        const int type = SessionClock::finalType();
        if (check.feasibility.verdict == DriveFeasibility::NoEnd && (type == SessionClock::FinalByLaps || type == SessionClock::FinalByLapsWithMaxTime))
            check.feasibility.text = QStringLiteral("Race by laps: no verdict until its end is typed in the drive-time rules");
    } else {
        check.feasibility.verdict = DriveFeasibility::NotRace;
        check.feasibility.text = QStringLiteral("Drive-time rules apply to the race");
    }
    return check;
}

} // namespace StintRows
