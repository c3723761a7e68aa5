#include "RelaySeats.h"

#include "RelayNotice.h"
#include "V2_Server.h"
#include "V2_ServerSocket.h"
#include "V2_message.h"

#include <QMap>

namespace RelaySeats {

void tell(V2_Server* server, bool live, int descriptor)
{
    V2_message notice(live ? V2_message::errorLine(QString(), QStringLiteral("relay"), relayUpstreamBackReason(), QStringLiteral("The relay's data is live again"))
                           : V2_message::errorLine(QString(), QStringLiteral("relay"), relayUpstreamLostReason(),
                                                   QStringLiteral("The relay is reconnecting; what is shown may be stale")));
    const QMap<int, V2_ServerSocket*> clients = server->clients();
    for (auto it = clients.cbegin(); it != clients.cend(); ++it) {
        if ((descriptor < 0 || it.key() == descriptor) && it.value()->logged())
            server->sendMessage(it.key(), &notice);
    }
}

} // namespace RelaySeats
