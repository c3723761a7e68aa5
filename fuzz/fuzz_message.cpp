// One protocol line: parsing, the error line of a bad one, and that a good
// one written out again parses to the same header.
#include "FuzzSupport.h"
#include "V2_message.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::quietApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray line = FuzzSupport::bytes(data, size);
    V2_message message;
    if (!message.parseMessage(line)) {
        message.errorMessageString();
        return 0;
    }
    message.jsonParams();
    const QString written = message.toString();
    V2_message again;
    if (!again.parseMessage(written.toUtf8()))
        FuzzSupport::broken("a valid line written out parses again", written.toUtf8());
    if (again.command() != message.command() || again.id() != message.id() || again.channel() != message.channel())
        FuzzSupport::broken("the header survives writing out", written.toUtf8());
    return 0;
}
