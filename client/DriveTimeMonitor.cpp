#include "DriveTimeMonitor.h"

#include "StintRows.h"
#include "TeamAlertEngine.h"
#include "V2DataProvider.h"

#include <algorithm>

namespace {

const QString kRule = QStringLiteral("driveTime");
constexpr qint64 kMinuteMs = 60000;
// Before the continuous limit, the driver in the car is warned at these.
constexpr qint64 kContinuousMargins[] = {5, 1};
// A stop is likely this close to the continuous limit.
constexpr qint64 kStopLikelyMs = 5 * kMinuteMs;
// Notifications arriving together (a line with stints and pits) make one check.
constexpr int kSoonMs = 100;
// As often as the panel's clock, so the two agree; cheap for the few cars a
// team follows.
constexpr int kRunningMs = 1000;

QString nameOf(const DriverDriveTime& d)
{
    return d.name.isEmpty() ? QStringLiteral("Driver %1").arg(d.driver) : d.name;
}

} // namespace

DriveTimeMonitor::DriveTimeMonitor(V2DataProvider* provider, TeamAlertEngine* engine, Clock clock, QObject* parent)
    : QObject(parent)
    , m_provider(provider)
    , m_engine(engine)
    , m_clock(std::move(clock))
{
    if (!m_provider)
        return;
    m_soon.setSingleShot(true);
    m_soon.setInterval(kSoonMs);
    connect(&m_soon, &QTimer::timeout, this, &DriveTimeMonitor::checkFollowed);
    m_running.setInterval(kRunningMs);
    connect(&m_running, &QTimer::timeout, this, &DriveTimeMonitor::checkFollowed);
    const auto soon = [this] { m_soon.start(); };
    connect(provider, &V2DataProvider::analysisStints, this, soon);
    connect(provider, &V2DataProvider::analysisPitIn, this, soon);
    connect(provider, &V2DataProvider::analysisPitOut, this, soon);
    connect(provider, &V2DataProvider::sessionStatus, this, soon);
    connect(provider, &V2DataProvider::sessionEntry, this, soon);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, soon);
    connect(provider, &V2DataProvider::cleanAll, this, [this, soon] {
        clear();
        soon();
    });
}

DriveTimeMonitor::~DriveTimeMonitor() = default;

void DriveTimeMonitor::setRules(const DriveTimeRules& rules)
{
    m_rules = rules;
    m_rulesRead = true;
    if (m_provider)
        m_soon.start();
}

const DriveTimeRules& DriveTimeMonitor::rules() const
{
    if (!m_rulesRead) {
        m_rules = DriveTimeRules::load();
        m_rulesRead = true;
    }
    return m_rules;
}

void DriveTimeMonitor::clear()
{
    m_session.clear();
}

void DriveTimeMonitor::setSession(const QString& session)
{
    m_session = session;
}

void DriveTimeMonitor::checkFollowed()
{
    if (!m_provider)
        return;
    const QStringList cars = m_provider->getFollowedCars();
    bool onTrack = false;
    // Outside a race nothing is judged: no alert, and no periodic check.
    if (!cars.isEmpty() && m_provider->isRace()) {
        const qint64 start = m_provider->getSessionStartTime();
        setSession(start > 0 ? QString::number(start) : QString());
        const DriveTimeRules& current = rules();
        const qint64 remaining = StintRows::remainingMs(current);
        for (const QString& car : cars) {
            const CarDriveCheck c = StintRows::driveTime(*m_provider, car, current, remaining);
            check(car, c.times, c.feasibility, c.limits, current.nearMarginMs);
            onTrack = onTrack || c.times.currentDriver != 0;
        }
    }
    if (onTrack && !m_running.isActive())
        m_running.start();
    else if (!onTrack)
        m_running.stop();
}

void DriveTimeMonitor::raise(const QString& identity, const QString& car, const QString& text, bool critical)
{
    TeamAlert alert;
    alert.identity = identity;
    alert.ruleId = kRule;
    alert.carNumber = car;
    alert.text = text;
    alert.trackTimeMs = m_clock();
    alert.severity = critical ? AlertSeverity::Critical : AlertSeverity::Warning;
    alert.notify = true;
    alert.sound = critical;
    m_engine->raise(alert);
}

