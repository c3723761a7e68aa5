#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <memory>

class V2_Data;
class V2_Server;

// The team's own channel on the relay: what seats with upload rights send
// (the followed cars of each follow block, optionally the alert rules) is
// merged in arrival order into the relay's "team" node, so the latest
// change wins, and published to every seat that joined the channel. A seat
// joining gets the node whole. The node is the relay's, not the timing
// server's: it outlives upstream drops. Nothing outside "team" is taken.
class TeamChannel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TeamChannel)

public:
    static const QString CHANNEL;

    explicit TeamChannel(V2_Server* server, QObject* parent = nullptr);
    ~TeamChannel() override;

    // The team node (null until the first upload).
    const V2_Data* node() const;
    void answerSnapshot(int descriptor);
    // One upload's parameters from connection descriptor: either the upload
    // line's {"data": JSON text, "name": ...} or the tree itself. Only the
    // follow entries and the alert rules are taken; returns how many parts
    // were refused (logged once per connection).
    int applyUpload(const QVariantMap& parameters, int descriptor);

signals:
    void changed();

private:
    void watchConnections();
    // On a connection's thread: copies the parameters over to this thread.
    void uploadArrived(QVariantMap* data, int descriptor, QString champ);
    void forgetConnection(int descriptor);

    V2_Server* m_server;
    std::unique_ptr<V2_Data> m_tree;
    // Connections whose refused uploads were logged already.
    QSet<int> m_warned;
};
