#include "SessionClock.h"

#include <algorithm>
#include <deque>
#include <limits>

namespace {

struct Values {
    qint64 utcOffset = 0;
    bool closed = false;
    int finalType = SessionClock::FinalUnknown;
    int finalTime = 0;
    qint64 startTime = 0;
    qint64 sessionStartTime = 0;
    qint64 stopTime = 0;
    bool running = false;
    bool timeFinished = false;
    int finalLaps = -1;
    int elapsedLaps = -1;
    int elapsedLapsAfterTimeFinish = -1;
    bool forcedByTime = false;
    bool forcedLastLap = false;
    qint64 stoppedSeconds = 0;
};

Values g_values;

qint64 systemClock()
{
    return QDateTime::currentMSecsSinceEpoch();
}

SessionClock::Clock g_clock = &systemClock;

// The broadcast delay, and the picture's moment when it was last raised.
qint64 g_delay = 0;
qint64 g_pictureFloor = std::numeric_limits<qint64>::min();

// The moment the picture shows: the wall clock less the delay, never back
// from where it stood when the delay was raised.
qint64 pictureNow()
{
    return std::max(g_clock() - g_delay, g_pictureFloor);
}

// How far the server's day times run ahead of our clock (behind when
// negative), as last worked out from the stamps received.
qint64 g_serverLead = 0;

// The largest lead of the stamps received in one wall second.
struct LeadSecond {
    qint64 second;
    qint64 lead;
};
std::deque<LeadSecond> g_recentLeads;

constexpr qint64 kLeadLimitMs = 7LL * 24 * 3600 * 1000;
// Only the stamps of the last minute count: one bad day time ages out, and
// a simulator ahead stamps every tick, so its lead stays current.
constexpr qint64 kLeadWindowSeconds = 60;
// A server on time is read on our clock: its stamps arrive late by the
// network and the feed's own processing, and the newest of a minute is
// then far less than this behind. Only a clock clearly slower than ours (a
// simulator below real time, an old replay) runs further behind.
constexpr qint64 kBehindMarginMs = 30000;

void forgetLeads()
{
    g_recentLeads.clear();
    g_serverLead = 0;
}

// "LAST LAP" for one lap to go, else "3 LAPS" (no "S" below two).
QString lapsToGo(int laps)
{
    if (laps == 1)
        return QStringLiteral("LAST LAP");
    return QStringLiteral("%1 LAP%2").arg(laps).arg(laps < 2 ? QString() : QStringLiteral("S"));
}

} // namespace

void SessionClock::setUtcOffset(qint64 milliseconds)
{
    g_values.utcOffset = milliseconds;
}

qint64 SessionClock::utcOffset()
{
    return g_values.utcOffset;
}

void SessionClock::setClosed(bool closed)
{
    g_values.closed = closed;
}

void SessionClock::setFinalType(const QString& text)
{
    if (text == QLatin1String("BY_TIME"))
        g_values.finalType = FinalByTime;
    else if (text == QLatin1String("BY_LAPS"))
        g_values.finalType = FinalByLaps;
    else if (text == QLatin1String("BY_LAPS_WITH_MAX_TIME"))
        g_values.finalType = FinalByLapsWithMaxTime;
    else if (text == QLatin1String("BY_TIME_PLUS_LAPS"))
        g_values.finalType = FinalByTimePlusLaps;
    else
        g_values.finalType = FinalUnknown;
}

void SessionClock::setFinalTime(int seconds)
{
    g_values.finalTime = seconds;
}

void SessionClock::setStartTime(qint64 seconds)
{
    g_values.startTime = seconds;
}

void SessionClock::setSessionStartTime(qint64 value)
{
    g_values.sessionStartTime = value;
}

void SessionClock::setStopTime(qint64 seconds)
{
    g_values.stopTime = seconds;
}

void SessionClock::setRunning(bool running)
{
    g_values.running = running;
}

void SessionClock::setTimeFinished(bool finished)
{
    g_values.timeFinished = finished;
}

void SessionClock::setFinalLaps(int laps)
{
    g_values.finalLaps = laps;
}

