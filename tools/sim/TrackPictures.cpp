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
    m_background = draw(0.0, 1.0, 0, 0xFF222E22, true);
    m_tarmac = draw(0.0, 1.0, 46, 0xFF969696);
    m_track = draw(0.0, 1.0, 6, 0xFFF0F0F0);
    for (int k = 1; k <= SECTIONS; ++k)
        m_sections.insert(QString::number(k), draw(double(k - 1) / SECTIONS, double(k) / SECTIONS, 30, 0xFFFFD200));
}

QPointF TrackPictures::scenePoint(double fraction) const
{
    // A wobbly ellipse: closed, never crossing itself for these amplitudes.
    const double angle = 2 * M_PI * fraction;
    double radius = 1.0;
    for (int i = 0; i < 3; ++i)
        radius += m_wobble[i] * std::sin((i + 2) * angle + m_phase[i]);
    return QPointF(kSceneWidth / 2.0 + 0.36 * kSceneWidth * radius * std::cos(angle), kSceneHeight / 2.0 + 0.34 * kSceneHeight * radius * std::sin(angle));
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
