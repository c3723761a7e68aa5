#pragma once

#include "V2_Client.h"

#include <QSet>
#include <QString>

#include <bitset>

class BroadcastDelay;
class V2_Data;

// The program's protocol client: joins the channels this program shows
// after every login and turns each data update (a set of updated key paths)
// into typed, coalesced notifications, one per kind of data. It also copies
// the session timing values into the session clock.
class ClientV2Controller final : public V2_Client
{
    Q_OBJECT
    Q_DISABLE_COPY(ClientV2Controller)

public:
    // The channels joined after login, in joining order.
    static const QStringList& channels();

    ClientV2Controller(const QString& app,
                       const QString& appVersion,
                       const QString& protocol,
                       const QString& protocolVersion,
                       const int& port,
                       const QString& password,
                       const QString& username,
                       const QString& host,
                       QObject* parent = nullptr);
    ~ClientV2Controller() override;

    int sessionId() const;
    bool sessionValid() const;
    // Holds the data lines read from the server for the broadcast delay;
    // the login, joins, pings and errors are never held.
    BroadcastDelay* delay() const;

signals:
    void sessionInfo();
    void sessionStatus();
    void sessionEntry();
    void sessionFlags();
    void sessionClasses();
    void sessionTrackLimits();
    void standingsOverall();
    void standingsOverallByPosition(int pos);
    void standingsOverallByPositionFl(int pos);
    void standingsByClass();
    void standingsByClassByPosition(int pos);
    void standingsByClassByPositionFl(int pos);
    void participantDetails();
    void participantDetailsByPnum(QString pNum);
    void trackInfo();
    void analysisStints();
    void analysisLaps();
    void analysisLapsByPnum(QString pNum);
    void analysisLapsByPnumAndLap(QString pNum, QString lapNum);
    void deleteLapAnalysisData(QString pNum, QString lapNum);
    void analysisPitIn();
    void analysisPitOut();
    void raceControlMessages();
    void weather();
    void pitLights();
    void sessionStartingGrid();
    void standingsCombinedOverall();
    void standingsCombinedOverallByPosition(int pos);
    void combinedInfo();
    void combinedParticipantDetails();
    void combinedParticipantDetailsByPnum(QString pNum);
    void tyresDataReceived();
    void enableTyresData();
    void clearParticipants();
    void updateParticipants(V2_Data* participants);
    void updateSectionStatus(V2_Data* sections);
    void updateFlag(int trackStatus);
    void updateTrackImages(V2_Data* images);
    void cleanAll();
    void analysisLapsEnd();
    void analysisProcessed();

protected:
    void processJSON(V2_message* message) override;

private slots:
    void afterLogin();
    void channelChange(QSet<QString> channels);
    void afterDisconnected();

public:
    // The kinds of data a change can be waiting to be announced for.
    enum Item {
        ParticipantDetailsItem,
        OverallStandingsItem,
        ClassStandingsItem,
        SessionInfoItem,
        SessionStatusItem,
        SessionEntryItem,
        SessionFlagsItem,
        StintsItem,
        LapsItem,
        PitInItem,
        PitOutItem,
        ClassesItem,
        TrackLimitsItem,
        TrackInfoItem,
        StartingGridItem,
        CombinedEntryItem,
        CombinedStandingsItem,
        CombinedParticipantDetailsItem,
        CombinedInfoItem,
        RaceControlItem,
        WeatherItem,
        PitLightsItem,
        PositioningParticipantsItem,
        TrackImagesItem,
        SectionStatusItem,
        TrackStatusItem,
        ItemCount,
    };
    // Families whose next notification is the whole collection.
    enum Refresh {
        CombinedStandingsRefresh,
        OverallStandingsRefresh,
        ClassStandingsRefresh,
        ParticipantDetailsRefresh,
        LapsRefresh,
        CombinedParticipantDetailsRefresh,
        RefreshCount,
    };

    // True while the controller announces what one received line changed.
    bool isAnnouncing() const;

private:
    void markForSet(const QSet<QString>& keys);
    void announce();
    void copySessionStatus() const;
    void noteServerTimes() const;
    bool take(Item item);
    // A held line handed over, with the connection mark it arrived with.
    void deliverHeld(const QByteArray& line, bool first);

    int m_sessionId = 0;
    std::bitset<RefreshCount> m_fullRefresh;
    std::bitset<ItemCount> m_pending;
    bool m_sessionValid = false;
    bool m_announcing = false;
    // After a login the server's lead is forgotten when its data come, not
    // before: until then the kept tree is read on the clock it had.
    bool m_forgetLeadOnData = false;
    BroadcastDelay* m_delay;
};
