#include "V2DataProvider.h"

#include <QTimer>

#include "BroadcastDelay.h"
#include "CarFlash.h"
#include "ClientV2Controller.h"
#include "DriveTimeMonitor.h"
#include "SessionClock.h"
#include "TeamAlertEngine.h"
#include "TeamFollowSync.h"
#include "V2_Data.h"

#include <QMetaMethod>

using TimingConstants::KMH_TO_MPH;

namespace {

const QString kPorsche = QStringLiteral("Porsche");
const QString kFord = QStringLiteral("Ford");

// Controller signals relayed under the same name, in connection order;
// errorReceived and the lap processing slots are connected between them.
const char* const kRelaysFirst[] = {
    "analysisStints()",
    "analysisLaps()",
    "analysisLapsByPnum(QString)",
    "analysisPitIn()",
    "analysisPitOut()",
    "cleanAll()",
    "raceControlMessages()",
    "sessionClasses()",
    "sessionTrackLimits()",
    "sessionEntry()",
    "sessionFlags()",
    "sessionInfo()",
    "sessionStartingGrid()",
    "sessionStatus()",
    "standingsByClass()",
    "standingsByClassByPosition(int)",
    "standingsCombinedOverall()",
    "standingsCombinedOverallByPosition(int)",
    "standingsOverall()",
    "standingsOverallByPosition(int)",
    "tyresDataReceived()",
};
const char* const kRelaysSecond[] = {
    "trackInfo()",
    "weather()",
    "pitLights()",
    "participantDetails()",
    "participantDetailsByPnum(QString)",
    "combinedParticipantDetails()",
    "combinedParticipantDetailsByPnum(QString)",
    "combinedInfo()",
};
const char* const kClientRelays[] = {
    "onConnected()",
    "onDisconnected()",
    "onLoginDone()",
};

// Connects a signal of `from` to the provider's signal of the same signature.
void relay(QObject* from, QObject* to, const char* signature)
{
    const QMetaObject* source = from->metaObject();
    const QMetaObject* target = to->metaObject();
    const int fromIndex = source->indexOfSignal(signature);
    const int toIndex = target->indexOfSignal(signature);
    Q_ASSERT(fromIndex >= 0 && toIndex >= 0);
    QObject::connect(from, source->method(fromIndex), to, target->method(toIndex));
}

} // namespace

V2DataProvider::V2DataProvider(const QString& app,
                               const QString& appVersion,
                               const QString& protocol,
                               const QString& protocolVersion,
                               const int& port,
                               const QString& password,
                               const QString& username,
                               const QString& host,
                               bool connectNow)
    : m_analysis(*this)
{
    qRegisterMetaType<QList<int>>("QList<int>");
    qRegisterMetaType<QMap<int, QList<int>>>("QMap<int,QList<int> >");

    m_controller = new ClientV2Controller(app, appVersion, protocol, protocolVersion, port, password, username, host, this);
    setClient(m_controller);
    m_controller->setActive(connectNow);

    for (const char* signature : kRelaysFirst)
        relay(m_controller, this, signature);
    connect(m_controller, &V2_Client::errorReceived, this, &V2DataProvider::onErrorReceived);
    for (const char* signature : kRelaysSecond)
        relay(m_controller, this, signature);
    connect(m_controller, &ClientV2Controller::deleteLapAnalysisData, this, &V2DataProvider::deleteLapAnalysisData);
    connect(m_controller, &ClientV2Controller::analysisLaps, this, &V2DataProvider::processAnalysis);
    connect(m_controller, &ClientV2Controller::analysisLapsEnd, this, &V2DataProvider::onAnalysisLapsEnd);
    connect(m_controller, &ClientV2Controller::analysisLapsByPnumAndLap, this, &V2DataProvider::processAnalysisLapsByPnumAndLap);
    connect(m_controller, &ClientV2Controller::analysisPitIn, this, &V2DataProvider::processAnalysisPitIn);
    connect(m_controller, &ClientV2Controller::cleanAll, this, &V2DataProvider::cleanAnalysis);
    connect(m_controller, &ClientV2Controller::sessionEntry, this, &V2DataProvider::processAnalysis);
    for (const char* signature : kClientRelays)
        relay(m_controller, this, signature);
    connect(m_controller, &ClientV2Controller::analysisProcessed, this, &V2DataProvider::analysisProcessed);
    // Last, so that it reads what the models have read when it is told.
    m_teamAlerts = new TeamAlertEngine(this, this);
    m_carFlash = new CarFlash(m_teamAlerts, this);
    m_driveTime = new DriveTimeMonitor(this, m_teamAlerts, [] { return SessionClock::trackTimeMs(); }, this);
    m_teamFollow = new TeamFollowSync(this, this);
}

V2DataProvider::~V2DataProvider() = default;

