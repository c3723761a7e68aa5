#pragma once

#include <QString>

class V2_Server;
struct SimOptions;

// The accounts the simulator's server knows.
namespace SimAccounts {

// One user "demo" / "demo" whose profile allows every channel.
void addDemoUser(V2_Server& server);

// The users and profiles of the options' INI files; false with a message
// when they cannot be read.
bool loadAccounts(V2_Server& server, const SimOptions& options, QString* error);

} // namespace SimAccounts