void SessionClock::setElapsedLaps(int laps)
{
    g_values.elapsedLaps = laps;
}

void SessionClock::setElapsedLapsAfterTimeFinish(int laps)
{
    g_values.elapsedLapsAfterTimeFinish = laps;
}

void SessionClock::setForcedByTime(bool forced)
{
    g_values.forcedByTime = forced;
}

void SessionClock::setForcedLastLap(bool forced)
{
    g_values.forcedLastLap = forced;
}

void SessionClock::setStoppedSeconds(qint64 seconds)
{
    g_values.stoppedSeconds = seconds;
}

int SessionClock::finalType()
{
    return g_values.finalType;
}

bool SessionClock::forcedByTime()
{
    return g_values.forcedByTime;
}

bool SessionClock::closed()
{
    return g_values.closed;
}

qint64 SessionClock::stoppedSeconds()
{
    return g_values.stoppedSeconds;
}

int SessionClock::elapsedLaps()
{
    return g_values.elapsedLaps;
}

int SessionClock::finalLaps()
{
    return g_values.finalLaps;
}

int SessionClock::finalTime()
{
    return g_values.finalTime;
}

qint64 SessionClock::sessionStartTime()
{
    return g_values.sessionStartTime;
}

bool SessionClock::timeFinished()
{
    return g_values.timeFinished;
}

void SessionClock::setClock(Clock clock)
{
    g_clock = clock ? clock : &systemClock;
    g_pictureFloor = std::numeric_limits<qint64>::min();
    forgetLeads();
}

void SessionClock::setDelay(qint64 milliseconds)
{
    const qint64 floor = pictureNow();
    g_delay = std::max<qint64>(0, milliseconds);
    g_pictureFloor = g_delay > 0 ? floor : std::numeric_limits<qint64>::min();
}

qint64 SessionClock::delayMs()
{
    return g_delay;
}

void SessionClock::reset()
{
    g_values = Values();
    g_delay = 0;
    g_pictureFloor = std::numeric_limits<qint64>::min();
    forgetLeads();
}

qint64 SessionClock::nowMs()
{
    return g_clock();
}

qint64 SessionClock::serverNowMs()
{
    return pictureNow() + g_serverLead;
}

void SessionClock::noteServerTime(qint64 dayTimeMs, bool justHappened)
{
    const qint64 now = pictureNow();
    const qint64 lead = dayTimeMs - now;
    if (dayTimeMs <= 0 || lead > kLeadLimitMs || (!justHappened && lead < 0))
        return;
    const qint64 second = now / 1000;
    // A clock set back (a jump in a recording) starts the window afresh.
    if (!g_recentLeads.empty() && g_recentLeads.back().second > second)
        g_recentLeads.clear();
    while (!g_recentLeads.empty() && g_recentLeads.front().second < second - kLeadWindowSeconds)
        g_recentLeads.pop_front();
    if (!g_recentLeads.empty() && g_recentLeads.back().second == second)
        g_recentLeads.back().lead = std::max(g_recentLeads.back().lead, lead);
    else
        g_recentLeads.push_back({second, lead});

    qint64 largest = g_recentLeads.front().lead;
    for (const LeadSecond& entry : g_recentLeads)
        largest = std::max(largest, entry.lead);
    // Ahead: the largest lead of the minute. Behind: only when every stamp of
    // the minute is clearly behind, and then by the newest second's, since
    // the older ones lag the more the slower the server's clock runs.
    if (largest > 0)
        g_serverLead = largest;
    else if (largest < -kBehindMarginMs)
        g_serverLead = g_recentLeads.back().lead;
    else
        g_serverLead = 0;
}

void SessionClock::forgetServerLead()
{
    forgetLeads();
}

qint64 SessionClock::trackTimeMs()
{
    return pictureNow() + g_values.utcOffset;
}

QDateTime SessionClock::trackDateTime()
{
    return QDateTime::fromMSecsSinceEpoch(pictureNow()).addMSecs(g_values.utcOffset);
}

