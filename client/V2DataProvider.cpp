#include "V2DataProvider.h"

#include "ClientV2Controller.h"
#include "V2_Data.h"

#include <QMetaMethod>
#include <QVarLengthArray>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using TimingConstants::KMH_TO_MPH;
using TimingConstants::NO_TIME;

namespace {

constexpr int INT_MAXIMUM = 2147483647;

const QString kInfo = QStringLiteral("timing.session.info");
const QString kStatus = QStringLiteral("timing.session.status");
const QString kTrackInfo = QStringLiteral("timing.session.track.info");
const QString kEntry = QStringLiteral("timing.session.entry.");
const QString kStandings = QStringLiteral("timing.session.standings.");
const QString kDetails = QStringLiteral("timing.session.standings.overall.participantDetails.");
const QString kLaps = QStringLiteral("timing.analysis.laps.");
const QString kPitIn = QStringLiteral("timing.analysis.pitIn.");
const QString kPitOut = QStringLiteral("timing.analysis.pitOut.");
const QString kStints = QStringLiteral("timing.analysis.stints.");
const QString kRaceControl = QStringLiteral("raceControl.messages.");
const QString kFlags = QStringLiteral("timing.session.flags.");
const QString kWeatherSample = QStringLiteral("weather.sessionData.");
const QString kFastestLap = QStringLiteral("timing.session.standings.overall.additional.byFastestLap");
const QString kBySector = QStringLiteral("timing.session.standings.overall.additional.bySectorBestTime.");
const QString kTopSpeed = QStringLiteral("timing.session.standings.overall.additional.byTopSpeed");
const QString kCombinedDetails = QStringLiteral("timing.combined.participantDetails.");
const QString kCombinedStandings = QStringLiteral("timing.combined.standings.overall");
const QString kCombinedEntry = QStringLiteral("timing.combined.entry.");

const QString kPorsche = QStringLiteral("Porsche");
const QString kFord = QStringLiteral("Ford");
const QString kT6 = QStringLiteral("T6");
const QString kT7 = QStringLiteral("T7");
const QString kFinishLine = QStringLiteral("FL");
const QString kDigits[4] = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
// Named sections as lap records hold them: the two shown alone, then the two taken together.
const QString kSectionNames[4] = {kPorsche, kFord, kT6, kT7};

// Controller signals relayed under the same name, in connection order;
// errorReceived and the lap processing slots are connected between them.
const char* const kRelaysFirst[] = {
    "analysisStints()",
    "analysisLaps()",
    "analysisLapsByPnum(QString)",
    "analysisPitIn()",
    "analysisPitOut()",
    "cleanAll()",
    "raceControlMessages()",
    "sessionClasses()",
    "sessionTrackLimits()",
    "sessionEntry()",
    "sessionFlags()",
    "sessionInfo()",
    "sessionStartingGrid()",
    "sessionStatus()",
    "standingsByClass()",
    "standingsByClassByPosition(int)",
    "standingsCombinedOverall()",
    "standingsCombinedOverallByPosition(int)",
    "standingsOverall()",
    "standingsOverallByPosition(int)",
    "tyresDataReceived()",
};
const char* const kRelaysSecond[] = {
    "trackInfo()",
    "weather()",
    "pitLights()",
    "participantDetails()",
    "participantDetailsByPnum(QString)",
    "combinedParticipantDetails()",
    "combinedParticipantDetailsByPnum(QString)",
    "combinedInfo()",
};
const char* const kClientRelays[] = {
    "onConnected()",
    "onDisconnected()",
    "onLoginDone()",
};

// Connects a signal of `from` to the provider's signal of the same signature.
void relay(QObject* from, QObject* to, const char* signature)
{
    const QMetaObject* source = from->metaObject();
    const QMetaObject* target = to->metaObject();
    const int fromIndex = source->indexOfSignal(signature);
    const int toIndex = target->indexOfSignal(signature);
    Q_ASSERT(fromIndex >= 0 && toIndex >= 0);
    QObject::connect(from, source->method(fromIndex), to, target->method(toIndex));
}

// "A. Smith", or the last name alone when there is no first name.
QString formatName(const V2_Data* driver)
{
    const QString firstName = driver->getString(QStringLiteral("firstName"));
    const QString lastName = driver->getString(QStringLiteral("lastName"));
    return firstName.isEmpty() ? lastName : firstName.left(1) + QStringLiteral(". ") + lastName;
}

QString sectionPath(const QString& pNum, const QString& lapKey, const QString& section)
{
    return kLaps + pNum + QStringLiteral(".laps.") + lapKey + QStringLiteral(".sections.") + section;
}

QStringList keysOf(const V2_Data* node)
{
    return node ? node->datas()->keys() : QStringList();
}

// Greatest child key, in the tree's key order, as a number.
quint64 lastKeyOf(const V2_Data* node)
{
    return node && !node->datas()->isEmpty() ? node->datas()->lastKey().toULongLong() : 0;
}

} // namespace

V2DataProvider::V2DataProvider(const QString& app,
                               const QString& appVersion,
                               const QString& protocol,
                               const QString& protocolVersion,
                               const int& port,
                               const QString& password,
                               const QString& username,
                               const QString& host)
{
    qRegisterMetaType<QList<int>>("QList<int>");
    qRegisterMetaType<QMap<int, QList<int>>>("QMap<int,QList<int> >");

    m_controller = new ClientV2Controller(app, appVersion, protocol, protocolVersion, port, password, username, host, this);
    m_controller->setActive(true);

    for (const char* signature : kRelaysFirst)
        relay(m_controller, this, signature);
    connect(m_controller, &V2_Client::errorReceived, this, &V2DataProvider::onErrorReceived);
    for (const char* signature : kRelaysSecond)
        relay(m_controller, this, signature);
    connect(m_controller, &ClientV2Controller::deleteLapAnalysisData, this, &V2DataProvider::deleteLapAnalysisData);
    connect(m_controller, &ClientV2Controller::analysisLaps, this, &V2DataProvider::processAnalysis);
    connect(m_controller, &ClientV2Controller::analysisLapsEnd, this, &V2DataProvider::onAnalysisLapsEnd);
    connect(m_controller, &ClientV2Controller::analysisLapsByPnumAndLap, this, &V2DataProvider::processAnalysisLapsByPnumAndLap);
    connect(m_controller, &ClientV2Controller::analysisPitIn, this, &V2DataProvider::processAnalysisPitIn);
    connect(m_controller, &ClientV2Controller::cleanAll, this, &V2DataProvider::cleanAnalysis);
    connect(m_controller, &ClientV2Controller::sessionEntry, this, &V2DataProvider::processAnalysis);
    for (const char* signature : kClientRelays)
        relay(m_controller, this, signature);
    connect(m_controller, &ClientV2Controller::analysisProcessed, this, &V2DataProvider::analysisProcessed);
}

V2DataProvider::~V2DataProvider() = default;

// ---------------------------------------------------------------------------
// Connection

ClientV2Controller* V2DataProvider::controller() const
{
    return m_controller;
}

QString V2DataProvider::host() const
{
    return m_controller->host();
}

QString V2DataProvider::username() const
{
    return m_controller->username();
}

QString V2DataProvider::password() const
{
    return m_controller->password();
}

