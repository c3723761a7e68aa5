#include "TrackPictures.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <cmath>

namespace {

constexpr int kSceneWidth = 1920;
constexpr int kSceneHeight = 1080;
constexpr int kSteps = 720;

QByteArray pngBase64(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toBase64();
}

} // namespace

TrackPictures::TrackPictures(quint32 seed)
{
    QRandomGenerator rng(seed ^ 0x7A5C3E1Fu);
    for (int i = 0; i < 3; ++i) {
        m_wobble[i] = 0.05 + rng.bounded(0.12);
        m_phase[i] = rng.bounded(2 * M_PI);
    }
    // Fit the shape between the map's legends: the pit legend top left, the
    // stopped and retired cars' columns on the right.
    double left = 0, right = 0, top = 0, bottom = 0;
    for (int i = 0; i < kSteps; ++i) {
        const QPointF p = shapePoint(double(i) / kSteps);
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    const QRectF extent(QPointF(left, top), QPointF(right, bottom));
    const QRectF box(260, 170, 1260, 840);
    m_scaleX = box.width() / extent.width();
    m_scaleY = box.height() / extent.height();
    m_offset = box.topLeft() - QPointF(extent.left() * m_scaleX, extent.top() * m_scaleY);
    m_background = draw(0.0, 1.0, 0, 0xFF222E22, true);
    m_tarmac = draw(0.0, 1.0, 46, 0xFF969696);
    m_track = draw(0.0, 1.0, 6, 0xFFF0F0F0);
    for (int k = 1; k <= SECTIONS; ++k)
        m_sections.insert(QString::number(k), draw(double(k - 1) / SECTIONS, double(k) / SECTIONS, 30, 0xFFFFD200));
}

QPointF TrackPictures::shapePoint(double fraction) const
{
    // A wobbly ellipse: closed, never crossing itself for these amplitudes.
    const double angle = 2 * M_PI * fraction;
    double radius = 1.0;
    for (int i = 0; i < 3; ++i)
        radius += m_wobble[i] * std::sin((i + 2) * angle + m_phase[i]);
    return QPointF(radius * std::cos(angle), radius * std::sin(angle));
}

QPointF TrackPictures::scenePoint(double fraction) const
{
    const QPointF p = shapePoint(fraction);
    return QPointF(m_offset.x() + p.x() * m_scaleX, m_offset.y() + p.y() * m_scaleY);
}

QPoint TrackPictures::pointAt(double fraction) const
{
    const QPointF p = scenePoint(fraction - std::floor(fraction));
    return QPoint(static_cast<int>(std::lround(p.x() * 2)), static_cast<int>(std::lround(p.y() * 2)));
}

TrackPictures::Picture TrackPictures::draw(double from, double to, int width, quint32 rgba, bool background) const
{
    const QColor colour = QColor::fromRgba(rgba);
    QPainterPath path(scenePoint(from));
    const int steps = std::max(2, static_cast<int>(kSteps * (to - from)));
    for (int i = 1; i <= steps; ++i)
        path.lineTo(scenePoint(from + (to - from) * i / steps));
    if (background)
        path.closeSubpath();
    const QRect bounds = background ? QRect(0, 0, kSceneWidth, kSceneHeight) : path.boundingRect().toAlignedRect().adjusted(-width, -width, width, width);
    QImage image(bounds.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-bounds.topLeft());
    if (background) {
        painter.fillRect(bounds, colour);
        painter.setPen(QPen(colour.lighter(130), 120, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    } else {
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(path);
    }
    painter.end();
    return Picture{QRect(bounds.x() * 2, bounds.y() * 2, bounds.width(), bounds.height()), pngBase64(image)};
}

TrackPictures::Picture TrackPictures::background() const
{
    return m_background;
}

TrackPictures::Picture TrackPictures::tarmac() const
{
    return m_tarmac;
}

TrackPictures::Picture TrackPictures::track() const
{
    return m_track;
}

QMap<QString, TrackPictures::Picture> TrackPictures::sections() const
{
    return m_sections;
}
