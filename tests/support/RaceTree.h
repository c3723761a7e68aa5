#pragma once

#include <QtGlobal>

class V2_Data;

// The mirror of a 24-hour race at its end, for benchmarks: 60 cars × 380
// full laps (sectors, sections, loop passings, pit laps), entries with three
// drivers, details with bests, and the overall standings.
namespace RaceTree {

constexpr int kCars = 60;
constexpr int kLaps = 380;
constexpr quint64 kRaceStart = Q_UINT64_C(1767268800000);

// Writes the race into a root node.
void fill(V2_Data* root);
// Lap `lap` of the car with index `car` (0-based; its number is car + 1).
void addLap(V2_Data* laps, int car, int lap);

} // namespace RaceTree
