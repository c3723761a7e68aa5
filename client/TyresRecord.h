#pragma once

#include <QString>

// The tyre texts of one participant. The first two texts are left empty
// for the tyres table to fill with what it shows beside the wheels.
struct TyresRecord {
    QString first;
    QString second;
    QString frontLeft;
    QString frontRight;
    QString rearLeft;
    QString rearRight;
};
