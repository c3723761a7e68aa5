#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class V2DataProvider;

// Where a car rejoins if it stops this lap or one of the next laps: its
// predicted position overall and in its class, and the cars directly ahead
// and behind it then, with the predicted gaps.
//
// What it assumes:
// - The others keep their recent pace (the median of their last clean laps)
//   and no one else stops, beyond the stops already begun: a car that has
//   entered the pit lane since its last line crossing still owes the whole
//   of othersLossMs, a car on its out lap (it crossed the line in the lane)
//   half of it; the gaps the standings give do not hold that yet.
// - A gap to the leader is the time behind him at the same distance: the
//   time a car crossed the line after the leader crossed it on the same lap,
//   so a lapped car's gap holds its whole laps. Positions follow from these
//   times, so a car a lap down stays a lap down after our stop unless the
//   stop costs us more than the time it is behind; gaps to the neighbours
//   are split into whole laps (of our pace) and the rest.
// - A stop costs the pit loss handed in (PitLossLearner), added to the
//   stopping car's time at the end of its out lap; every car is compared
//   after as many laps as we run to the end of our out lap (the in lap, then
//   the out lap, after the laps we wait).
// - Class positions rank the cars of the chosen car's class alone.
// Retired cars and cars without a time behind the leader are left out.
class PitWindowPredictor final
{
public:
    struct Car {
        QString number;
        QString className;
        int position = 0;  // overall, from the standings
        double gapMs = 0;  // to the leader, at the same distance
        qint64 paceMs = 0; // 0: unknown (taken as the leader's)
        double stopOwed = 0; // share of a begun stop its gap lacks: 0, 0.5 or 1
    };
    struct Neighbour {
        QString number; // empty: none
        int laps = 0;   // whole laps between the two cars
        qint64 gapMs = 0; // and the rest
    };
    struct Prediction {
        int lapOffset = 0; // 0: stop this lap
        qint64 lossMs = 0;
        int position = 0;
        int classPosition = 0;
        Neighbour ahead;
        Neighbour behind;
        Neighbour classAhead;
        Neighbour classBehind;
    };

    void setField(const QVector<Car>& cars);
    const QVector<Car>& field() const;

    // Reads again one car's recent pace from its laps (after a lap of it).
    void refreshPace(V2DataProvider& provider, const QString& pNum);
    // Reads the overall standings, with the paces read so far (a car not
    // read yet is read now).
    void refreshField(V2DataProvider& provider);

    // For the chosen car, stopping on this lap and each of the next lapsAhead laps.
    // othersLossMs: what a begun stop of another car costs it.
    QVector<Prediction> predict(const QString& chosen, qint64 lossMs, int lapsAhead, qint64 othersLossMs = 0) const;

private:
    QVector<Car> m_field;
    QHash<QString, qint64> m_pace;
};
