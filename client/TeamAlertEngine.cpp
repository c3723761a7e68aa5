#include "TeamAlertEngine.h"

#include "ClientV2Controller.h"
#include "SessionClock.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

namespace {

using Domain = TeamAlertDetector::Domain;

// The channel each kind of data comes in.
const QString& channelOf(Domain domain)
{
    static const QString analysis = QStringLiteral("timing.analysis");
    static const QString session = QStringLiteral("timing.session");
    static const QString raceControl = QStringLiteral("raceControl.messages");
    switch (domain) {
    case TeamAlertDetector::Pits:
    case TeamAlertDetector::Laps:
        return analysis;
    case TeamAlertDetector::RaceControl:
        return raceControl;
    default:
        return session;
    }
}

// That channel with its parent: while its snapshot is awaited, a line whose
// updated keys name one of them (the first line of a connection announces the
// keys of the mirror it replaced) holds nothing new about it.
QStringList wholeKeys(Domain domain)
{
    const QString& channel = channelOf(domain);
    return { channel.section(QLatin1Char('.'), 0, 0), channel };
}

constexpr int kRunningLapsIntervalMs = 1000;
// A live session sends a line at least every second or two; longer without
// one, what is shown has stopped moving.
constexpr qint64 kLiveDataMs = 5000;

} // namespace

TeamAlertEngine::TeamAlertEngine(V2DataProvider* provider, QObject* parent)
    : QObject(parent)
    , m_provider(provider)
    , m_detector(std::make_unique<TeamAlertDetector>(provider, [this](const TeamAlert& alert) { raise(alert); }))
    , m_awaitedSnapshots(ClientV2Controller::channels())
    , m_clock(&SessionClock::serverNowMs)
{
    m_runningLaps.setInterval(kRunningLapsIntervalMs);
    connect(&m_runningLaps, &QTimer::timeout, this, &TeamAlertEngine::checkRunningLaps);
    // Without a provider it only keeps the alerts other monitors raise.
    if (!provider)
        return;
    const auto marks = [this](Domain domain) { return [this, domain] { mark(domain); }; };
    connect(provider, &V2DataProvider::analysisPitIn, this, marks(TeamAlertDetector::Pits));
    connect(provider, &V2DataProvider::analysisPitOut, this, marks(TeamAlertDetector::Pits));
    connect(provider, &V2DataProvider::raceControlMessages, this, marks(TeamAlertDetector::RaceControl));
    connect(provider, &V2DataProvider::sessionFlags, this, marks(TeamAlertDetector::Flags));
    const auto allDetails = [this] {
        m_allDetails = true;
        mark(TeamAlertDetector::Details);
    };
    connect(provider, &V2DataProvider::participantDetails, this, allDetails);
    connect(provider, &V2DataProvider::sessionTrackLimits, this, allDetails);
    connect(provider, &V2DataProvider::participantDetailsByPnum, this, [this](const QString& car) {
        m_detailCars.insert(car);
        mark(TeamAlertDetector::Details);
    });
    connect(provider, &V2DataProvider::standingsOverall, this, marks(TeamAlertDetector::Standings));
    connect(provider, &V2DataProvider::standingsOverallByPosition, this, marks(TeamAlertDetector::Standings));
    connect(provider, &V2DataProvider::standingsByClass, this, marks(TeamAlertDetector::Standings));
    connect(provider, &V2DataProvider::standingsByClassByPosition, this, marks(TeamAlertDetector::Standings));
    connect(provider, &V2DataProvider::analysisLaps, this, [this] {
        m_allLaps = true;
        mark(TeamAlertDetector::Laps);
    });
    connect(provider, &V2DataProvider::analysisLapsByPnum, this, [this](const QString& car) {
        m_lapCars.insert(car);
        mark(TeamAlertDetector::Laps);
    });
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &TeamAlertEngine::lookQuietly);
    connect(provider, &V2DataProvider::cleanAll, this, [this] {
        // A new session: its keys and messages start afresh.
        m_detector->forget();
        m_newSession = true;
    });
    // After the controller's own slot: the line's notifications have all come.
    V2_Client* client = provider->controller();
    connect(client, &V2_Client::onChannelChange, this, &TeamAlertEngine::lineRead);
    // The server confirms each join before it sends that channel's snapshot,
    // and sends the snapshots in joining order.
    connect(client, &V2_Client::onLoginDone, this, [this] { m_awaitedSnapshots.clear(); });
    connect(client, &V2_Client::onChannelJoin, this, [this](const QString& channel) {
        if (!m_awaitedSnapshots.contains(channel))
            m_awaitedSnapshots.append(channel);
    });
}

TeamAlertEngine::~TeamAlertEngine() = default;

const QVector<TeamAlert>& TeamAlertEngine::alerts() const
{
    return m_alerts;
}

int TeamAlertEngine::unacknowledgedCount() const
{
    return m_unacknowledged;
}

bool TeamAlertEngine::raise(TeamAlert alert)
{
    if (m_raised.contains(alert.identity))
        return false;
    m_raised.insert(alert.identity);
    // The session's clock, which a replay sets to the recorded time: an alert
    // is raised as its line is read, so this is the event's track time.
    if (alert.trackTimeMs == 0)
        alert.trackTimeMs = SessionClock::trackTimeMs();
    if (!alert.acknowledged)
        ++m_unacknowledged;
    m_alerts.append(alert);
    emit alertRaised(m_alerts.size() - 1);
    return true;
}

