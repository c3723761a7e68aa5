#include "ClientV2Controller.h"

#include "BroadcastDelay.h"
#include "LanterraChannels.h"
#include "SessionClock.h"
#include "TeamFollowSync.h"
#include "TimingConstants.h"
#include "V2_Data.h"
#include "V2_message.h"

namespace {

using Item = ClientV2Controller::Item;

// When a key of an update marks a kind of data as changed: the key mentions
// one of the texts, or the update's set holds one of the others. Rows of the
// timing group are skipped when "timing" or "timing.session" is in the set
// (the whole-set rules have marked them already).
struct Route {
    Item item;
    std::initializer_list<const char*> mentions;
    std::initializer_list<const char*> inSet;
    bool timing;
};

const Route kRoutes[] = {
    {ClientV2Controller::ParticipantDetailsItem, {"timing.session.standings.overall.participantDetails"}, {}, true},
    {ClientV2Controller::OverallStandingsItem,
     {"timing.session.standings.overall.active", "timing.session.standings.overall.finishLine"},
     {"timing.session.standings"},
     true},
    {ClientV2Controller::ClassStandingsItem,
     {"timing.session.standings.byClass.active", "timing.session.standings.byClass.finishLine"},
     {"timing.session.standings.byClass"},
     true},
    {ClientV2Controller::SessionInfoItem, {"timing.session.info"}, {}, true},
    {ClientV2Controller::SessionStatusItem, {"timing.session.status"}, {}, true},
    {ClientV2Controller::SessionEntryItem, {"timing.session.entry"}, {}, true},
    {ClientV2Controller::SessionFlagsItem, {"timing.session.flags"}, {}, true},
    {ClientV2Controller::StintsItem, {"timing.analysis.stints"}, {}, true},
    {ClientV2Controller::LapsItem, {"timing.analysis.laps"}, {}, true},
    {ClientV2Controller::PitInItem, {"timing.analysis.pitIn"}, {}, true},
    {ClientV2Controller::PitOutItem, {"timing.analysis.pitOut"}, {}, true},
    {ClientV2Controller::ClassesItem, {"timing.session.classes"}, {}, true},
    {ClientV2Controller::TrackLimitsItem, {"timing.session.trackLimits"}, {}, true},
    {ClientV2Controller::TrackInfoItem, {"timing.session.track.info"}, {"timing.session.track"}, true},
    {ClientV2Controller::StartingGridItem, {"timing.session.startingGrid"}, {}, true},
    {ClientV2Controller::CombinedEntryItem, {"timing.combined.entry"}, {}, true},
    {ClientV2Controller::CombinedStandingsItem, {"timing.combined.standings.overall"}, {"timing.combined.standings", "timing.combined"}, true},
    {ClientV2Controller::CombinedParticipantDetailsItem, {"timing.combined"}, {}, true},
    {ClientV2Controller::CombinedInfoItem, {"timing.combined.info"}, {}, true},
    {ClientV2Controller::RaceControlItem, {"raceControl.messages"}, {"raceControl"}, false},
    {ClientV2Controller::WeatherItem, {"weather"}, {}, false},
    {ClientV2Controller::PitLightsItem, {"signalling"}, {}, false},
    {ClientV2Controller::PositioningParticipantsItem, {"positioning.participants"}, {}, false},
    {ClientV2Controller::TrackImagesItem, {"positioning.track.images"}, {}, false},
    {ClientV2Controller::SectionStatusItem, {"positioning.track.sectionStatus"}, {}, false},
    {ClientV2Controller::TrackStatusItem, {"positioning.track.trackStatus"}, {}, false},
};

const QString kOverall = QStringLiteral("timing.session.standings.overall");
const QString kByClass = QStringLiteral("timing.session.standings.byClass");
const QString kDetails = QStringLiteral("timing.session.standings.overall.participantDetails");
const QString kLaps = QStringLiteral("timing.analysis.laps");

QStringList keysOf(const V2_Data* node)
{
    return node ? node->datas()->keys() : QStringList();
}

} // namespace

