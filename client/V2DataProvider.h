#pragma once

#include "AccSectionRecord.h"
#include "AnalysisCache.h"
#include "LapAnalysisRecord.h"
#include "SectionRecord.h"
#include "SectorRecord.h"
#include "SpeedRecord.h"
#include "TrackLimitsRecord.h"
#include "TyresRecord.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

class ClientV2Controller;
class V2_Data;

// The one object through which models and panels see live timing data.
// It owns the connection controller, relays its notifications, reads the
// mirrored tree through typed getters (nothing is copied: every call reads
// the current tree) and keeps the sorted lap analysis caches and the
// registry of followed cars. GUI thread only.
class V2DataProvider final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(V2DataProvider)

public:
    using LapRows = AnalysisCache<LapAnalysisRecord>::Rows;
    using SectionRows = AnalysisCache<SectionRecord>::Rows;
    using AccSectionRows = AnalysisCache<AccSectionRecord>::Rows;
    using SpeedRows = AnalysisCache<SpeedRecord>::Rows;
    using SectorRows = AnalysisCache<SectorRecord>::Rows;
    using RowPositions = AnalysisCache<LapAnalysisRecord>::RowPositions;

    V2DataProvider(const QString& app,
                   const QString& appVersion,
                   const QString& protocol,
                   const QString& protocolVersion,
                   const int& port,
                   const QString& password,
                   const QString& username,
                   const QString& host);
    ~V2DataProvider() override;

    // Connection
    ClientV2Controller* controller() const;
    QString host() const;
    QString username() const;
    QString password() const;
    int port() const;
    void setHost(const QString& host);
    void setUsername(const QString& username);
    void setPassword(const QString& password);
    void setPort(int port);
    void setActive(bool active);
    // A deep copy of the subtree at path (the mirror stays untouched), or null.
    std::unique_ptr<V2_Data> getData(const QString& path) const;

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
    QString getDriverName(const QString& pNum, int driverIndex) const;
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

    // Lap analysis caches (read by the analysis models)
    const LapRows& getLapRows() const;
    const RowPositions& getLapRowPositions() const;
    const SectionRows& getPorscheSectionRows() const;
    const RowPositions& getPorscheSectionRowPositions() const;
    const SectionRows& getFordSectionRows() const;
    const RowPositions& getFordSectionRowPositions() const;
    const AccSectionRows& getAccSectionRows() const;
    const RowPositions& getAccSectionRowPositions() const;
    // With convert, first brings every stored speed to the current unit.
    const SpeedRows& getSpeedRows(bool convert);
    const RowPositions& getSpeedRowPositions() const;
    // Null for a sector outside 1 to 4.
    const SectorRows* getSectorRows(int sector) const;
    const RowPositions* getSectorRowPositions(int sector) const;

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
    double getLapTopSpeed(const QString& pNum, const QString& lapKey) const;
    quint64 getLapSectionDayTime(const QString& pNum, const QString& lapKey, const QString& section) const;
    quint64 getLapSectionTime(const QString& pNum, const QString& lapKey, const QString& section) const;
    bool isLapSectionValid(const QString& pNum, const QString& lapKey, const QString& section) const;
    QList<LapAnalysisRecord::LoopPair> getLoopSectorPairs() const;
    SectorRecord getLastSectorRecord(const QString& pNum, int sector) const;

    // Followed cars
    void setCarToFollow(int panelId, const QString& pNum);
    void removeCarToFollow(int panelId);
    void setFollowColor(int panelId, const QColor& color);
    QString getCarToFollow(int panelId) const;
    bool isCarFollowedByOtherPanel(int panelId, const QString& pNum) const;
    QStringList getFollowedCars() const;
    QColor getFollowColor(const QString& pNum) const;
    // Every panel id that has a colour or a car, in increasing order.
    QList<int> getFollowPanelIds() const;

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

public slots:
    void setUsaUnits(bool b);