// ---------------------------------------------------------------------------
// Connection

ClientV2Controller* V2DataProvider::controller() const
{
    return m_controller;
}

QString V2DataProvider::host() const
{
    return m_controller->host();
}

QString V2DataProvider::username() const
{
    return m_controller->username();
}

QString V2DataProvider::password() const
{
    return m_controller->password();
}

int V2DataProvider::port() const
{
    return m_controller->port();
}

void V2DataProvider::setHost(const QString& host)
{
    m_controller->setHost(host);
}

void V2DataProvider::setUsername(const QString& username)
{
    m_controller->setUsername(username);
}

void V2DataProvider::setPassword(const QString& password)
{
    m_controller->setPassword(password);
}

void V2DataProvider::setPort(int port)
{
    m_controller->setPort(port);
}

void V2DataProvider::setActive(bool active)
{
    // The delay goes on while the connection pauses: only a replay ends it.
    m_controller->setActive(active);
}

std::unique_ptr<V2_Data> V2DataProvider::getData(const QString& path) const
{
    const V2_Data* found = node(path);
    return found ? std::make_unique<V2_Data>(found) : nullptr;
}

void V2DataProvider::setUsaUnits(bool b)
{
    if (b == usaUnits())
        return;
    TreeReader::setUsaUnits(b);
    // The cached speeds change unit at once, so that records filed from now
    // on and those filed before agree, however often the rows are asked for.
    // A waiting rebuild reads them in the new unit.
    if (!m_analysisStale)
        m_analysis.convertSpeeds(b ? KMH_TO_MPH : 1.0 / KMH_TO_MPH);
    // Every table that shows a cached speed repaints it.
    emit speedUnitsChanged(b);
}

// ---------------------------------------------------------------------------
// Lap analysis caches

void V2DataProvider::processAnalysis()
{
    if (m_controller->isAnnouncing()) {
        m_analysisStale = true;
        if (!m_analysisFlushQueued) {
            m_analysisFlushQueued = true;
            QTimer::singleShot(0, this, &V2DataProvider::flushAnalysis);
        }
        return;
    }
    m_analysis.rebuild();
    m_analysisStale = false;
    emit analysisProcessed();
}

void V2DataProvider::ensureAnalysis() const
{
    if (!m_analysisStale)
        return;
    m_analysis.rebuild();
    m_analysisStale = false;
}

void V2DataProvider::flushAnalysis()
{
    m_analysisFlushQueued = false;
    ensureAnalysis();
    emit analysisProcessed();
}

void V2DataProvider::announceRows(const AnalysisEngine::KindRows& rows, bool removed)
{
    const bool isNew = !removed;
    using E = AnalysisEngine;
    if (rows.row[E::LapKind] >= 0)
        emit analysysLapsUpdateByRow(rows.row[E::LapKind], isNew, removed);
    if (rows.row[E::PorscheKind] >= 0)
        emit analysysLapsUpdateByRowSection(rows.row[E::PorscheKind], isNew, kPorsche, removed);
    if (rows.row[E::FordKind] >= 0)
        emit analysysLapsUpdateByRowSection(rows.row[E::FordKind], isNew, kFord, removed);
    if (rows.row[E::AccKind] >= 0)
        emit analysysLapsUpdateByRowSectionAcc(rows.row[E::AccKind], isNew, removed);
    if (rows.row[E::SpeedKind] >= 0)
        emit analysysLapsUpdateByRowSectionSpeed(rows.row[E::SpeedKind], isNew, removed);
    for (int s = 0; s < 4; ++s) {
        if (rows.row[E::SectorKind + s] >= 0)
            emit analysysLapsUpdateByRowSector(rows.row[E::SectorKind + s], isNew, s + 1, removed);
    }
}

void V2DataProvider::processAnalysisLapsByPnumAndLap(QString pNum, QString lapKey)
{
    // A waiting rebuild files this lap too, and announces everything.
    if (!m_analysisStale) {
        AnalysisEngine::KindRows dropped;
        const AnalysisEngine::KindRows rows = m_analysis.update(pNum, lapKey, &dropped);
        announceRows(dropped, true);
        announceRows(rows, false);
    }
    emit analysisLapsByPnumAndLap(pNum, lapKey);
}

void V2DataProvider::onAnalysisLapsEnd()
{
    if (m_analysisStale)
        return;
    using E = AnalysisEngine;
    const E::ChangedRows changed = m_analysis.takeChangedRows();
    QMap<int, QList<int>> sectors;
    for (int s = 0; s < 4; ++s) {
        if (!changed.rows[E::SectorKind + s].isEmpty())
            sectors.insert(s + 1, changed.rows[E::SectorKind + s]);
    }
    emit analysysLapsUpdateByRowList(changed.rows[E::LapKind]);
    emit analysysSectionUpdateByRowList(changed.rows[E::PorscheKind], kPorsche);
    emit analysysSectionUpdateByRowList(changed.rows[E::FordKind], kFord);
    emit analysysAccUpdateByRowList(changed.rows[E::AccKind]);
    emit analysysSpeedUpdateByRowList(changed.rows[E::SpeedKind]);
    emit analysysSectorUpdateByRowMap(sectors);
}

