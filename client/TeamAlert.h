#pragma once

#include <QString>

// How loudly an alert asks for the engineer's attention.
enum class AlertSeverity {
    Info,
    Warning,
    Critical,
};

// One alert about the session or a team's car, as the engine raised it.
struct TeamAlert {
    // Rule, car and event (the pit key, the message id, the crossing): an
    // alert of an identity already raised is never raised again.
    QString identity;
    QString ruleId;   // the rule's key in the rules file and the settings
    QString carNumber; // empty for an alert about no one car (a flag)
    QString text;
    qint64 trackTimeMs = 0; // the track's time of day when it was raised
    AlertSeverity severity = AlertSeverity::Info;
    bool notify = false; // a tray notification
    bool sound = false;
    bool acknowledged = false;
};
