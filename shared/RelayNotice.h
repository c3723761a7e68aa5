#pragma once

#include <QString>

// The reason of the ERROR line by which lanterra-relay tells its seats
// that it lost the timing server: the seats stay connected, and the program
// shows its data as stale until the next data line.
const QString& relayUpstreamLostReason();
