#pragma once

#include <QString>

// The sections T6 and T7 of one lap taken together ("ACC").
struct AccSectionRecord {
    quint64 dayTime = 0;
    QString pNum;
    quint64 time = 0;
    QString sectionName = QStringLiteral("ACC");
    int rowPosition = -1;
    int lapNumber = 0;
    bool isValid = true;

    quint64 sortKey() const { return dayTime; }
};
