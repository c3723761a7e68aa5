#pragma once

#include <QStringList>

// The channels Lanterra joins after every login, in joining order. The
// session simulator publishes exactly these, and a replayed login reply
// empties exactly these.
const QStringList& lanterraChannels();
