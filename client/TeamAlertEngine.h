#pragma once

#include "TeamAlert.h"

#include <QObject>
#include <QSet>
#include <QVector>

class V2DataProvider;

// Turns what the provider announces about the followed cars and the session
// into alerts, once per change, and keeps the session's alerts with their
// acknowledgement. Reads the provider only through its notifications and
// getters, like a model; holds no widget, so the program's panels, tests
// and other programs use it alike. GUI thread only.
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
    // Forgets the alerts and the identities raised.
    void clear();

signals:
    // alerts()[index] was appended.
    void alertRaised(int index);
    void acknowledgedChanged();
    void cleared();

private:
    V2DataProvider* m_provider = nullptr;
    QVector<TeamAlert> m_alerts;
    QSet<QString> m_raised;
    int m_unacknowledged = 0;
};
