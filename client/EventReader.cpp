#include "EventReader.h"

#include "TimingConstants.h"
#include "V2_Data.h"

using TimingConstants::NO_TIME;

namespace {

const QString kRaceControl = QStringLiteral("raceControl.messages.");
const QString kFlags = QStringLiteral("timing.session.flags.");
const QString kWeatherSample = QStringLiteral("weather.sessionData.");
const QString kFastestLap = QStringLiteral("timing.session.standings.overall.additional.byFastestLap");
const QString kBySector = QStringLiteral("timing.session.standings.overall.additional.bySectorBestTime.");
const QString kTopSpeed = QStringLiteral("timing.session.standings.overall.additional.byTopSpeed");
const QString kCombinedDetails = QStringLiteral("timing.combined.participantDetails.");
const QString kCombinedStandings = QStringLiteral("timing.combined.standings.overall");
const QString kCombinedEntry = QStringLiteral("timing.combined.entry.");

// Weather samples are shown over the last two hours.
constexpr double kWeatherWindowMs = 7200000.0;

} // namespace

// ---------------------------------------------------------------------------
// Race control, flags, pit lights

QStringList EventReader::getRaceControlMessageKeys() const
{
    return childKeys(QStringLiteral("raceControl.messages"));
}

QString EventReader::getRaceControlGroupText(const QString& key) const
{
    return readString(kRaceControl + key, QStringLiteral("groupText"));
}

QString EventReader::getRaceControlText(const QString& key) const
{
    return readString(kRaceControl + key, QStringLiteral("text"));
}

quint64 EventReader::getRaceControlDayTime(const QString& key) const
{
    return readTime(kRaceControl + key, QStringLiteral("dayTime"), 0, 0);
}

QStringList EventReader::getFlagKeys() const
{
    return childKeys(QStringLiteral("timing.session.flags"));
}

QString EventReader::getFlagType(const QString& key) const
{
    const V2_Data* flag = node(kFlags + key);
    return flag ? flag->getString(QStringLiteral("type"), QStringLiteral("NONE")) : QString();
}

quint64 EventReader::getFlagTime(const QString& key) const
{
    return readTime(kFlags + key, QStringLiteral("time"), 0, 0);
}

qint64 EventReader::getFlagElapsed(const QString& key) const
{
    return readLongLong(kFlags + key, QStringLiteral("elapsed"), -1, -1);
}

int EventReader::getFlagSector(const QString& key) const
{
    return readInt(kFlags + key, QStringLiteral("sector"), 0, 0);
}

QString EventReader::getFlagInfo(const QString& key) const
{
    return readString(kFlags + key, QStringLiteral("info"));
}

qint64 EventReader::getPitEntryStatus() const
{
    return readLongLong(QStringLiteral("signalling.pitEntry"), QStringLiteral("status"), 0, 0);
}

qint64 EventReader::getPitExitStatus() const
{
    return readLongLong(QStringLiteral("signalling.pitExit"), QStringLiteral("status"), 0, 0);
}

// ---------------------------------------------------------------------------
// Weather

float EventReader::getCurrentAmbientTemperature() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("ambientTemperature"), 0.0, 0.0));
}

float EventReader::getCurrentTrackTemperature() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("trackTemperature"), 0.0, 0.0));
}

float EventReader::getCurrentHumidity() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("humidity"), 0.0, 0.0));
}

float EventReader::getCurrentPressure() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("pressure"), 0.0, 0.0));
}

float EventReader::getCurrentWindSpeed() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("windSpeed"), 0.0, 0.0));
}

int EventReader::getCurrentWindDirection() const
{
    return readInt(QStringLiteral("weather.currentData"), QStringLiteral("windDirection"), 0, 0);
}