int V2DataProvider::port() const
{
    return m_controller->port();
}

void V2DataProvider::setHost(const QString& host)
{
    m_controller->setHost(host);
}

void V2DataProvider::setUsername(const QString& username)
{
    m_controller->setUsername(username);
}

void V2DataProvider::setPassword(const QString& password)
{
    m_controller->setPassword(password);
}

void V2DataProvider::setPort(int port)
{
    m_controller->setPort(port);
}

void V2DataProvider::setActive(bool active)
{
    m_controller->setActive(active);
}

std::unique_ptr<V2_Data> V2DataProvider::getData(const QString& path) const
{
    const V2_Data* found = node(path);
    return found ? std::make_unique<V2_Data>(found) : nullptr;
}

void V2DataProvider::setUsaUnits(bool b)
{
    m_usaUnits = b;
}

// ---------------------------------------------------------------------------
// Reading the tree: one lookup of the node, then one field.

V2_Data* V2DataProvider::node(const QString& path) const
{
    return m_controller ? m_controller->getCurrentData()->getV2_Data(path) : nullptr;
}

QString V2DataProvider::readString(const QString& path, const QString& field, const QString& missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getString(field) : missing;
}

int V2DataProvider::readInt(const QString& path, const QString& field, int defaultValue, int missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getInt(field, defaultValue) : missing;
}

qint64 V2DataProvider::readLongLong(const QString& path, const QString& field, qint64 defaultValue, qint64 missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getLongLong(field, defaultValue) : missing;
}

quint64 V2DataProvider::readTime(const QString& path, const QString& field, quint64 defaultValue, quint64 missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getULongLong(field, defaultValue) : missing;
}

double V2DataProvider::readDouble(const QString& path, const QString& field, double defaultValue, double missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getDouble(field, defaultValue) : missing;
}

bool V2DataProvider::readBool(const QString& path, const QString& field, bool defaultValue, bool missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getBool(field, defaultValue) : missing;
}

QStringList V2DataProvider::childKeys(const QString& path) const
{
    return keysOf(node(path));
}

int V2DataProvider::childCount(const QString& path) const
{
    const V2_Data* found = node(path);
    return found ? found->datas()->size() : 0;
}

double V2DataProvider::speedInUnit(double kmh) const
{
    return m_usaUnits ? kmh * KMH_TO_MPH : kmh;
}

// ---------------------------------------------------------------------------
// Session and track

QString V2DataProvider::getSessionName() const
{
    return readString(kInfo, QStringLiteral("name"));
}

qint64 V2DataProvider::getSessionDate() const
{
    return readLongLong(kInfo, QStringLiteral("date"), 0, 0);
}

int V2DataProvider::getSessionDbId() const
{
    return readInt(kInfo, QStringLiteral("sessionDbId"), 0, 0);
}

QString V2DataProvider::getChampName() const
{
    return readString(kInfo, QStringLiteral("champName"));
}

QString V2DataProvider::getChampShortName() const
{
    return readString(kInfo, QStringLiteral("champShortName"));
}

QString V2DataProvider::getEventName() const
{
    return readString(kInfo, QStringLiteral("eventName"));
}

QString V2DataProvider::getEventShortName() const
{
    return readString(kInfo, QStringLiteral("eventShortName"));
}

bool V2DataProvider::isChampEndurance() const
{
    return readBool(kInfo, QStringLiteral("champIsEndurance"), false, false);
}

bool V2DataProvider::isChampBikes() const
{
    return readBool(kInfo, QStringLiteral("champIsBikes"), false, false);
}

bool V2DataProvider::isRace() const
{
    return readString(kInfo, QStringLiteral("type")) == QLatin1String("RACE");
}

bool V2DataProvider::isSessionClosed() const
{
    return readBool(kStatus, QStringLiteral("isClosed"), false, false);
}

bool V2DataProvider::isSessionFinished() const
{
    return readBool(kStatus, QStringLiteral("isFinished"), false, false);
}

int V2DataProvider::getSessionElapsedLaps() const
{
    return readInt(kStatus, QStringLiteral("elapsedLaps"), 0, 0);
}

QString V2DataProvider::getCurrentFlag() const
{
    return readString(kStatus, QStringLiteral("currentFlag"), QStringLiteral("NONE"));
}

QString V2DataProvider::getTrackName() const
{
    return readString(kTrackInfo, QStringLiteral("name"));
}

QString V2DataProvider::getTrackCountry() const
{
    return readString(kTrackInfo, QStringLiteral("country"));
}

int V2DataProvider::getNumberOfSectors() const
{
    return readInt(kTrackInfo, QStringLiteral("numberOfSectors"), 0, 0);
}

QStringList V2DataProvider::getTrackSections() const
{
    return childKeys(kTrackInfo + QStringLiteral(".sections"));
}

QStringList V2DataProvider::getTimingLoopNames() const
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

QStringList V2DataProvider::getEntryList() const
{
    return childKeys(QStringLiteral("timing.session.entry"));
}

QString V2DataProvider::getParticipantClass(const QString& pNum) const
{
    return readString(kEntry + pNum, QStringLiteral("class"));
}

QString V2DataProvider::getParticipantTeam(const QString& pNum) const
{
    return readString(kEntry + pNum, QStringLiteral("team"));
}

QString V2DataProvider::getParticipantVehicle(const QString& pNum) const
{
    return readString(kEntry + pNum, QStringLiteral("vehicle"));
}

QString V2DataProvider::formattedDriver(const V2_Data* entry, int driverIndex) const
{
    if (!entry || driverIndex == -1)
        return QString();
    const V2_Data* drivers = entry->getInLevelV2_Data(QStringLiteral("drivers"));
    const V2_Data* driver = drivers ? drivers->getInLevelV2_Data(QString::number(driverIndex)) : nullptr;
    return driver ? formatName(driver) : QString();
}

QString V2DataProvider::getDriverName(const QString& pNum, int driverIndex) const
{
    return formattedDriver(node(kEntry + pNum), driverIndex);
}

QString V2DataProvider::getCurrentDriverName(const QString& pNum) const
{
    const int current = readInt(kDetails + pNum, QStringLiteral("currentDriver"), -1, -1);
    return current == -1 ? QString() : getDriverName(pNum, current);
}

QStringList V2DataProvider::getClasses() const
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

QString V2DataProvider::standingPath(int position, const QString& className) const
{
    if (className.isEmpty())
        return kStandings + QStringLiteral("overall.active.") + QString::number(position);
    return kStandings + QStringLiteral("byClass.active.%1.standings.%2").arg(className).arg(position);
}

int V2DataProvider::getStandingsCount(const QString& className) const
{
    if (className.isEmpty())
        return childCount(kStandings + QStringLiteral("overall.active"));
    return childCount(kStandings + QStringLiteral("byClass.active.%1.standings").arg(className));
}

int V2DataProvider::getFinishLineStandingsCount(const QString& className) const
{
    if (className.isEmpty())
        return childCount(kStandings + QStringLiteral("overall.finishLine"));
    return childCount(kStandings + QStringLiteral("byClass.finishLine.%1.standings").arg(className));
}

QString V2DataProvider::getParticipantAtPosition(int position, const QString& className) const
{
    return readString(standingPath(position, className), QStringLiteral("participant"));
}

