#pragma once

#include <QByteArray>
#include <QMap>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

// A generated closed circuit and its pictures, as the positioning channel
// sends them: PNG images in base64 with their placement, in a coordinate
// space twice the size of the 1920 x 1080 scene.
class TrackPictures final
{
public:
    struct Picture {
        QRect rect;      // placement and size, in the doubled space
        QByteArray data; // base64 of a PNG file
    };

    static constexpr int SECTIONS = 8;

    explicit TrackPictures(quint32 seed);

    // A point of the centre line at a fraction of the lap (0..1), in the doubled space.
    QPoint pointAt(double fraction) const;
    Picture background() const;
    Picture tarmac() const;
    Picture track() const;
    // Section pictures keyed "1".."8"; section k covers fractions [(k-1)/8, k/8).
    QMap<QString, Picture> sections() const;

private:
    // The closed shape around the origin, and the same in scene coordinates.
    QPointF shapePoint(double fraction) const;
    QPointF scenePoint(double fraction) const;
    // colour as 0xAARRGGBB
    Picture draw(double from, double to, int width, quint32 colour, bool background = false) const;

    double m_wobble[3];
    double m_phase[3];
    double m_scaleX = 1.0;
    double m_scaleY = 1.0;
    QPointF m_offset;
    Picture m_background;
    Picture m_tarmac;
    Picture m_track;
    QMap<QString, Picture> m_sections;
};