QStringList EventReader::getWeatherSampleKeys() const
{
    QStringList sampled;
    const QStringList keys = childKeys(QStringLiteral("weather.sessionData"));
    if (keys.isEmpty())
        return sampled;
    const double first = keys.first().toDouble();
    double mark = keys.last().toDouble() - kWeatherWindowMs;
    if (first > mark)
        mark = first;
    for (const QString& key : keys) {
        if (key.toDouble() >= mark - 1000.0) {
            sampled.append(key);
            mark += 60000.0;
        }
    }
    return sampled;
}

float EventReader::getSampleAmbientTemperature(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("ambientTemperature"), 0.0, 0.0));
}

float EventReader::getSampleTrackTemperature(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("trackTemperature"), 0.0, 0.0));
}

float EventReader::getSampleHumidity(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("humidity"), 0.0, 0.0));
}

float EventReader::getSamplePressure(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("pressure"), 0.0, 0.0));
}

float EventReader::getSampleWindSpeed(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("windSpeed"), 0.0, 0.0));
}

// ---------------------------------------------------------------------------
// Tyres

TyresRecord EventReader::getTyresData(const QString& pNum) const
{
    TyresRecord record;
    const V2_Data* car = node(QStringLiteral("tyres.session.data.") + pNum);
    if (!car)
        return record;
    const auto text = [car](const QString& wheel) {
        const V2_Data* tyre = car->getV2_Data(wheel);
        if (!tyre)
            return QString();
        const int laps = tyre->getInt(QStringLiteral("laps"), 0);
        const QString specification = tyre->getString(QStringLiteral("specification"));
        QString result = QString::number(laps) + (laps < 2 ? QStringLiteral(" Lap ") : QStringLiteral(" Laps "));
        if (!specification.isEmpty())
            result += QLatin1Char('(') + specification + QLatin1Char(')');
        return result;
    };
    record.frontLeft = text(QStringLiteral("frontLeft"));
    record.frontRight = text(QStringLiteral("frontRight"));
    record.rearLeft = text(QStringLiteral("rearLeft"));
    record.rearRight = text(QStringLiteral("rearRight"));
    return record;
}

// ---------------------------------------------------------------------------
// Additional standings

int EventReader::getFastestLapStandingsCount() const
{
    return childCount(kFastestLap);
}

QString EventReader::getFastestLapStandingParticipant(int position) const
{
    return readString(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("participant"));
}

quint64 EventReader::getFastestLapStandingTime(int position) const
{
    return readTime(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("time"), 0, 0);
}

int EventReader::getFastestLapStandingLap(int position) const
{
    return readInt(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("lap"), -1, -1);
}

double EventReader::getFastestLapStandingGap(int position) const
{
    return readDouble(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("gap"), -1.0, -1.0);
}

int EventReader::getSectorStandingsCount(int sector) const
{
    return childCount(kBySector + QString::number(sector) + QStringLiteral(".standings"));
}

QString EventReader::getSectorStandingParticipant(int position, int sector) const
{
    return readString(kBySector + QStringLiteral("%1.standings.%2").arg(sector).arg(position), QStringLiteral("participant"));
}

quint64 EventReader::getSectorStandingTime(int position, int sector) const
{
    return readTime(kBySector + QStringLiteral("%1.standings.%2").arg(sector).arg(position), QStringLiteral("time"), 0, 0);
}

double EventReader::getSectorStandingGap(int position, int sector) const
{
    return readDouble(kBySector + QStringLiteral("%1.standings.%2").arg(sector).arg(position), QStringLiteral("gap"), -1.0, -1.0);
}

int EventReader::getTopSpeedStandingsCount() const
{
    return childCount(kTopSpeed);
}

QString EventReader::getTopSpeedStandingParticipant(int position) const
{
    return readString(kTopSpeed + QLatin1Char('.') + QString::number(position), QStringLiteral("participant"));
}

double EventReader::getTopSpeedStandingSpeed(int position) const
{
    return speedInUnit(readDouble(kTopSpeed + QLatin1Char('.') + QString::number(position), QStringLiteral("speed"), 0.0, 0.0));
}