QString V2DataProvider::getParticipantAtFinishLinePosition(int position, const QString& className) const
{
    const QString path = className.isEmpty()
        ? kStandings + QStringLiteral("overall.finishLine.") + QString::number(position)
        : kStandings + QStringLiteral("byClass.finishLine.%1.standings.%2").arg(className).arg(position);
    return readString(path, QStringLiteral("participant"));
}

QString V2DataProvider::getStandingStatus(int position, const QString& className) const
{
    return readString(standingPath(position, className), QStringLiteral("status"));
}

double V2DataProvider::getGapFirstTime(int position, const QString& className) const
{
    return readDouble(standingPath(position, className), QStringLiteral("gapFirstTime"), -1.0, -1.0);
}

int V2DataProvider::getGapFirstLaps(int position, const QString& className) const
{
    return std::abs(readInt(standingPath(position, className), QStringLiteral("gapFirstLaps"), 0, 0));
}

double V2DataProvider::getGapPreviousTime(int position, const QString& className) const
{
    return readDouble(standingPath(position, className), QStringLiteral("gapPreviousTime"), -1.0, -1.0);
}

int V2DataProvider::getGapPreviousLaps(int position, const QString& className) const
{
    return std::abs(readInt(standingPath(position, className), QStringLiteral("gapPreviousLaps"), 0, 0));
}

// ---------------------------------------------------------------------------
// Participant details

int V2DataProvider::getCurrentLap(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("currentLap"), -1, -1);
}

int V2DataProvider::getCurrentSector(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("currentSector"), 0, 0);
}

int V2DataProvider::getElapsedLaps(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("elapsedLaps"), -1, -1);
}

int V2DataProvider::getElapsedLapsOrZero(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("elapsedLaps"), 0, 0);
}

int V2DataProvider::getPitStops(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("pitStops"), INT_MAXIMUM, 0);
}

int V2DataProvider::getTrackLimitsInfractions(const QString& pNum) const
{
    return readInt(kDetails + pNum, QStringLiteral("trackLimitsInfractions"), 0, 0);
}

bool V2DataProvider::isRunning(const QString& pNum) const
{
    return readBool(kDetails + pNum, QStringLiteral("running"), false, false);
}

QString V2DataProvider::getParticipantStatus(const QString& pNum) const
{
    const V2_Data* details = node(kDetails + pNum);
    if (!details)
        return QString();
    if (details->getBool(QStringLiteral("hasSeenCheckered"), false))
        return QStringLiteral("CHECKERED");
    return details->getString(QStringLiteral("status"));
}

quint64 V2DataProvider::getLastLapTime(const QString& pNum) const
{
    return readTime(kDetails + pNum + QStringLiteral(".lastLap"), QStringLiteral("time"), NO_TIME, 0);
}

bool V2DataProvider::isLastLapValid(const QString& pNum) const
{
    return readBool(kDetails + pNum + QStringLiteral(".lastLap"), QStringLiteral("isValid"), true, true);
}

quint64 V2DataProvider::getLastSectorTime(const QString& pNum, int sector) const
{
    return readTime(kDetails + pNum + QStringLiteral(".lastSectors.") + QString::number(sector), QStringLiteral("time"), 0, 0);
}

bool V2DataProvider::isLastSectorValid(const QString& pNum, int sector) const
{
    return readBool(kDetails + pNum + QStringLiteral(".lastSectors.") + QString::number(sector), QStringLiteral("isValid"), true, true);
}

quint64 V2DataProvider::getBestLapTime(const QString& pNum) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("time"), NO_TIME, 0);
}

quint64 V2DataProvider::getBestLapTimeOrNone(const QString& pNum) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("time"), NO_TIME, NO_TIME);
}

int V2DataProvider::getBestLapNumber(const QString& pNum) const
{
    return readInt(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("number"), 0, 0);
}

int V2DataProvider::getBestLapNumberOrMax(const QString& pNum) const
{
    return readInt(kDetails + pNum + QStringLiteral(".bestLap"), QStringLiteral("number"), INT_MAXIMUM, 0);
}

QString V2DataProvider::getBestLapDriverName(const QString& pNum) const
{
    const V2_Data* best = node(kDetails + pNum + QStringLiteral(".bestLap"));
    return best ? getDriverName(pNum, best->getInt(QStringLiteral("driver"), INT_MAXIMUM)) : QString();
}

quint64 V2DataProvider::getBestSectorTime(const QString& pNum, int sector) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

