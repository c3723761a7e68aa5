#include "ResizableQlabelImage.h"

ResizableQlabelImage::ResizableQlabelImage(QWidget* parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
}

ResizableQlabelImage::~ResizableQlabelImage() = default;

void ResizableQlabelImage::setImage(const QPixmap& picture)
{
    m_original = picture;
    rescale();
}

QPixmap ResizableQlabelImage::image() const
{
    return m_original;
}

QSize ResizableQlabelImage::sizeHint() const
{
    return {0, 0};
}

QSize ResizableQlabelImage::minimumSizeHint() const
{
    return {0, 0};
}

void ResizableQlabelImage::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    rescale();
}

void ResizableQlabelImage::rescale()
{
    if (m_original.width() == 0) {
        setPixmap(m_original);
        return;
    }
    setPixmap(m_original.scaled(contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}
