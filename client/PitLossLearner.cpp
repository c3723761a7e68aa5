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
    if (!neutralised && m_override[kind] >= 0) {
        result.lossMs = m_override[kind];
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
    for (const QString& key : provider.getFlagKeys()) {
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

void PitLossLearner::learn(V2DataProvider& provider)
{
    const QVector<QPair<quint64, quint64>> periods = neutralisedPeriods(provider);
    QVector<Sample> samples;
    for (const QString& car : provider.getPitOutParticipants()) {
        const QStringList ins = provider.getPitInKeys(car);
        const QStringList outs = provider.getPitOutKeys(car);
        const QList<int> pitInLaps = provider.getPitInLapNumbers(car);
        const QStringList stints = provider.getStintKeys(car);
        for (int i = 0; i < outs.size() && i < ins.size(); ++i) {
            const int inLap = provider.getPitInLapNumber(car, ins.at(i));
            const AnalysisReader::LapSummary in = provider.getLap(car, QString::number(inLap));
            const AnalysisReader::LapSummary out = provider.getLap(car, QString::number(inLap + 1));
            if (!in.exists || !out.exists || in.time == TimingConstants::NO_TIME || out.time == TimingConstants::NO_TIME)
                continue;
            const qint64 pace = recentPace(provider, car, inLap, pitInLaps);
            if (pace <= 0)
                continue;
            const quint64 entered = ins.at(i).toULongLong();
            QString pitType;
            for (const QString& stint : stints) {
                if (provider.getStintType(car, stint) == QLatin1String("PIT") && provider.getStintStartTime(car, stint) == entered) {
                    pitType = provider.getStintPitType(car, stint);
                    break;
                }
            }
            bool neutralised = pitType.compare(QLatin1String("sc"), Qt::CaseInsensitive) == 0;
            for (const auto& period : periods)
                neutralised = neutralised || (entered >= period.first && entered < period.second);
            const bool driverChanged = provider.getPitInDriver(car, ins.at(i)) != provider.getPitOutDriver(car, outs.at(i));
            Sample sample;
            sample.kind = classify(pitType, driverChanged, provider.getPitTime(car, outs.at(i)));
            sample.neutralised = neutralised;
            sample.lossMs = qint64(in.time) + qint64(out.time) - 2 * pace;
            samples.append(sample);
        }
    }
    m_samples = samples;
}