quint64 V2DataProvider::getBestSectorTimeOrNone(const QString& pNum, int sector) const
{
    return readTime(kDetails + pNum + QStringLiteral(".bestSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, NO_TIME);
}

bool V2DataProvider::hasLapSectorTrackLimits(const QString& pNum, int sector) const
{
    const QString lap = QString::number(getCurrentLap(pNum));
    return readBool(kLaps + pNum + QStringLiteral(".laps.") + lap, QStringLiteral("sectors.%1.trackLimits").arg(sector), false, false);
}

// ---------------------------------------------------------------------------
// Session bests and starting grid

quint64 V2DataProvider::getSessionBestLapTime() const
{
    return readTime(QStringLiteral("timing.session.bestResults.overall.lap"), QStringLiteral("time"), NO_TIME, 0);
}

quint64 V2DataProvider::getSessionBestSectorTime(int sector) const
{
    return readTime(QStringLiteral("timing.session.bestResults.overall.sectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

QStringList V2DataProvider::getStartingGridPositions() const
{
    return childKeys(QStringLiteral("timing.session.startingGrid.positions"));
}

QString V2DataProvider::getStartingGridParticipant(const QString& position) const
{
    return readString(QStringLiteral("timing.session.startingGrid.positions.") + position, QStringLiteral("participant"));
}

// ---------------------------------------------------------------------------
// Lap analysis records

V2DataProvider::ParticipantValues V2DataProvider::participantValues(const QString& pNum) const
{
    ParticipantValues values;
    values.pNum = pNum;
    const V2_Data* details = node(kDetails + pNum);
    const V2_Data* best = details ? details->getInLevelV2_Data(QStringLiteral("bestSectors")) : nullptr;
    for (int s = 0; s < 4; ++s) {
        const V2_Data* sector = best ? best->getInLevelV2_Data(QString::number(s + 1)) : nullptr;
        values.bestSectorTime[s] = sector ? sector->getULongLong(QStringLiteral("time"), NO_TIME) : 0;
    }
    const V2_Data* bestLap = details ? details->getInLevelV2_Data(QStringLiteral("bestLap")) : nullptr;
    values.bestLapTime = bestLap ? bestLap->getULongLong(QStringLiteral("time"), NO_TIME) : 0;
    values.bestTopSpeed = details ? speedInUnit(details->getDouble(QStringLiteral("bestTopSpeed"), 0.0)) : 0.0;
    return values;
}

QStringList V2DataProvider::withFinishLine(QStringList loopNames)
{
    if (!loopNames.isEmpty() && loopNames.last() != kFinishLine)
        loopNames.append(kFinishLine);
    return loopNames;
}

QList<LapAnalysisRecord::LoopPair> V2DataProvider::getLoopSectorPairs() const
{
    const QStringList names = withFinishLine(getTimingLoopNames());
    QList<LapAnalysisRecord::LoopPair> pairs;
    for (int i = 0; i + 1 < names.size(); ++i)
        pairs.append({names.at(i), names.at(i + 1)});
    return pairs;
}

V2DataProvider::LapValues V2DataProvider::readLap(const V2_Data* lap, const QString& pNum, const QString& lapKey) const
{
    LapValues values;
    values.lap = lap;
    values.pNum = pNum;
    values.lapNumber = lapKey.toInt();
    if (!lap)
        return values;
    values.startTime = lap->getULongLong(QStringLiteral("startTime"), 0);
    values.lapTime = lap->getULongLong(QStringLiteral("time"), 0);
    // The sort key adds the lap time as a 32-bit value.
    values.endTime = values.startTime + static_cast<quint64>(static_cast<qint64>(static_cast<qint32>(values.lapTime)));
    values.topSpeed = speedInUnit(lap->getDouble(QStringLiteral("topSpeed"), 0.0));
    const V2_Data* sectors = lap->getInLevelV2_Data(QStringLiteral("sectors"));
    const V2_Data* sections = lap->getInLevelV2_Data(QStringLiteral("sections"));
    for (int s = 0; s < 4; ++s) {
        if (const V2_Data* sector = sectors ? sectors->getInLevelV2_Data(kDigits[s]) : nullptr) {
            values.sectorExists[s] = true;
            values.sectorTime[s] = sector->getULongLong(QStringLiteral("time"), NO_TIME);
            values.sectorValid[s] = sector->getBool(QStringLiteral("isValid"), true);
            values.sectorTrackLimits[s] = sector->getBool(QStringLiteral("trackLimits"), false);
        }
        if (const V2_Data* section = sections ? sections->getInLevelV2_Data(kSectionNames[s]) : nullptr) {
            values.sectionExists[s] = true;
            values.sectionTime[s] = section->getULongLong(QStringLiteral("time"), NO_TIME);
            values.sectionDayTime[s] = section->getULongLong(QStringLiteral("dayTime"), NO_TIME);
            values.sectionValid[s] = section->getBool(QStringLiteral("isValid"), true);
        }
    }
    return values;
}

LapAnalysisRecord V2DataProvider::buildLapRecord(const LapValues& values, ParticipantValues& participant, const QStringList& loopNames) const
{
    LapAnalysisRecord record;
    // The identity is kept even without a lap node, so the record can be found again.
    record.pNum = values.pNum;
    record.lapNumber = values.lapNumber;
    record.rowPosition = record.lapNumber - 1;
    const V2_Data* lap = values.lap;
    if (!lap)
        return record;

    record.startTime = values.startTime;
    record.lapEndTime = values.endTime;
    record.lapTime = values.lapTime;
    record.driver = lap->getInt(QStringLiteral("driver"), 0);
    auto name = participant.driverNames.constFind(record.driver);
    if (name == participant.driverNames.cend())
        name = participant.driverNames.insert(record.driver, getDriverName(participant.pNum, record.driver));
    record.driverName = name.value();
    for (int s = 0; s < 4; ++s) {
        record.sectorTime[s] = values.sectorTime[s];
        record.sectorValid[s] = values.sectorValid[s];
        // This lap's own marks (the participant's current lap may be another one).
        record.sectorTrackLimits[s] = values.sectorTrackLimits[s];
        record.bestSectorTime[s] = participant.bestSectorTime[s];
        record.sectionTime[s] = values.sectionTime[s];
        record.sectionDayTime[s] = values.sectionDayTime[s];
    }
    record.bestLapTime = participant.bestLapTime;
    record.topSpeed = values.topSpeed;
    record.bestTopSpeed = participant.bestTopSpeed;
    record.position = lap->getInt(QStringLiteral("position"), 0);
    record.isValid = lap->getBool(QStringLiteral("isValid"), true);
    if (const V2_Data* pitIn = lap->getInLevelV2_Data(QStringLiteral("pitIn"))) {
        record.hasPitIn = true;
        record.pitInTime = pitIn->getULongLong(QStringLiteral("time"), 0);
    }
    record.hasPitOut = lap->getInLevelV2_Data(QStringLiteral("pitOut")) != nullptr;

    if (loopNames.size() >= 2) {
        const V2_Data* loops = lap->getInLevelV2_Data(QStringLiteral("loopSectors"));
        QVarLengthArray<quint64, 16> passing(loopNames.size());
        for (int i = 1; i <= loopNames.size(); ++i) {
            const V2_Data* loop = loops ? loops->getInLevelV2_Data(i <= 4 ? kDigits[i - 1] : QString::number(i)) : nullptr;
            passing[i - 1] = loop ? loop->getULongLong(QStringLiteral("time"), 0) : 0;
        }
        record.loopSegments.insert({loopNames.at(0), loopNames.at(1)}, passing[0]);
        for (int i = 1; i + 1 < loopNames.size(); ++i) {
            if (passing[i] >= passing[i - 1])
                record.loopSegments.insert({loopNames.at(i), loopNames.at(i + 1)}, passing[i] - passing[i - 1]);
        }
    }
    return record;
}

namespace {

// Section and sector records read a missing time as 0.
quint64 orZero(quint64 time)
{
    return time == NO_TIME ? 0 : time;
}

} // namespace

SectionRecord V2DataProvider::buildSectionRecord(const LapValues& values, int section)
{
    SectionRecord record;
    record.pNum = values.pNum;
    record.lapNumber = values.lapNumber;
    if (!values.sectionExists[section])
        return record;
    record.dayTime = orZero(values.sectionDayTime[section]);
    record.time = orZero(values.sectionTime[section]);
    record.isValid = values.sectionValid[section];
    return record;
}

AccSectionRecord V2DataProvider::buildAccSectionRecord(const LapValues& values)
{
    AccSectionRecord record;
    record.pNum = values.pNum;
    record.lapNumber = values.lapNumber;
    const quint64 t6DayTime = values.sectionExists[2] ? orZero(values.sectionDayTime[2]) : 0;
    const quint64 t7DayTime = values.sectionExists[3] ? orZero(values.sectionDayTime[3]) : 0;
    record.dayTime = t6DayTime != 0 ? t6DayTime : t7DayTime;
    for (int s = 2; s < 4; ++s)
        record.time += values.sectionExists[s] ? orZero(values.sectionTime[s]) : 0;
    // The T7 flag counts only when T6 is valid.
    record.isValid = values.sectionValid[2] && values.sectionValid[3];
    return record;
}

SpeedRecord V2DataProvider::buildSpeedRecord(const LapValues& values)
{
    SpeedRecord record;
    record.pNum = values.pNum;
    record.lapNumber = values.lapNumber;
    if (!values.lap)
        return record;
    record.dayTime = values.endTime;
    record.topSpeed = values.topSpeed;
    return record;
}

SectorRecord V2DataProvider::buildSectorRecord(const LapValues& values, int sector)
{
    SectorRecord record;
    record.pNum = values.pNum;
    record.lapNumber = values.lapNumber;
    if (!values.lap)
        return record;
    // The sector ends after the existing sectors up to it; a missing one adds nothing.
    record.dayTime = values.startTime;
    for (int s = 0; s <= sector; ++s)
        record.dayTime += values.sectorExists[s] ? orZero(values.sectorTime[s]) : 0;
    if (values.sectorExists[sector]) {
        record.time = orZero(values.sectorTime[sector]);
        record.isValid = values.sectorValid[sector];
    }
    return record;
}

SectorRecord V2DataProvider::getLastSectorRecord(const QString& pNum, int sector) const
{
    SectorRecord record;
    record.pNum = pNum;
    const V2_Data* details = node(kDetails + pNum);
    if (!details)
        return record;
    record.dayTime = details->getInt(QStringLiteral("currentSector"), 0) == 1
        ? details->getULongLong(QStringLiteral("lastLap.lapStartTime"), 0)
        : details->getULongLong(QStringLiteral("currentLapStartTime"), 0);
    const V2_Data* last = details->getInLevelV2_Data(QStringLiteral("lastSectors"));
    for (int s = 1; s <= sector; ++s) {
        const V2_Data* found = last ? last->getInLevelV2_Data(QString::number(s)) : nullptr;
        if (!found) {
            if (s == sector)
                record.time = 0;
            continue;
        }
        record.dayTime += found->getULongLong(QStringLiteral("time"), 0);
        record.time = found->getULongLong(QStringLiteral("time"), 0);
        record.isValid = found->getBool(QStringLiteral("isValid"), true);
    }
    return record;
}

// ---------------------------------------------------------------------------
// Lap analysis caches

void V2DataProvider::clearCaches()
{
    m_laps.clear();
    m_porscheSections.clear();
    m_fordSections.clear();
    m_accSections.clear();
    m_speeds.clear();
    for (auto& sector : m_sectors)
        sector.clear();
    m_lapIndex.clear();
}

void V2DataProvider::processAnalysis()
{
    // Records are gathered first and filed in key order, which is much
    // cheaper than filing them one by one into the sorted maps.
    clearCaches();
    const QStringList loopNames = withFinishLine(getTimingLoopNames());
    QVector<QString> ids;
    QVector<LapAnalysisRecord> laps;
    QVector<SectionRecord> porsche;
    QVector<SectionRecord> ford;
    QVector<AccSectionRecord> acc;
    QVector<SpeedRecord> speeds;
    QVector<SectorRecord> sectors[4];
    // Each participant's laps node, looked up once.
    QVector<QPair<QString, const V2_Data*>> cars;
    int count = 0;
    for (const QString& pNum : getEntryList()) {
        if (const V2_Data* lapsNode = node(kLaps + pNum + QStringLiteral(".laps"))) {
            cars.append({pNum, lapsNode});
            count += lapsNode->datas()->size();
        }
    }
    ids.reserve(count);
    laps.reserve(count);
    porsche.reserve(count);
    ford.reserve(count);
    acc.reserve(count);
    speeds.reserve(count);
    for (auto& sector : sectors)
        sector.reserve(count);
    for (const auto& car : qAsConst(cars)) {
        const QString& pNum = car.first;
        const V2_Data* lapsNode = car.second;
        ParticipantValues participant = participantValues(pNum);
        for (auto it = lapsNode->datas()->cbegin(); it != lapsNode->datas()->cend(); ++it) {
            const LapValues values = readLap(V2_Data::nodeOf(it.value()), pNum, it.key());
            ids.append(pNum + QLatin1Char('-') + it.key());
            laps.append(buildLapRecord(values, participant, loopNames));
            porsche.append(buildSectionRecord(values, 0));
            ford.append(buildSectionRecord(values, 1));
            acc.append(buildAccSectionRecord(values));
            speeds.append(buildSpeedRecord(values));
            for (int s = 0; s < 4; ++s)
                sectors[s].append(buildSectorRecord(values, s));
        }
    }
    m_lapIndex.reserve(ids.size());
    for (int i = 0; i < ids.size(); ++i) {
        LapKeys& keys = m_lapIndex[ids.at(i)];
        keys.key[LapKind] = laps.at(i).sortKey();
        keys.key[PorscheKind] = porsche.at(i).sortKey();
        keys.key[FordKind] = ford.at(i).sortKey();
        keys.key[AccKind] = acc.at(i).sortKey();
        keys.key[SpeedKind] = speeds.at(i).sortKey();
        for (int s = 0; s < 4; ++s)
            keys.key[SectorKind + s] = sectors[s].at(i).sortKey();
    }
    m_laps.rebuild(laps);
    m_porscheSections.rebuild(porsche);
    m_fordSections.rebuild(ford);
    m_accSections.rebuild(acc);
    m_speeds.rebuild(speeds);
    for (int s = 0; s < 4; ++s)
        m_sectors[s].rebuild(sectors[s]);
    emit analysisProcessed();
}

void V2DataProvider::processAnalysisLapsByPnumAndLap(QString pNum, QString lapKey)
{
    const LapValues values = readLap(node(kLaps + pNum + QStringLiteral(".laps.") + lapKey), pNum, lapKey);
    ParticipantValues participant = participantValues(pNum);
    const QString id = pNum + QLatin1Char('-') + lapKey;
    const bool known = m_lapIndex.contains(id);
    LapKeys& keys = m_lapIndex[id];

    const LapAnalysisRecord lap = buildLapRecord(values, participant, withFinishLine(getTimingLoopNames()));
    auto result = m_laps.update(known, keys.key[LapKind], lap);
    keys.key[LapKind] = lap.sortKey();
    if (result.isNew)
        emit analysysLapsUpdateByRow(result.position, true, false);
    const SectionRecord porsche = buildSectionRecord(values, 0);
    result = m_porscheSections.update(known, keys.key[PorscheKind], porsche);
    keys.key[PorscheKind] = porsche.sortKey();
    if (result.isNew)
        emit analysysLapsUpdateByRowSection(result.position, true, kPorsche, false);
    const SectionRecord ford = buildSectionRecord(values, 1);
    result = m_fordSections.update(known, keys.key[FordKind], ford);
    keys.key[FordKind] = ford.sortKey();
    if (result.isNew)
        emit analysysLapsUpdateByRowSection(result.position, true, kFord, false);
    const AccSectionRecord acc = buildAccSectionRecord(values);
    result = m_accSections.update(known, keys.key[AccKind], acc);
    keys.key[AccKind] = acc.sortKey();
    if (result.isNew)
        emit analysysLapsUpdateByRowSectionAcc(result.position, true, false);
    const SpeedRecord speed = buildSpeedRecord(values);
    result = m_speeds.update(known, keys.key[SpeedKind], speed);
    keys.key[SpeedKind] = speed.sortKey();
    if (result.isNew)
        emit analysysLapsUpdateByRowSectionSpeed(result.position, true, false);
    for (int s = 0; s < 4; ++s) {
        const SectorRecord sector = buildSectorRecord(values, s);
        result = m_sectors[s].update(known, keys.key[SectorKind + s], sector);
        keys.key[SectorKind + s] = sector.sortKey();
        if (result.isNew)
            emit analysysLapsUpdateByRowSector(result.position, true, s + 1, false);
    }
    emit analysisLapsByPnumAndLap(pNum, lapKey);
}

void V2DataProvider::onAnalysisLapsEnd()
{
    const QList<int> laps = m_laps.takeChangedRows();
    const QList<int> porsche = m_porscheSections.takeChangedRows();
    const QList<int> ford = m_fordSections.takeChangedRows();
    const QList<int> acc = m_accSections.takeChangedRows();
    const QList<int> speeds = m_speeds.takeChangedRows();
    QMap<int, QList<int>> sectors;
    for (int s = 1; s <= 4; ++s) {
        const QList<int> rows = m_sectors[s - 1].takeChangedRows();
        if (!rows.isEmpty())
            sectors.insert(s, rows);
    }
    emit analysysLapsUpdateByRowList(laps);
    emit analysysSectionUpdateByRowList(porsche, kPorsche);
    emit analysysSectionUpdateByRowList(ford, kFord);
    emit analysysAccUpdateByRowList(acc);
    emit analysysSpeedUpdateByRowList(speeds);
    emit analysysSectorUpdateByRowMap(sectors);
}

void V2DataProvider::deleteLapAnalysisData(QString pNum, QString lapKey)
{
    const auto indexed = m_lapIndex.constFind(pNum + QLatin1Char('-') + lapKey);
    if (indexed == m_lapIndex.cend())
        return;
    const LapKeys keys = indexed.value();
    m_lapIndex.erase(indexed);
    const int lapNumber = lapKey.toInt();

    int position = m_laps.remove(keys.key[LapKind], pNum, lapNumber);
    if (position >= 0)
        emit analysysLapsUpdateByRow(position, false, true);
    position = m_porscheSections.remove(keys.key[PorscheKind], pNum, lapNumber);
    if (position >= 0)
        emit analysysLapsUpdateByRowSection(position, false, kPorsche, true);
    position = m_fordSections.remove(keys.key[FordKind], pNum, lapNumber);
    if (position >= 0)
        emit analysysLapsUpdateByRowSection(position, false, kFord, true);
    position = m_accSections.remove(keys.key[AccKind], pNum, lapNumber);
    if (position >= 0)
        emit analysysLapsUpdateByRowSectionAcc(position, false, true);
    position = m_speeds.remove(keys.key[SpeedKind], pNum, lapNumber);
    if (position >= 0)
        emit analysysLapsUpdateByRowSectionSpeed(position, false, true);
    for (int s = 0; s < 4; ++s) {
        position = m_sectors[s].remove(keys.key[SectorKind + s], pNum, lapNumber);
        if (position >= 0)
            emit analysysLapsUpdateByRowSector(position, false, s + 1, true);
    }
}

void V2DataProvider::cleanAnalysis()
{
    clearCaches();
    emit analysisProcessed();
}

const V2DataProvider::LapRows& V2DataProvider::getLapRows() const
{
    return m_laps.rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getLapRowPositions() const
{
    return m_laps.rowPositions();
}

const V2DataProvider::SectionRows& V2DataProvider::getPorscheSectionRows() const
{
    return m_porscheSections.rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getPorscheSectionRowPositions() const
{
    return m_porscheSections.rowPositions();
}

const V2DataProvider::SectionRows& V2DataProvider::getFordSectionRows() const
{
    return m_fordSections.rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getFordSectionRowPositions() const
{
    return m_fordSections.rowPositions();
}

const V2DataProvider::AccSectionRows& V2DataProvider::getAccSectionRows() const
{
    return m_accSections.rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getAccSectionRowPositions() const
{
    return m_accSections.rowPositions();
}

const V2DataProvider::SpeedRows& V2DataProvider::getSpeedRows(bool convert)
{
    if (convert) {
        // Stored speeds are in the unit in force when they were built.
        for (auto it = m_speeds.rows().begin(); it != m_speeds.rows().end(); ++it)
            it->topSpeed = m_usaUnits ? it->topSpeed * KMH_TO_MPH : it->topSpeed / KMH_TO_MPH;
    }
    return m_speeds.rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getSpeedRowPositions() const
{
    return m_speeds.rowPositions();
}

const V2DataProvider::SectorRows* V2DataProvider::getSectorRows(int sector) const
{
    return sector >= 1 && sector <= 4 ? &m_sectors[sector - 1].rows() : nullptr;
}

const V2DataProvider::RowPositions* V2DataProvider::getSectorRowPositions(int sector) const
{
    return sector >= 1 && sector <= 4 ? &m_sectors[sector - 1].rowPositions() : nullptr;
}

// ---------------------------------------------------------------------------
// Pits and stints

QStringList V2DataProvider::getPitInParticipants() const
{
    return childKeys(QStringLiteral("timing.analysis.pitIn"));
}

QStringList V2DataProvider::getPitInKeys(const QString& pNum) const
{
    return childKeys(kPitIn + pNum + QStringLiteral(".pits"));
}

QString V2DataProvider::getPitInDriverName(const QString& pNum, const QString& pitKey) const
{
    const V2_Data* pit = node(kPitIn + pNum + QStringLiteral(".pits.") + pitKey);
    return pit ? getDriverName(pNum, pit->getInt(QStringLiteral("driver"), -1)) : QString();
}

int V2DataProvider::getPitInDriver(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitIn + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("driver"), 0, 0);
}

int V2DataProvider::getPitInLapNumber(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitIn + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("lapNumber"), -1, 0);
}

int V2DataProvider::getLastPitInLap(const QString& pNum) const
{
    const V2_Data* pits = node(kPitIn + pNum + QStringLiteral(".pits"));
    if (!pits || pits->datas()->isEmpty())
        return 0;
    const V2_Data* last = V2_Data::nodeOf(pits->datas()->last());
    return last ? last->getInt(QStringLiteral("lapNumber"), INT_MAXIMUM) : 0;
}

quint64 V2DataProvider::getLastPitInKey(const QString& pNum) const
{
    return lastKeyOf(node(kPitIn + pNum + QStringLiteral(".pits")));
}

quint64 V2DataProvider::getLastPitOutKey(const QString& pNum) const
{
    return lastKeyOf(node(kPitOut + pNum + QStringLiteral(".pits")));
}

QStringList V2DataProvider::getPitOutParticipants() const
{
    return childKeys(QStringLiteral("timing.analysis.pitOut"));
}

QStringList V2DataProvider::getPitOutKeys(const QString& pNum) const
{
    return childKeys(kPitOut + pNum + QStringLiteral(".pits"));
}

QString V2DataProvider::getPitOutDriverName(const QString& pNum, const QString& pitKey) const
{
    const V2_Data* pit = node(kPitOut + pNum + QStringLiteral(".pits.") + pitKey);
    return pit ? getDriverName(pNum, pit->getInt(QStringLiteral("driver"), -1)) : QString();
}

int V2DataProvider::getPitOutDriver(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitOut + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("driver"), 0, 0);
}

int V2DataProvider::getPitOutLapNumber(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitOut + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("lapNumber"), -1, 0);
}

quint64 V2DataProvider::getPitTime(const QString& pNum, const QString& pitKey) const
{
    return readTime(kPitOut + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("pitTime"), 0, 0);
}

void V2DataProvider::buildPitInIndex()
{
    m_pitInLaps.clear();
    for (const QString& pNum : getEntryList()) {
        const V2_Data* pits = node(kPitIn + pNum + QStringLiteral(".pits"));
        QList<int> laps;
        for (const QString& key : keysOf(pits))
            laps.append(pits->getInt(key + QStringLiteral(".lapNumber"), -1));
        m_pitInLaps.insert(pNum, laps);
    }
}

void V2DataProvider::processAnalysisPitIn()
{
    buildPitInIndex();
}

bool V2DataProvider::isPitInLap(const QString& pNum, const QString& lapKey)
{
    if (m_pitInLaps.isEmpty() && !getEntryList().isEmpty())
        buildPitInIndex();
    return m_pitInLaps.value(pNum).contains(lapKey.toInt());
}

QStringList V2DataProvider::getStintKeys(const QString& pNum) const
{
    return childKeys(kStints + pNum + QStringLiteral(".stints"));
}

int V2DataProvider::getStintDriver(const QString& pNum, const QString& stintKey) const
{
    return readInt(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("driver"), -1, -1);
}

QString V2DataProvider::getStintDriverName(const QString& pNum, const QString& stintKey) const
{
    const V2_Data* stint = node(kStints + pNum + QStringLiteral(".stints.") + stintKey);
    return stint ? getDriverName(pNum, stint->getInt(QStringLiteral("driver"), -1)) : QString();
}

QString V2DataProvider::getStintType(const QString& pNum, const QString& stintKey) const
{
    return readString(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("type"));
}

QString V2DataProvider::getStintPitType(const QString& pNum, const QString& stintKey) const
{
    return readString(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("pitType"));
}

quint64 V2DataProvider::getStintStartTime(const QString& pNum, const QString& stintKey) const
{
    return readTime(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("startTime"), 0, 0);
}

quint64 V2DataProvider::getStintFinishTime(const QString& pNum, const QString& stintKey) const
{
    return readTime(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("finishTime"), 0, 0);
}

quint64 V2DataProvider::getStintDriverAccumTime(const QString& pNum, const QString& stintKey) const
{
    return readTime(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("driverAccumTime"), 0, 0);
}

QPair<int, int> V2DataProvider::getStintLaps(const QString& pNum, const QString& stintKey) const
{
    const V2_Data* stint = node(kStints + pNum + QStringLiteral(".stints.") + stintKey);
    if (!stint)
        return {0, 0};
    return {stint->getInt(QStringLiteral("openLapNumber"), 0), stint->getInt(QStringLiteral("closeLapNumber"), 0)};
}

// ---------------------------------------------------------------------------
// Other analysis values

int V2DataProvider::getLapPosition(const QString& pNum, const QString& lapKey) const
{
    const V2_Data* lap = node(kLaps + pNum + QStringLiteral(".laps.") + lapKey);
    return lap ? lap->getInt(QStringLiteral("position"), 0) : 0;
}

QStringList V2DataProvider::getLapKeys(const QString& pNum) const
{
    return childKeys(kLaps + pNum + QStringLiteral(".laps"));
}

double V2DataProvider::getLapTopSpeed(const QString& pNum, const QString& lapKey) const
{
    const V2_Data* lap = node(kLaps + pNum + QStringLiteral(".laps.") + lapKey);
    return lap ? lap->getDouble(QStringLiteral("topSpeed"), 0.0) : 0.0;
}

quint64 V2DataProvider::getLapSectionDayTime(const QString& pNum, const QString& lapKey, const QString& section) const
{
    return readTime(sectionPath(pNum, lapKey, section), QStringLiteral("dayTime"), 0, 0);
}

quint64 V2DataProvider::getLapSectionTime(const QString& pNum, const QString& lapKey, const QString& section) const
{
    return readTime(sectionPath(pNum, lapKey, section), QStringLiteral("time"), 0, 0);
}

bool V2DataProvider::isLapSectionValid(const QString& pNum, const QString& lapKey, const QString& section) const
{
    return readBool(sectionPath(pNum, lapKey, section), QStringLiteral("isValid"), true, true);
}

// ---------------------------------------------------------------------------
// Followed cars

void V2DataProvider::setCarToFollow(int panelId, const QString& pNum)
{
    m_followedByPanel.insert(panelId, pNum);
    m_followedCars.insert(pNum, m_followColors.value(panelId));
    emit onCarToFollowChanged();
}

void V2DataProvider::removeCarToFollow(int panelId)
{
    const QString pNum = m_followedByPanel.value(panelId);
    m_followedCars.remove(pNum);
    m_followedByPanel.remove(panelId);
    emit onCarToFollowChanged();
}

void V2DataProvider::setFollowColor(int panelId, const QColor& color)
{
    m_followColors.insert(panelId, color);
}

QString V2DataProvider::getCarToFollow(int panelId) const
{
    return m_followedByPanel.value(panelId);
}

bool V2DataProvider::isCarFollowedByOtherPanel(int panelId, const QString& pNum) const
{
    for (auto it = m_followedByPanel.cbegin(); it != m_followedByPanel.cend(); ++it) {
        if (it.key() != panelId && it.value() == pNum)
            return true;
    }
    return false;
}

QStringList V2DataProvider::getFollowedCars() const
{
    return m_followedCars.keys();
}

QColor V2DataProvider::getFollowColor(const QString& pNum) const
{
    return m_followedCars.value(pNum);
}

QList<int> V2DataProvider::getFollowPanelIds() const
{
    QList<int> ids = m_followColors.keys();
    for (int id : m_followedByPanel.keys()) {
        if (!m_followColors.contains(id))
            ids.append(id);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// ---------------------------------------------------------------------------
// Race control, flags, pit lights

QStringList V2DataProvider::getRaceControlMessageKeys() const
{
    return childKeys(QStringLiteral("raceControl.messages"));
}

QString V2DataProvider::getRaceControlGroupText(const QString& key) const
{
    return readString(kRaceControl + key, QStringLiteral("groupText"));
}

QString V2DataProvider::getRaceControlText(const QString& key) const
{
    return readString(kRaceControl + key, QStringLiteral("text"));
}

quint64 V2DataProvider::getRaceControlDayTime(const QString& key) const
{
    return readTime(kRaceControl + key, QStringLiteral("dayTime"), 0, 0);
}

QStringList V2DataProvider::getFlagKeys() const
{
    return childKeys(QStringLiteral("timing.session.flags"));
}

QString V2DataProvider::getFlagType(const QString& key) const
{
    const V2_Data* flag = node(kFlags + key);
    return flag ? flag->getString(QStringLiteral("type"), QStringLiteral("NONE")) : QString();
}

quint64 V2DataProvider::getFlagTime(const QString& key) const
{
    return readTime(kFlags + key, QStringLiteral("time"), 0, 0);
}

qint64 V2DataProvider::getFlagElapsed(const QString& key) const
{
    return readLongLong(kFlags + key, QStringLiteral("elapsed"), -1, -1);
}

int V2DataProvider::getFlagSector(const QString& key) const
{
    return readInt(kFlags + key, QStringLiteral("sector"), 0, 0);
}

QString V2DataProvider::getFlagInfo(const QString& key) const
{
    return readString(kFlags + key, QStringLiteral("info"));
}

qint64 V2DataProvider::getPitEntryStatus() const
{
    return readLongLong(QStringLiteral("signalling.pitEntry"), QStringLiteral("status"), 0, 0);
}

qint64 V2DataProvider::getPitExitStatus() const
{
    return readLongLong(QStringLiteral("signalling.pitExit"), QStringLiteral("status"), 0, 0);
}

// ---------------------------------------------------------------------------
// Weather

float V2DataProvider::getCurrentAmbientTemperature() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("ambientTemperature"), 0.0, 0.0));
}

float V2DataProvider::getCurrentTrackTemperature() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("trackTemperature"), 0.0, 0.0));
}

float V2DataProvider::getCurrentHumidity() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("humidity"), 0.0, 0.0));
}

