#include "ResizableQframe.h"

#include <QFontMetrics>
#include <QLabel>

ResizableQframe::ResizableQframe(QWidget* parent)
    : QFrame(parent)
{
}

ResizableQframe::~ResizableQframe() = default;

void ResizableQframe::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    refit();
}

void ResizableQframe::setMinimumPixelSize(int pixels)
{
    if (pixels == m_minimumPixelSize)
        return;
    m_minimumPixelSize = pixels;
    refit();
}

void ResizableQframe::refit()
{
    double widthLimit = 100.0;
    double heightLimit = 100.0;
    QList<QLabel*> fitted;
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName().contains(QLatin1String("main")) || label->text().isEmpty())
            continue;
        fitted.append(label);
        QFont font(label->font());
        font.setPixelSize(10);
        const QRect bounds = QFontMetrics(font).boundingRect(label->text());
        if (bounds.width() <= 0 || bounds.height() <= 0)
            continue;
        const QRect contents = label->contentsRect();
        const double widthRatio = (contents.width() - 10.0) / bounds.width();
        const double heightRatio = double(contents.height()) / bounds.height();
        if (heightRatio > widthRatio)
            widthLimit = qMin(widthLimit, widthRatio);
        else
            heightLimit = qMin(heightLimit, heightRatio);
    }
    const int size = qMax(int(10.0 * qMin(qMax(widthLimit, 0.0), heightLimit)), m_minimumPixelSize);
    if (size < 1)
        return;
    for (QLabel* label : qAsConst(fitted)) {
        QFont font(label->font());
        font.setPixelSize(size);
        label->setFont(font);
    }
}
