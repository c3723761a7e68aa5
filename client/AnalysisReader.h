#pragma once

#include "LapAnalysisRecord.h"
#include "SectorRecord.h"
#include "SessionReader.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QVector>

// Pits, stints and the values of single laps as the provider's getters read
// them, and the index of pit-entry laps.
class AnalysisReader : public SessionReader
{
public:
    // One lap of a car as the tree has it.
    struct LapSummary {
        bool exists = false;
        quint64 time = TimingConstants::NO_TIME; // NO_TIME when the lap has none
        quint64 start = 0;                       // its "startTime" (a day time); 0 when not given
        int driver = -1;                         // numbered from 1; -1 when not given
        bool valid = false;                      // a lap without the field counts
    };

    // Pits and stints
    QStringList getPitInParticipants() const;
    QStringList getPitInKeys(const QString& pNum) const;
    QString getPitInDriverName(const QString& pNum, const QString& pitKey) const;
    int getPitInDriver(const QString& pNum, const QString& pitKey) const;
    int getPitInLapNumber(const QString& pNum, const QString& pitKey) const;
    int getLastPitInLap(const QString& pNum) const;
    quint64 getLastPitInKey(const QString& pNum) const;
    quint64 getLastPitOutKey(const QString& pNum) const;
    QStringList getPitOutParticipants() const;
    QStringList getPitOutKeys(const QString& pNum) const;
    QString getPitOutDriverName(const QString& pNum, const QString& pitKey) const;
    int getPitOutDriver(const QString& pNum, const QString& pitKey) const;
    int getPitOutLapNumber(const QString& pNum, const QString& pitKey) const;
    quint64 getPitTime(const QString& pNum, const QString& pitKey) const;
    bool isPitInLap(const QString& pNum, const QString& lapKey);
    // The laps on which a car entered the pit lane.
    QList<int> getPitInLapNumbers(const QString& pNum);
    QStringList getStintKeys(const QString& pNum) const;
    int getStintDriver(const QString& pNum, const QString& stintKey) const;
    QString getStintDriverName(const QString& pNum, const QString& stintKey) const;
    QString getStintType(const QString& pNum, const QString& stintKey) const;
    QString getStintPitType(const QString& pNum, const QString& stintKey) const;
    quint64 getStintStartTime(const QString& pNum, const QString& stintKey) const;
    quint64 getStintFinishTime(const QString& pNum, const QString& stintKey) const;
    quint64 getStintDriverAccumTime(const QString& pNum, const QString& stintKey) const;
    QPair<int, int> getStintLaps(const QString& pNum, const QString& stintKey) const;

    // Other analysis values
    int getLapPosition(const QString& pNum, const QString& lapKey) const;
    QStringList getLapKeys(const QString& pNum) const;
    int getLapCount(const QString& pNum) const;
    // Every lap of a car as (lap number, position), read with one look-up.
    QVector<QPair<int, int>> getLapPositions(const QString& pNum) const;
    // A lap's start day time and lap time ("startTime", "time"); 0 where not given.
    struct LapTiming {
        int lap = 0;
        quint64 start = 0;
        quint64 time = 0;
    };
    // Every lap of a car with its timing, read with one look-up, in key order.
    QVector<LapTiming> getLapTimings(const QString& pNum) const;
    // The day time at which the car's latest completed lap ended; 0 without laps.
    quint64 getLastLapEndTime(const QString& pNum) const;
    // Who drove a lap: its "driver"; -1 when the lap or the field is missing.
    int getLapDriver(const QString& pNum, const QString& lapKey) const;
    // One lap's time, driver and validity with one look-up (a table of a
    // car's laps reads them so instead of scanning the lap caches).
    LapSummary getLap(const QString& pNum, const QString& lapKey) const;
    // Who drove the car's first lap with this time in sector (1 to 4); -1 when none has it.
    int getSectorTimeDriver(const QString& pNum, int sector, quint64 time) const;
    // Who drove the car's first lap with this top speed (in the unit in
    // force, as the top speed standing gives it); -1 when none has it.
    int getTopSpeedDriver(const QString& pNum, double speed) const;
    double getLapTopSpeed(const QString& pNum, const QString& lapKey) const;
    quint64 getLapSectionDayTime(const QString& pNum, const QString& lapKey, const QString& section) const;
    quint64 getLapSectionTime(const QString& pNum, const QString& lapKey, const QString& section) const;
    bool isLapSectionValid(const QString& pNum, const QString& lapKey, const QString& section) const;
    QList<LapAnalysisRecord::LoopPair> getLoopSectorPairs() const;
    SectorRecord getLastSectorRecord(const QString& pNum, int sector) const;

    // The timing loop names with the finish line "FL" appended when missing.
    static QStringList withFinishLine(QStringList loopNames);

protected:
    AnalysisReader() = default;
    ~AnalysisReader() = default;

    // Reads every participant's pit-entry laps again.
    void rebuildPitInIndex();

private:
    QHash<QString, QList<int>> m_pitInLaps;
};