int SessionClock::elapsedSeconds()
{
    if (g_values.closed)
        return 0;
    const qint64 base = g_values.running ? trackTimeMs() / 1000 : g_values.stopTime;
    return static_cast<int>(base - g_values.stoppedSeconds - g_values.startTime);
}

QString SessionClock::elapsedText()
{
    const int seconds = elapsedSeconds();
    return seconds == 0 ? QString() : formatDuration(seconds, false);
}

int SessionClock::remainingSeconds()
{
    const Values& v = g_values;
    const qint64 base = v.closed || !v.running ? v.stopTime : trackTimeMs() / 1000;
    const qint64 elapsed = std::max<qint64>(0, base - v.stoppedSeconds - v.startTime);
    const qint64 left = v.finalTime - elapsed;
    return left >= 0 && !v.closed ? static_cast<int>(left) : 0;
}

bool SessionClock::endsByTime()
{
    const int type = g_values.finalType;
    return type == FinalByTime || type == FinalByLapsWithMaxTime || type == FinalByTimePlusLaps;
}

QString SessionClock::remainingText()
{
    const Values& v = g_values;
    const int remaining = remainingSeconds();

    switch (v.finalType) {
    case FinalByTime:
        return v.forcedLastLap ? QStringLiteral("LAST LAP") : formatDuration(remaining, false);
    case FinalByLaps:
        if (v.elapsedLaps >= v.finalLaps)
            return QStringLiteral("FINISH");
        return lapsToGo(v.finalLaps - v.elapsedLaps);
    case FinalByLapsWithMaxTime: {
        const int laps = v.elapsedLaps <= v.finalLaps && !v.closed ? v.finalLaps - v.elapsedLaps : 0;
        if (v.forcedByTime)
            return v.forcedLastLap ? QStringLiteral("LAST LAP") : formatDuration(remaining, false);
        return laps == 0 ? QStringLiteral("FINISH") : lapsToGo(laps);
    }
    case FinalByTimePlusLaps: {
        QString text = formatDuration(remaining, false);
        if (v.timeFinished) {
            if (v.elapsedLapsAfterTimeFinish >= v.finalLaps)
                return QStringLiteral("FINISH");
            return lapsToGo(v.finalLaps - v.elapsedLapsAfterTimeFinish);
        }
        if (v.finalLaps >= 1)
            text += QStringLiteral(" + %1 Lap%2").arg(v.finalLaps).arg(v.finalLaps < 2 ? QString() : QStringLiteral("s"));
        return text;
    }
    default:
        return QString();
    }
}

QString SessionClock::formatDuration(int seconds, bool showHours)
{
    const int s = std::max(0, seconds);
    const int hours = s / 3600;
    const int minutes = (s % 3600) / 60;
    const int rest = s % 60;
    QString text;
    if (showHours)
        text = QStringLiteral("%1:").arg(hours, 2, 10, QLatin1Char('0'));
    else if (hours >= 1)
        text = QStringLiteral("%1:").arg(hours);
    return text + QStringLiteral("%1:%2").arg(minutes, 2, 10, QLatin1Char('0')).arg(rest, 2, 10, QLatin1Char('0'));
}

QString SessionClock::formatTime(quint64 milliseconds, bool plusSign, int precision, bool showZero)
{
    if (milliseconds == 0 && !showZero)
        return QString();
    if (milliseconds >= 9223372036854775807ULL)
        return QString();
    // The low 32 bits as signed milliseconds on a time of day: wraps at 24 hours.
    const QTime time = QTime(0, 0).addMSecs(static_cast<qint32>(static_cast<quint32>(milliseconds)));
    const QString pattern = time.hour() >= 1 ? QStringLiteral("h:mm:ss.zzz") : time.minute() >= 1 ? QStringLiteral("m:ss.zzz") : QStringLiteral("s.zzz");
    QString text = time.toString(pattern);
    if (plusSign)
        text.prepend(QLatin1Char('+'));
    static const int cut[] = {4, 2, 1, 0};
    text.chop(cut[qBound(0, precision, 3)]);
    return text;
}
