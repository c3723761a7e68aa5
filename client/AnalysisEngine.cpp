#include "AnalysisEngine.h"

#include "AnalysisReader.h"
#include "TimingConstants.h"
#include "V2_Data.h"

#include <QVarLengthArray>
#include <QVector>

#include <algorithm>
#include <iterator>

using TimingConstants::NO_TIME;

namespace {

const QString& kDetails = TreeReader::kDetailsPath;
const QString& kLaps = TreeReader::kLapsPath;
const QString kDigits[4] = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")};
// Section and sector records read a missing time as 0.
quint64 orZero(quint64 time)
{
    return time == NO_TIME ? 0 : time;
}

// A section record of a lap that passed the section: it has a time of day.
// Laps that have not reached it, or went by the pit lane, have none.
template <typename Record>
bool passed(const Record& record)
{
    return record.dayTime != 0;
}

} // namespace

AnalysisEngine::AnalysisEngine(const AnalysisReader& reader)
    : m_reader(reader)
{
}

// ---------------------------------------------------------------------------
// Lap analysis records

AnalysisEngine::ParticipantValues AnalysisEngine::participantValues(const QString& pNum) const
{
    ParticipantValues values;
    values.pNum = pNum;
    const V2_Data* details = m_reader.node(kDetails + pNum);
    const V2_Data* best = details ? details->getInLevelV2_Data(QStringLiteral("bestSectors")) : nullptr;
    for (int s = 0; s < 4; ++s) {
        const V2_Data* sector = best ? best->getInLevelV2_Data(QString::number(s + 1)) : nullptr;
        values.bestSectorTime[s] = sector ? sector->getULongLong(QStringLiteral("time"), NO_TIME) : 0;
    }
    const V2_Data* bestLap = details ? details->getInLevelV2_Data(QStringLiteral("bestLap")) : nullptr;
    values.bestLapTime = bestLap ? bestLap->getULongLong(QStringLiteral("time"), NO_TIME) : 0;
    values.bestTopSpeed = details ? m_reader.speedInUnit(details->getDouble(QStringLiteral("bestTopSpeed"), 0.0)) : 0.0;
    return values;
}

namespace {

// A value as the tree's typed getters read it: the default for a missing
// value or one of another kind.
quint64 ulongOf(const QVariant* value, quint64 defaultValue)
{
    return V2_Data::isNumber(value->userType()) ? value->toULongLong() : defaultValue;
}

bool boolOf(const QVariant* value, bool defaultValue)
{
    return value->userType() == QMetaType::Bool ? value->toBool() : defaultValue;
}

// A loop's number as the tree files it ("1", "2", ...; -1 for any other key).
int loopNumber(const QString& key)
{
    if (key.isEmpty() || key.size() > 4 || key.at(0) == QLatin1Char('0'))
        return -1;
    int number = 0;
    for (const QChar c : key) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        number = number * 10 + (c.unicode() - '0');
    }
    return number;
}

// A sector's or a section's number among the four (-1 for another).
int indexIn(const QString& key, const QString (&names)[4])
{
    for (int i = 0; i < 4; ++i) {
        if (key == names[i])
            return i;
    }
    return -1;
}

} // namespace

// Each node of the lap is gone through once, rather than looked up field by
// field: a 24-hour race holds tens of thousands of laps to read at login.
AnalysisEngine::LapValues AnalysisEngine::readLap(const V2_Data* lap, const QString& pNum, const QString& lapKey) const
{
    LapValues values;
    values.lap = lap;
    values.pNum = pNum;
    values.lapNumber = lapKey.toInt();
    if (!lap)
        return values;
    double topSpeed = 0.0;
    for (auto it = lap->datas()->cbegin(); it != lap->datas()->cend(); ++it) {
        const QString& key = it.key();
        const QVariant* value = it.value();
        if (key == QLatin1String("startTime")) {
            values.startTime = ulongOf(value, 0);
        } else if (key == QLatin1String("time")) {
            values.lapTime = ulongOf(value, 0);
        } else if (key == QLatin1String("topSpeed")) {
            topSpeed = V2_Data::isNumber(value->userType()) ? value->toDouble() : 0.0;
        } else if (key == QLatin1String("driver")) {
            values.driver = V2_Data::isNumber(value->userType()) ? value->toInt() : 0;
        } else if (key == QLatin1String("position")) {
            values.position = V2_Data::isNumber(value->userType()) ? value->toInt() : 0;
        } else if (key == QLatin1String("isValid")) {
            values.isValid = boolOf(value, true);
        } else if (key == QLatin1String("pitIn")) {
            values.pitIn = V2_Data::nodeOf(value);
        } else if (key == QLatin1String("loopSectors")) {
            values.loopSectors = V2_Data::nodeOf(value);
        } else if (key == QLatin1String("pitOut")) {
            values.hasPitOut = V2_Data::nodeOf(value) != nullptr;
        } else if (key == QLatin1String("sectors")) {
            readSectors(V2_Data::nodeOf(value), values);
        } else if (key == QLatin1String("sections")) {
            readSections(V2_Data::nodeOf(value), values);
        }
    }
    // The sort key adds the lap time as a 32-bit value.
    values.endTime = values.startTime + static_cast<quint64>(static_cast<qint64>(static_cast<qint32>(values.lapTime)));
    values.topSpeed = m_reader.speedInUnit(topSpeed);
    return values;
}

