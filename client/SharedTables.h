#pragma once

#include <QString>
#include <QStringList>

// Constant tables that several panels share.
namespace SharedTables {

// Combined ranking types that are based on times.
const QStringList& timeRankingTypes();

// The pit-light picture for a state value: red when bit 0 is set, else
// green when bit 1 is set, else off.
QString pitLightPicture(qint64 state);

} // namespace SharedTables
