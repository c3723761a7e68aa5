#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

// Holds the data lines received from the server and hands each over a set
// number of seconds after it arrived, so that the whole picture (every
// panel, the clock, the flags, race control, the alerts) runs as far behind
// as the television does. Raising the delay pauses the picture until the
// oldest held line is due; lowering it hands over at once, in order, what
// is due. One single-shot timer waits for the next due line.
class BroadcastDelay final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(BroadcastDelay)

public:
    static constexpr int MaxSeconds = 300;
    // Held lines beyond this are handed over early rather than kept: the
    // picture runs a little ahead instead of the memory growing on.
    static constexpr qint64 MaxHeldBytes = 512LL * 1024 * 1024;

    // Hands one held line over; first: it was the first data line of its connection.
    using Deliver = std::function<void(const QByteArray& line, bool first)>;
    // Milliseconds on a clock that never steps back (not the wall clock: a
    // step of the system time must not freeze the picture).
    using Clock = std::function<qint64()>;

    explicit BroadcastDelay(Deliver deliver, QObject* parent = nullptr);
    // The session clock runs undelayed again.
    ~BroadcastDelay() override;

    // Reads "--delay" text: whole seconds from 0 to MaxSeconds; false with the reason otherwise.
    static bool parseSeconds(const QString& text, int* seconds, QString* error);

    int seconds() const;
    // Clamped to 0..MaxSeconds; the session clock follows.
    void setSeconds(int seconds);
    // Off while a replay runs: what is held is handed over at once, the
    // session clock runs undelayed, and new lines pass straight through; on
    // again, the delay applies again. A connection merely paused (a prompt,
    // the connection dialog) keeps its held lines coming on time.
    void setLive(bool live);
    // Forgets the held lines and events unseen (another server's lines must
    // not land on the new server's tree).
    void drop();
    // Whether a line arriving now must be held (a delay is on, or earlier
    // lines still wait: the order is kept).
    bool holding() const;
    // team: a line of the team's shared channel alone (see mayPassTeamLine).
    void hold(const QByteArray& line, bool first, bool team = false);
    // Something that happened to the connection now (it dropped, a relay's
    // notice), run when the picture reaches this moment, in order with the lines.
    void holdEvent(std::function<void()> event);
    // Hands over every line due by now (the timer calls it).
    void deliverDue();

    // Whether a team line may skip the delay: no connection's first line is
    // held (the tree it would land on is still the last connection's) and no
    // team line is (it must not be overtaken by a newer one).
    bool mayPassTeamLine() const;
    // Lines only, not events.
    int heldCount() const;
    qint64 heldBytes() const;
    // The held lines, oldest first (a recording started now takes them too).
    QList<QByteArray> heldLines() const;

    void setClock(Clock clock);

signals:
    void secondsChanged(int seconds);
    // A held line has just been handed over.
    void lineShown();

private:
    struct Held {
        qint64 arrivedMs;
        QByteArray line;
        bool first;
        bool team;
        std::function<void()> event;
    };
    qint64 effectiveDelayMs() const;
    void applyToSessionClock() const;
    void schedule();

    Deliver m_deliver;
    QElapsedTimer m_monotonic;
    Clock m_clock;
    std::deque<Held> m_held;
    qint64 m_heldBytes = 0;
    int m_seconds = 0;
    bool m_live = true;
    bool m_delivering = false;
    QTimer m_timer;
};
