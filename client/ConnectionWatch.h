#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class BroadcastDelay;
class V2_Client;

// Whether what the panels show is live: once data has arrived from the
// server, a dropped connection makes it stale until the next data line after
// reconnecting. A team relay's notice that it lost its timing server makes
// it stale, data or not, until the relay's notice that it is back (or a new
// login): what the relay sends meanwhile is its old copy or the team's own.
// While stale it says, once a second, how long ago the last data came.
// Only lines received from the server are data. Under a broadcast delay the
// panels show the connection's past: a drop, a reconnect's first line and a
// relay's notices count when the delayed picture reaches them.
class ConnectionWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ConnectionWatch)

public:
    explicit ConnectionWatch(V2_Client* client, QObject* parent = nullptr);
    ~ConnectionWatch() override;

    bool isStale() const;
    // "Connection lost — last data 00:12 ago".
    QString staleText() const;
    // What is shown no longer comes from the connection (a replay): nothing
    // is stale and no data has arrived yet.
    void forget();

signals:
    void staleChanged(bool stale);
    void staleTextChanged(QString text);

private slots:
    void dataArrived();
    void loggedIn();
    void connectionLost();
    void becomeStale();
    void relayLost();
    void relayBack();
    void tick();

private:
    // Runs event now, or when the delayed picture reaches this moment.
    void inPicture(void (ConnectionWatch::*event)());

    BroadcastDelay* m_delay = nullptr;
    qint64 m_lastData = -1;
    bool m_stale = false;
    bool m_relayLost = false;
    QTimer m_clock;
};
