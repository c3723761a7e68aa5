// A server connection's request handling without a socket: lines from an
// unknown peer (logins, joins, commands, uploads, garbage) and the answers.
// The first byte chooses full access.
#include "FuzzSupport.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_ServerSocket.h"
#include "V2_User.h"

namespace {

V2_Server* server()
{
    static V2_Server* instance = [] {
        auto* s = new V2_Server;
        auto* team = new V2_Profile(QStringLiteral("Team"));
        team->keyList()->insert(QStringLiteral("weather"), 2);
        team->keyList()->insert(QStringLiteral("timing"), 1);
        team->keyList()->insert(QStringLiteral("timing.session"), 2);
        team->addCommand(QStringLiteral("reset"));
        team->setIsAllowedToSendData(true);
        s->addProfile(team->name(), team);
        s->addUser(new V2_User(QStringLiteral("Team user"), QStringLiteral("team"), QStringLiteral("pw"), 1000000, team));
        s->addUser(new V2_User(QStringLiteral("Nobody"), QStringLiteral("none"), QStringLiteral("pw"), 0, nullptr));
        return s;
    }();
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietApplication();
    server();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    V2_ServerSocket connection(-1, server());
    if (data[0] & 1)
        connection.setFullAccess();
    connection.receiveBytes(FuzzSupport::bytes(data + 1, size - 1));
    connection.takeOutput();
    connection.stop();
    return 0;
}
