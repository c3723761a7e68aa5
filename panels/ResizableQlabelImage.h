#pragma once

#include <QLabel>
#include <QPixmap>

// A label that shows a picture scaled to its size, keeping its proportions.
class ResizableQlabelImage final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY(ResizableQlabelImage)

public:
    explicit ResizableQlabelImage(QWidget* parent = nullptr);
    ~ResizableQlabelImage() override;

    void setImage(const QPixmap& picture);
    QPixmap image() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void rescale();

    QPixmap m_original;
};
