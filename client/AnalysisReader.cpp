#include "AnalysisReader.h"

#include "TimingConstants.h"
#include "V2_Data.h"

namespace {

constexpr int INT_MAXIMUM = 2147483647;

const QString& kDetails = TreeReader::kDetailsPath;
const QString& kLaps = TreeReader::kLapsPath;
const QString kPitIn = QStringLiteral("timing.analysis.pitIn.");
const QString kPitOut = QStringLiteral("timing.analysis.pitOut.");
const QString kStints = QStringLiteral("timing.analysis.stints.");
const QString kFinishLine = QStringLiteral("FL");

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

// ---------------------------------------------------------------------------
// Pits and stints

QStringList AnalysisReader::getPitInParticipants() const
{
    return childKeys(QStringLiteral("timing.analysis.pitIn"));
}

QStringList AnalysisReader::getPitInKeys(const QString& pNum) const
{
    return childKeys(kPitIn + pNum + QStringLiteral(".pits"));
}

QString AnalysisReader::getPitInDriverName(const QString& pNum, const QString& pitKey) const
{
    const V2_Data* pit = node(kPitIn + pNum + QStringLiteral(".pits.") + pitKey);
    return pit ? getDriverName(pNum, pit->getInt(QStringLiteral("driver"), -1)) : QString();
}

int AnalysisReader::getPitInDriver(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitIn + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("driver"), 0, 0);
}

int AnalysisReader::getPitInLapNumber(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitIn + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("lapNumber"), -1, 0);
}

int AnalysisReader::getLastPitInLap(const QString& pNum) const
{
    const V2_Data* pits = node(kPitIn + pNum + QStringLiteral(".pits"));
    if (!pits || pits->datas()->isEmpty())
        return 0;
    const V2_Data* last = V2_Data::nodeOf(pits->datas()->last());
    return last ? last->getInt(QStringLiteral("lapNumber"), INT_MAXIMUM) : 0;
}

quint64 AnalysisReader::getLastPitInKey(const QString& pNum) const
{
    return lastKeyOf(node(kPitIn + pNum + QStringLiteral(".pits")));
}

quint64 AnalysisReader::getLastPitOutKey(const QString& pNum) const
{
    return lastKeyOf(node(kPitOut + pNum + QStringLiteral(".pits")));
}

QStringList AnalysisReader::getPitOutParticipants() const
{
    return childKeys(QStringLiteral("timing.analysis.pitOut"));
}

QStringList AnalysisReader::getPitOutKeys(const QString& pNum) const
{
    return childKeys(kPitOut + pNum + QStringLiteral(".pits"));
}

QString AnalysisReader::getPitOutDriverName(const QString& pNum, const QString& pitKey) const
{
    const V2_Data* pit = node(kPitOut + pNum + QStringLiteral(".pits.") + pitKey);
    return pit ? getDriverName(pNum, pit->getInt(QStringLiteral("driver"), -1)) : QString();
}

int AnalysisReader::getPitOutDriver(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitOut + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("driver"), 0, 0);
}

int AnalysisReader::getPitOutLapNumber(const QString& pNum, const QString& pitKey) const
{
    return readInt(kPitOut + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("lapNumber"), -1, 0);
}

quint64 AnalysisReader::getPitTime(const QString& pNum, const QString& pitKey) const
{
    return readTime(kPitOut + pNum + QStringLiteral(".pits.") + pitKey, QStringLiteral("pitTime"), 0, 0);
}

void AnalysisReader::rebuildPitInIndex()
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

QList<int> AnalysisReader::getPitInLapNumbers(const QString& pNum)
{
    if (m_pitInLaps.isEmpty() && !getEntryList().isEmpty())
        rebuildPitInIndex();
    return m_pitInLaps.value(pNum);
}

bool AnalysisReader::isPitInLap(const QString& pNum, const QString& lapKey)
{
    if (m_pitInLaps.isEmpty() && !getEntryList().isEmpty())
        rebuildPitInIndex();
    return m_pitInLaps.value(pNum).contains(lapKey.toInt());
}

QStringList AnalysisReader::getStintKeys(const QString& pNum) const
{
    return childKeys(kStints + pNum + QStringLiteral(".stints"));
}

int AnalysisReader::getStintDriver(const QString& pNum, const QString& stintKey) const
{
    return readInt(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("driver"), -1, -1);
}