const QStringList& ClientV2Controller::channels()
{
    return lanterraChannels();
}

ClientV2Controller::ClientV2Controller(const QString& app,
                                       const QString& appVersion,
                                       const QString& protocol,
                                       const QString& protocolVersion,
                                       const int& port,
                                       const QString& password,
                                       const QString& username,
                                       const QString& host,
                                       QObject* parent)
    : V2_Client(app, appVersion, protocol, protocolVersion, port, password, username, host, parent)
    , m_delay(new BroadcastDelay([this](const QByteArray& line, bool first) { deliverHeld(line, first); }, this))
{
    m_fullRefresh.set();
    setSsl(true);
    connect(this, &V2_Client::onLoginDone, this, &ClientV2Controller::afterLogin);
    connect(this, &V2_Client::onChannelChange, this, &ClientV2Controller::channelChange);
    connect(this, &V2_Client::onDisconnected, this, &ClientV2Controller::afterDisconnected);
}

ClientV2Controller::~ClientV2Controller() = default;

int ClientV2Controller::sessionId() const
{
    return m_sessionId;
}

bool ClientV2Controller::sessionValid() const
{
    return m_sessionValid;
}

BroadcastDelay* ClientV2Controller::delay() const
{
    return m_delay;
}

namespace {

// A data line that carries the team's shared channel alone.
bool teamOnly(const V2_message* message)
{
    const rapidjson::Document* document = message->rapidJsonDocument();
    if (!document || !document->IsObject() || document->MemberCount() != 1)
        return false;
    const QString& team = TeamFollowSync::channel();
    const rapidjson::Value& name = document->MemberBegin()->name;
    return name.IsString() && QLatin1String(name.GetString(), int(name.GetStringLength())) == team;
}

} // namespace

void ClientV2Controller::processJSON(V2_message* message)
{
    // Lines handed over by a replay or a test are not the server's: never
    // held. Nor are the team's shared follows, which are no race timing: a
    // followed car reaches the other seats at once, and a seat's own change
    // does not come back the delay's length later. While a connection's first
    // line is waiting (it replaces the tree), team lines wait behind it, or
    // they would land on the last connection's tree; and while a team line
    // waits, the next waits too, or it would be overtaken by an older one.
    if (!readingSocket() || !m_delay->holding()) {
        V2_Client::processJSON(message);
        return;
    }
    const bool team = teamOnly(message);
    if (team && !firstLineReplacesMirror() && m_delay->mayPassTeamLine()) {
        V2_Client::processJSON(message);
        return;
    }
    // The mark of a connection's first line goes with that line, so that
    // lines of the last connection handed over meanwhile do not take it.
    m_delay->hold(message->lineBytes(), firstLineReplacesMirror(), team);
    setFirstLineReplacesMirror(false);
}

void ClientV2Controller::deliverHeld(const QByteArray& line, bool first)
{
    V2_message message;
    if (!message.parseMessage(line))
        return;
    const bool waiting = firstLineReplacesMirror();
    setFirstLineReplacesMirror(first);
    // A new connection's snapshot replaces the tree when it shows, not at the
    // login: the old connection's lines handed over meanwhile would take the
    // whole-collection reads, and rows gone during the outage would stay. The
    // server's lead is forgotten at that moment too.
    if (first) {
        m_fullRefresh.set();
        m_forgetLeadOnData = true;
    }
    V2_Client::processJSON(&message);
    setFirstLineReplacesMirror(waiting);
}

void ClientV2Controller::afterLogin()
{
    // A reconnect into the same session is no session change, yet its
    // snapshot replaces the tree whole: the collections are read whole again
    // so that rows gone while disconnected go.
    m_fullRefresh.set();
    // Another server (or the same at another speed) runs its own clock.
    m_forgetLeadOnData = true;
    emit enableTyresData();
    for (const QString& channel : channels())
        joinChannel(channel, QString());
}

