#pragma once

#include "AlertRules.h"
#include "TeamAlert.h"
#include "TeamAlertDetector.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <bitset>
#include <functional>
#include <memory>

class V2DataProvider;

// Turns what the provider announces about the followed cars and the session
// into alerts, once per change, and keeps the session's alerts with their
// acknowledgement. Reads the provider only through its notifications and
// getters, like a model; holds no widget, so the program's panels, tests
// and other programs use it alike. GUI thread only.
//
// The kinds of data a line touched are looked at once, at the end of the
// line (the client's onChannelChange, which comes after the controller's
// notifications). What a snapshot brings is read quietly: each channel's
// join snapshot after a login or a reconnect (the first line carrying that
// channel), a replay's jump or recorded login, and a new session. What it
// holds becomes known and raises nothing, so only changes after it count; a
// channel empty at the login has no snapshot, and its first item is news. Other followed cars or other rules are read
// quietly as well: what they would have raised before is not news.
class TeamAlertEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TeamAlertEngine)

public:
    explicit TeamAlertEngine(V2DataProvider* provider, QObject* parent = nullptr);
    ~TeamAlertEngine() override;

    // Oldest first; indices stay valid until clear().
    const QVector<TeamAlert>& alerts() const;
    int unacknowledgedCount() const;

    // Raises an alert unless its identity was raised before; true when
    // raised. Other monitors (drive time) raise theirs through it too.
    bool raise(TeamAlert alert);
    void acknowledge(int index);
    void acknowledgeAll();
    // Forgets the alerts and the identities raised. What was detected stays
    // known to the rules: nothing is raised again for it.
    void clear();

    const AlertRules& rules() const;
    void setRules(const AlertRules& rules);
    // The track's day time now (ms since the epoch) for the slow-lap rule;
    // the server's "now" of the session clock unless tests set another.
    void setClock(std::function<qint64()> clock);
    // Compares the laps being run with the clock now; a timer does it every
    // second while the slow-lap rule is on. Only while data are live: not
    // before the first line, nor once none has come for a few seconds by
    // that clock (a stalled or dropped connection), when the laps' ends stand
    // still however far the clock runs. A paused replay's clock stands still
    // with them.
    void checkRunningLaps();

signals:
    // alerts()[index] was appended.
    void alertRaised(int index);
    void acknowledgedChanged();
    void cleared();

private:
    void mark(TeamAlertDetector::Domain domain);
    void lineRead(const QSet<QString>& keys);
    void lookQuietly();

    V2DataProvider* m_provider = nullptr;
    std::unique_ptr<TeamAlertDetector> m_detector;
    std::bitset<TeamAlertDetector::DomainCount> m_dirty;
    bool m_newSession = false;
    // The channels joined since the login whose snapshot has not come yet,
    // in joining order. Before any login (a recording played into a fresh
    // provider) all of them: its first line is the recorded client's tree.
    QStringList m_awaitedSnapshots;
    // The cars a line named in its details and laps (one look for the
    // rest would read every followed car); all of them after a whole collection.
    QSet<QString> m_detailCars;
    QSet<QString> m_lapCars;
    bool m_allDetails = false;
    bool m_allLaps = false;
    QTimer m_runningLaps;
    std::function<qint64()> m_clock;
    // The clock when the last line came; 0 before any.
    qint64 m_lastLineMs = 0;
    QVector<TeamAlert> m_alerts;
    QSet<QString> m_raised;
    int m_unacknowledged = 0;
};
