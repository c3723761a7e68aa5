#pragma once

#include <QColor>
#include <QString>

// One car on the track map, in scene coordinates.
struct ParticipantPosition {
    QString number;
    QColor bgColor{0, 0, 0, 255};
    QColor fgColor{220, 220, 220, 255};
    QColor lightBgColor{0, 0, 0, 255};
    QColor lightFgColor{220, 220, 220, 255};
    int overallPos = -1;
    quint32 status = 0;
    QString text = QStringLiteral("?");
    int x = 0;
    int y = 0;
};
