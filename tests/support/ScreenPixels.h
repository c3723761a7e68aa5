#pragma once

#include <QImage>
#include <QRegion>
#include <QScreen>
#include <QWidget>

// A widget's pixels as the screen holds them after its repaints, and as a
// fresh paint draws them: equal when a partial repaint left nothing stale.
namespace ScreenPixels {

inline QImage shown(QWidget* widget)
{
    QWidget* window = widget->window();
    const QPoint corner = widget->mapTo(window, QPoint(0, 0));
    return widget->screen()->grabWindow(window->winId(), corner.x(), corner.y(), widget->width(), widget->height()).toImage().convertToFormat(QImage::Format_RGB32);
}

inline QImage fresh(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Round the pixels that differ, those in leftOut aside; empty when none do.
inline QRect differing(const QImage& a, const QImage& b, const QRegion& leftOut = QRegion())
{
    QRect differs;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y) && !leftOut.contains(QPoint(x, y)))
                differs |= QRect(x, y, 1, 1);
        }
    }
    return differs;
}

} // namespace ScreenPixels