void AnalysisEngine::readSectors(const V2_Data* sectors, LapValues& values)
{
    if (!sectors)
        return;
    for (auto it = sectors->datas()->cbegin(); it != sectors->datas()->cend(); ++it) {
        const int s = indexIn(it.key(), kDigits);
        const V2_Data* sector = V2_Data::nodeOf(it.value());
        if (s < 0 || !sector)
            continue;
        values.sectorExists[s] = true;
        for (auto field = sector->datas()->cbegin(); field != sector->datas()->cend(); ++field) {
            if (field.key() == QLatin1String("time"))
                values.sectorTime[s] = ulongOf(field.value(), NO_TIME);
            else if (field.key() == QLatin1String("isValid"))
                values.sectorValid[s] = boolOf(field.value(), true);
            else if (field.key() == QLatin1String("trackLimits"))
                values.sectorTrackLimits[s] = boolOf(field.value(), false);
        }
    }
}

void AnalysisEngine::readSections(const V2_Data* sections, LapValues& values)
{
    if (!sections)
        return;
    // Looked up by name: a lap holds many other sections (one per timing
    // loop pair), and few of these four.
    for (int s = 0; s < 4; ++s) {
        const V2_Data* section = sections->getInLevelV2_Data(TimingConstants::NAMED_SECTIONS[s]);
        if (!section)
            continue;
        values.sectionExists[s] = true;
        for (auto field = section->datas()->cbegin(); field != section->datas()->cend(); ++field) {
            if (field.key() == QLatin1String("time"))
                values.sectionTime[s] = ulongOf(field.value(), NO_TIME);
            else if (field.key() == QLatin1String("dayTime"))
                values.sectionDayTime[s] = ulongOf(field.value(), NO_TIME);
            else if (field.key() == QLatin1String("isValid"))
                values.sectionValid[s] = boolOf(field.value(), true);
        }
    }
}

AnalysisEngine::LoopLayout AnalysisEngine::loopLayout(const QStringList& names)
{
    LoopLayout layout;
    layout.names = names;
    for (int i = 0; i + 1 < names.size(); ++i) {
        layout.pairs.append({names.at(i), names.at(i + 1)});
        layout.order.append(i);
    }
    std::stable_sort(layout.order.begin(), layout.order.end(), [&layout](int a, int b) { return layout.pairs.at(a) < layout.pairs.at(b); });
    return layout;
}

