#include "PitWindowPredictor.h"

#include "PitLossLearner.h"
#include "V2DataProvider.h"

#include <algorithm>
#include <cmath>

namespace {

struct Projected {
    const PitWindowPredictor::Car* car;
    double timeMs; // behind the leader at the compared distance
};

PitWindowPredictor::Neighbour neighbour(const Projected& other, double ourTimeMs, qint64 ourPaceMs)
{
    PitWindowPredictor::Neighbour result;
    result.number = other.car->number;
    const double gap = std::abs(ourTimeMs - other.timeMs);
    result.laps = ourPaceMs > 0 ? int(gap / double(ourPaceMs)) : 0;
    result.gapMs = qint64(std::llround(gap - double(result.laps) * double(ourPaceMs)));
    return result;
}

} // namespace

void PitWindowPredictor::setField(const QVector<Car>& cars)
{
    m_field = cars;
}

const QVector<PitWindowPredictor::Car>& PitWindowPredictor::field() const
{
    return m_field;
}

void PitWindowPredictor::refreshPace(V2DataProvider& provider, const QString& pNum)
{
    m_pace.insert(pNum, PitLossLearner::recentPace(provider, pNum, provider.getElapsedLaps(pNum) + 1, provider.getPitInLapNumbers(pNum)));
}

void PitWindowPredictor::refreshField(V2DataProvider& provider)
{
    QVector<Car> cars;
    const int count = provider.getStandingsCount(QString());
    cars.reserve(count);
    for (int position = 1; position <= count; ++position) {
        const QString number = provider.getParticipantAtPosition(position, QString());
        if (number.isEmpty() || provider.getStandingStatus(position, QString()) == QLatin1String("RETIRED"))
            continue;
        const double gap = position == 1 ? 0.0 : provider.getGapFirstTime(position, QString());
        if (gap < 0)
            continue;
        if (!m_pace.contains(number))
            refreshPace(provider, number);
        Car car;
        car.number = number;
        car.className = provider.getParticipantClass(number);
        car.position = position;
        car.gapMs = gap;
        car.paceMs = m_pace.value(number);
        // A stop begun after the last crossing (the pit-in key is newer than
        // the pit-out key): on the in lap or, past the line in the lane, the out lap.
        const int elapsed = provider.getElapsedLaps(number);
        const int lastIn = provider.getLastPitInLap(number);
        const bool inLane = provider.getLastPitInKey(number) > provider.getLastPitOutKey(number);
        if (lastIn == elapsed + 1)
            car.stopOwed = 1.0;
        else if (lastIn == elapsed && (inLane || provider.getParticipantStatus(number) == QLatin1String("OUT_LAP")))
            car.stopOwed = 0.5;
        cars.append(car);
    }
    m_field = cars;
}

QVector<PitWindowPredictor::Prediction> PitWindowPredictor::predict(const QString& chosen, qint64 lossMs, int lapsAhead, qint64 othersLossMs) const
{
    QVector<Prediction> predictions;
    const auto us = std::find_if(m_field.cbegin(), m_field.cend(), [&chosen](const Car& car) { return car.number == chosen; });
    if (us == m_field.cend())
        return predictions;
    // Paces are compared with the leader's (any common reference gives the same order).
    const Car* leader = &*std::min_element(m_field.cbegin(), m_field.cend(), [](const Car& a, const Car& b) { return a.position < b.position; });
    const qint64 reference = leader->paceMs > 0 ? leader->paceMs : us->paceMs;
    const qint64 ourPace = us->paceMs > 0 ? us->paceMs : reference;
    QVector<Projected> order;
    order.reserve(m_field.size());
    for (int offset = 0; offset <= lapsAhead; ++offset) {
        const int laps = offset + 2; // the laps waited, the in lap, the out lap
        order.clear();
        for (const Car& car : m_field) {
            const qint64 pace = car.paceMs > 0 ? car.paceMs : reference;
            double time = car.gapMs + double(laps) * double(pace - reference);
            if (&car == &*us)
                time += double(lossMs);
            else
                time += car.stopOwed * double(othersLossMs);
            order.append({&car, time});
        }
        std::stable_sort(order.begin(), order.end(), [](const Projected& a, const Projected& b) {
            return a.timeMs != b.timeMs ? a.timeMs < b.timeMs : a.car->position < b.car->position;
        });
        Prediction prediction;
        prediction.lapOffset = offset;
        prediction.lossMs = lossMs;
        int index = -1;
        for (int i = 0; i < order.size(); ++i) {
            if (order.at(i).car == &*us)
                index = i;
        }
        const double ourTime = order.at(index).timeMs;
        prediction.position = index + 1;
        if (index > 0)
            prediction.ahead = neighbour(order.at(index - 1), ourTime, ourPace);
        if (index + 1 < order.size())
            prediction.behind = neighbour(order.at(index + 1), ourTime, ourPace);
        // The same within the class.
        int classIndex = 0;
        const Projected* previous = nullptr;
        for (int i = 0; i < order.size(); ++i) {
            if (order.at(i).car->className != us->className)
                continue;
            if (i < index) {
                ++classIndex;
                previous = &order.at(i);
            } else if (i > index) {
                prediction.classBehind = neighbour(order.at(i), ourTime, ourPace);
                break;
            }
        }
        prediction.classPosition = classIndex + 1;
        if (previous)
            prediction.classAhead = neighbour(*previous, ourTime, ourPace);
        predictions.append(prediction);
    }
    return predictions;
}