void V2DataProvider::deleteLapAnalysisData(QString pNum, QString lapKey)
{
    if (!m_analysisStale)
        announceRows(m_analysis.remove(pNum, lapKey), true);
}

void V2DataProvider::cleanAnalysis()
{
    m_analysis.clear();
    emit analysisProcessed();
}

void V2DataProvider::processAnalysisPitIn()
{
    rebuildPitInIndex();
}

const V2DataProvider::LapRows& V2DataProvider::getLapRows() const
{
    ensureAnalysis();
    return m_analysis.laps().rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getLapRowPositions() const
{
    ensureAnalysis();
    return m_analysis.laps().rowPositions();
}

const V2DataProvider::SectionRows& V2DataProvider::getPorscheSectionRows() const
{
    ensureAnalysis();
    return m_analysis.porscheSections().rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getPorscheSectionRowPositions() const
{
    ensureAnalysis();
    return m_analysis.porscheSections().rowPositions();
}

const V2DataProvider::SectionRows& V2DataProvider::getFordSectionRows() const
{
    ensureAnalysis();
    return m_analysis.fordSections().rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getFordSectionRowPositions() const
{
    ensureAnalysis();
    return m_analysis.fordSections().rowPositions();
}

const V2DataProvider::AccSectionRows& V2DataProvider::getAccSectionRows() const
{
    ensureAnalysis();
    return m_analysis.accSections().rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getAccSectionRowPositions() const
{
    ensureAnalysis();
    return m_analysis.accSections().rowPositions();
}

const V2DataProvider::SpeedRows& V2DataProvider::getSpeedRows() const
{
    // Already in the unit in force: setUsaUnits converts when the unit changes.
    ensureAnalysis();
    return m_analysis.speeds().rows();
}

const V2DataProvider::RowPositions& V2DataProvider::getSpeedRowPositions() const
{
    ensureAnalysis();
    return m_analysis.speeds().rowPositions();
}

const V2DataProvider::SectorRows* V2DataProvider::getSectorRows(int sector) const
{
    ensureAnalysis();
    return sector >= 1 && sector <= 4 ? &m_analysis.sectors(sector - 1).rows() : nullptr;
}

const V2DataProvider::RowPositions* V2DataProvider::getSectorRowPositions(int sector) const
{
    ensureAnalysis();
    return sector >= 1 && sector <= 4 ? &m_analysis.sectors(sector - 1).rowPositions() : nullptr;
}

// ---------------------------------------------------------------------------
// Followed cars

void V2DataProvider::setCarToFollow(int panelId, const QString& pNum)
{
    m_follow.setCar(panelId, pNum);
    emit onCarToFollowChanged();
}

void V2DataProvider::removeCarToFollow(int panelId)
{
    m_follow.removeCar(panelId);
    emit onCarToFollowChanged();
}

void V2DataProvider::removeFollowPanel(int panelId)
{
    m_follow.removePanel(panelId);
    emit onCarToFollowChanged();
}

void V2DataProvider::setFollowColor(int panelId, const QColor& color)
{
    m_follow.setColor(panelId, color);
}

QString V2DataProvider::getCarToFollow(int panelId) const
{
    return m_follow.car(panelId);
}

bool V2DataProvider::isCarFollowedByOtherPanel(int panelId, const QString& pNum) const
{
    return m_follow.isFollowedByOtherPanel(panelId, pNum);
}

QStringList V2DataProvider::getFollowedCars() const
{
    return m_follow.followedCars();
}

QColor V2DataProvider::getFollowColor(const QString& pNum) const
{
    return m_follow.color(pNum);
}

QColor V2DataProvider::getFollowPanelColor(int panelId) const
{
    return m_follow.panelColor(panelId);
}

CarFlash* V2DataProvider::carFlash() const
{
    return m_carFlash;
}

TeamAlertEngine* V2DataProvider::teamAlerts() const
{
    return m_teamAlerts;
}

DriveTimeMonitor* V2DataProvider::driveTimeMonitor() const
{
    return m_driveTime;
}

TeamFollowSync* V2DataProvider::teamFollow() const
{
    return m_teamFollow;
}

// ---------------------------------------------------------------------------
// Errors

void V2DataProvider::onErrorReceived(QString error)
{
    if (error.contains(QLatin1String("tyres.session")) && error.contains(QLatin1String("Unknown")) && error.contains(QLatin1String("channel")))
        emit disableTyresData();
}