void ClientV2Controller::afterDisconnected()
{
    // Trees, flags and the session id stay until the next update.
}

bool ClientV2Controller::take(Item item)
{
    const bool pending = m_pending.test(item);
    m_pending.reset(item);
    return pending;
}

void ClientV2Controller::channelChange(QSet<QString> keys)
{
    // Step 1: a new session re-arms the whole-collection notifications. A
    // tree without the id (the first channel of a login that is not the
    // session's) says nothing about the session: reading it as -1 would clean
    // everything twice per login.
    const V2_Data* info = getCurrentData()->getV2_Data(QStringLiteral("timing.session.info"));
    const bool hasId = info && info->keyExists(QStringLiteral("sessionDbId"));
    const int id = hasId ? info->getInt(QStringLiteral("sessionDbId"), -1) : m_sessionId;
    if (m_forgetLeadOnData) {
        m_forgetLeadOnData = false;
        SessionClock::forgetServerLead();
    }
    if (id != m_sessionId) {
        // The lead read in another session is forgotten; one read since the
        // login, before this session's id came, is this session's.
        if (m_sessionValid)
            SessionClock::forgetServerLead();
        m_sessionId = id;
        m_sessionValid = id != -1 && id != 0;
        if (m_sessionValid)
            m_fullRefresh.set();
        m_pending.set(PositioningParticipantsItem);
        emit cleanAll();
    }
    markForSet(keys);
    m_announcing = true;
    announce();
    m_announcing = false;
}

bool ClientV2Controller::isAnnouncing() const
{
    return m_announcing;
}

void ClientV2Controller::markForSet(const QSet<QString>& keys)
{
    const bool timingWhole = keys.contains(QStringLiteral("timing"));
    const bool sessionWhole = timingWhole || keys.contains(QStringLiteral("timing.session"));
    if (timingWhole || keys.contains(QStringLiteral("timing.combined"))) {
        for (Item item : {CombinedEntryItem, CombinedStandingsItem, CombinedParticipantDetailsItem, CombinedInfoItem})
            m_pending.set(item);
    }
    if (sessionWhole) {
        for (Item item : {ParticipantDetailsItem, OverallStandingsItem, ClassStandingsItem, SessionInfoItem, SessionStatusItem, SessionEntryItem,
                          SessionFlagsItem, StintsItem, LapsItem, PitInItem, PitOutItem, ClassesItem, TrackLimitsItem, TrackInfoItem, StartingGridItem})
            m_pending.set(item);
        if (getCurrentData()->getV2_Data(kLaps))
            m_fullRefresh.set(LapsRefresh);
    }
    if (keys.contains(QStringLiteral("positioning"))) {
        for (Item item : {PositioningParticipantsItem, TrackImagesItem, SectionStatusItem, TrackStatusItem})
            m_pending.set(item);
    }
    if (keys.contains(kLaps))
        m_fullRefresh.set(LapsRefresh);

    for (const Route& route : kRoutes) {
        if (route.timing && sessionWhole)
            continue;
        bool inSet = false;
        for (const char* member : route.inSet)
            inSet = inSet || keys.contains(QLatin1String(member));
        for (const QString& key : keys) {
            bool marked = inSet;
            for (const char* text : route.mentions)
                marked = marked || key.contains(QLatin1String(text));
            if (marked) {
                m_pending.set(route.item);
                break;
            }
        }
    }
}

