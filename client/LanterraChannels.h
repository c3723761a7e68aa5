#pragma once

#include <QString>
#include <QStringList>

// The channels Lanterra joins after every login, in joining order. The
// session simulator publishes exactly these.
inline const QStringList& lanterraChannels()
{
    static const QStringList list = {
        QStringLiteral("weather"),
        QStringLiteral("signalling"),
        QStringLiteral("raceControl.messages"),
        QStringLiteral("timing.analysis"),
        QStringLiteral("timing.session"),
        QStringLiteral("timing.combined.bestResults"),
        QStringLiteral("timing.combined.entry"),
        QStringLiteral("timing.combined.standings.overall"),
        QStringLiteral("timing.combined.participantDetails"),
        QStringLiteral("timing.combined.info"),
        QStringLiteral("positioning.track"),
        QStringLiteral("positioning.participants"),
        QStringLiteral("tyres.session"),
    };
    return list;
}
