#pragma once

#include <QColor>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

class V2DataProvider;
class V2_Client;

// Shares the follow blocks with the other seats of a team through the
// server's "team" channel, when the user switches it on. The channel holds
// team.follow.<block> = {"car", "color", "seat"}, <block> being the block's
// number (panel id + 1). A block the user changes is uploaded; the server
// applies uploads in arrival order and publishes each to every seat, so the
// latest change wins. What the channel brings (its content on joining, and
// every seat's changes, this seat's own among them) is handed to the follow
// blocks through blockShared, and taking it over uploads nothing, so no
// change goes round in circles. Joining uploads nothing: the channel's
// content is taken over, and this seat's cars in blocks the channel does
// not name stay here until the user changes them. GUI thread only.
//
// A server without the channel, or one that refuses this user's uploads,
// is said once (notice) and remembered for that server and user: nothing
// is joined there again, or nothing more uploaded, until the server or user
// changes or the setting is switched off and on.
class TeamFollowSync final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TeamFollowSync)

public:
    enum class State {
        Off,         // not switched on: nothing joined, nothing uploaded
        Waiting,     // on, the channel not joined yet (not logged in)
        Sharing,     // joined: changes go both ways
        ReceiveOnly, // joined, but the server refuses this user's uploads
        NoChannel,   // the server has no team channel
    };
    struct Block {
        QString car; // empty: the block follows nothing
        QColor color;
        bool operator==(const Block& other) const { return car == other.car && color == other.color; }
        bool operator!=(const Block& other) const { return !(*this == other); }
    };

    static const QString& channel();

    explicit TeamFollowSync(V2DataProvider* provider, QObject* parent = nullptr);
    ~TeamFollowSync() override;

    void setEnabled(bool enabled);
    bool isEnabled() const;
    State state() const;
    // What the state means to the user, for the setting's menu entry.
    QString stateText() const;

    // The user changed a block: uploaded when sharing and unless the
    // channel holds that already.
    void share(int panelId, const QString& car, const QColor& color);
    // What the channel holds, by panel id (empty when not joined).
    QMap<int, Block> sharedBlocks() const;

signals:
    // The channel's block changed: the follow block takes it over.
    void blockShared(int panelId, const QString& car, const QColor& color);
    void stateChanged(TeamFollowSync::State state);
    // Said once per server and user: no channel there, or uploads refused.
    void notice(const QString& text);

private:
    void onLoginDone();
    void onChannelJoin(const QString& name);
    void onDisconnected();
    void onChannelChange(const QSet<QString>& keys);
    void onErrorReceived(const QString& line);
    void join();
    void upload(int panelId, const Block& block);
    void setState(State state);
    bool live() const;
    // The server and user a refusal or a missing channel belongs to.
    QString identity() const;

    V2DataProvider* m_provider;
    V2_Client* m_client;
    QMap<int, Block> m_channel;
    State m_state = State::Off;
    bool m_enabled = false;
    bool m_joined = false;
    QString m_refusedFor;
    QString m_noChannelAt;
};
