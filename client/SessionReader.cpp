#include "SessionReader.h"

#include "TimingConstants.h"
#include "V2_Data.h"

#include <algorithm>

using TimingConstants::NO_TIME;

namespace {

constexpr int INT_MAXIMUM = 2147483647;

const QString kInfo = QStringLiteral("timing.session.info");
const QString kStatus = QStringLiteral("timing.session.status");
const QString kTrackInfo = QStringLiteral("timing.session.track.info");
const QString kEntry = QStringLiteral("timing.session.entry.");
const QString kStandings = QStringLiteral("timing.session.standings.");
const QString& kDetails = TreeReader::kDetailsPath;
const QString& kLaps = TreeReader::kLapsPath;

} // namespace

// ---------------------------------------------------------------------------
// Session and track

QString SessionReader::getSessionName() const
{
    return readString(kInfo, QStringLiteral("name"));
}

qint64 SessionReader::getSessionDate() const
{
    return readLongLong(kInfo, QStringLiteral("date"), 0, 0);
}

int SessionReader::getSessionDbId() const
{
    return readInt(kInfo, QStringLiteral("sessionDbId"), 0, 0);
}

QString SessionReader::getChampName() const
{
    return readString(kInfo, QStringLiteral("champName"));
}

QString SessionReader::getChampShortName() const
{
    return readString(kInfo, QStringLiteral("champShortName"));
}

QString SessionReader::getEventName() const
{
    return readString(kInfo, QStringLiteral("eventName"));
}

QString SessionReader::getEventShortName() const
{
    return readString(kInfo, QStringLiteral("eventShortName"));
}

bool SessionReader::isChampEndurance() const
{
    return readBool(kInfo, QStringLiteral("champIsEndurance"), false, false);
}

bool SessionReader::isChampBikes() const
{
    return readBool(kInfo, QStringLiteral("champIsBikes"), false, false);
}

bool SessionReader::isRace() const
{
    return readString(kInfo, QStringLiteral("type")) == QLatin1String("RACE");
}

bool SessionReader::isSessionClosed() const
{
    return readBool(kStatus, QStringLiteral("isClosed"), false, false);
}

bool SessionReader::isSessionFinished() const
{
    return readBool(kStatus, QStringLiteral("isFinished"), false, false);
}

int SessionReader::getSessionElapsedLaps() const
{
    return readInt(kStatus, QStringLiteral("elapsedLaps"), 0, 0);
}

qint64 SessionReader::getSessionStartTime() const
{
    return readLongLong(kStatus, QStringLiteral("sessionStartTime"), -1, -1);
}

QString SessionReader::getCurrentFlag() const
{
    return readString(kStatus, QStringLiteral("currentFlag"), QStringLiteral("NONE"));
}

QString SessionReader::getTrackName() const
{
    return readString(kTrackInfo, QStringLiteral("name"));
}

QString SessionReader::getTrackCountry() const
{
    return readString(kTrackInfo, QStringLiteral("country"));
}

int SessionReader::getNumberOfSectors() const
{
    return readInt(kTrackInfo, QStringLiteral("numberOfSectors"), 0, 0);
}

QStringList SessionReader::getTrackSections() const
{
    return childKeys(kTrackInfo + QStringLiteral(".sections"));
}

QStringList SessionReader::getTimingLoopNames() const
{
    QStringList names;
    const V2_Data* loops = node(kTrackInfo + QStringLiteral(".timingLoops"));
    if (!loops)
        return names;
    for (auto it = loops->datas()->cbegin(); it != loops->datas()->cend(); ++it) {
        const V2_Data* loop = V2_Data::nodeOf(it.value());
        names.append(loop ? loop->getString(QStringLiteral("name")) : QString());
    }
    return names;
}

// ---------------------------------------------------------------------------
// Entry and classes

QStringList SessionReader::getEntryList() const
{
    return childKeys(QStringLiteral("timing.session.entry"));
}

QString SessionReader::getParticipantClass(const QString& pNum) const
{
    return readString(kEntry + pNum, QStringLiteral("class"));
}

