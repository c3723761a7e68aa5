#include "TeamAlertDetector.h"

#include "SessionClock.h"
#include "TimingConstants.h"
#include "V2DataProvider.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

using TimingConstants::NO_TIME;

// Gaps of a lap or more, above any threshold.
constexpr double kLapped = 1e9;

// A track-wide flag that neutralises the race: its name and what its start
// is called, by its type; none for others.
struct Neutralisation
{
    const char* name;
    const char* start;
};
const Neutralisation* neutralisation(const QString& type)
{
    static const QHash<QString, Neutralisation> kinds = {
        { QStringLiteral("SAFETY_CAR"),
          { QT_TRANSLATE_NOOP("TeamAlertDetector", "Safety car"), QT_TRANSLATE_NOOP("TeamAlertDetector", "Safety car deployed") } },
        { QStringLiteral("VIRTUAL_SAFETY_CAR"),
          { QT_TRANSLATE_NOOP("TeamAlertDetector", "Virtual safety car"), QT_TRANSLATE_NOOP("TeamAlertDetector", "Virtual safety car deployed") } },
        { QStringLiteral("FULL_YELLOW"),
          { QT_TRANSLATE_NOOP("TeamAlertDetector", "Full-course yellow"), QT_TRANSLATE_NOOP("TeamAlertDetector", "Full-course yellow") } },
        { QStringLiteral("YELLOW"),
          { QT_TRANSLATE_NOOP("TeamAlertDetector", "Full-course yellow"), QT_TRANSLATE_NOOP("TeamAlertDetector", "Full-course yellow") } },
        { QStringLiteral("CODE_60"), { QT_TRANSLATE_NOOP("TeamAlertDetector", "Code 60"), QT_TRANSLATE_NOOP("TeamAlertDetector", "Code 60") } },
        { QStringLiteral("RED"), { QT_TRANSLATE_NOOP("TeamAlertDetector", "Red flag"), QT_TRANSLATE_NOOP("TeamAlertDetector", "Red flag: session stopped") } },
    };
    const auto it = kinds.constFind(type.toUpper());
    return it == kinds.constEnd() ? nullptr : &it.value();
}

QString tr(const char* text)
{
    return QCoreApplication::translate("TeamAlertDetector", text);
}

QString secondsText(double seconds)
{
    return seconds >= kLapped ? tr("a lap or more") : tr("%1 s").arg(seconds, 0, 'f', 1);
}

} // namespace

TeamAlertDetector::TeamAlertDetector(V2DataProvider* provider, Sink sink)
    : m_provider(provider)
    , m_sink(std::move(sink))
    , m_clock(&SessionClock::serverNowMs)
{
}

TeamAlertDetector::~TeamAlertDetector() = default;

const AlertRules& TeamAlertDetector::rules() const
{
    return m_rules;
}

void TeamAlertDetector::setRules(const AlertRules& rules)
{
    m_rules = rules;
    // Other thresholds: the sides are read afresh.
    m_gaps.clear();
}

void TeamAlertDetector::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void TeamAlertDetector::forget()
{
    ++m_session;
    m_known.clear();
    m_gaps.clear();
    m_crossings.clear();
    m_positions.clear();
    m_positionChanges.clear();
    m_stoppedOnLap.clear();
    m_neutralised.clear();
    m_bests.clear();
}

