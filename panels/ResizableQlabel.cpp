#include "ResizableQlabel.h"

#include <QFontMetrics>
#include <QTextDocument>
#include <QtMath>

#include <cmath>

ResizableQlabel::ResizableQlabel(QWidget* parent)
    : QLabel(parent)
{
}

ResizableQlabel::~ResizableQlabel() = default;

void ResizableQlabel::setText(const QString& text, bool noRefit)
{
    const QString before = QLabel::text();
    if (text == before)
        return;
    const QRect part = noRefit && updatesEnabled() ? changedPart(before, text) : QRect();
    if (part.isEmpty()) {
        QLabel::setText(text);
        if (!noRefit)
            refit();
        return;
    }
    // The label repaints all of itself for a new text: a clock filling its
    // panel would repaint all of it every second, for two digits.
    setAttribute(Qt::WA_UpdatesDisabled, true);
    QLabel::setText(text);
    setAttribute(Qt::WA_UpdatesDisabled, false);
    update(part);
}

QRect ResizableQlabel::changedPart(const QString& before, const QString& after) const
{
    // Only plain text, laid out by the label alone.
    const bool plain = textFormat() == Qt::PlainText || (textFormat() == Qt::AutoText && !Qt::mightBeRichText(after));
    if (!plain || before.size() != after.size() || before.isEmpty() || !(alignment() & Qt::AlignHCenter) || wordWrap() || margin() != 0
        || layoutDirection() != Qt::LeftToRight || after.contains(QLatin1Char('\n')) || buddy()
        || (textInteractionFlags() & Qt::TextSelectableByMouse))
        return QRect();
    const QFontMetricsF metrics(font());
    const qreal width = metrics.horizontalAdvance(after);
    // Digits of one width keep the others in place; a narrower one moves them.
    if (!qFuzzyCompare(width, metrics.horizontalAdvance(before)))
        return QRect();
    int first = 0;
    while (before.at(first) == after.at(first))
        ++first;
    const QRect contents = contentsRect();
    const qreal x = contents.left() + (contents.width() - width) / 2 + metrics.horizontalAdvance(after.left(first));
    // A glyph's ink may reach past its advance, and past the contents.
    const int slack = qCeil(metrics.height() / 4);
    return QRect(QPoint(qFloor(x) - slack, 0), rect().bottomRight()).intersected(rect());
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
