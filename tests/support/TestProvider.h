#pragma once

#include "ClientV2Controller.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QSignalSpy>

#include <memory>

// A data provider that does not try to connect: tests fill its mirror
// directly and drive it through the controller's signals.
std::unique_ptr<V2DataProvider> makeTestProvider();

// The node at path in the provider's mirror, created when missing.
V2_Data* mirrorNode(V2DataProvider& provider, const QString& path);

// Merges a JSON object into the provider's mirror, as a server line would.
void mergeMirror(V2DataProvider& provider, const QByteArray& json);
