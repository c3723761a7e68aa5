#pragma once

#include <QEvent>
#include <QObject>
#include <QPaintEvent>
#include <QRegion>

// What the widgets it filters painted: installed on a view's viewport, the
// region its paint events covered.
class PaintRecorder final : public QObject
{
    Q_DISABLE_COPY(PaintRecorder)

public:
    PaintRecorder() = default;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            m_painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }

    const QRegion& painted() const { return m_painted; }
    void clear() { m_painted = QRegion(); }

    // Pixels painted, each once however often.
    qint64 area() const
    {
        qint64 pixels = 0;
        for (const QRect& rect : m_painted)
            pixels += qint64(rect.width()) * rect.height();
        return pixels;
    }

private:
    QRegion m_painted;
};