void ClientV2Controller::announce()
{
    // The received line is read through rxKeys/rxHasNode, which spares
    // building its tree.
    V2_Data* current = getCurrentData();

    if (take(PositioningParticipantsItem)) {
        if (V2_Data* node = current->getV2_Data(QStringLiteral("positioning.participants")))
            emit updateParticipants(node);
        else
            emit clearParticipants();
    }
    // The track's pictures, lights and flag wait until their node exists.
    if (m_pending.test(TrackImagesItem)) {
        if (V2_Data* node = current->getV2_Data(QStringLiteral("positioning.track.images"))) {
            emit updateTrackImages(node);
            m_pending.reset(TrackImagesItem);
        }
    }
    if (m_pending.test(SectionStatusItem)) {
        if (V2_Data* node = current->getV2_Data(QStringLiteral("positioning.track.sectionStatus"))) {
            emit updateSectionStatus(node);
            m_pending.reset(SectionStatusItem);
        }
    }
    if (m_pending.test(TrackStatusItem)) {
        if (V2_Data* node = current->getV2_Data(QStringLiteral("positioning.track"))) {
            emit updateFlag(node->getInt(QStringLiteral("trackStatus"), 2147483647));
            m_pending.reset(TrackStatusItem);
        }
    }
    if (take(WeatherItem))
        emit weather();
    if (take(PitLightsItem))
        emit pitLights();
    if (rxHasNode(QStringLiteral("tyres.session.data")) && current->getInt(QStringLiteral("tyres.session.id"), -1) == m_sessionId)
        emit tyresDataReceived();

    // The server's clock from every line: a login's first snapshots come
    // before the session's id.
    noteServerTimes();
    // Timing notifications wait for a valid session.
    if (!m_sessionValid)
        return;

    if (take(SessionInfoItem)) {
        if (const V2_Data* info = current->getV2_Data(QStringLiteral("timing.session.info")))
            SessionClock::setUtcOffset(info->getInt(QStringLiteral("utcOffset"), 0));
        emit sessionInfo();
    }
    if (take(SessionStatusItem)) {
        copySessionStatus();
        emit sessionStatus();
    }
    const bool entry = take(SessionEntryItem);
    if (take(CombinedEntryItem) || entry)
        emit sessionEntry();
    if (take(SessionFlagsItem))
        emit sessionFlags();
    if (take(StintsItem))
        emit analysisStints();

    // Deleted laps, on every update that gets this far.
    if (const V2_Data* deleted = getDeletedData()->getV2_Data(kLaps)) {
        for (const QString& pNum : keysOf(deleted)) {
            for (const QString& lap : keysOf(getDeletedData()->getV2_Data(kLaps + QLatin1Char('.') + pNum + QStringLiteral(".laps"))))
                emit deleteLapAnalysisData(pNum, lap);
        }
    }
    if (take(LapsItem) && current->getV2_Data(kLaps)) {
        if (m_fullRefresh.test(LapsRefresh)) {
            emit analysisLaps();
        } else if (rxHasNode(kLaps)) {
            for (const QString& pNum : rxKeys(kLaps)) {
                emit analysisLapsByPnum(pNum);
                for (const QString& lap : rxKeys(QStringLiteral("%1.%2.laps").arg(kLaps, pNum)))
                    emit analysisLapsByPnumAndLap(pNum, lap);
            }
            emit analysisLapsEnd();
        }
        m_fullRefresh.reset(LapsRefresh);
    }
    if (take(PitInItem))
        emit analysisPitIn();
    if (take(PitOutItem))
        emit analysisPitOut();
    if (take(ClassesItem))
        emit sessionClasses();
    if (take(TrackLimitsItem))
        emit sessionTrackLimits();

    if (take(OverallStandingsItem)) {
        if (current->getV2_Data(kOverall + QStringLiteral(".active")) || current->getV2_Data(kOverall + QStringLiteral(".finishLine"))) {
            if (m_fullRefresh.test(OverallStandingsRefresh)) {
                emit standingsOverall();
            } else {
                for (const QString& key : rxKeys(kOverall + QStringLiteral(".active")))
                    emit standingsOverallByPosition(key.toInt());
                for (const QString& key : rxKeys(kOverall + QStringLiteral(".finishLine")))
                    emit standingsOverallByPositionFl(key.toInt());
            }
            m_fullRefresh.reset(OverallStandingsRefresh);
        }
    }
    if (take(ClassStandingsItem)) {
        if (current->getV2_Data(kByClass + QStringLiteral(".active")) || current->getV2_Data(kByClass + QStringLiteral(".finishLine"))) {
            if (m_fullRefresh.test(ClassStandingsRefresh)) {
                emit standingsByClass();
                emit sessionClasses();
            } else {
                for (const char* kind : {".active", ".finishLine"}) {
                    const QString base = kByClass + QLatin1String(kind);
                    const bool finishLine = kind[1] == 'f';
                    for (const QString& className : rxKeys(base)) {
                        for (const QString& key : rxKeys(base + QLatin1Char('.') + className + QStringLiteral(".standings"))) {
                            if (finishLine)
                                emit standingsByClassByPositionFl(key.toInt());
                            else
                                emit standingsByClassByPosition(key.toInt());
                        }
                    }
                }
            }
            m_fullRefresh.reset(ClassStandingsRefresh);
        }
    }
    if (take(ParticipantDetailsItem) && current->getV2_Data(kDetails)) {
        if (m_fullRefresh.test(ParticipantDetailsRefresh)) {
            emit participantDetails();
        } else {
            // No analysisProcessed on "currentLap": it would reset every lap
            // table (closing an open editor, dropping live sector rows), and
            // nothing there depends on the car's current lap.
            for (const QString& pNum : rxKeys(kDetails))
                emit participantDetailsByPnum(pNum);
        }
        m_fullRefresh.reset(ParticipantDetailsRefresh);
    }
    if (take(TrackInfoItem))
        emit trackInfo();
    if (take(RaceControlItem))
        emit raceControlMessages();
    if (take(StartingGridItem))
        emit sessionStartingGrid();

    const QString combined = QStringLiteral("timing.combined.standings.overall");
    if (take(CombinedStandingsItem) && current->getV2_Data(combined)) {
        if (m_fullRefresh.test(CombinedStandingsRefresh)) {
            emit standingsCombinedOverall();
        } else {
            for (const QString& key : rxKeys(combined))
                emit standingsCombinedOverallByPosition(key.toInt());
        }
        m_fullRefresh.reset(CombinedStandingsRefresh);
    }
    if (take(CombinedParticipantDetailsItem)) {
        const QString path = QStringLiteral("timing.combined.participantDetails");
        if (current->getV2_Data(path)) {
            if (m_fullRefresh.test(CombinedParticipantDetailsRefresh)) {
                emit combinedParticipantDetails();
            } else {
                for (const QString& pNum : rxKeys(path))
                    emit combinedParticipantDetailsByPnum(pNum);
            }
            m_fullRefresh.reset(CombinedParticipantDetailsRefresh);
        }
        emit combinedParticipantDetails();
    }
    if (take(CombinedInfoItem))
        emit combinedInfo();
}

