#pragma once

#include <QString>

// One passage of a participant through a named section, filed under the
// day time at which it ended.
struct SectionRecord {
    quint64 dayTime = 0;
    QString pNum;
    quint64 time = 0;
    int rowPosition = -1;
    int lapNumber = 0;
    bool isValid = true;

    quint64 sortKey() const { return dayTime; }
};