QString AnalysisReader::getStintDriverName(const QString& pNum, const QString& stintKey) const
{
    const V2_Data* stint = node(kStints + pNum + QStringLiteral(".stints.") + stintKey);
    return stint ? getDriverName(pNum, stint->getInt(QStringLiteral("driver"), -1)) : QString();
}

QString AnalysisReader::getStintType(const QString& pNum, const QString& stintKey) const
{
    return readString(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("type"));
}

QString AnalysisReader::getStintPitType(const QString& pNum, const QString& stintKey) const
{
    return readString(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("pitType"));
}

quint64 AnalysisReader::getStintStartTime(const QString& pNum, const QString& stintKey) const
{
    return readTime(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("startTime"), 0, 0);
}

quint64 AnalysisReader::getStintFinishTime(const QString& pNum, const QString& stintKey) const
{
    return readTime(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("finishTime"), 0, 0);
}

quint64 AnalysisReader::getStintDriverAccumTime(const QString& pNum, const QString& stintKey) const
{
    return readTime(kStints + pNum + QStringLiteral(".stints.") + stintKey, QStringLiteral("driverAccumTime"), 0, 0);
}

QPair<int, int> AnalysisReader::getStintLaps(const QString& pNum, const QString& stintKey) const
{
    const V2_Data* stint = node(kStints + pNum + QStringLiteral(".stints.") + stintKey);
    if (!stint)
        return {0, 0};
    return {stint->getInt(QStringLiteral("openLapNumber"), 0), stint->getInt(QStringLiteral("closeLapNumber"), 0)};
}

// ---------------------------------------------------------------------------
// Other analysis values

int AnalysisReader::getLapPosition(const QString& pNum, const QString& lapKey) const
{
    const V2_Data* lap = node(kLaps + pNum + QStringLiteral(".laps.") + lapKey);
    return lap ? lap->getInt(QStringLiteral("position"), 0) : 0;
}

QVector<QPair<int, int>> AnalysisReader::getLapPositions(const QString& pNum) const
{
    QVector<QPair<int, int>> laps;
    const V2_Data* node = this->node(kLaps + pNum + QStringLiteral(".laps"));
    if (!node)
        return laps;
    laps.reserve(node->datas()->size());
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        const V2_Data* lap = V2_Data::nodeOf(it.value());
        laps.append({it.key().toInt(), lap ? lap->getInt(QStringLiteral("position"), 0) : 0});
    }
    return laps;
}

QVector<AnalysisReader::LapTiming> AnalysisReader::getLapTimings(const QString& pNum) const
{
    QVector<LapTiming> laps;
    const V2_Data* node = this->node(kLaps + pNum + QStringLiteral(".laps"));
    if (!node)
        return laps;
    laps.reserve(node->datas()->size());
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        const V2_Data* lap = V2_Data::nodeOf(it.value());
        LapTiming timing;
        timing.lap = it.key().toInt();
        if (lap) {
            timing.start = lap->getULongLong(QStringLiteral("startTime"), 0);
            timing.time = lap->getULongLong(QStringLiteral("time"), 0);
        }
        laps.append(timing);
    }
    return laps;
}

quint64 AnalysisReader::getLastLapEndTime(const QString& pNum) const
{
    quint64 end = 0;
    const V2_Data* node = this->node(kLaps + pNum + QStringLiteral(".laps"));
    if (!node)
        return end;
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        const V2_Data* lap = V2_Data::nodeOf(it.value());
        const quint64 time = lap ? lap->getULongLong(QStringLiteral("time"), 0) : 0;
        if (time != 0)
            end = qMax(end, lap->getULongLong(QStringLiteral("startTime"), 0) + time);
    }
    return end;
}

int AnalysisReader::getLapDriver(const QString& pNum, const QString& lapKey) const
{
    return readInt(kLaps + pNum + QStringLiteral(".laps.") + lapKey, QStringLiteral("driver"), -1, -1);
}

namespace {

// The driver of the car's lowest-numbered lap that matches; -1 when none does.
// Lap keys run in text order ("10" before "9"), so every lap is read.
template <typename Matches> int firstLapDriver(const V2_Data* laps, Matches matches)
{
    if (!laps)
        return -1;
    int firstLap = -1;
    int driver = -1;
    for (auto it = laps->datas()->cbegin(); it != laps->datas()->cend(); ++it) {
        const V2_Data* lap = V2_Data::nodeOf(it.value());
        const int number = it.key().toInt();
        if (!lap || (firstLap >= 0 && number >= firstLap) || !matches(*lap))
            continue;
        firstLap = number;
        driver = lap->getInt(QStringLiteral("driver"), -1);
    }
    return driver;
}

} // namespace

