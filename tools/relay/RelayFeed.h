#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class V2_Client;
class V2_Data;
class V2_Server;
struct RelayOptions;

// The relay's one login at the timing server and what it hands the seats:
// a V2_Client keeps the mirror of the joined channels, every data line is
// republished on the relay's server as what it changed, and a seat joining
// a channel gets the channel's content from the mirror.
//
// When the upstream drops, the seats stay connected and get an ERROR line
// (relayUpstreamLostReason()), which the program shows as a lost connection.
// Nothing is published until the new login's snapshots are in: then the
// difference between the mirror the seats hold and the new one goes out,
// deletions included, so the seats converge without reconnecting.
class RelayFeed final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RelayFeed)

public:
    // After the last join of a login is confirmed, the snapshots are
    // waited for this long before the seats are brought up to date.
    static constexpr int DEFAULT_SETTLE_MS = 1000;

    RelayFeed(V2_Server* server, const RelayOptions& options, QObject* parent = nullptr);
    ~RelayFeed() override;

    V2_Client* client() const;
    // Connects to the timing server, and keeps reconnecting.
    void start();
    void stop();
    void setSettleMs(int ms);
    // The seats follow the timing server (not waiting for it).
    bool isLive() const;
    QStringList channels() const;
    // Whether channel is relayed; if so, its content goes to the seat.
    bool answerSnapshot(int descriptor, const QString& channel);
    // Data lines republished since the start.
    quint64 linesRelayed() const;
    // What the seats are brought to: the mirror while live, else what they
    // hold until catching up.
    const V2_Data* seatsTree() const;

signals:
    // The seats follow the timing server again, or no longer.
    void liveChanged(bool live);
    // One upstream data line went out to the seats.
    void lineRelayed();
    // A change went out to the seats (a data line, or the catching up after
    // a new login), as they got it; valid during the call only.
    void changePublished(const V2_Data* change);

private:
    void loggedIn();
    void channelJoined(const QString& channel);
    void dataArrived();
    void dropped();
    void catchUp();

    V2_Server* m_server;
    std::unique_ptr<V2_Client> m_client;
    QStringList m_channels;
    // What the seats hold while the upstream is away (null while live).
    std::unique_ptr<V2_Data> m_seatsHold;
    bool m_live = false;
    bool m_pinned = false;
    bool m_loggedIn = false;
    bool m_firstLinePending = false;
    QSet<QString> m_awaitedJoins;
    QTimer m_settle;
    int m_settleMs = DEFAULT_SETTLE_MS;
    quint64 m_lines = 0;
};
