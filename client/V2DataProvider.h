#pragma once

#include "AnalysisEngine.h"
#include "EventReader.h"
#include "FollowRegistry.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CarFlash;
class ClientV2Controller;
class DriveTimeMonitor;
class TeamAlertEngine;
class TeamFollowSync;
class V2_Data;

// The one object through which models and panels see live timing data.
// It owns the connection controller, relays its notifications, reads the
// mirrored tree through typed getters (its reader bases: nothing is copied,
// every call reads the current tree) and keeps the sorted lap analysis
// caches (AnalysisEngine) and the registry of followed cars. GUI thread only.
class V2DataProvider final : public QObject, public EventReader
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
                   const QString& host,
                   bool connectNow = true); // false: tests fill the mirror themselves
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

    // Lap analysis caches (read by the analysis models)
    const LapRows& getLapRows() const;
    const RowPositions& getLapRowPositions() const;
    const SectionRows& getPorscheSectionRows() const;
    const RowPositions& getPorscheSectionRowPositions() const;
    const SectionRows& getFordSectionRows() const;
    const RowPositions& getFordSectionRowPositions() const;
    const AccSectionRows& getAccSectionRows() const;
    const RowPositions& getAccSectionRowPositions() const;
    // In the unit in force: the cached speeds change unit when the unit does.
    const SpeedRows& getSpeedRows() const;
    const RowPositions& getSpeedRowPositions() const;
    // Null for a sector outside 1 to 4.
    const SectorRows* getSectorRows(int sector) const;
    const RowPositions* getSectorRowPositions(int sector) const;

    // Followed cars
    void setCarToFollow(int panelId, const QString& pNum);
    void removeCarToFollow(int panelId);
    void setFollowColor(int panelId, const QColor& color);
    QString getCarToFollow(int panelId) const;
    bool isCarFollowedByOtherPanel(int panelId, const QString& pNum) const;
    QStringList getFollowedCars() const;
    QColor getFollowColor(const QString& pNum) const;
    QColor getFollowPanelColor(int panelId) const;
    // Forgets a removed follow block: its car and its colour.
    void removeFollowPanel(int panelId);
    // The cars flashing because an alert named them.
    CarFlash* carFlash() const;

    // The alerts on the followed cars and the session (owned here, so that
    // every panel reaches the same alerts).
    TeamAlertEngine* teamAlerts() const;
    // The drive-time alerts of the followed cars, raised through teamAlerts()
    // whether or not a drive-time panel is open.
    DriveTimeMonitor* driveTimeMonitor() const;
    // The follow blocks shared with the team's other seats through the
    // server, when the user switches it on.
    TeamFollowSync* teamFollow() const;

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
    // Laps. A whole collection (a login, a new session, a reconnect):
    // analysisLaps, then the caches are rebuilt. A line with laps: per car
    // analysisLapsByPnum, then per lap analysisLapsByPnumAndLap once the
    // caches have filed it (a new row is announced at once); the rows changed
    // in place follow once at the end of the line (the ...UpdateByRowList
    // and ...ByRowMap signals). A lap deleted by a line (a null in its place)
    // reaches models only as its cached rows announced removed
    // (analysysLapsUpdateByRow(row, false, true) and its siblings, unless a
    // rebuild is waiting: its analysisProcessed covers them); no
    // analysisLapsByPnum names the car.
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
    // The caches were rebuilt whole or emptied: after analysisLaps and after
    // every sessionEntry (a rebuild asked for while a line is announced comes
    // once, after the read, from a zero timer; otherwise at once), and after
    // cleanAll. Never for single laps.
    void analysisProcessed();
    // The cached speeds (laps and speed rows) are now in this unit.
    void speedUnitsChanged(bool imperial);
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
    // Announces the rows one lap's records were filed in (new) or removed from.
    void announceRows(const AnalysisEngine::KindRows& rows, bool removed);
    // Rebuilds the caches now if a rebuild is waiting (the getters call it).
    void ensureAnalysis() const;
    // The waiting rebuild, done and announced once.
    void flushAnalysis();

    ClientV2Controller* m_controller = nullptr;
    // Rebuilt when asked for while it waits: the getters are const.
    mutable AnalysisEngine m_analysis;
    // Whole rebuilds asked for while the controller announces one line are
    // done once, after the lines received together (a login brings several
    // whole collections in a row, each asking for one).
    mutable bool m_analysisStale = false;
    bool m_analysisFlushQueued = false;
    FollowRegistry m_follow;
    CarFlash* m_carFlash = nullptr;
    TeamAlertEngine* m_teamAlerts = nullptr;
    DriveTimeMonitor* m_driveTime = nullptr;
    TeamFollowSync* m_teamFollow = nullptr;
};
