#pragma once

#include "TreeReader.h"

// The session, track, entry, classes, standings and participant details as
// the provider's getters read them. Each getter reads the mirror when called.
class SessionReader : public TreeReader
{
public:
    // Session
    QString getSessionName() const;
    qint64 getSessionDate() const;
    int getSessionDbId() const;
    QString getChampName() const;
    QString getChampShortName() const;
    QString getEventName() const;
    QString getEventShortName() const;
    bool isChampEndurance() const;
    bool isChampBikes() const;
    bool isRace() const;
    bool isSessionClosed() const;
    bool isSessionFinished() const;
    int getSessionElapsedLaps() const;
    QString getCurrentFlag() const;
    // Milliseconds since the epoch; -1 when unknown.
    qint64 getSessionStartTime() const;

    // Track
    QString getTrackName() const;
    QString getTrackCountry() const;
    int getNumberOfSectors() const;
    QStringList getTrackSections() const;
    QStringList getTimingLoopNames() const;

    // Entry and classes
    QStringList getEntryList() const;
    QString getParticipantClass(const QString& pNum) const;
    QString getParticipantTeam(const QString& pNum) const;
    QString getParticipantVehicle(const QString& pNum) const;
    // Drivers are numbered from 1 within their entry: a lap's "driver", the
    // current driver and getDriverName use these numbers.
    QString getDriverName(const QString& pNum, int driverIndex) const;
    // The numbers of an entry's drivers, ascending; empty for an unknown car.
    QList<int> getDriverNumbers(const QString& pNum) const;
    QString getCurrentDriverName(const QString& pNum) const;
    QStringList getClasses() const;

    // Standings; an empty class name selects the overall standings.
    int getStandingsCount(const QString& className) const;
    int getFinishLineStandingsCount(const QString& className) const;
    QString getParticipantAtPosition(int position, const QString& className) const;
    QString getParticipantAtFinishLinePosition(int position, const QString& className) const;
    QString getStandingStatus(int position, const QString& className) const;
    double getGapFirstTime(int position, const QString& className) const;
    int getGapFirstLaps(int position, const QString& className) const;
    double getGapPreviousTime(int position, const QString& className) const;
    int getGapPreviousLaps(int position, const QString& className) const;

    // Participant details
    int getCurrentLap(const QString& pNum) const;
    int getCurrentSector(const QString& pNum) const;
    int getElapsedLaps(const QString& pNum) const;
    int getElapsedLapsOrZero(const QString& pNum) const;
    int getPitStops(const QString& pNum) const;
    int getTrackLimitsInfractions(const QString& pNum) const;
    bool isRunning(const QString& pNum) const;
    QString getParticipantStatus(const QString& pNum) const;
    quint64 getLastLapTime(const QString& pNum) const;
    bool isLastLapValid(const QString& pNum) const;
    quint64 getLastSectorTime(const QString& pNum, int sector) const;
    bool isLastSectorValid(const QString& pNum, int sector) const;
    quint64 getBestLapTime(const QString& pNum) const;
    quint64 getBestLapTimeOrNone(const QString& pNum) const;
    int getBestLapNumber(const QString& pNum) const;
    int getBestLapNumberOrMax(const QString& pNum) const;
    QString getBestLapDriverName(const QString& pNum) const;
    quint64 getBestSectorTime(const QString& pNum, int sector) const;
    quint64 getBestSectorTimeOrNone(const QString& pNum, int sector) const;
    bool hasLapSectorTrackLimits(const QString& pNum, int sector) const;

    // Session bests and starting grid
    quint64 getSessionBestLapTime() const;
    quint64 getSessionBestSectorTime(int sector) const;
    QStringList getStartingGridPositions() const;
    QString getStartingGridParticipant(const QString& position) const;

protected:
    SessionReader() = default;
    ~SessionReader() = default;

private:
    QString standingPath(int position, const QString& className) const;
};
