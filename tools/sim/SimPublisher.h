#pragma once

#include "SessionSimulator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class V2_Data;
class V2_Server;

// Runs a simulated session on a server: at every tick it rebuilds the state
// for the simulated time and publishes only what changed (deletions as
// JSON null); a client that joins a channel first gets its whole content.
// The lap history only grows: it is kept apart and extended by the laps
// completed since the last tick, so that a long race ticks as fast as a
// short one.
class SimPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(SimPublisher)

public:
    static constexpr int TICK_MS = 1000;

    SimPublisher(V2_Server* server, const SimOptions& options, qint64 sessionStartMs, QObject* parent = nullptr);
    ~SimPublisher() override;

    // Simulated ms since the session start (history included).
    qint64 elapsedMs() const;
    // Moves the simulation to this time and publishes the change (tests drive it directly).
    void publishAt(qint64 elapsedMs);
    // The whole published state, lap history included.
    const V2_Data* published() const;
    // Ticks on the wall clock at the options' speed; from then on the
    // published UTC offset carries the simulated clock's lead over the wall
    // clock, so that a client's "now" is the simulated one.
    void start();

private:
    void tick();
    // Sets the published UTC offset so that a client's clock reads the simulated time.
    void followSimulatedClock(V2_Data* state, qint64 elapsedMs) const;
    void answerSnapshot(int descriptor, const QString& channel);

    V2_Server* m_server;
    SimOptions m_options;
    SessionSimulator m_simulator;
    // The last state published without the lap history, and the history.
    std::unique_ptr<V2_Data> m_current;
    std::unique_ptr<V2_Data> m_history;
    qint64 m_publishedAt;
    // The two put together, made when asked for.
    mutable std::unique_ptr<V2_Data> m_whole;
    QElapsedTimer m_wall;
    QTimer m_timer;
};