void ClientV2Controller::noteServerTimes() const
{
    // The server's clock, read from the day times of what has just happened
    // (laps run, lap starts, pit stops, stints, flags): a simulator running
    // faster than real time stamps them ahead of our clock.
    const V2_Data* current = getCurrentData();
    // A line into an empty mirror became the mirror (a login's first): its
    // keys are the mirror's, and its stamps may be of long ago.
    const bool wholeMirror = !lineReadFromDocument() && getRxData()->datas()->isEmpty();
    const auto keysAt = [&](const QString& path) { return wholeMirror ? keysOf(current->getV2_Data(path)) : rxKeys(path); };
    // Only a stamp the line carries is news: one it merely leaves in place
    // (the start of a lap whose sector came in) is as old as the event.
    const auto carried = [&](const QString& path, const QString& key) {
        if (wholeMirror)
            return true;
        const V2_Data* received = getRxData()->getV2_Data(path);
        return received && received->keyExists(key);
    };
    const auto note = [wholeMirror](quint64 time) {
        if (time != 0 && time != TimingConstants::NO_TIME)
            SessionClock::noteServerTime(static_cast<qint64>(time), !wholeMirror);
    };
    const QString startTime = QStringLiteral("startTime");
    for (const QString& pNum : keysAt(kLaps)) {
        const QString laps = QStringLiteral("%1.%2.laps").arg(kLaps, pNum);
        for (const QString& lap : keysAt(laps)) {
            const QString path = laps + QLatin1Char('.') + lap;
            const V2_Data* node = current->getV2_Data(path);
            if (node && (carried(path, startTime) || carried(path, QStringLiteral("time")))) {
                const quint64 start = node->getULongLong(startTime, 0);
                note(start == 0 ? 0 : start + static_cast<quint64>(qMax(0, node->getInt(QStringLiteral("time"), 0))));
            }
        }
    }
    const QString lapStart = QStringLiteral("currentLapStartTime");
    for (const QString& pNum : keysAt(kDetails)) {
        const QString path = kDetails + QLatin1Char('.') + pNum;
        const V2_Data* node = current->getV2_Data(path);
        if (node && carried(path, lapStart))
            note(node->getULongLong(lapStart, 0));
    }
    for (const char* kind : {"timing.analysis.pitIn", "timing.analysis.pitOut"}) {
        const QString base = QLatin1String(kind);
        for (const QString& pNum : keysAt(base)) {
            for (const QString& key : keysAt(QStringLiteral("%1.%2.pits").arg(base, pNum)))
                note(key.toULongLong());
        }
    }
    const QString stints = QStringLiteral("timing.analysis.stints");
    for (const QString& pNum : keysAt(stints)) {
        const QString path = QStringLiteral("%1.%2.stints").arg(stints, pNum);
        for (const QString& key : keysAt(path)) {
            const QString stint = path + QLatin1Char('.') + key;
            if (const V2_Data* node = current->getV2_Data(stint)) {
                for (const QString& field : {startTime, QStringLiteral("finishTime")}) {
                    if (carried(stint, field))
                        note(node->getULongLong(field, 0));
                }
            }
        }
    }
    const QString flags = QStringLiteral("timing.session.flags");
    for (const QString& key : keysAt(flags)) {
        const QString path = flags + QLatin1Char('.') + key;
        const V2_Data* node = current->getV2_Data(path);
        if (node && carried(path, QStringLiteral("time")))
            note(node->getULongLong(QStringLiteral("time"), 0));
    }
}

