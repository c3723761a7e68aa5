#pragma once

#include <QString>
#include <QtGlobal>

// Values every reader of timing data agrees on.
namespace TimingConstants {

// A time or day time that has no value; shown as an empty cell.
constexpr quint64 NO_TIME = ~quint64(0);

// Kilometres per hour to miles per hour.
constexpr double KMH_TO_MPH = 0.621371;

// The named sections of the one circuit that has them, in the order the lap
// analysis files them and the lap tables show them.
inline const QString NAMED_SECTIONS[4] = {QStringLiteral("Porsche"), QStringLiteral("Ford"), QStringLiteral("T6"), QStringLiteral("T7")};

} // namespace TimingConstants