int AnalysisReader::getSectorTimeDriver(const QString& pNum, int sector, quint64 time) const
{
    if (time == 0)
        return -1;
    const QString path = QStringLiteral("sectors.%1.time").arg(sector);
    return firstLapDriver(node(kLaps + pNum + QStringLiteral(".laps")), [&](const V2_Data& lap) { return lap.getULongLong(path, 0) == time; });
}

int AnalysisReader::getTopSpeedDriver(const QString& pNum, double speed) const
{
    if (speed <= 0)
        return -1;
    // Equal as shown (tenths): a feed may round the standing's speed
    // otherwise than the lap's.
    const int shown = qRound(speed * 10);
    return firstLapDriver(node(kLaps + pNum + QStringLiteral(".laps")), [&](const V2_Data& lap) {
        return qRound(speedInUnit(lap.getDouble(QStringLiteral("topSpeed"), 0.0)) * 10) == shown;
    });
}

AnalysisReader::LapSummary AnalysisReader::getLap(const QString& pNum, const QString& lapKey) const
{
    LapSummary lap;
    const V2_Data* found = node(kLaps + pNum + QStringLiteral(".laps.") + lapKey);
    if (!found)
        return lap;
    lap.exists = true;
    lap.time = found->getULongLong(QStringLiteral("time"), TimingConstants::NO_TIME);
    lap.start = found->getULongLong(QStringLiteral("startTime"), 0);
    lap.driver = found->getInt(QStringLiteral("driver"), -1);
    lap.valid = found->getBool(QStringLiteral("isValid"), true);
    return lap;
}

QStringList AnalysisReader::getLapKeys(const QString& pNum) const
{
    return childKeys(kLaps + pNum + QStringLiteral(".laps"));
}

int AnalysisReader::getLapCount(const QString& pNum) const
{
    return childCount(kLaps + pNum + QStringLiteral(".laps"));
}

double AnalysisReader::getLapTopSpeed(const QString& pNum, const QString& lapKey) const
{
    const V2_Data* lap = node(kLaps + pNum + QStringLiteral(".laps.") + lapKey);
    return lap ? lap->getDouble(QStringLiteral("topSpeed"), 0.0) : 0.0;
}

quint64 AnalysisReader::getLapSectionDayTime(const QString& pNum, const QString& lapKey, const QString& section) const
{
    return readTime(sectionPath(pNum, lapKey, section), QStringLiteral("dayTime"), 0, 0);
}

quint64 AnalysisReader::getLapSectionTime(const QString& pNum, const QString& lapKey, const QString& section) const
{
    return readTime(sectionPath(pNum, lapKey, section), QStringLiteral("time"), 0, 0);
}

bool AnalysisReader::isLapSectionValid(const QString& pNum, const QString& lapKey, const QString& section) const
{
    return readBool(sectionPath(pNum, lapKey, section), QStringLiteral("isValid"), true, true);
}

QStringList AnalysisReader::withFinishLine(QStringList loopNames)
{
    if (!loopNames.isEmpty() && loopNames.last() != kFinishLine)
        loopNames.append(kFinishLine);
    return loopNames;
}

QList<LapAnalysisRecord::LoopPair> AnalysisReader::getLoopSectorPairs() const
{
    const QStringList names = withFinishLine(getTimingLoopNames());
    QList<LapAnalysisRecord::LoopPair> pairs;
    for (int i = 0; i + 1 < names.size(); ++i)
        pairs.append({names.at(i), names.at(i + 1)});
    return pairs;
}

SectorRecord AnalysisReader::getLastSectorRecord(const QString& pNum, int sector) const
{
    SectorRecord record;
    record.pNum = pNum;
    const V2_Data* details = node(kDetails + pNum);
    if (!details)
        return record;
    record.dayTime = details->getInt(QStringLiteral("currentSector"), 0) == 1
        ? details->getULongLong(QStringLiteral("lastLap.lapStartTime"), 0)
        : details->getULongLong(QStringLiteral("currentLapStartTime"), 0);
    // Without the lap's start the sum of the sectors is no time of day.
    if (record.dayTime == 0)
        return record;
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