signals:
    void onCarToFollowChanged();
    void sessionInfo();
    void sessionStatus();
    void sessionEntry();
    void sessionFlags();
    void standingsOverall();
    void standingsOverallByPosition(int pos);
    void standingsByClass();
    void standingsByClassByPosition(int pos);
    void trackInfo();
    void analysisStints();
    void analysisLaps();
    void analysisLapsByPnum(QString pNum);
    void analysisLapsByPnumAndLap(QString pNum, QString lapNum);
    void analysysLapsUpdateByRowList(QList<int> list);
    void analysysLapsUpdateByRow(int rowPositionNum, bool isNewRow, bool removeRow = false);
    void analysysSectionUpdateByRowList(QList<int> list, QString sectionName);
    void analysysLapsUpdateByRowSection(int rowPositionNumSection, bool isNewRowSection, QString sectionName, bool removeRow = false);
    void analysysAccUpdateByRowList(QList<int> list);
    void analysysLapsUpdateByRowSectionAcc(int rowPositionNumSection, bool isNewRowSection, bool removeRow = false);
    void analysysSpeedUpdateByRowList(QList<int> list);
    void analysysLapsUpdateByRowSectionSpeed(int rowPositionNumSection, bool isNewRowSection, bool removeRow = false);
    void analysysSectorUpdateByRowMap(QMap<int, QList<int>> map);
    void analysysLapsUpdateByRowSector(int rowPosition, bool isNewRow, int sectorNum, bool removeRow = false);
    void analysisPitIn();
    void analysisPitOut();
    void raceControlMessages();
    void weather();
    void pitLights();
    void sessionStartingGrid();
    void sessionClasses();
    void sessionTrackLimits();
    void standingsCombinedOverall();
    void standingsCombinedOverallByPosition(int pos);
    void participantDetails();
    void participantDetailsByPnum(QString pNum);
    void combinedInfo();
    void combinedParticipantDetails();
    void combinedParticipantDetailsByPnum(QString pNum);
    void tyresDataReceived();
    void disableTyresData();
    void cleanAll();
    void analysisProcessed();
    void onLoginDone();
    void onConnected();
    void onDisconnected();
    void forceProcessAnalysis();

private slots:
    void cleanAnalysis();
    void deleteLapAnalysisData(QString pNum, QString lapKey);
    void processAnalysisLapsByPnumAndLap(QString pNum, QString lapKey);
    void processAnalysis();
    void processAnalysisPitIn();
    void onAnalysisLapsEnd();
    void onErrorReceived(QString error);

private:
    // What the records of one participant share, read once per participant.
    struct ParticipantValues {
        QString pNum;
        quint64 bestSectorTime[4] = {0, 0, 0, 0};
        quint64 bestLapTime = 0;
        double bestTopSpeed = 0.0;
        QHash<int, QString> driverNames;
    };

    V2_Data* node(const QString& path) const;
    QString readString(const QString& path, const QString& field, const QString& missing = QString()) const;
    int readInt(const QString& path, const QString& field, int defaultValue, int missing) const;
    qint64 readLongLong(const QString& path, const QString& field, qint64 defaultValue, qint64 missing) const;
    quint64 readTime(const QString& path, const QString& field, quint64 defaultValue, quint64 missing) const;
    double readDouble(const QString& path, const QString& field, double defaultValue, double missing) const;
    bool readBool(const QString& path, const QString& field, bool defaultValue, bool missing) const;
    QStringList childKeys(const QString& path) const;
    int childCount(const QString& path) const;
    QString standingPath(int position, const QString& className) const;
    QString formattedDriver(const V2_Data* entry, int driverIndex) const;
    double speedInUnit(double kmh) const;

    ParticipantValues participantValues(const QString& pNum) const;
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
    };
    // The kinds of analysis rows, and where each lap's records are filed.
    enum Kind {
        LapKind,
        PorscheKind,
        FordKind,
        AccKind,
        SpeedKind,
        SectorKind, // four in a row, sectors 1 to 4
        KindCount = SectorKind + 4,
    };
    struct LapKeys {
        quint64 key[KindCount];
    };

    LapValues readLap(const V2_Data* lap, const QString& pNum, const QString& lapKey) const;
    LapAnalysisRecord buildLapRecord(const LapValues& values, ParticipantValues& participant, const QStringList& loopNames) const;
    static SectionRecord buildSectionRecord(const LapValues& values, int section);
    static AccSectionRecord buildAccSectionRecord(const LapValues& values);
    static SpeedRecord buildSpeedRecord(const LapValues& values);
    static SectorRecord buildSectorRecord(const LapValues& values, int sector);
    static QStringList withFinishLine(QStringList loopNames);
    void clearCaches();
    void buildPitInIndex();

    ClientV2Controller* m_controller = nullptr;
    double m_weatherWindowMs = 7200000.0;
    bool m_usaUnits = false;
    QMap<int, QColor> m_followColors;
    QMap<int, QString> m_followedByPanel;
    QMap<QString, QColor> m_followedCars;
    AnalysisCache<LapAnalysisRecord> m_laps;
    AnalysisCache<SectionRecord> m_porscheSections;
    AnalysisCache<SectionRecord> m_fordSections;
    AnalysisCache<AccSectionRecord> m_accSections;
    AnalysisCache<SpeedRecord> m_speeds;
    AnalysisCache<SectorRecord> m_sectors[4];
    // Lap id ("7-12") to the keys its records are filed under.
    QHash<QString, LapKeys> m_lapIndex;
    QHash<QString, QList<int>> m_pitInLaps;
};