float V2DataProvider::getCurrentPressure() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("pressure"), 0.0, 0.0));
}

float V2DataProvider::getCurrentWindSpeed() const
{
    return static_cast<float>(readDouble(QStringLiteral("weather.currentData"), QStringLiteral("windSpeed"), 0.0, 0.0));
}

int V2DataProvider::getCurrentWindDirection() const
{
    return readInt(QStringLiteral("weather.currentData"), QStringLiteral("windDirection"), 0, 0);
}

QStringList V2DataProvider::getWeatherSampleKeys() const
{
    QStringList sampled;
    const QStringList keys = childKeys(QStringLiteral("weather.sessionData"));
    if (keys.isEmpty())
        return sampled;
    const double first = keys.first().toDouble();
    double mark = keys.last().toDouble() - m_weatherWindowMs;
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

float V2DataProvider::getSampleAmbientTemperature(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("ambientTemperature"), 0.0, 0.0));
}

float V2DataProvider::getSampleTrackTemperature(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("trackTemperature"), 0.0, 0.0));
}

float V2DataProvider::getSampleHumidity(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("humidity"), 0.0, 0.0));
}

float V2DataProvider::getSamplePressure(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("pressure"), 0.0, 0.0));
}

float V2DataProvider::getSampleWindSpeed(const QString& key) const
{
    return static_cast<float>(readDouble(kWeatherSample + key, QStringLiteral("windSpeed"), 0.0, 0.0));
}

