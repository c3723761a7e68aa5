#pragma once

#include <QFrame>

// A frame that gives its labels one common font size, the largest at which
// every label's text fits; labels named with "main" keep their own.
class ResizableQframe final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY(ResizableQframe)

public:
    explicit ResizableQframe(QWidget* parent = nullptr);
    ~ResizableQframe() override;

    void refit();

protected:
    void resizeEvent(QResizeEvent* event) override;
};