QString SessionReader::getParticipantTeam(const QString& pNum) const
{
    return readString(kEntry + pNum, QStringLiteral("team"));
}

QString SessionReader::getParticipantVehicle(const QString& pNum) const
{
    return readString(kEntry + pNum, QStringLiteral("vehicle"));
}

QString SessionReader::getDriverName(const QString& pNum, int driverIndex) const
{
    return formattedDriver(node(kEntry + pNum), driverIndex);
}

QList<int> SessionReader::getDriverNumbers(const QString& pNum) const
{
    QList<int> numbers;
    for (const QString& key : childKeys(kEntry + pNum + QStringLiteral(".drivers"))) {
        bool ok = false;
        const int number = key.toInt(&ok);
        if (ok)
            numbers.append(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString SessionReader::getCurrentDriverName(const QString& pNum) const
{
    const int current = readInt(kDetails + pNum, QStringLiteral("currentDriver"), -1, -1);
    return current == -1 ? QString() : getDriverName(pNum, current);
}

QStringList SessionReader::getClasses() const
{
    QStringList names;
    const V2_Data* classes = node(QStringLiteral("timing.session.classes"));
    if (!classes || !node(QStringLiteral("timing.session.standings.byClass")))
        return names;
    for (auto it = classes->datas()->cbegin(); it != classes->datas()->cend(); ++it) {
        const V2_Data* entry = V2_Data::nodeOf(it.value());
        names.append(entry ? entry->getString(QStringLiteral("name")) : QString());
    }
    return names;
}

// ---------------------------------------------------------------------------
// Standings

QString SessionReader::standingPath(int position, const QString& className) const
{
    if (className.isEmpty())
        return kStandings + QStringLiteral("overall.active.") + QString::number(position);
    return kStandings + QStringLiteral("byClass.active.%1.standings.%2").arg(className).arg(position);
}

int SessionReader::getStandingsCount(const QString& className) const
{
    if (className.isEmpty())
        return childCount(kStandings + QStringLiteral("overall.active"));
    return childCount(kStandings + QStringLiteral("byClass.active.%1.standings").arg(className));
}

int SessionReader::getFinishLineStandingsCount(const QString& className) const
{
    if (className.isEmpty())
        return childCount(kStandings + QStringLiteral("overall.finishLine"));
    return childCount(kStandings + QStringLiteral("byClass.finishLine.%1.standings").arg(className));
}

QString SessionReader::getParticipantAtPosition(int position, const QString& className) const
{
    return readString(standingPath(position, className), QStringLiteral("participant"));
}

QString SessionReader::getParticipantAtFinishLinePosition(int position, const QString& className) const
{
    const QString path = className.isEmpty()
        ? kStandings + QStringLiteral("overall.finishLine.") + QString::number(position)
        : kStandings + QStringLiteral("byClass.finishLine.%1.standings.%2").arg(className).arg(position);
    return readString(path, QStringLiteral("participant"));
}

QString SessionReader::getStandingStatus(int position, const QString& className) const
{
    return readString(standingPath(position, className), QStringLiteral("status"));
}

double SessionReader::getGapFirstTime(int position, const QString& className) const
{
    return readDouble(standingPath(position, className), QStringLiteral("gapFirstTime"), -1.0, -1.0);
}

int SessionReader::getGapFirstLaps(int position, const QString& className) const
{
    return std::abs(readInt(standingPath(position, className), QStringLiteral("gapFirstLaps"), 0, 0));
}

double SessionReader::getGapPreviousTime(int position, const QString& className) const
{
    return readDouble(standingPath(position, className), QStringLiteral("gapPreviousTime"), -1.0, -1.0);
}

int SessionReader::getGapPreviousLaps(int position, const QString& className) const
{
    return std::abs(readInt(standingPath(position, className), QStringLiteral("gapPreviousLaps"), 0, 0));
}

// ---------------------------------------------------------------------------
// Participant details

int SessionReader::getCurrentLap(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("currentLap"), -1, -1);
}

int SessionReader::getCurrentSector(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("currentSector"), 0, 0);
}

int SessionReader::getElapsedLaps(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("elapsedLaps"), -1, -1);
}