void ClientV2Controller::copySessionStatus() const
{
    const V2_Data* status = getCurrentData()->getV2_Data(QStringLiteral("timing.session.status"));
    if (!status)
        return;
    SessionClock::setClosed(status->getBool(QStringLiteral("isClosed"), false));
    SessionClock::setFinalType(status->getString(QStringLiteral("finalType")));
    SessionClock::setFinalTime(status->getInt(QStringLiteral("finalTime"), 0));
    SessionClock::setStartTime(status->getInt(QStringLiteral("startTime"), 0));
    SessionClock::setSessionStartTime(status->getLongLong(QStringLiteral("sessionStartTime"), 0));
    SessionClock::setStopTime(status->getLongLong(QStringLiteral("stopTime"), 0));
    SessionClock::setRunning(status->getBool(QStringLiteral("isSessionRunning"), false));
    SessionClock::setTimeFinished(status->getBool(QStringLiteral("isTimeFinished"), false));
    SessionClock::setFinalLaps(status->getInt(QStringLiteral("finalLaps"), -1));
    SessionClock::setElapsedLaps(status->getInt(QStringLiteral("elapsedLaps"), -1));
    SessionClock::setElapsedLapsAfterTimeFinish(status->getInt(QStringLiteral("elapsedLapsAfterTimeFinish"), -1));
    SessionClock::setForcedByTime(status->getBool(QStringLiteral("isForcedByTime"), false));
    SessionClock::setForcedLastLap(status->getBool(QStringLiteral("isForcedLastLap"), false));
    SessionClock::setStoppedSeconds(status->getLongLong(QStringLiteral("stoppedSeconds"), 0));
}
