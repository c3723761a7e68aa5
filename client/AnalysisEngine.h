#pragma once

#include "AccSectionRecord.h"
#include "AnalysisCache.h"
#include "LapAnalysisRecord.h"
#include "SectionRecord.h"
#include "SectorRecord.h"
#include "SpeedRecord.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

class AnalysisReader;
class V2_Data;

// The sorted lap analysis caches (laps, the two named sections, the
// accumulated sections, speeds, sectors 1 to 4) and the engine that keeps
// them: a full rebuild from the mirror, one lap filed or replaced, one lap
// removed. It reports the rows it touched; the provider announces them.
class AnalysisEngine final
{
public:
    // The kinds of rows, and where each lap's records are filed.
    enum Kind {
        LapKind,
        PorscheKind,
        FordKind,
        AccKind,
        SpeedKind,
        SectorKind, // four in a row, sectors 1 to 4
        KindCount = SectorKind + 4,
    };
    // Per kind, the row a lap was filed in or removed from; -1 for none.
    struct KindRows {
        int row[KindCount];
    };
    // Per kind, the rows changed in place since the last batch end.
    struct ChangedRows {
        QList<int> rows[KindCount];
    };

    explicit AnalysisEngine(const AnalysisReader& reader);

    void clear();
    void rebuild();
    // Files or replaces the records of one lap; the rows of new records.
    // A lap that no longer has a section loses its record of it: the row it
    // held goes to dropped (when given).
    KindRows update(const QString& pNum, const QString& lapKey, KindRows* dropped = nullptr);
    // Removes the records of one lap; the rows they held.
    KindRows remove(const QString& pNum, const QString& lapKey);
    ChangedRows takeChangedRows();
    // Multiplies every cached speed (laps and speed rows) by factor.
    void convertSpeeds(double factor);

    const AnalysisCache<LapAnalysisRecord>& laps() const { return m_laps; }
    const AnalysisCache<SectionRecord>& porscheSections() const { return m_porscheSections; }
    const AnalysisCache<SectionRecord>& fordSections() const { return m_fordSections; }
    const AnalysisCache<AccSectionRecord>& accSections() const { return m_accSections; }
    const AnalysisCache<SpeedRecord>& speeds() const { return m_speeds; }
    const AnalysisCache<SectorRecord>& sectors(int index) const { return m_sectors[index]; }

private:
    // What the records of one participant share, read once per participant.
    struct ParticipantValues {
        QString pNum;
        quint64 bestSectorTime[4] = {0, 0, 0, 0};
        quint64 bestLapTime = 0;
        double bestTopSpeed = 0.0;
        QHash<int, QString> driverNames;
    };
    // Everything the records of one lap read from its node, read once.
    struct LapValues {
        const V2_Data* lap = nullptr;
        QString pNum;
        int lapNumber = 0;
        quint64 startTime = 0;
        quint64 lapTime = 0;
        quint64 endTime = 0;
        double topSpeed = 0.0;
        bool sectorExists[4] = {false, false, false, false};
        quint64 sectorTime[4] = {TimingConstants::NO_TIME, TimingConstants::NO_TIME, TimingConstants::NO_TIME, TimingConstants::NO_TIME};
        bool sectorValid[4] = {true, true, true, true};
        bool sectorTrackLimits[4] = {false, false, false, false};
        // Porsche, Ford, T6, T7
        bool sectionExists[4] = {false, false, false, false};
        quint64 sectionTime[4] = {TimingConstants::NO_TIME, TimingConstants::NO_TIME, TimingConstants::NO_TIME, TimingConstants::NO_TIME};
        quint64 sectionDayTime[4] = {TimingConstants::NO_TIME, TimingConstants::NO_TIME, TimingConstants::NO_TIME, TimingConstants::NO_TIME};
        bool sectionValid[4] = {true, true, true, true};
        int driver = 0;
        int position = 0;
        bool isValid = true;
        const V2_Data* pitIn = nullptr;
        bool hasPitOut = false;
        const V2_Data* loopSectors = nullptr;
    };
    // The timing loops in track order, the pairs of neighbours and the
    // order in which the pairs sort (equal pairs in track order): made once
    // per rebuild, so each lap files its segments without comparing names.
    struct LoopLayout {
        QStringList names;
        QVector<LapAnalysisRecord::LoopPair> pairs;
        QVector<int> order;
    };
    static LoopLayout loopLayout(const QStringList& names);
    struct LapKeys {
        quint64 key[KindCount];
    };

    ParticipantValues participantValues(const QString& pNum) const;
    LapValues readLap(const V2_Data* lap, const QString& pNum, const QString& lapKey) const;
    static void readSectors(const V2_Data* sectors, LapValues& values);
    static void readSections(const V2_Data* sections, LapValues& values);
    LapAnalysisRecord buildLapRecord(const LapValues& values, ParticipantValues& participant, const LoopLayout& loops) const;
    static SectionRecord buildSectionRecord(const LapValues& values, int section);
    static AccSectionRecord buildAccSectionRecord(const LapValues& values);
    static SpeedRecord buildSpeedRecord(const LapValues& values);
    static SectorRecord buildSectorRecord(const LapValues& values, int sector);

    const AnalysisReader& m_reader;
    AnalysisCache<LapAnalysisRecord> m_laps;
    AnalysisCache<SectionRecord> m_porscheSections;
    AnalysisCache<SectionRecord> m_fordSections;
    AnalysisCache<AccSectionRecord> m_accSections;
    AnalysisCache<SpeedRecord> m_speeds;
    AnalysisCache<SectorRecord> m_sectors[4];
    // Lap id ("7-12") to the keys its records are filed under.
    QHash<QString, LapKeys> m_lapIndex;
};
