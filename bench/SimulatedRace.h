#pragma once

#include "SessionSimulator.h"
#include "SimOptions.h"
#include "V2_Data.h"

#include <QDateTime>

#include <memory>

// The simulator's whole published state of a 60-car race 40 minutes in.
inline std::unique_ptr<V2_Data> simulatedRaceState()
{
    SimOptions options;
    QString error;
    SimOptions::parse({QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--elapsed"), QStringLiteral("2400")},
                      &options, &error);
    const SessionSimulator simulator(options, QDateTime::currentMSecsSinceEpoch() - 2400000);
    return simulator.state(2400000);
}
