#pragma once

#include <QByteArray>

#include <memory>

class V2_Data;

// The timing tree as a recorded client had it: replays received protocol
// lines into it. A data line merges (JSON null deletes); a login reply
// starts a new connection, whose client began from an empty tree.
class ReplayState final
{
public:
    ReplayState();
    ~ReplayState();
    ReplayState(const ReplayState&) = delete;
    ReplayState& operator=(const ReplayState&) = delete;

    // Applies one line. Returns what changed for the clients of a replay
    // server (deletions as markers), or null when the line changes nothing.
    std::unique_ptr<V2_Data> apply(const QByteArray& line);
    // The same without building the change (fast-forward).
    void applyQuietly(const QByteArray& line);
    const V2_Data* tree() const;
    // Hands the tree over; the state starts again from an empty one.
    std::unique_ptr<V2_Data> takeTree();
    // A channel's whole content, wrapped in its path from the root; null when absent.
    std::unique_ptr<V2_Data> snapshot(const QString& channel) const;

    // A whole tree as one recorded data line, its path flags included.
    static QByteArray treeLine(const V2_Data* tree);

private:
    std::unique_ptr<V2_Data> applyLine(const QByteArray& line, bool withChange);

    std::unique_ptr<V2_Data> m_tree;
};
