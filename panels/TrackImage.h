#pragma once

#include <QString>

// One picture of the track map as the positioning channel sends it: its
// placement in the doubled coordinate space and a base64 PNG.
struct TrackImage {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    QString data;
};
