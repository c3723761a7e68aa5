#include "RelayNotice.h"

const QString& relayUpstreamLostReason()
{
    static const QString reason = QStringLiteral("Relay lost the timing server");
    return reason;
}