LapAnalysisRecord AnalysisEngine::buildLapRecord(const LapValues& values, ParticipantValues& participant, const LoopLayout& loops) const
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
    record.driver = values.driver;
    auto name = participant.driverNames.constFind(record.driver);
    if (name == participant.driverNames.cend())
        name = participant.driverNames.insert(record.driver, m_reader.getDriverName(participant.pNum, record.driver));
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
    record.position = values.position;
    record.isValid = values.isValid;
    if (values.pitIn) {
        record.hasPitIn = true;
        record.pitInTime = values.pitIn->getULongLong(QStringLiteral("time"), 0);
    }
    record.hasPitOut = values.hasPitOut;

    const int loopCount = loops.names.size();
    if (loopCount >= 2) {
        // Passings are filed under the loop's number, 1 for the first.
        QVarLengthArray<quint64, 16> passing(loopCount);
        std::fill(passing.begin(), passing.end(), 0);
        if (values.loopSectors) {
            for (auto it = values.loopSectors->datas()->cbegin(); it != values.loopSectors->datas()->cend(); ++it) {
                const int number = loopNumber(it.key());
                const V2_Data* loop = V2_Data::nodeOf(it.value());
                if (number >= 1 && number <= loopCount && loop)
                    passing[number - 1] = loop->getULongLong(QStringLiteral("time"), 0);
            }
        }
        // In key order, each at the end: no search. An equal pair later in
        // the track replaces the earlier one, as it always has. A missed
        // passing (0) has no time: a segment next to it gets none either,
        // rather than the time since the line.
        for (int i : loops.order) {
            if (passing[i] == 0 || (i > 0 && passing[i - 1] == 0))
                continue;
            if (i == 0)
                record.loopSegments.insert(record.loopSegments.cend(), loops.pairs.at(0), passing[0]);
            else if (passing[i] >= passing[i - 1])
                record.loopSegments.insert(record.loopSegments.cend(), loops.pairs.at(i), passing[i] - passing[i - 1]);
        }
    }
    return record;
}

SectionRecord AnalysisEngine::buildSectionRecord(const LapValues& values, int section)
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

AccSectionRecord AnalysisEngine::buildAccSectionRecord(const LapValues& values)
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

SpeedRecord AnalysisEngine::buildSpeedRecord(const LapValues& values)
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

SectorRecord AnalysisEngine::buildSectorRecord(const LapValues& values, int sector)
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


// ---------------------------------------------------------------------------
// Lap analysis caches

void AnalysisEngine::clear()
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

