#pragma once

#include "AlertRules.h"
#include "GapCrossing.h"
#include "TeamAlert.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

class V2DataProvider;

// The rules' detection: reads one kind of data through the provider's
// getters and turns what is new since it last looked into alerts. Looking
// quietly takes what is there as known without an alert (a login's or a
// reconnect's snapshot, a jump, a new session, other followed cars or
// rules). Every alert has an identity (rule, session, car, event) and is
// offered once.
class TeamAlertDetector final
{
    Q_DISABLE_COPY(TeamAlertDetector)

public:
    // The kinds of data read together, each named by the provider's notifications.
    enum Domain {
        Pits, // pit entries and exits
        RaceControl, // race control messages
        Flags, // the session's flags
        Details, // participant details: track limits, bests, status
        Standings, // gaps and positions
        Laps, // completed laps: the slow-lap rule
        DomainCount,
    };
    using Sink = std::function<void(const TeamAlert&)>;
    // The track's day time now in ms since the epoch.
    using Clock = std::function<qint64()>;

    TeamAlertDetector(V2DataProvider* provider, Sink sink);
    ~TeamAlertDetector();

    const AlertRules& rules() const;
    void setRules(const AlertRules& rules);
    void setClock(Clock clock);

    // cars: the cars the line named (details, laps); null for every followed car.
    void look(Domain domain, bool quietly, const QSet<QString>* cars = nullptr);
    // The laps being run against the clock (the slow-lap rule before the lap ends).
    void lookAtRunningLaps(bool quietly);
    // A new session: nothing known is kept.
    void forget();

    // Whether a race control text names the car as a whole word ("Car 7",
    // "#7", "No. 7", "7 -"), never as part of another number.
    static bool namesCar(const QString& text, const QString& car);
    // "1:38.214" (precision 3) or "0:38.2" (precision 1).
    static QString timeText(qint64 ms, int precision);

private:
    // Raises an alert of an enabled rule unless its identity is known.
    void offer(const QString& rule, const QString& car, const QString& event, const QString& text);

    void lookAtPits();
    void lookAtRaceControl();
    void lookAtFlags();
    void lookAtDetails(const QSet<QString>* cars);
    void lookAtStandings();
    void lookAtLaps(const QSet<QString>* cars);
    // The followed cars, or those of them among cars.
    QStringList followedAmong(const QSet<QString>* cars) const;
    // The position and the gaps of a car in the overall (empty class) or its class standings.
    struct Place
    {
        int position = 0;
        double ahead = -1; // seconds; -1 unknown, a lap or more: very large
        double behind = -1;
    };
    // Car to position, per standings (empty: overall).
    using Orders = QHash<QString, QHash<QString, int>>;
    Place placeOf(const QString& car, const QString& className, Orders& orders) const;
    // The median of the car's last valid green laps before lap (ms; 0 when
    // too few); endBefore: the day time lap beforeLap - 1 ended (0 unknown).
    qint64 recentMedian(const QString& car, int beforeLap, quint64 endBefore, int count) const;
    bool neutralisedDuring(quint64 from, quint64 to) const;
    QString carText(const QString& car) const;

    V2DataProvider* m_provider;
    Sink m_sink;
    Clock m_clock;
    AlertRules m_rules;
    bool m_quiet = false;
    // Counts the sessions seen: identities of one session never meet another's.
    // (Not the session's id: a reconnect's first channels come without it.)
    int m_session = 0;
    QSet<QString> m_known;
    // Gap and position rules: what they last saw per car.
    QHash<QString, GapCrossing> m_gaps;
    QHash<QString, int> m_crossings;
    QHash<QString, int> m_positions;
    QHash<QString, int> m_positionChanges;
    // The lap each followed car stopped on, while it stays stopped.
    QHash<QString, int> m_stoppedOnLap;
    // Session bests per class (empty: overall): time and holder.
    QHash<QString, QPair<quint64, QString>> m_bests;
    // Neutralisations as the flags tell them: day times [start, end), end 0 while running.
    QVector<QPair<quint64, quint64>> m_neutralised;
};