bool TeamAlertDetector::namesCar(const QString& text, const QString& car)
{
    if (car.isEmpty())
        return false;
    // The number stands alone (no digit or letter touches it: "17", "70",
    // "7B" are other cars) after "Car", "Cars ... and", "#", "No.", "Nr." or
    // "Number", or opens the text before a dash or colon ("7 - ..."). A bare
    // number elsewhere is a lap, a turn or a count ("LAP 7 DELETED").
    static QHash<QString, QRegularExpression> patterns;
    auto it = patterns.find(car);
    if (it == patterns.end()) {
        const QString number = QRegularExpression::escape(car) + QStringLiteral("(?![0-9A-Za-z])");
        // The items of a list are car numbers too ("Cars 12, 7"), and a
        // number followed by a unit is a count ("CAR 12, 7 SEC PENALTY").
        const QString named = QStringLiteral("(?:\\bcars?\\b\\.?|#|\\bno\\b\\.?|\\bnr\\b\\.?|\\bnumbers?\\b)\\s*"
                                             "(?:[0-9]+[A-Za-z]?\\s*(?:,|&|/|\\band\\b)\\s*#?\\s*)*")
            + number + QStringLiteral("(?!\\s*(?:s|secs?|seconds?|laps?|mins?|minutes?|places?|positions?)\\b)");
        const QString opening = QStringLiteral("^\\s*") + number + QStringLiteral("\\s*[-\u2013:]");
        it = patterns.insert(car,
                             QRegularExpression(QStringLiteral("(?<![0-9A-Za-z])(?:%1)|%2").arg(named, opening), QRegularExpression::CaseInsensitiveOption));
    }
    return it->match(text).hasMatch();
}

QString TeamAlertDetector::timeText(qint64 ms, int precision)
{
    const qint64 unit = precision >= 3 ? 1 : precision == 2 ? 10 : 100;
    const qint64 rounded = (ms + unit / 2) / unit;
    const qint64 fraction = rounded % (1000 / unit);
    const qint64 seconds = rounded / (1000 / unit);
    return QStringLiteral("%1:%2.%3")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(fraction, qMin(3, qMax(1, precision)), 10, QLatin1Char('0'));
}

QString TeamAlertDetector::carText(const QString& car) const
{
    return QLatin1Char('#') + car;
}

void TeamAlertDetector::offer(const QString& rule, const QString& car, const QString& event, const QString& text)
{
    const QString identity = QStringLiteral("%1|%2|%3|%4").arg(rule).arg(m_session).arg(car, event);
    if (m_known.contains(identity))
        return;
    m_known.insert(identity);
    const AlertRules::Values& values = m_rules.values(rule);
    if (m_quiet || !values.enabled)
        return;
    TeamAlert alert;
    alert.identity = identity;
    alert.ruleId = rule;
    alert.carNumber = car;
    alert.text = text;
    alert.severity = values.severity;
    alert.notify = values.notify;
    alert.sound = values.sound;
    m_sink(alert);
}

QStringList TeamAlertDetector::followedAmong(const QSet<QString>* cars) const
{
    QStringList followed = m_provider->getFollowedCars();
    if (cars)
        followed.erase(std::remove_if(followed.begin(), followed.end(), [cars](const QString& car) { return !cars->contains(car); }), followed.end());
    return followed;
}

void TeamAlertDetector::look(Domain domain, bool quietly, const QSet<QString>* cars)
{
    m_quiet = quietly;
    switch (domain) {
    case Pits:
        lookAtPits();
        break;
    case RaceControl:
        lookAtRaceControl();
        break;
    case Flags:
        lookAtFlags();
        break;
    case Details:
        lookAtDetails(cars);
        break;
    case Standings:
        lookAtStandings();
        break;
    case Laps:
        lookAtLaps(cars);
        break;
    case DomainCount:
        break;
    }
    m_quiet = false;
}

// ---------------------------------------------------------------------------
// Pits, race control, flags

void TeamAlertDetector::lookAtPits()
{
    if (!m_rules.isEnabled(AlertRules::kPitLane))
        return;
    for (const QString& car : m_provider->getFollowedCars()) {
        for (const QString& key : m_provider->getPitInKeys(car)) {
            const int lap = m_provider->getPitInLapNumber(car, key);
            offer(AlertRules::kPitLane, car, QStringLiteral("in ") + key,
                  lap > 0 ? tr("%1 pit entry on lap %2").arg(carText(car)).arg(lap) : tr("%1 pit entry").arg(carText(car)));
        }
        for (const QString& key : m_provider->getPitOutKeys(car)) {
            const quint64 time = m_provider->getPitTime(car, key);
            const bool known = time != 0 && time != NO_TIME;
            offer(AlertRules::kPitLane, car, QStringLiteral("out ") + key,
                  known ? tr("%1 pit exit after %2 in the pit lane").arg(carText(car), timeText(qint64(time), 1)) : tr("%1 pit exit").arg(carText(car)));
        }
    }
}