// ---------------------------------------------------------------------------
// Tyres

TyresRecord V2DataProvider::getTyresData(const QString& pNum) const
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

void V2DataProvider::onErrorReceived(QString error)
{
    if (error.contains(QLatin1String("tyres.session")) && error.contains(QLatin1String("Unknown")) && error.contains(QLatin1String("channel")))
        emit disableTyresData();
}

// ---------------------------------------------------------------------------
// Additional standings

int V2DataProvider::getFastestLapStandingsCount() const
{
    return childCount(kFastestLap);
}

QString V2DataProvider::getFastestLapStandingParticipant(int position) const
{
    return readString(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("participant"));
}

quint64 V2DataProvider::getFastestLapStandingTime(int position) const
{
    return readTime(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("time"), 0, 0);
}

int V2DataProvider::getFastestLapStandingLap(int position) const
{
    return readInt(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("lap"), -1, -1);
}

double V2DataProvider::getFastestLapStandingGap(int position) const
{
    return readDouble(kFastestLap + QLatin1Char('.') + QString::number(position), QStringLiteral("gap"), -1.0, -1.0);
}

int V2DataProvider::getSectorStandingsCount(int sector) const
{
    return childCount(kBySector + QString::number(sector) + QStringLiteral(".standings"));
}

QString V2DataProvider::getSectorStandingParticipant(int position, int sector) const
{
    return readString(kBySector + QStringLiteral("%1.standings.%2").arg(sector).arg(position), QStringLiteral("participant"));
}

