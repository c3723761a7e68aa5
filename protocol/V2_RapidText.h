#pragma once

#include <QString>

#include <rapidjson/document.h>

// Key and string bytes of a parsed document as the tree reads them: the
// merge and the received-line reading share these (library-internal).
namespace V2_RapidText {

inline bool isAscii(const char* text, rapidjson::SizeType length)
{
    for (rapidjson::SizeType i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    }
    return true;
}

// Widens an ASCII name into a reused buffer (no allocation once it is
// large enough); false for any other byte.
inline bool asciiInto(const char* name, int length, QString& buffer)
{
    buffer.resize(length);
    QChar* out = buffer.data();
    for (int i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte >= 0x80)
            return false;
        out[i] = QChar(byte);
    }
    return true;
}

} // namespace V2_RapidText
