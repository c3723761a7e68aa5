#pragma once

#include <QtGlobal>

// The longest line a client reads by default. Track pictures arrive as
// base64 inside one line, so it is generous. Kept apart from V2_Client so
// that readers of recorded lines apply the same cap without the client.
namespace V2_LineLimit {
constexpr qint64 DEFAULT_MAX_LINE_BYTES = 128LL * 1024 * 1024;
}