void TeamAlertDetector::lookAtRaceControl()
{
    const bool naming = m_rules.isEnabled(AlertRules::kRaceControlCar);
    const bool grouped = m_rules.isEnabled(AlertRules::kRaceControlGroups);
    QStringList groups;
    for (const QString& group : m_rules.text(AlertRules::kRaceControlGroups, "groups").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!group.trimmed().isEmpty())
            groups.append(group.trimmed());
    }
    const QStringList followed = m_provider->getFollowedCars();
    const QString session = QString::number(m_session);
    for (const QString& key : m_provider->getRaceControlMessageKeys()) {
        // Each message is read once, whatever the rules and cars then.
        const QString seen = QStringLiteral("message|%1|%2").arg(session, key);
        if (m_known.contains(seen))
            continue;
        m_known.insert(seen);
        if (m_quiet)
            continue;
        const QString text = m_provider->getRaceControlText(key).simplified();
        if (naming) {
            for (const QString& car : followed) {
                if (namesCar(text, car))
                    offer(AlertRules::kRaceControlCar, car, key, tr("%1 named by race control: %2").arg(carText(car), text));
            }
        }
        if (grouped) {
            const QString group = m_provider->getRaceControlGroupText(key);
            for (const QString& wanted : groups) {
                if (group.contains(wanted, Qt::CaseInsensitive)) {
                    offer(AlertRules::kRaceControlGroups, QString(), key, tr("Race control (%1): %2").arg(group, text));
                    break;
                }
            }
        }
    }
}

void TeamAlertDetector::lookAtFlags()
{
    // Periods open at a track-wide neutralising flag and close at a
    // track-wide green; sector flags, the finish and notes change nothing.
    m_neutralised.clear();
    const Neutralisation* open = nullptr;
    // Keys are counts, not always zero-padded: "10" comes after "9".
    QStringList keys = m_provider->getFlagKeys();
    std::stable_sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) { return a.toLongLong() < b.toLongLong(); });
    for (const QString& key : qAsConst(keys)) {
        if (m_provider->getFlagSector(key) >= 1)
            continue;
        const QString type = m_provider->getFlagType(key).toUpper();
        const Neutralisation* kind = neutralisation(type);
        const quint64 time = m_provider->getFlagTime(key);
        if (kind) {
            // The same period told again, or one kind followed by another.
            if (open && qstrcmp(open->name, kind->name) == 0)
                continue;
            if (open)
                m_neutralised.last().second = time;
            m_neutralised.append({ time, 0 });
            offer(AlertRules::kSessionFlags, QString(), QStringLiteral("start ") + key, tr(kind->start));
            open = kind;
        } else if (type == QLatin1String("GREEN") && open) {
            m_neutralised.last().second = time;
            offer(AlertRules::kSessionFlags, QString(), QStringLiteral("end ") + key, tr("%1 ended: green flag").arg(tr(open->name)));
            open = nullptr;
        }
    }
}

