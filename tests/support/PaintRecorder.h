#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

// What a widget it filters painted: install it on a view's viewport.
class PaintRecorder final : public QObject
{
public:
    QRegion painted;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

    // Pixels painted, each once however often.
    qint64 area() const
    {
        qint64 pixels = 0;
        for (const QRect& rect : painted)
            pixels += qint64(rect.width()) * rect.height();
        return pixels;
    }
};
