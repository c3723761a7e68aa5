#pragma once

#include <QString>

// The reasons of the ERROR lines by which lanterra-relay tells its seats
// that it lost the timing server, and that it follows it again (after the
// seats were brought up to date). The seats stay connected; the program
// shows its data as stale from the first until the second.
const QString& relayUpstreamLostReason();
const QString& relayUpstreamBackReason();