bool TeamAlertDetector::neutralisedDuring(quint64 from, quint64 to) const
{
    for (const auto& period : m_neutralised) {
        if (period.first < to && (period.second == 0 || period.second > from))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Participant details: track limits, bests, status

void TeamAlertDetector::lookAtDetails(const QSet<QString>* cars)
{
    const bool limits = m_rules.isEnabled(AlertRules::kTrackLimits);
    const int reach = int(m_rules.number(AlertRules::kTrackLimits, "count"));
    const bool best = m_rules.isEnabled(AlertRules::kPersonalBest);
    const bool stopped = m_rules.isEnabled(AlertRules::kStopped);
    for (const QString& car : followedAmong(cars)) {
        if (limits) {
            const int count = m_provider->getTrackLimitsInfractions(car);
            for (int n = reach; n <= count; ++n)
                offer(AlertRules::kTrackLimits, car, QString::number(n), tr("%1 has %2 track-limits infractions").arg(carText(car)).arg(n));
        }
        if (best) {
            const quint64 time = m_provider->getBestLapTimeOrNone(car);
            const int lap = m_provider->getBestLapNumber(car);
            if (time != NO_TIME && time != 0) {
                offer(AlertRules::kPersonalBest, car, QStringLiteral("%1 %2").arg(lap).arg(time),
                      tr("%1 personal best %2 on lap %3").arg(carText(car), timeText(qint64(time), 3)).arg(lap));
            }
        }
        if (stopped) {
            const QString status = m_provider->getParticipantStatus(car).toUpper();
            // A car may stop, go on and stop again: each stop is its own, by
            // the lap it stopped on (its lap count may move while it stands).
            if (status == QLatin1String("STOPPED")) {
                const auto stoppedOn = m_stoppedOnLap.constFind(car);
                const int lap = stoppedOn != m_stoppedOnLap.cend() ? *stoppedOn : m_provider->getCurrentLap(car);
                m_stoppedOnLap.insert(car, lap);
                offer(AlertRules::kStopped, car, QStringLiteral("%1 %2").arg(status).arg(lap), tr("%1 stopped on lap %2").arg(carText(car)).arg(lap));
            } else {
                m_stoppedOnLap.remove(car);
            }
            if (status == QLatin1String("RETIRED"))
                offer(AlertRules::kStopped, car, status, tr("%1 retired").arg(carText(car)));
        }
    }

    if (!m_rules.isEnabled(AlertRules::kSessionBest)) {
        m_bests.clear();
        return;
    }
    const QString scope = m_rules.text(AlertRules::kSessionBest, "standings");
    // The best lap of each class and overall, with who holds it: kept from
    // line to line, so a line looks only at the cars it named. A holder whose
    // best got worse (a lap deleted) makes everyone be looked at again.
    QSet<QString> changed;
    const auto take = [&](const QString& car) {
        const quint64 time = m_provider->getBestLapTimeOrNone(car);
        bool rescan = false;
        for (const QString& className : { QString(), m_provider->getParticipantClass(car) }) {
            auto it = m_bests.find(className);
            if (it != m_bests.end() && it->second == car && (time == NO_TIME || time == 0 || time > it->first))
                rescan = true;
            else if (time != NO_TIME && time != 0 && (it == m_bests.end() || time < it->first)) {
                m_bests.insert(className, { time, car });
                changed.insert(className);
            }
        }
        return !rescan;
    };
    bool whole = !cars || m_bests.isEmpty();
    if (!whole) {
        for (const QString& car : *cars)
            whole = whole || !take(car);
    }
    if (whole) {
        m_bests.clear();
        changed.clear();
        for (const QString& car : m_provider->getEntryList())
            take(car);
    }
    for (const QString& className : qAsConst(changed)) {
        const auto best = m_bests.value(className);
        const bool overall = className.isEmpty();
        if (overall ? scope == QLatin1String("class") : scope == QLatin1String("overall"))
            continue;
        const QString& car = best.second;
        const QString time = timeText(qint64(best.first), 3);
        offer(AlertRules::kSessionBest, car, QStringLiteral("%1 %2").arg(className).arg(best.first),
              overall ? tr("%1 overall best lap %2").arg(carText(car), time) : tr("%1 best lap in %2: %3").arg(carText(car), className, time));
    }
}

// ---------------------------------------------------------------------------
// Standings: gaps and positions

TeamAlertDetector::Place TeamAlertDetector::placeOf(const QString& car, const QString& className, Orders& orders) const
{
    // Each standings is read once per look, whatever the number of cars followed.
    auto order = orders.find(className);
    if (order == orders.end()) {
        order = orders.insert(className, {});
        const int count = m_provider->getStandingsCount(className);
        for (int position = 1; position <= count; ++position)
            order->insert(m_provider->getParticipantAtPosition(position, className), position);
    }
    Place place;
    place.position = order->value(car, 0);
    if (place.position == 0)
        return place;
    const int count = order->size();
    // A standing's gap is to the car ahead of it, in ms.
    const auto gapAt = [&](int position) {
        if (position < 2 || position > count)
            return -1.0;
        if (m_provider->getGapPreviousLaps(position, className) > 0)
            return kLapped;
        const double gap = m_provider->getGapPreviousTime(position, className);
        return gap < 0 ? -1.0 : gap / 1000.0;
    };
    place.ahead = gapAt(place.position);
    place.behind = gapAt(place.position + 1);
    return place;
}

void TeamAlertDetector::lookAtStandings()
{
    const bool gaps = m_rules.isEnabled(AlertRules::kGap);
    const bool positions = m_rules.isEnabled(AlertRules::kPosition);
    if (!gaps && !positions)
        return;
    const bool ahead = m_rules.text(AlertRules::kGap, "side") == QLatin1String("ahead");
    const bool gapInClass = m_rules.text(AlertRules::kGap, "standings") == QLatin1String("class");
    const double threshold = m_rules.number(AlertRules::kGap, "threshold");
    const double hysteresis = m_rules.number(AlertRules::kGap, "hysteresis");
    const bool positionInClass = m_rules.text(AlertRules::kPosition, "standings") == QLatin1String("class");
    Orders orders;
    for (const QString& car : m_provider->getFollowedCars()) {
        const QString className = m_provider->getParticipantClass(car);
        const QString status = m_provider->getParticipantStatus(car).toUpper();
        // A car stopped for good has no gap worth a word.
        if (gaps && status != QLatin1String("STOPPED") && status != QLatin1String("RETIRED")) {
            const Place place = placeOf(car, gapInClass ? className : QString(), orders);
            auto it = m_gaps.find(car);
            if (it == m_gaps.end())
                it = m_gaps.insert(car, GapCrossing(threshold, hysteresis));
            const double gap = ahead ? place.ahead : place.behind;
            const GapCrossing::Side crossed = it->update(gap);
            if (crossed != GapCrossing::Unknown && !m_quiet) {
                const int n = ++m_crossings[car];
                const int other = ahead ? place.position - 1 : place.position + 1;
                const QString otherCar = carText(m_provider->getParticipantAtPosition(other, gapInClass ? className : QString()));
                const QString limit = tr("%1 s").arg(threshold, 0, 'f', 1);
                QString text;
                if (crossed == GapCrossing::Below)
                    text = ahead ? tr("%1 closes to %2 behind %3 (under %4)").arg(carText(car), secondsText(gap), otherCar, limit)
                                 : tr("%1 closes to %2 behind %3 (under %4)").arg(otherCar, secondsText(gap), carText(car), limit);
                else
                    text = ahead ? tr("%1 drops to %2 behind %3 (over %4)").arg(carText(car), secondsText(gap), otherCar, limit)
                                 : tr("%1 drops to %2 behind %3 (over %4)").arg(otherCar, secondsText(gap), carText(car), limit);
                offer(AlertRules::kGap, car, QString::number(n), text);
            }
        }
        if (positions) {
            const int position = placeOf(car, positionInClass ? className : QString(), orders).position;
            if (position <= 0)
                continue;
            const int before = m_positions.value(car, 0);
            m_positions.insert(car, position);
            if (before > 0 && before != position && !m_quiet) {
                const int n = ++m_positionChanges[car];
                const QString where = positionInClass ? tr(" in %1").arg(className) : QString();
                offer(AlertRules::kPosition, car, QString::number(n),
                      (position < before ? tr("%1 up from P%2 to P%3%4") : tr("%1 down from P%2 to P%3%4"))
                          .arg(carText(car))
                          .arg(before)
                          .arg(position)
                          .arg(where));
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Laps: slower than the recent median

qint64 TeamAlertDetector::recentMedian(const QString& car, int beforeLap, quint64 endBefore, int count) const
{
    const QList<int> pitLaps = m_provider->getPitInLapNumbers(car);
    QVector<qint64> times;
    // Lap ends walked back from endBefore (the end of lap beforeLap - 1) by
    // the lap times; unknown (0) past a lap without a time.
    quint64 end = endBefore;
    for (int lap = beforeLap - 1; lap >= 1 && times.size() < count; --lap) {
        const auto summary = m_provider->getLap(car, QString::number(lap));
        const bool timed = summary.exists && summary.time != NO_TIME && summary.time > 0;
        const quint64 start = timed && end > summary.time ? end - summary.time : 0;
        // In and out laps, and laps behind a safety car or under yellow, are no measure of pace.
        const bool neutralised = start != 0 && neutralisedDuring(start, end);
        end = start;
        if (pitLaps.contains(lap) || pitLaps.contains(lap - 1) || neutralised)
            continue;
        if (timed && summary.valid)
            times.append(qint64(summary.time));
    }
    if (times.size() < 3)
        return 0;
    std::sort(times.begin(), times.end());
    const int middle = times.size() / 2;
    return times.size() % 2 ? times.at(middle) : (times.at(middle - 1) + times.at(middle)) / 2;
}

void TeamAlertDetector::lookAtLaps(const QSet<QString>* cars)
{
    if (!m_rules.isEnabled(AlertRules::kSlowLap))
        return;
    const double factor = 1.0 + m_rules.number(AlertRules::kSlowLap, "percent") / 100.0;
    const int count = int(m_rules.number(AlertRules::kSlowLap, "laps"));
    for (const QString& car : followedAmong(cars)) {
        int last = 0;
        for (const QString& key : m_provider->getLapKeys(car))
            last = qMax(last, key.toInt());
        if (last < 1)
            continue;
        const auto lap = m_provider->getLap(car, QString::number(last));
        const QList<int> pitLaps = m_provider->getPitInLapNumbers(car);
        if (!lap.exists || lap.time == NO_TIME || lap.time == 0 || pitLaps.contains(last) || pitLaps.contains(last - 1))
            continue;
        const quint64 end = m_provider->getLastLapEndTime(car);
        const qint64 median = recentMedian(car, last, end > lap.time ? end - lap.time : 0, count);
        if (median <= 0 || double(lap.time) <= double(median) * factor || neutralisedDuring(end - lap.time, end))
            continue;
        const int percent = int(std::lround((double(lap.time) / double(median) - 1.0) * 100.0));
        offer(AlertRules::kSlowLap, car, QString::number(last),
              tr("%1 lap %2 in %3, %4% slower than its recent median %5")
                  .arg(carText(car))
                  .arg(last)
                  .arg(timeText(qint64(lap.time), 3))
                  .arg(percent)
                  .arg(timeText(median, 3)));
    }
}

void TeamAlertDetector::lookAtRunningLaps(bool quietly)
{
    if (!m_rules.isEnabled(AlertRules::kSlowLap))
        return;
    m_quiet = quietly;
    const double factor = 1.0 + m_rules.number(AlertRules::kSlowLap, "percent") / 100.0;
    const int count = int(m_rules.number(AlertRules::kSlowLap, "laps"));
    const qint64 now = m_clock();
    for (const QString& car : m_provider->getFollowedCars()) {
        // A car in the pit lane, stopped or finished runs no lap to measure.
        const QString status = m_provider->getParticipantStatus(car).toUpper();
        if (!m_provider->isRunning(car) || (status != QLatin1String("RUNNING") && !status.isEmpty())
            || m_provider->getLastPitInKey(car) > m_provider->getLastPitOutKey(car))
            continue;
        const quint64 start = m_provider->getLastLapEndTime(car);
        int last = 0;
        for (const QString& key : m_provider->getLapKeys(car))
            last = qMax(last, key.toInt());
        if (start == 0 || last < 1 || m_provider->getPitInLapNumbers(car).contains(last))
            continue;
        const qint64 median = recentMedian(car, last + 1, start, count);
        const qint64 running = now - qint64(start);
        if (median <= 0 || double(running) <= double(median) * factor || neutralisedDuring(start, quint64(now)))
            continue;
        const int percent = int(std::lround((double(running) / double(median) - 1.0) * 100.0));
        offer(AlertRules::kSlowLap, car, QString::number(last + 1),
              tr("%1 lap %2 not completed after %3, %4% over its recent median %5")
                  .arg(carText(car))
                  .arg(last + 1)
                  .arg(timeText(running, 1))
                  .arg(percent)
                  .arg(timeText(median, 3)));
    }
    m_quiet = false;
}