void AnalysisEngine::rebuild()
{
    // Records are gathered first and filed in key order, which is much
    // cheaper than filing them one by one into the sorted maps.
    clear();
    const LoopLayout loops = loopLayout(AnalysisReader::withFinishLine(m_reader.getTimingLoopNames()));
    QVector<QString> ids;
    QVector<LapAnalysisRecord> laps;
    QVector<SectionRecord> porsche;
    QVector<SectionRecord> ford;
    QVector<AccSectionRecord> acc;
    QVector<SpeedRecord> speeds;
    QVector<SectorRecord> sectors[4];
    // The keys of each lap's section records, also of those not filed.
    QVector<quint64> sectionKeys[3];
    // Each participant's laps node, looked up once.
    QVector<QPair<QString, const V2_Data*>> cars;
    int count = 0;
    for (const QString& pNum : m_reader.getEntryList()) {
        if (const V2_Data* lapsNode = m_reader.node(kLaps + pNum + QStringLiteral(".laps"))) {
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
            laps.append(buildLapRecord(values, participant, loops));
            const SectionRecord porscheRecord = buildSectionRecord(values, 0);
            const SectionRecord fordRecord = buildSectionRecord(values, 1);
            const AccSectionRecord accRecord = buildAccSectionRecord(values);
            if (passed(porscheRecord))
                porsche.append(porscheRecord);
            if (passed(fordRecord))
                ford.append(fordRecord);
            if (passed(accRecord))
                acc.append(accRecord);
            sectionKeys[0].append(porscheRecord.sortKey());
            sectionKeys[1].append(fordRecord.sortKey());
            sectionKeys[2].append(accRecord.sortKey());
            speeds.append(buildSpeedRecord(values));
            for (int s = 0; s < 4; ++s)
                sectors[s].append(buildSectorRecord(values, s));
        }
    }
    m_lapIndex.reserve(ids.size());
    for (int i = 0; i < ids.size(); ++i) {
        LapKeys& keys = m_lapIndex[ids.at(i)];
        keys.key[LapKind] = laps.at(i).sortKey();
        keys.key[PorscheKind] = sectionKeys[0].at(i);
        keys.key[FordKind] = sectionKeys[1].at(i);
        keys.key[AccKind] = sectionKeys[2].at(i);
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
}

namespace {

// Files one record under its kind, keeps its key, and notes a new row.
template <typename Record>
void file(AnalysisCache<Record>& cache, bool known, quint64& key, const Record& record, int& newRow)
{
    const AnalysisCacheUpdate result = cache.update(known, key, record);
    key = record.sortKey();
    newRow = result.isNew ? result.position : -1;
}

// The same for a section record, which only a lap that passed the section
// has: otherwise a record filed earlier is taken out (its row to dropped).
template <typename Record>
void fileSection(AnalysisCache<Record>& cache, bool known, quint64& key, const Record& record, int& newRow, int& dropped)
{
    dropped = -1;
    if (passed(record)) {
        file(cache, known, key, record, newRow);
        return;
    }
    newRow = -1;
    if (known)
        dropped = cache.remove(key, record.pNum, record.lapNumber);
    key = record.sortKey();
}

} // namespace

AnalysisEngine::KindRows AnalysisEngine::update(const QString& pNum, const QString& lapKey, KindRows* dropped)
{
    KindRows gone;
    std::fill(std::begin(gone.row), std::end(gone.row), -1);
    const LapValues values = readLap(m_reader.node(kLaps + pNum + QStringLiteral(".laps.") + lapKey), pNum, lapKey);
    ParticipantValues participant = participantValues(pNum);
    const QString id = pNum + QLatin1Char('-') + lapKey;
    const bool known = m_lapIndex.contains(id);
    LapKeys& keys = m_lapIndex[id];
    KindRows rows;
    file(m_laps, known, keys.key[LapKind], buildLapRecord(values, participant, loopLayout(AnalysisReader::withFinishLine(m_reader.getTimingLoopNames()))),
         rows.row[LapKind]);
    fileSection(m_porscheSections, known, keys.key[PorscheKind], buildSectionRecord(values, 0), rows.row[PorscheKind], gone.row[PorscheKind]);
    fileSection(m_fordSections, known, keys.key[FordKind], buildSectionRecord(values, 1), rows.row[FordKind], gone.row[FordKind]);
    fileSection(m_accSections, known, keys.key[AccKind], buildAccSectionRecord(values), rows.row[AccKind], gone.row[AccKind]);
    file(m_speeds, known, keys.key[SpeedKind], buildSpeedRecord(values), rows.row[SpeedKind]);
    for (int s = 0; s < 4; ++s)
        file(m_sectors[s], known, keys.key[SectorKind + s], buildSectorRecord(values, s), rows.row[SectorKind + s]);
    if (dropped)
        *dropped = gone;
    return rows;
}

AnalysisEngine::KindRows AnalysisEngine::remove(const QString& pNum, const QString& lapKey)
{
    KindRows rows;
    std::fill(std::begin(rows.row), std::end(rows.row), -1);
    const auto indexed = m_lapIndex.constFind(pNum + QLatin1Char('-') + lapKey);
    if (indexed == m_lapIndex.cend())
        return rows;
    const LapKeys keys = indexed.value();
    m_lapIndex.erase(indexed);
    const int lapNumber = lapKey.toInt();
    rows.row[LapKind] = m_laps.remove(keys.key[LapKind], pNum, lapNumber);
    rows.row[PorscheKind] = m_porscheSections.remove(keys.key[PorscheKind], pNum, lapNumber);
    rows.row[FordKind] = m_fordSections.remove(keys.key[FordKind], pNum, lapNumber);
    rows.row[AccKind] = m_accSections.remove(keys.key[AccKind], pNum, lapNumber);
    rows.row[SpeedKind] = m_speeds.remove(keys.key[SpeedKind], pNum, lapNumber);
    for (int s = 0; s < 4; ++s)
        rows.row[SectorKind + s] = m_sectors[s].remove(keys.key[SectorKind + s], pNum, lapNumber);
    return rows;
}

AnalysisEngine::ChangedRows AnalysisEngine::takeChangedRows()
{
    ChangedRows changed;
    changed.rows[LapKind] = m_laps.takeChangedRows();
    changed.rows[PorscheKind] = m_porscheSections.takeChangedRows();
    changed.rows[FordKind] = m_fordSections.takeChangedRows();
    changed.rows[AccKind] = m_accSections.takeChangedRows();
    changed.rows[SpeedKind] = m_speeds.takeChangedRows();
    for (int s = 0; s < 4; ++s)
        changed.rows[SectorKind + s] = m_sectors[s].takeChangedRows();
    return changed;
}

void AnalysisEngine::convertSpeeds(double factor)
{
    for (auto it = m_speeds.rows().begin(); it != m_speeds.rows().end(); ++it)
        it->topSpeed *= factor;
    for (auto it = m_laps.rows().begin(); it != m_laps.rows().end(); ++it) {
        it->topSpeed *= factor;
        it->bestTopSpeed *= factor;
    }
}