// ---------------------------------------------------------------------------
// Combined standings

QString EventReader::getCombinedType() const
{
    return readString(QStringLiteral("timing.combined.info"), QStringLiteral("type"));
}

int EventReader::getCombinedSessionsCount() const
{
    return childCount(QStringLiteral("timing.combined.info.sessions"));
}

QString EventReader::getCombinedSessionName(int index) const
{
    return readString(QStringLiteral("timing.combined.info.sessions.") + QString::number(index), QStringLiteral("name"));
}

int EventReader::getCombinedStandingsCount() const
{
    return childCount(kCombinedStandings);
}

QString EventReader::getCombinedParticipantAtPosition(int position) const
{
    return readString(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("number"));
}

QString EventReader::getCombinedStatus(int position) const
{
    return readString(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("status"));
}

quint64 EventReader::getCombinedTime(int position) const
{
    return readTime(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("time"), 0, 0);
}

double EventReader::getCombinedGapFirst(int position) const
{
    return readDouble(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("gapFirst"), -1.0, -1.0);
}

double EventReader::getCombinedGapPrevious(int position) const
{
    return readDouble(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("gapPrevious"), -1.0, -1.0);
}

QString EventReader::getCombinedParticipantClass(const QString& pNum) const
{
    return readString(kCombinedEntry + pNum, QStringLiteral("class"));
}

QString EventReader::getCombinedParticipantName(const QString& pNum) const
{
    const V2_Data* entry = node(kCombinedEntry + pNum);
    if (!entry)
        return QString();
    if (isChampEndurance())
        return entry->getString(QStringLiteral("team"));
    return formattedDriver(entry, 1);
}

quint64 EventReader::getCombinedFastestLapTime(const QString& pNum) const
{
    return readTime(kCombinedDetails + pNum, QStringLiteral("fastestLapTime"), 0, 0);
}

quint64 EventReader::getCombinedFastestSectorTime(const QString& pNum, int sector) const
{
    return readTime(kCombinedDetails + pNum + QStringLiteral(".fastestSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

quint64 EventReader::getCombinedFastestLapSectorTime(const QString& pNum, int sector) const
{
    return readTime(kCombinedDetails + pNum + QStringLiteral(".fastestLapSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

quint64 EventReader::getCombinedSessionResultTime(const QString& pNum, quint64 sessionIndex) const
{
    return readTime(kCombinedDetails + pNum + QStringLiteral(".sessionsResults.") + QString::number(sessionIndex), QStringLiteral("time"), 0, 0);
}

quint64 EventReader::getCombinedBestLapTime() const
{
    return readTime(QStringLiteral("timing.combined.bestResults.overall.lap"), QStringLiteral("time"), NO_TIME, 0);
}

quint64 EventReader::getCombinedBestSectorTime(int sector) const
{
    return readTime(QStringLiteral("timing.combined.bestResults.overall.sectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

// ---------------------------------------------------------------------------
// Track limits

QList<TrackLimitsRecord> EventReader::getTrackLimits() const
{
    QList<TrackLimitsRecord> records;
    const V2_Data* all = node(QStringLiteral("timing.session.trackLimits"));
    if (!all)
        return records;
    for (auto it = all->datas()->cbegin(); it != all->datas()->cend(); ++it) {
        const V2_Data* entry = V2_Data::nodeOf(it.value());
        if (!entry)
            continue;
        TrackLimitsRecord record;
        if (const V2_Data* laps = entry->getInLevelV2_Data(QStringLiteral("affectedLaps"))) {
            for (auto lap = laps->datas()->cbegin(); lap != laps->datas()->cend(); ++lap)
                record.affectedLaps.append(lap.value()->toInt());
        }
        record.participant = entry->getString(QStringLiteral("participant"));
        record.time = entry->getULongLong(QStringLiteral("time"), 0);
        record.trackLimitsName = entry->getString(QStringLiteral("trackLimitsName"));
        records.append(record);
    }
    return records;
}
