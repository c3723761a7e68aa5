#pragma once

#include "LaidOutTexts.h"
#include "ParticipantPosition.h"

#include <QFont>
#include <QGraphicsObject>
#include <QHash>
#include <QMultiMap>
#include <QPen>
#include <QPixmap>
#include <QSet>
#include <QStringList>
#include <QVector>

class V2DataProvider;

// Paints every car of the track map in one pass: numbered markers with
// their status decorations, the leader last so that it is on top. A blink
// level rises and falls over ten repaints for the flashing decorations.
class ParticipantsItem final : public QGraphicsObject
{
    Q_OBJECT
    Q_DISABLE_COPY(ParticipantsItem)

public:
    using Participants = QMultiMap<int, ParticipantPosition>;

    explicit ParticipantsItem(QGraphicsItem* parent = nullptr);
    ~ParticipantsItem() override;

    void setParticipants(const Participants* participants);
    // The cars were read again: repaints where the markers were painted and
    // where they are now, not the whole map (a race moves every car several
    // times a second, and a repaint of the map is the whole panel).
    void markersChanged();
    void setProvider(V2DataProvider* provider);
    void setVisibleNumbers(const QStringList& numbers);
    void setItemScale(double scale);
    double itemScale() const;
    // The program's text size: markers and their numbers grow with it, on top of the item scale.
    void setTextScale(double scale);
    void setShowUnknown(bool show);
    bool showUnknown() const;

    // The records a repaint draws, in drawing order.
    QList<ParticipantPosition> drawnParticipants() const;
    // The blink level (0..255) of the nth repaint.
    static int blinkLevel(quint64 repaint);
    // A marker's label: trimmed, and "?" when longer than four characters.
    static QString label(const QString& text);
    quint64 repaintCount() const;
    // The scale a marker is drawn at on a view that shows the scene at
    // viewScale: the item scale times the text size, enlarged so that a
    // small view does not shrink markers below their size on a view of the
    // whole scene.
    double markerScale(double viewScale) const;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    bool isDrawn(const ParticipantPosition& participant) const;
    static QRectF markerRect(const ParticipantPosition& participant, double baseScale);
    void drawMarker(QPainter* painter, const ParticipantPosition& participant, int blink, double baseScale) const;
    // A marker's body: the follow ring, the finish flag, the box and the number.
    struct Body {
        QString text;
        QColor fill;
        QColor textColour;
        QPen outline;
        QColor follow;
        bool emphasised = false;
        bool chequered = false;
    };
    void drawBody(QPainter* painter, const Body& body) const;
    // Draws the body from a picture made once per look and device scale;
    // false when the painter's transform is more than a scale.
    bool drawCachedBody(QPainter* painter, const Body& body) const;

    const Participants* m_participants = nullptr;
    V2DataProvider* m_provider = nullptr;
    QSet<QString> m_visibleNumbers;
    double m_itemScale = 1.0;
    double m_textScale = 1.0;
    bool m_showUnknown = true;
    quint64 m_repaints = 0;
    // Where the last repaint of a view drew each car's marker, in scene
    // coordinates (a number listed twice: round both), and at which scale
    // (0 before the first repaint). The map has one view: a second one at
    // another scale would need its own.
    QHash<QString, QRectF> m_paintedRects;
    double m_paintedScale = 0;
    QPixmap m_redArrow;
    QPixmap m_noGps;
    QPixmap m_finishFlag;
    QPixmap m_attackMode;
    QPixmap m_fanBoost;
    QFont m_labelFonts[2][2]; // [small text][bold]
    // The numbers laid out once per font: a repaint draws sixty of them.
    mutable LaidOutTexts m_labels[2][2];
    // Bodies drawn once: a repaint copies sixty small pictures rather than
    // stroking sixty outlined boxes and laying out their numbers.
    mutable QHash<QString, QPixmap> m_bodies;
    mutable qint64 m_bodyBytes = 0;
    // The size (view scale times marker scale) and pixel ratio the bodies
    // were drawn at.
    double m_bodiesScale = 0;
    double m_bodiesRatio = 0;
};
