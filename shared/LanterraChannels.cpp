#include "LanterraChannels.h"

const QStringList& lanterraChannels()
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
