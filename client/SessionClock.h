#pragma once

#include <QDateTime>
#include <QString>

// The timing values of the current session, process-wide, and the texts
// made from them: elapsed and remaining session time, durations and lap
// times. Written by the connection controller only, read by every panel,
// all on the GUI thread.
class SessionClock final
{
public:
    enum FinalType {
        FinalUnknown = 0,
        FinalByTime = 1,
        FinalByLaps = 2,
        FinalByLapsWithMaxTime = 3,
        FinalByTimePlusLaps = 4,
    };

    SessionClock() = delete;

    static void setUtcOffset(qint64 milliseconds);
    static qint64 utcOffset();
    static void setClosed(bool closed);
    static void setFinalType(const QString& text);
    static void setFinalTime(int seconds);
    static void setStartTime(qint64 seconds);
    static void setSessionStartTime(qint64 value);
    static void setStopTime(qint64 seconds);
    static void setRunning(bool running);
    static void setTimeFinished(bool finished);
    static void setFinalLaps(int laps);
    static void setElapsedLaps(int laps);
    static void setElapsedLapsAfterTimeFinish(int laps);
    static void setForcedByTime(bool forced);
    static void setForcedLastLap(bool forced);
    static void setStoppedSeconds(qint64 seconds);

    static int finalType();
    static bool forcedByTime();
    static bool closed();
    static qint64 stoppedSeconds();
    static int elapsedLaps();
    static int finalLaps();
    static int finalTime();
    static qint64 sessionStartTime();
    static bool timeFinished();

    // Milliseconds since the epoch on the track's clock (local clock + utc offset).
    // The computer clock, ms since the epoch (replaceable in tests).
    static qint64 nowMs();
    static qint64 trackTimeMs();
    // "Now" on the clock the server stamps day times with, for durations up
    // to now from a day time (a stop in the pits, a running stint or flag
    // period): the wall clock plus the server's lead. The lead is the largest
    // by which the stamps of the last minute ran ahead of the wall clock (a
    // simulator faster than real time, a server clock ahead of ours), so one
    // bad stamp ages out; it is negative only when all of them ran clearly
    // behind (a simulator slower than real time, an old replay), else 0.
    static qint64 serverNowMs();
    // A day time the server stamped on something, just received. A stamp
    // more than a week ahead is a fault of the feed and is ignored. One not
    // known to have just happened (read from a whole snapshot) may show the
    // server ahead, never behind.
    static void noteServerTime(qint64 dayTimeMs, bool justHappened = true);
    // The server's lead is forgotten (a new session, another server).
    static void forgetServerLead();
    static QDateTime trackDateTime();
    static int elapsedSeconds();
    static QString elapsedText();
    static QString remainingText();
    // The session time left in seconds (0 once it has run out or closed),
    // meaningful when the session's final type carries a time.
    static int remainingSeconds();
    static bool endsByTime();

    static QString formatDuration(int seconds, bool showHours);
    static QString formatTime(quint64 milliseconds, bool plusSign, int precision, bool showZero);

    // The wall clock read as "now", in milliseconds since the epoch; tests
    // replace it to run the session at a chosen moment. Null restores it.
    // The server's lead, measured on the previous clock, is forgotten.
    using Clock = qint64 (*)();
    static void setClock(Clock clock);
    // The picture runs this far behind the wall clock (a broadcast delay):
    // the track's time, the session's elapsed and remaining time and the
    // server's "now" are read that much earlier. A raised delay holds the
    // picture's moment where it stood until the wall clock minus the delay
    // reaches it, as the data are held; nowMs() stays the computer's clock.
    static void setDelay(qint64 milliseconds);
    static qint64 delayMs();
    // Every value back to its start (zero, false, -1 laps).
    static void reset();
};
