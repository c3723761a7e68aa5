#pragma once

#include <QString>
#include <QStringList>

class V2_Server;
struct RelayOptions;

// The accounts of the relay's seats.
namespace RelayAccounts {

// One user "demo" / "demo" whose profile joins every relayed channel and
// the team channel, and may upload to it.
void addDemoUser(V2_Server& server, const QStringList& channels);

// The users and profiles of the options' INI files; false with a message
// when they cannot be read.
bool loadAccounts(V2_Server& server, const RelayOptions& options, QString* error);

} // namespace RelayAccounts
