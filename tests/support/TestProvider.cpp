#include "TestProvider.h"

#include "V2_message.h"

// A data provider that does not try to connect: tests fill its mirror
// directly and drive it through the controller's signals.
std::unique_ptr<V2DataProvider> makeTestProvider()
{
    return std::make_unique<V2DataProvider>(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"),
                                            QStringLiteral("1.0.0"), 1, QStringLiteral("pw"), QStringLiteral("user"), QStringLiteral("127.0.0.1"),
                                            false);
}

// The node at path in the provider's mirror, created when missing.
V2_Data* mirrorNode(V2DataProvider& provider, const QString& path)
{
    return provider.controller()->getCurrentData()->getOrCreateDataPointer(path);
}

// Merges a JSON object into the provider's mirror, as a server line would.
void mergeMirror(V2DataProvider& provider, const QByteArray& json)
{
    const V2_message message("JSON:1::" + json);
    if (message.rapidJsonDocument())
        provider.controller()->getCurrentData()->fromRapidJson(*message.rapidJsonDocument(), nullptr);
}
