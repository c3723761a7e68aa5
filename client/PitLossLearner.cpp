#include "PitLossLearner.h"

#include "V2DataProvider.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>

namespace {

constexpr int kPaceLaps = 5;
// Laps looked at, at most, to find kPaceLaps clean ones.
constexpr int kPaceWindow = 12;

qint64 median(QVector<qint64> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

bool isNeutralisingFlag(const QString& type)
{
    return type == QLatin1String("SAFETY_CAR") || type == QLatin1String("FULL_YELLOW");
}

} // namespace

PitLossLearner::PitLossLearner()
{
    for (int kind = 0; kind < KindCount; ++kind) {
        m_user[kind] = defaultUserValue(Kind(kind));
        m_override[kind] = -1;
    }
}

qint64 PitLossLearner::defaultUserValue(Kind kind)
{
    switch (kind) {
    case DriveThrough: return 20000;
    case ShortStop: return 30000;
    case Tyres: return 40000;
    case DriverChange: return 55000;
    default: return 30000;
    }
}

void PitLossLearner::setUserValue(Kind kind, qint64 lossMs)
{
    m_user[kind] = lossMs;
}

qint64 PitLossLearner::userValue(Kind kind) const
{
    return m_user[kind];
}

void PitLossLearner::setOverride(Kind kind, qint64 lossMs)
{
    m_override[kind] = lossMs < 0 ? -1 : lossMs;
}

qint64 PitLossLearner::overrideValue(Kind kind) const
{
    return m_override[kind];
}

void PitLossLearner::setSamples(const QVector<Sample>& samples)
{
    m_samples = samples;
}

const QVector<PitLossLearner::Sample>& PitLossLearner::samples() const
{
    return m_samples;
}

PitLossLearner::Value PitLossLearner::value(Kind kind, bool neutralised) const
{
    QVector<qint64> losses;
    for (const Sample& sample : m_samples) {
        if (sample.kind == kind && sample.neutralised == neutralised)
            losses.append(sample.lossMs);
    }
    Value result;
    result.stops = losses.size();
    if (m_override[kind] >= 0) {
        // The user's word stands under a neutralisation too, at its share.
        result.lossMs = neutralised ? qint64(m_override[kind] * kNeutralisedShare) : m_override[kind];
        result.source = Override;
    } else if (losses.size() >= kMinStops) {
        result.lossMs = median(losses);
        result.source = Learnt;
    } else if (!neutralised) {
        result.lossMs = m_user[kind];
        result.source = UserValue;
    } else {
        const Value green = value(kind, false);
        result.lossMs = qint64(green.lossMs * kNeutralisedShare);
        result.source = green.source;
    }
    return result;
}

PitLossLearner::Kind PitLossLearner::classify(const QString& pitType, bool driverChanged, quint64 pitTimeMs)
{
    if (pitType.compare(QLatin1String("penalty"), Qt::CaseInsensitive) == 0)
        return DriveThrough;
    if (driverChanged)
        return DriverChange;
    if (pitTimeMs < quint64(kDriveThroughMaxMs))
        return DriveThrough;
    return pitTimeMs < quint64(kShortStopMaxMs) ? ShortStop : Tyres;
}

QString PitLossLearner::kindName(Kind kind)
{
    switch (kind) {
    case DriveThrough: return QCoreApplication::translate("PitLossLearner", "Drive-through");
    case ShortStop: return QCoreApplication::translate("PitLossLearner", "Short stop");
    case Tyres: return QCoreApplication::translate("PitLossLearner", "Tyres");
    case DriverChange: return QCoreApplication::translate("PitLossLearner", "Driver change");
    default: return QString();
    }
}

qint64 PitLossLearner::recentPace(const V2DataProvider& provider, const QString& pNum, int beforeLap, const QList<int>& pitInLaps)
{
    const int last = std::min(beforeLap - 1, provider.getElapsedLaps(pNum));
    QVector<qint64> laps;
    for (int lap = last; lap >= 2 && lap > last - kPaceWindow && laps.size() < kPaceLaps; --lap) {
        if (pitInLaps.contains(lap) || pitInLaps.contains(lap - 1))
            continue;
        const AnalysisReader::LapSummary summary = provider.getLap(pNum, QString::number(lap));
        if (summary.exists && summary.time != TimingConstants::NO_TIME && summary.time > 0)
            laps.append(qint64(summary.time));
    }
    return median(laps);
}

QVector<QPair<quint64, quint64>> PitLossLearner::neutralisedPeriods(const V2DataProvider& provider)
{
    QVector<QPair<quint64, quint64>> periods;
    bool open = false;
    // In the order the flags were shown: the keys are numbers, not always
    // of one width, so their text order is not the flags' order.
    QStringList keys = provider.getFlagKeys();
    std::stable_sort(keys.begin(), keys.end(), [&provider](const QString& a, const QString& b) {
        const quint64 at = provider.getFlagTime(a);
        const quint64 bt = provider.getFlagTime(b);
        return at != bt ? at < bt : a.toLongLong() < b.toLongLong();
    });
    for (const QString& key : keys) {
        if (provider.getFlagSector(key) >= 1)
            continue; // a local flag
        const bool neutralising = isNeutralisingFlag(provider.getFlagType(key));
        const quint64 at = provider.getFlagTime(key);
        if (open && !neutralising) {
            periods.last().second = at;
            open = false;
        } else if (!open && neutralising) {
            periods.append({at, std::numeric_limits<quint64>::max()});
            open = true;
        }
    }
    return periods;
}

void PitLossLearner::reset()
{
    m_stops.clear();
    m_samples.clear();
}

void PitLossLearner::learn(V2DataProvider& provider)
{
    // A completed stop never changes, so only stops not seen before are
    // read; the flag periods are applied to all again (a late flag record).
    const QVector<QPair<quint64, quint64>> periods = neutralisedPeriods(provider);
    for (const QString& car : provider.getPitOutParticipants()) {
        QHash<QString, Stop>& known = m_stops[car];
        const QStringList outs = provider.getPitOutKeys(car);
        const bool pending = std::any_of(known.cbegin(), known.cend(), [](const Stop& stop) { return stop.stintPending; });
        if (known.size() == outs.size() && !pending)
            continue;
        const QStringList ins = provider.getPitInKeys(car);
        const QList<int> pitInLaps = provider.getPitInLapNumbers(car);
        QStringList stints;
        for (const QString& outKey : outs) {
            const auto seen = known.constFind(outKey);
            if (seen != known.cend() && !seen->stintPending)
                continue;
            // The entry that went with this exit: the latest one before it
            // and after the exit before it (an exit whose entry is missing
            // must not take the previous stop's).
            const quint64 exited = outKey.toULongLong();
            quint64 previousExit = 0;
            for (const QString& key : outs) {
                if (key.toULongLong() < exited)
                    previousExit = std::max(previousExit, key.toULongLong());
            }
            QString inKey;
            for (const QString& key : ins) {
                const quint64 entered = key.toULongLong();
                if (entered <= exited && entered > previousExit && (inKey.isEmpty() || entered > inKey.toULongLong()))
                    inKey = key;
            }
            if (inKey.isEmpty()) {
                Stop unpaired;
                unpaired.counted = false;
                known.insert(outKey, unpaired);
                continue;
            }
            const int inLap = provider.getPitInLapNumber(car, inKey);
            const AnalysisReader::LapSummary in = provider.getLap(car, QString::number(inLap));
            const AnalysisReader::LapSummary out = provider.getLap(car, QString::number(inLap + 1));
            if (!in.exists || !out.exists || in.time == TimingConstants::NO_TIME || out.time == TimingConstants::NO_TIME)
                continue; // not complete yet: read again next time
            const qint64 pace = recentPace(provider, car, inLap, pitInLaps);
            if (pace <= 0)
                continue;
            const quint64 entered = inKey.toULongLong();
            // The pit stint begun at the entry (its start within a second of it).
            if (stints.isEmpty())
                stints = provider.getStintKeys(car);
            QString pitType;
            bool stintFound = false;
            for (auto it = stints.crbegin(); it != stints.crend(); ++it) {
                const quint64 start = provider.getStintStartTime(car, *it);
                if (provider.getStintType(car, *it) == QLatin1String("PIT") && start + 1000 >= entered && start <= entered + 1000) {
                    pitType = provider.getStintPitType(car, *it);
                    stintFound = true;
                    break;
                }
            }
            const bool driverChanged = provider.getPitInDriver(car, inKey) != provider.getPitOutDriver(car, outKey);
            Stop stop;
            stop.enteredAt = entered;
            stop.safetyCarInfo = pitType.compare(QLatin1String("sc"), Qt::CaseInsensitive) == 0;
            stop.sample.kind = classify(pitType, driverChanged, provider.getPitTime(car, outKey));
            stop.sample.lossMs = qint64(in.time) + qint64(out.time) - 2 * pace;
            stop.stintPending = !stintFound;
            known.insert(outKey, stop);
        }
    }
    QVector<Sample> samples;
    for (const QHash<QString, Stop>& known : qAsConst(m_stops)) {
        for (const Stop& stop : known) {
            if (!stop.counted)
                continue;
            Sample sample = stop.sample;
            sample.neutralised = stop.safetyCarInfo;
            for (const auto& period : periods)
                sample.neutralised = sample.neutralised || (stop.enteredAt >= period.first && stop.enteredAt < period.second);
            samples.append(sample);
        }
    }
    m_samples = samples;
}
