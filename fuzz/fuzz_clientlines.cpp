// The client's reading path: bytes framed into lines, each processed as
// received (login reply, joins, data merged into the mirror, errors). One
// client for every input (making one costs a TLS socket); each input ends
// its last line and starts from an empty mirror.
#include "FuzzSupport.h"
#include "V2_Client.h"
#include "V2_Data.h"

namespace {

V2_Client* client()
{
    static V2_Client* instance = [] {
        auto* c = new V2_Client(QStringLiteral("fuzz"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QStringLiteral("pw"),
                                QStringLiteral("user"), QStringLiteral("127.0.0.1"));
        c->setMaxLineBytes(1 << 20);
        return c;
    }();
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietApplication();
    client();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    V2_Client* c = client();
    c->getCurrentData()->clearData();
    c->receiveBytes(FuzzSupport::bytes(data, size) + '\n');
    // The mirror is always a tree that can be written out.
    c->getCurrentData()->getJsonString(false);
    return 0;
}