int SessionReader::getElapsedLapsOrZero(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("elapsedLaps"), 0, 0);
}

int SessionReader::getPitStops(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("pitStops"), INT_MAXIMUM, 0);
}

int SessionReader::getTrackLimitsInfractions(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("trackLimitsInfractions"), 0, 0);
}

bool SessionReader::isRunning(const QString& pNum) const
{
    return readBool(kDetails + pNum, QStringLiteral("running"), false, false);
}

QString SessionReader::getParticipantStatus(const QString& pNum) const
{
    const V2_Data* details = node(kDetails + pNum);
    if (!details)
        return QString();
    if (details->getBool(QStringLiteral("hasSeenCheckered"), false))
        return QStringLiteral("CHECKERED");
    return details->getString(QStringLiteral("status"));
}

quint64 SessionReader::getLastLapTime(const QString& pNum) const
{
    return readTime(kDetails + pNum + QStringLiteral(".lastLap"), QStringLiteral("time"), NO_TIME, 0);
}

bool SessionReader::isLastLapValid(const QString& pNum) const
{
    return readBool(kDetails + pNum + QStringLiteral(".lastLap"), QStringLiteral("isValid"), true, true);
}

quint64 SessionReader::getLastSectorTime(const QString& pNum, int sector) const
{
    return readTime(kDetails + pNum + QStringLiteral(".lastSectors.") + QString::number(sector), QStringLiteral("time"), 0, 0);
}

bool SessionReader::isLastSectorValid(const QString& pNum, int sector) const
{
    return readBool(kDetails + pNum + QStringLiteral(".lastSectors.") + QString::number(sector), QStringLiteral("isValid"), true, true);
}

quint64 SessionReader::getBestLapTime(const QString& pNum) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("time"), NO_TIME, 0);
}

quint64 SessionReader::getBestLapTimeOrNone(const QString& pNum) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("time"), NO_TIME, NO_TIME);
}

int SessionReader::getBestLapNumber(const QString& pNum) const
{
    return readInt(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("number"), 0, 0);
}

int SessionReader::getBestLapNumberOrMax(const QString& pNum) const
{
    return readInt(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("number"), INT_MAXIMUM, 0);
}

QString SessionReader::getBestLapDriverName(const QString& pNum) const
{
    const V2_Data* best = node(kDetails + pNum + QStringLiteral(".bestLap"));
    return best ? getDriverName(pNum, best->getInt(QStringLiteral("driver"), INT_MAXIMUM)) : QString();
}

quint64 SessionReader::getBestSectorTime(const QString& pNum, int sector) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

quint64 SessionReader::getBestSectorTimeOrNone(const QString& pNum, int sector) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, NO_TIME);
}

bool SessionReader::hasLapSectorTrackLimits(const QString& pNum, int sector) const
{
    const QString lap = QString::number(getCurrentLap(pNum));
    return readBool(kLaps + pNum + QStringLiteral(".laps.") + lap, QStringLiteral("sectors.%1.trackLimits").arg(sector), false, false);
}

// ---------------------------------------------------------------------------
// Session bests and starting grid

quint64 SessionReader::getSessionBestLapTime() const
{
    return readTime(QStringLiteral("timing.session.bestResults.overall.lap"), QStringLiteral("time"), NO_TIME, 0);
}

quint64 SessionReader::getSessionBestSectorTime(int sector) const
{
    return readTime(QStringLiteral("timing.session.bestResults.overall.sectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

QStringList SessionReader::getStartingGridPositions() const
{
    return childKeys(QStringLiteral("timing.session.startingGrid.positions"));
}

QString SessionReader::getStartingGridParticipant(const QString& position) const
{
    return readString(QStringLiteral("timing.session.startingGrid.positions.") + position, QStringLiteral("participant"));
}