void TeamAlertEngine::acknowledge(int index)
{
    if (index < 0 || index >= m_alerts.size() || m_alerts[index].acknowledged)
        return;
    m_alerts[index].acknowledged = true;
    --m_unacknowledged;
    emit acknowledgedChanged();
}

void TeamAlertEngine::acknowledgeAll()
{
    if (m_unacknowledged == 0)
        return;
    for (TeamAlert& alert : m_alerts)
        alert.acknowledged = true;
    m_unacknowledged = 0;
    emit acknowledgedChanged();
}

void TeamAlertEngine::clear()
{
    m_alerts.clear();
    m_raised.clear();
    m_unacknowledged = 0;
    emit cleared();
}

const AlertRules& TeamAlertEngine::rules() const
{
    return m_detector->rules();
}

void TeamAlertEngine::setRules(const AlertRules& rules)
{
    m_detector->setRules(rules);
    if (!m_provider)
        return;
    lookQuietly();
    if (rules.isEnabled(AlertRules::kSlowLap))
        m_runningLaps.start();
    else
        m_runningLaps.stop();
}

void TeamAlertEngine::setClock(std::function<qint64()> clock)
{
    m_clock = clock;
    m_lastLineMs = 0;
    m_detector->setClock(std::move(clock));
}

void TeamAlertEngine::checkRunningLaps()
{
    // The lap's start is a server stamp and "now" runs on without lines: a
    // lap would look ever longer while nothing new is known about it. The
    // same clock is read at each line's end, so a replay's (recorded, still
    // while paused) and a live one's are compared alike.
    const qint64 now = m_clock();
    if (m_lastLineMs == 0 || now - m_lastLineMs > kLiveDataMs || now < m_lastLineMs)
        return;
    m_detector->lookAtRunningLaps(false);
}

void TeamAlertEngine::mark(TeamAlertDetector::Domain domain)
{
    m_dirty.set(domain);
}

void TeamAlertEngine::lineRead(const QSet<QString>& keys)
{
    m_lastLineMs = m_clock();
    const V2_Client* client = m_provider->controller();
    // The mirror is what came whole (a tree handed over: a replay's jump or
    // recorded login; or a line into an empty mirror, which becomes it) when
    // the client holds no line tree beside it.
    bool whole = !keys.isEmpty();
    for (auto it = keys.cbegin(); whole && it != keys.cend(); ++it)
        whole = !client->rxHasNode(it->section(QLatin1Char('.'), 0, 0));
    const V2_Data* mirror = client->getCurrentData();
    // Emptied, it is a recorded login: the snapshots of the channels follow
    // as lines, in joining order.
    if (whole && mirror->datas()->isEmpty())
        m_awaitedSnapshots = ClientV2Controller::channels();
    const auto carries = [&](const QString& channel) { return whole ? mirror->getV2_Data(channel) != nullptr : client->rxHasNode(channel); };

    bool quietAny = false;
    for (int d = 0; d < TeamAlertDetector::DomainCount; ++d) {
        const auto domain = static_cast<Domain>(d);
        bool quietly = m_newSession || whole;
        if (!quietly && m_awaitedSnapshots.contains(channelOf(domain))) {
            quietly = carries(channelOf(domain));
            for (const QString& key : wholeKeys(domain))
                quietly = quietly || keys.contains(key);
        }
        quietAny = quietAny || quietly;
        const QSet<QString>* cars = nullptr;
        if (!quietly && domain == TeamAlertDetector::Details && !m_allDetails)
            cars = &m_detailCars;
        if (!quietly && domain == TeamAlertDetector::Laps && !m_allLaps)
            cars = &m_lapCars;
        if (quietly || m_dirty.test(d))
            m_detector->look(domain, quietly, cars);
    }
    // A channel's snapshot has come with the line that carries it, and the
    // snapshots of the channels joined before it came earlier: a channel
    // empty at the login has none, and its first item is news. A snapshot
    // holds its one channel; a line of several is a publication that came
    // between a join and its snapshot (read quietly above), and ends no wait.
    // A tree handed over whole (a recording's start, a jump) holds them all.
    int carried = 0;
    for (const QString& channel : ClientV2Controller::channels())
        carried += carries(channel) ? 1 : 0;
    if (whole && carried > 1)
        m_awaitedSnapshots.clear();
    for (int i = m_awaitedSnapshots.size() - 1; carried == 1 && i >= 0; --i) {
        if (carries(m_awaitedSnapshots.at(i))) {
            m_awaitedSnapshots.erase(m_awaitedSnapshots.begin(), m_awaitedSnapshots.begin() + i + 1);
            break;
        }
    }
    m_detailCars.clear();
    m_lapCars.clear();
    m_allDetails = false;
    m_allLaps = false;
    if (quietAny)
        m_detector->lookAtRunningLaps(true);
    m_dirty.reset();
    m_newSession = false;
}

void TeamAlertEngine::lookQuietly()
{
    for (int d = 0; d < TeamAlertDetector::DomainCount; ++d)
        m_detector->look(static_cast<Domain>(d), true);
    m_detector->lookAtRunningLaps(true);
}