quint64 V2DataProvider::getSectorStandingTime(int position, int sector) const
{
    return readTime(kBySector + QStringLiteral("%1.standings.%2").arg(sector).arg(position), QStringLiteral("time"), 0, 0);
}

double V2DataProvider::getSectorStandingGap(int position, int sector) const
{
    return readDouble(kBySector + QStringLiteral("%1.standings.%2").arg(sector).arg(position), QStringLiteral("gap"), -1.0, -1.0);
}

int V2DataProvider::getTopSpeedStandingsCount() const
{
    return childCount(kTopSpeed);
}

QString V2DataProvider::getTopSpeedStandingParticipant(int position) const
{
    return readString(kTopSpeed + QLatin1Char('.') + QString::number(position), QStringLiteral("participant"));
}

double V2DataProvider::getTopSpeedStandingSpeed(int position) const
{
    return speedInUnit(readDouble(kTopSpeed + QLatin1Char('.') + QString::number(position), QStringLiteral("speed"), 0.0, 0.0));
}

// ---------------------------------------------------------------------------
// Combined standings

QString V2DataProvider::getCombinedType() const
{
    return readString(QStringLiteral("timing.combined.info"), QStringLiteral("type"));
}

int V2DataProvider::getCombinedSessionsCount() const
{
    return childCount(QStringLiteral("timing.combined.info.sessions"));
}

