#pragma once

#include <QLabel>

// A label whose font grows and shrinks with its size so that its text fills
// it; it never asks the layout for room of its own.
class ResizableQlabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY(ResizableQlabel)

public:
    explicit ResizableQlabel(QWidget* parent = nullptr);
    ~ResizableQlabel() override;

    // With noRefit the font stays as it is (a clock that ticks keeps its size).
    void setText(const QString& text, bool noRefit);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The pixel size that makes this text fit, or 0 for an empty text.
    static int fittingPixelSize(const QFont& font, const QString& text, const QSize& contents);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refit();
    // What a new text of a centred plain line repaints: from the first
    // character that changed to the right; empty when the rest moves too.
    QRect changedPart(const QString& before, const QString& after) const;
};
