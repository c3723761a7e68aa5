#include "RelayNotice.h"

const QString& relayUpstreamLostReason()
{
    static const QString reason = QStringLiteral("Relay lost the timing server");
    return reason;
}

const QString& relayUpstreamBackReason()
{
    static const QString reason = QStringLiteral("Relay follows the timing server again");
    return reason;
}