void DriveTimeMonitor::check(const QString& car, const CarDriveTime& times, const DriveFeasibility& feasibility, const DriveTimeLimits& limits,
                             qint64 nearMarginMs)
{
    // The session in every identity: a later session's alerts are new ones.
    const QString prefix = m_session.isEmpty() ? QStringLiteral("driveTime|%1|").arg(car) : QStringLiteral("driveTime|%1|%2|").arg(m_session, car);
    const DriverDriveTime* inCar = nullptr;
    for (const DriverDriveTime& d : times.drivers) {
        if (d.inCar)
            inCar = &d;
        if (d.hasMax && d.toMaxMs <= nearMarginMs) {
            const bool over = d.toMaxMs < 0;
            raise(prefix + QStringLiteral("%1|total-%2").arg(d.driver).arg(over ? QStringLiteral("over") : QStringLiteral("near")), car,
                  over ? QStringLiteral("Car %1: %2 is past the maximum drive time").arg(car, nameOf(d))
                       : QStringLiteral("Car %1: %2 has %3 left of the maximum drive time").arg(car, nameOf(d), DriveTimeCalculator::hoursMinutes(d.toMaxMs, false)),
                  over);
        }
    }

    if (inCar && limits.maxContinuousMs > 0 && !times.spells.isEmpty()) {
        // The spell's start names the spell: each one is warned once.
        const qint64 spell = times.spells.last().start;
        const qint64 left = limits.maxContinuousMs - inCar->continuousMs;
        for (const qint64 margin : kContinuousMargins) {
            if (left <= margin * kMinuteMs)
                raise(prefix + QStringLiteral("%1|%2|continuous-%3min").arg(inCar->driver).arg(spell).arg(margin), car,
                      QStringLiteral("Car %1: %2 reaches the continuous limit in %3 min").arg(car, nameOf(*inCar)).arg(std::max<qint64>(0, left) / kMinuteMs),
                      margin == 1);
        }
        if (left <= kStopLikelyMs && limits.minRestMs > 0)
            checkNextRested(prefix, car, times, feasibility, limits, spell, left);
    }

    // Once per stint, named by the running spell's start: a verdict that
    // flips back and forth within a stint (late corrections, edits) does
    // not sound again; the next stint, if still infeasible, does.
    if (feasibility.verdict == DriveFeasibility::NotFeasible) {
        const qint64 stint = times.spells.isEmpty() ? 0 : times.spells.last().start;
        raise(prefix + QStringLiteral("%1|infeasible").arg(stint), car, QStringLiteral("Car %1: %2").arg(car, feasibility.text), true);
    }
}

void DriveTimeMonitor::checkNextRested(const QString& prefix, const QString& car, const CarDriveTime& times, const DriveFeasibility& feasibility,
                                       const DriveTimeLimits& limits, qint64 spell, qint64 left)
{
    // Whether he is rested by the limit, when the stop comes at the latest,
    // is the strategist's call: the text gives both, each rounded up, so
    // their order holds.
    const QString limitText = QStringLiteral(", the limit in %1").arg(DriveTimeCalculator::hoursMinutes(std::max<qint64>(0, left), true));
    const auto rested = [&](const DriverDriveTime& d) { return d.restMs < 0 || d.restMs >= limits.minRestMs; };
    // The next driver of the plan that keeps every minimum, when there is
    // one, by name: taking anyone else changes the plan.
    if (feasibility.nextDriver != 0) {
        for (const DriverDriveTime& d : times.drivers)
            if (d.driver == feasibility.nextDriver && !d.inCar && !rested(d))
                raise(prefix + QStringLiteral("%1|%2|rest-not-complete").arg(d.driver).arg(spell), car,
                      QStringLiteral("Car %1: %2 is not rested before the stop (%3 of rest left%4)")
                          .arg(car, nameOf(d), DriveTimeCalculator::hoursMinutes(limits.minRestMs - d.restMs, true), limitText),
                      true);
    }
    // And whoever the plan names, the car needs someone who may take it:
    // rested, and short of his maximum.
    qint64 soonest = -1;
    QStringList atMax;
    for (const DriverDriveTime& d : times.drivers) {
        if (d.inCar)
            continue;
        if (d.hasMax && d.toMaxMs <= 0) {
            atMax << nameOf(d);
            continue;
        }
        if (rested(d))
            return;
        const qint64 wait = limits.minRestMs - d.restMs;
        soonest = soonest < 0 ? wait : std::min(soonest, wait);
    }
    const QString identity = prefix + QStringLiteral("any|%1|rest-not-complete").arg(spell);
    const QString maxed = atMax.join(QStringLiteral(", "));
    if (soonest >= 0)
        raise(identity, car,
              QStringLiteral("Car %1: no driver is rested before the stop (the first in %2%3%4)")
                  .arg(car, DriveTimeCalculator::hoursMinutes(soonest, true), limitText,
                       maxed.isEmpty() ? QString() : QStringLiteral("; at the maximum: ") + maxed),
              true);
    else if (!atMax.isEmpty())
        raise(identity, car, QStringLiteral("Car %1: no other driver may take the car (at the maximum: %2)").arg(car, maxed), true);
}
