#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

#include <array>

class V2DataProvider;

// What a pit stop costs, per kind of stop, learnt from this session's stops.
//
// The loss of one stop is the time its in lap and out lap took beyond the
// car's recent pace (the median of its last five laps that were neither in
// nor out laps). Those two laps run through the pit lane, so they already
// hold the pit-lane time: the lane time stands in them, not beside them
// (adding it again would count it twice). A stop whose in or out lap has no
// time, or whose car has no clean lap before it, is not learnt from.
//
// The kind comes from the pit info and the stop's length: a penalty, or a
// lane time too short for any work, is a drive-through; a different driver
// at the exit is a driver change; otherwise the lane time tells a short stop
// (fuel) from a tyre stop. Stops under a safety car or a full-course yellow
// (pit info "SC", or a pit entry inside such a flag period) are learnt
// apart: the others go slowly there, so a stop costs less.
//
// A kind's value is the median of its losses once kMinStops of them exist,
// so that one long repair stop cannot move it; before that, the user's
// value. A user override replaces the learnt value, under a neutralisation
// at kNeutralisedShare of it; otherwise under a neutralisation the value is
// learnt from neutralised stops alone, else the green value times
// kNeutralisedShare. No widget code: the Pit Window panel's model owns one.
class PitLossLearner final
{
public:
    enum Kind { DriveThrough, ShortStop, Tyres, DriverChange, KindCount };
    enum Source { UserValue, Learnt, Override };

    static constexpr int kMinStops = 3;
    static constexpr qint64 kDriveThroughMaxMs = 28000;
    static constexpr qint64 kShortStopMaxMs = 40000;
    static constexpr double kNeutralisedShare = 0.5;

    struct Sample {
        Kind kind = ShortStop;
        bool neutralised = false;
        qint64 lossMs = 0;
    };
    struct Value {
        qint64 lossMs = 0;
        int stops = 0; // the stops of this kind (and condition) the value rests on
        Source source = UserValue;
    };

    PitLossLearner();

    // The value used until enough stops exist.
    void setUserValue(Kind kind, qint64 lossMs);
    qint64 userValue(Kind kind) const;
    static qint64 defaultUserValue(Kind kind);
    // A negative value removes the override.
    void setOverride(Kind kind, qint64 lossMs);
    qint64 overrideValue(Kind kind) const;

    void setSamples(const QVector<Sample>& samples);
    const QVector<Sample>& samples() const;
    Value value(Kind kind, bool neutralised) const;

    static Kind classify(const QString& pitType, bool driverChanged, quint64 pitTimeMs);
    static QString kindName(Kind kind);

    // Learns from the completed stops in the provider's tree not learnt
    // before; every stop's condition is read again from the flags.
    void learn(V2DataProvider& provider);
    // Forgets the stops learnt (a new session).
    void reset();

    // A car's recent pace: the median of its last five laps before beforeLap
    // (exclusive) that are neither in nor out laps nor the first lap; 0 when
    // it has none. pitInLaps: the car's pit-entry laps.
    static qint64 recentPace(const V2DataProvider& provider, const QString& pNum, int beforeLap, const QList<int>& pitInLaps);
    // The safety-car and full-course-yellow periods, as day times [from, to).
    static QVector<QPair<quint64, quint64>> neutralisedPeriods(const V2DataProvider& provider);

private:
    std::array<qint64, KindCount> m_user;
    std::array<qint64, KindCount> m_override;
    struct Stop {
        Sample sample; // its condition set from the flags at each learning
        quint64 enteredAt = 0;
        bool safetyCarInfo = false;
        // Its pit stint not read yet: the stop is read again at the next
        // learning, as its pit info ("SC", "Penalty") may come after the out lap.
        bool stintPending = false;
        // An exit without an entry of its own: known, never a sample.
        bool counted = true;
    };
    // Per car, the stops learnt, by pit-out key.
    QHash<QString, QHash<QString, Stop>> m_stops;
    QVector<Sample> m_samples;
};