int V2DataProvider::getCombinedStandingsCount() const
{
    return childCount(kCombinedStandings);
}

QString V2DataProvider::getCombinedParticipantAtPosition(int position) const
{
    return readString(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("number"));
}

QString V2DataProvider::getCombinedStatus(int position) const
{
    return readString(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("status"));
}

quint64 V2DataProvider::getCombinedTime(int position) const
{
    return readTime(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("time"), 0, 0);
}

double V2DataProvider::getCombinedGapFirst(int position) const
{
    return readDouble(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("gapFirst"), -1.0, -1.0);
}

double V2DataProvider::getCombinedGapPrevious(int position) const
{
    return readDouble(kCombinedStandings + QLatin1Char('.') + QString::number(position), QStringLiteral("gapPrevious"), -1.0, -1.0);
}

QString V2DataProvider::getCombinedParticipantClass(const QString& pNum) const
{
    return readString(kCombinedEntry + pNum, QStringLiteral("class"));
}

QString V2DataProvider::getCombinedParticipantName(const QString& pNum) const
{
    const V2_Data* entry = node(kCombinedEntry + pNum);
    if (!entry)
        return QString();
    if (isChampEndurance())
        return entry->getString(QStringLiteral("team"));
    return formattedDriver(entry, 1);
}

quint64 V2DataProvider::getCombinedFastestLapTime(const QString& pNum) const
{
    return readTime(kCombinedDetails + pNum, QStringLiteral("fastestLapTime"), 0, 0);
}

quint64 V2DataProvider::getCombinedFastestSectorTime(const QString& pNum, int sector) const
{
    return readTime(kCombinedDetails + pNum + QStringLiteral(".fastestSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

quint64 V2DataProvider::getCombinedFastestLapSectorTime(const QString& pNum, int sector) const
{
    return readTime(kCombinedDetails + pNum + QStringLiteral(".fastestLapSectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

quint64 V2DataProvider::getCombinedSessionResultTime(const QString& pNum, quint64 sessionIndex) const
{
    return readTime(kCombinedDetails + pNum + QStringLiteral(".sessionsResults.") + QString::number(sessionIndex), QStringLiteral("time"), 0, 0);
}

quint64 V2DataProvider::getCombinedBestLapTime() const
{
    return readTime(QStringLiteral("timing.combined.bestResults.overall.lap"), QStringLiteral("time"), NO_TIME, 0);
}

quint64 V2DataProvider::getCombinedBestSectorTime(int sector) const
{
    return readTime(QStringLiteral("timing.combined.bestResults.overall.sectors.") + QString::number(sector), QStringLiteral("time"), NO_TIME, 0);
}

// ---------------------------------------------------------------------------
// Track limits

QList<TrackLimitsRecord> V2DataProvider::getTrackLimits() const
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
