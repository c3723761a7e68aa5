#include "ResizableQlabel.h"

#include <QFontMetrics>

#include <cmath>

ResizableQlabel::ResizableQlabel(QWidget* parent)
    : QLabel(parent)
{
}

ResizableQlabel::~ResizableQlabel() = default;

void ResizableQlabel::setText(const QString& text, bool noRefit)
{
    const bool changed = text != QLabel::text();
    QLabel::setText(text);
    if (changed && !noRefit)
        refit();
}

QSize ResizableQlabel::sizeHint() const
{
    return {0, 0};
}

QSize ResizableQlabel::minimumSizeHint() const
{
    return {0, 0};
}

void ResizableQlabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    refit();
}

int ResizableQlabel::fittingPixelSize(const QFont& font, const QString& text, const QSize& contents)
{
    if (text.isEmpty())
        return 0;
    QFont measured(font);
    measured.setPixelSize(100);
    const QRect bounds = QFontMetrics(measured).boundingRect(text);
    if (bounds.width() <= 0 || bounds.height() <= 0)
        return 0;
    const int widthSize = qMax(0, int(std::lround(contents.width() * 100.0 / bounds.width())));
    const int heightSize = int(std::lround(contents.height() * 100.0 / bounds.height()));
    if (heightSize <= widthSize)
        return heightSize;
    // Limited by the width: step down until the text fits.
    int size = widthSize;
    while (size > 1) {
        measured.setPixelSize(size);
        if (QFontMetrics(measured).boundingRect(text).width() <= contents.width())
            break;
        --size;
    }
    return size;
}

void ResizableQlabel::refit()
{
    const int size = fittingPixelSize(font(), text(), contentsRect().size());
    if (size < 1)
        return;
    QFont fitted(font());
    fitted.setPixelSize(size);
    setFont(fitted);
}
