#pragma once

#include <QFrame>

// A frame that gives its labels one common font size, the largest at which
// every label's text fits, but never below a floor; labels named with
// "main" keep their own.
class ResizableQframe final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY(ResizableQframe)

public:
    explicit ResizableQframe(QWidget* parent = nullptr);
    ~ResizableQframe() override;

    void refit();
    // The smallest pixel size given (0: none). Below it the texts would no
    // longer be read, so a frame too small for them cuts them instead.
    void setMinimumPixelSize(int pixels);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_minimumPixelSize = 0;
};
