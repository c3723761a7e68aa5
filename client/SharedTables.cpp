#include "SharedTables.h"

namespace SharedTables {

const QStringList& timeRankingTypes()
{
    static const QStringList types = {
        QStringLiteral("AGGREGATE_TIME"),
        QStringLiteral("BEST_TIME"),
        QStringLiteral("AVERAGE_TIME"),
        QStringLiteral("AVERAGE_TIME_WORST_SESSION_IF_NO_TIME"),
    };
    return types;
}

QString pitLightPicture(qint64 state)
{
    if (state & 0x1)
        return QStringLiteral(":/icons/Resources/light_red.svg");
    if (state & 0x2)
        return QStringLiteral(":/icons/Resources/light_green.svg");
    return QStringLiteral(":/icons/Resources/light_off.svg");
}

} // namespace SharedTables
