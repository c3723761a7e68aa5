#pragma once

#include <QtGlobal>

// Values every reader of timing data agrees on.
namespace TimingConstants {

// A time or day time that has no value; shown as an empty cell.
constexpr quint64 NO_TIME = ~quint64(0);

// Kilometres per hour to miles per hour.
constexpr double KMH_TO_MPH = 0.621371;

} // namespace TimingConstants
