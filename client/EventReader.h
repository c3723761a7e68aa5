#pragma once

#include "AnalysisReader.h"
#include "TrackLimitsRecord.h"
#include "TyresRecord.h"

// Race control, flags, pit lights, weather, tyres, the additional and
// combined standings and the track limits as the provider's getters read them.
class EventReader : public AnalysisReader
{
public:
    // Race control, flags, pit lights
    QStringList getRaceControlMessageKeys() const;
    QString getRaceControlGroupText(const QString& key) const;
    QString getRaceControlText(const QString& key) const;
    quint64 getRaceControlDayTime(const QString& key) const;
    QStringList getFlagKeys() const;
    QString getFlagType(const QString& key) const;
    quint64 getFlagTime(const QString& key) const;
    qint64 getFlagElapsed(const QString& key) const;
    int getFlagSector(const QString& key) const;
    QString getFlagInfo(const QString& key) const;
    qint64 getPitEntryStatus() const;
    qint64 getPitExitStatus() const;

    // Weather, in the server's units
    float getCurrentAmbientTemperature() const;
    float getCurrentTrackTemperature() const;
    float getCurrentHumidity() const;
    float getCurrentPressure() const;
    float getCurrentWindSpeed() const;
    int getCurrentWindDirection() const;
    // At most one key a minute over the last two hours.
    QStringList getWeatherSampleKeys() const;
    float getSampleAmbientTemperature(const QString& key) const;
    float getSampleTrackTemperature(const QString& key) const;
    float getSampleHumidity(const QString& key) const;
    float getSamplePressure(const QString& key) const;
    float getSampleWindSpeed(const QString& key) const;

    // Tyres
    TyresRecord getTyresData(const QString& pNum) const;

    // Additional standings
    int getFastestLapStandingsCount() const;
    QString getFastestLapStandingParticipant(int position) const;
    quint64 getFastestLapStandingTime(int position) const;
    int getFastestLapStandingLap(int position) const;
    double getFastestLapStandingGap(int position) const;
    int getSectorStandingsCount(int sector) const;
    QString getSectorStandingParticipant(int position, int sector) const;
    quint64 getSectorStandingTime(int position, int sector) const;
    double getSectorStandingGap(int position, int sector) const;
    int getTopSpeedStandingsCount() const;
    QString getTopSpeedStandingParticipant(int position) const;
    double getTopSpeedStandingSpeed(int position) const;

    // Combined standings
    QString getCombinedType() const;
    int getCombinedSessionsCount() const;
    // The name of the combined session at index (from 1); empty when unknown.
    QString getCombinedSessionName(int index) const;
    int getCombinedStandingsCount() const;
    QString getCombinedParticipantAtPosition(int position) const;
    QString getCombinedStatus(int position) const;
    quint64 getCombinedTime(int position) const;
    double getCombinedGapFirst(int position) const;
    double getCombinedGapPrevious(int position) const;
    QString getCombinedParticipantClass(const QString& pNum) const;
    QString getCombinedParticipantName(const QString& pNum) const;
    quint64 getCombinedFastestLapTime(const QString& pNum) const;
    quint64 getCombinedFastestSectorTime(const QString& pNum, int sector) const;
    quint64 getCombinedFastestLapSectorTime(const QString& pNum, int sector) const;
    quint64 getCombinedSessionResultTime(const QString& pNum, quint64 sessionIndex) const;
    quint64 getCombinedBestLapTime() const;
    quint64 getCombinedBestSectorTime(int sector) const;

    // Track limits
    QList<TrackLimitsRecord> getTrackLimits() const;

protected:
    EventReader() = default;
    ~EventReader() = default;
};
