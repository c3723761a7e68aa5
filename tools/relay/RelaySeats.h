#pragma once

class V2_Server;

// What every relay role says to its seats.
namespace RelaySeats {

// The relay's notice that its data are live again (live) or may be stale
// while it reconnects, to every logged-in seat, or to the one seat given.
void tell(V2_Server* server, bool live, int descriptor = -1);

} // namespace RelaySeats
