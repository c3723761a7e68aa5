#include "ParticipantsItem.h"

#include "V2DataProvider.h"

#include <QGraphicsScene>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

namespace {

// The status bits the drawing rules read.
enum Status : quint32 {
    Pinned = 0x1,
    Leader = 0x2,
    BlueOutline = 0x4,
    Highlighted = 0x8,
    Stopped = 0x10,
    Retired = 0x40,
    Warning = 0x80,
    Hidden = 0x100,
    InPitLane = 0x200,
    NoGps = 0x1000,
    Chequered = 0x2000,
    Excluded = 0x4000,
    AttackMode = 0x8000,
    FanBoost = 0x10000,
};

constexpr int kPitLaneDrop = 70;
constexpr int kBoldWeight = 75;
constexpr int kThinWeight = 0;
// Numbers kept laid out per font; a session has a few dozen.
constexpr int kMaxLabels = 512;
// Fan boost, attack mode and no GPS: under the marker, centred on it.
const QRectF kUnderMarker(-24, -24, 48, 48);
const QRectF kFollowCircle(-18, -18, 36, 36);
const QRectF kShortLabelBox(-11, -12, 22, 24);
const QRectF kLongLabelBox(-14, -12, 28, 24);
const QRectF kFinishFlag(6, -25, 16, 16);
const QRectF kRedArrow(-10, -33, 22, 19);
// All of the above with their outlines. The numbers fit within: their
// fonts are sized in points at the 96 dots per inch the program sets, three
// characters fit their box, and four are clipped to it.
const QRectF kMarkerExtent(-30, -36, 60, 64);
constexpr double kEmphasisedScale = 1.15;
// A body (ring, flag, box and number), with its outlines and antialiased edge.
const QRectF kBodyExtent(-21, -27, 46, 48);
// Sixty cars of a few looks each take a few megabytes at most sizes; at
// huge marker sizes the bodies past this are drawn directly.
constexpr qint64 kMaxBodyBytes = 32 * 1024 * 1024;
// Markers keep at least the size they have on a view of the whole scene.
constexpr double kSmallestViewScale = 1.0;

bool has(quint32 status, quint32 bits)
{
    return (status & bits) != 0;
}

} // namespace

ParticipantsItem::ParticipantsItem(QGraphicsItem* parent)
    : QGraphicsObject(parent)
    , m_redArrow(QStringLiteral(":/icons/resources/Red_Arrow.png"))
    , m_noGps(QStringLiteral(":/icons/Resources/noGps.png"))
    , m_finishFlag(QStringLiteral(":/icons/Resources/flag_finish.png"))
    , m_attackMode(QStringLiteral(":/icons/Resources/attack_mode3.png"))
    , m_fanBoost(QStringLiteral(":/icons/Resources/fan_boost.png"))
{
    // Fonts made once: a repaint draws sixty labels.
    for (int small = 0; small < 2; ++small) {
        for (int bold = 0; bold < 2; ++bold) {
            QFont font(QStringLiteral("Console"), small ? 10 : 12);
            font.setWeight(bold ? kBoldWeight : kThinWeight);
            m_labelFonts[small][bold] = font;
            m_labels[small][bold] = LaidOutTexts(font, kMaxLabels);
        }
    }
}

ParticipantsItem::~ParticipantsItem() = default;

void ParticipantsItem::setParticipants(const Participants* participants)
{
    m_participants = participants;
    update();
}

void ParticipantsItem::markersChanged()
{
    QGraphicsScene* owner = scene();
    if (!owner || m_paintedScale <= 0) {
        update();
        return;
    }
    // A rectangle per car: the item's own update would join them into one
    // rectangle round every car, which is most of the map. A car's old and
    // new places overlap as it moves: one rectangle round both.
    QHash<QString, QRectF> painted = m_paintedRects;
    const QList<ParticipantPosition> drawn = drawnParticipants();
    for (const ParticipantPosition& participant : drawn) {
        const QRectF now = mapRectToScene(markerRect(participant, m_paintedScale));
        const QRectF before = painted.take(participant.number);
        if (before.intersects(now)) {
            owner->update(before | now);
        } else {
            owner->update(now);
            if (!before.isNull())
                owner->update(before);
        }
    }
    for (const QRectF& rect : qAsConst(painted))
        owner->update(rect);
}

QRectF ParticipantsItem::markerRect(const ParticipantPosition& participant, double baseScale)
{
    const double scale = has(participant.status, Leader | Highlighted) ? baseScale * kEmphasisedScale : baseScale;
    return QRectF(kMarkerExtent.topLeft() * scale, kMarkerExtent.size() * scale).translated(participant.x, participant.y);
}

void ParticipantsItem::setProvider(V2DataProvider* provider)
{
    m_provider = provider;
}

void ParticipantsItem::setVisibleNumbers(const QStringList& numbers)
{
    m_visibleNumbers = QSet<QString>(numbers.cbegin(), numbers.cend());
    update();
}

void ParticipantsItem::setItemScale(double scale)
{
    m_itemScale = scale;
    update();
}

double ParticipantsItem::itemScale() const
{
    return m_itemScale;
}

void ParticipantsItem::setTextScale(double scale)
{
    m_textScale = scale;
    update();
}

void ParticipantsItem::setShowUnknown(bool show)
{
    m_showUnknown = show;
    update();
}

bool ParticipantsItem::showUnknown() const
{
    return m_showUnknown;
}

double ParticipantsItem::markerScale(double viewScale) const
{
    // A view smaller than the scene would shrink the numbers past reading.
    const double scale = m_itemScale * m_textScale;
    if (viewScale <= 0)
        return scale;
    return scale * std::max(1.0, kSmallestViewScale / viewScale);
}

quint64 ParticipantsItem::repaintCount() const
{
    return m_repaints;
}

int ParticipantsItem::blinkLevel(quint64 repaint)
{
    const int phase = static_cast<int>(repaint % 10);
    const int t = phase < 5 ? phase : 10 - phase;
    return std::min(255, static_cast<int>(t / 5.0 * 255));
}

QString ParticipantsItem::label(const QString& text)
{
    const QString trimmed = text.trimmed();
    return trimmed.size() > 4 ? QStringLiteral("?") : trimmed;
}

QRectF ParticipantsItem::boundingRect() const
{
    // The whole scene, with room for markers drawn at its edges.
    return QRectF(-100, -100, 1920 + 200, 1080 + 200);
}

bool ParticipantsItem::isDrawn(const ParticipantPosition& participant) const
{
    const quint32 status = participant.status;
    if (has(status, Hidden) && !has(status, Stopped | Retired | InPitLane))
        return false;
    if (has(status, Excluded))
        return false;
    return m_visibleNumbers.contains(participant.number) || has(status, Pinned)
        || (m_showUnknown && participant.text == QLatin1String("?"));
}

QList<ParticipantPosition> ParticipantsItem::drawnParticipants() const
{
    QList<ParticipantPosition> drawn;
    if (!m_participants)
        return drawn;
    // Highest key first, so that the leader ends on top.
    for (auto it = m_participants->cend(); it != m_participants->cbegin();) {
        --it;
        if (!isDrawn(it.value()))
            continue;
        ParticipantPosition shown = it.value();
        if (has(shown.status, InPitLane))
            shown.y += kPitLaneDrop;
        drawn.append(shown);
    }
    return drawn;
}

void ParticipantsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget* widget)
{
    const int blink = blinkLevel(++m_repaints);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QList<ParticipantPosition> drawn = drawnParticipants();
    const double scale = markerScale(QStyleOptionGraphicsItem::levelOfDetailFromTransform(painter->worldTransform()));
    // Bodies of one size and pixel ratio only: another (a resize past the
    // whole scene, the marker or text size, a picture rendered at another
    // scale) starts afresh, so that old sizes do not pile up.
    const double bodyScale = painter->worldTransform().m11() * scale;
    const double ratio = painter->device()->devicePixelRatioF();
    if (bodyScale != m_bodiesScale || ratio != m_bodiesRatio) {
        m_bodies.clear();
        m_bodyBytes = 0;
        m_bodiesScale = bodyScale;
        m_bodiesRatio = ratio;
    }
    // Only a view's repaint says what its screen holds; a picture rendered
    // elsewhere (no widget) does not.
    if (widget) {
        m_paintedScale = scale;
        m_paintedRects.clear();
    }
    for (const ParticipantPosition& participant : drawn) {
        drawMarker(painter, participant, blink, scale);
        if (widget)
            m_paintedRects[participant.number] |= mapRectToScene(markerRect(participant, scale));
    }
}

void ParticipantsItem::drawMarker(QPainter* painter, const ParticipantPosition& participant, int blink, double baseScale) const
{
    const quint32 status = participant.status;
    const bool emphasised = has(status, Leader | Highlighted);
    painter->save();
    painter->translate(participant.x, participant.y);
    const double scale = emphasised ? baseScale * kEmphasisedScale : baseScale;
    painter->scale(scale, scale);

    // Under the marker: fan boost or attack mode, pulsing with the blink.
    const bool onTrack = !has(status, Stopped | Retired | InPitLane);
    const QPixmap* under = nullptr;
    if ((status & (FanBoost | NoGps)) == FanBoost && onTrack)
        under = &m_fanBoost;
    else if ((status & (AttackMode | NoGps | InPitLane | Retired | Stopped)) == AttackMode)
        under = &m_attackMode;
    if (under) {
        painter->setOpacity(blink / 255.0 * 0.5 + 0.5);
        painter->drawPixmap(kUnderMarker, *under, QRectF(under->rect()));
        painter->setOpacity(1.0);
    }
    // No GPS: flashing under the marker, the number stays readable.
    if (blink < 128 && (status & (NoGps | InPitLane | Stopped | Retired)) == NoGps)
        painter->drawPixmap(kUnderMarker, m_noGps, QRectF(m_noGps.rect()));

    QPen outline(QColor(Qt::lightGray), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    if (has(status, BlueOutline)) {
        outline.setColor(QColor(0, 128, 255));
        outline.setWidth(3);
    }
    if (has(status, Warning)) {
        outline.setColor(QColor(255, 128, 0, blink));
        outline.setWidth(3);
    }
    Body body;
    body.fill = emphasised ? participant.fgColor : participant.bgColor;
    body.textColour = emphasised ? participant.bgColor : participant.fgColor;
    body.outline = outline;
    body.text = label(participant.text);
    body.follow = m_provider ? m_provider->getFollowColor(participant.number) : QColor();
    body.emphasised = emphasised;
    body.chequered = has(status, Chequered);
    if (!drawCachedBody(painter, body))
        drawBody(painter, body);

    if (blink < 128 && has(status, Leader))
        painter->drawPixmap(kRedArrow, m_redArrow, QRectF(m_redArrow.rect()));
    painter->restore();
}

void ParticipantsItem::drawBody(QPainter* painter, const Body& body) const
{
    if (body.follow.isValid()) {
        QColor translucent = body.follow;
        translucent.setAlpha(100);
        painter->setPen(QPen(body.follow, 2));
        painter->setBrush(QBrush(translucent, Qt::Dense4Pattern));
        painter->drawEllipse(kFollowCircle);
    }
    const QString& text = body.text;
    const QRectF box = text.size() < 3 ? kShortLabelBox : kLongLabelBox;
    if (text.size() <= 3)
        painter->setFont(m_labelFonts[text.size() == 3][body.emphasised]);
    if (body.chequered) {
        painter->setOpacity(0.6);
        painter->drawPixmap(kFinishFlag, m_finishFlag, QRectF(m_finishFlag.rect()));
        painter->setOpacity(1.0);
    }
    painter->setPen(body.outline);
    painter->setBrush(body.fill);
    painter->drawRoundedRect(box, 50, 50, Qt::RelativeSize);
    painter->setPen(QPen(body.textColour, 2));
    if (text.size() <= 3) {
        const QStaticText& number = m_labels[text.size() == 3][body.emphasised].text(text);
        const QSizeF size = number.size();
        painter->drawStaticText(box.center() - QPointF(size.width() / 2, size.height() / 2), number);
    } else {
        painter->drawText(box, Qt::AlignCenter, text);
    }
}

bool ParticipantsItem::drawCachedBody(QPainter* painter, const Body& body) const
{
    // The pixel ratio is applied below the painter's own transform, to the
    // picture as to a direct drawing.
    const QTransform world = painter->worldTransform();
    // A picture maps pixel for pixel only under a plain, even scale.
    if (world.type() > QTransform::TxScale || world.m11() <= 0 || !qFuzzyCompare(world.m11(), world.m22()))
        return false;
    const double scale = world.m11();
    // The painter takes a ratio below 1 as 1.
    const double ratio = std::max(1.0, painter->device()->devicePixelRatioF());
    // Four characters are drawn in the painter's own font.
    const QString font = body.text.size() > 3 ? painter->font().key() : QString();
    const QString key = QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                            .arg(body.text, body.fill.name(QColor::HexArgb), body.textColour.name(QColor::HexArgb),
                                 body.outline.color().name(QColor::HexArgb), QString::number(body.outline.widthF()),
                                 body.follow.isValid() ? body.follow.name(QColor::HexArgb) : QString(),
                                 QString::number(int(body.emphasised) + 2 * int(body.chequered)), QString::number(scale, 'g', 12), font);
    auto cached = m_bodies.constFind(key);
    if (cached == m_bodies.cend()) {
        const QSize size(int(std::ceil(kBodyExtent.width() * scale * ratio)) + 1, int(std::ceil(kBodyExtent.height() * scale * ratio)) + 1);
        const qint64 bytes = qint64(size.width()) * size.height() * 4;
        // Past the cap, drawn directly: clearing would draw every body
        // again on every repaint.
        if (m_bodyBytes + bytes > kMaxBodyBytes)
            return false;
        QPixmap picture(size);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter drawing(&picture);
        drawing.setRenderHints(painter->renderHints());
        drawing.setFont(painter->font());
        drawing.scale(scale, scale);
        drawing.translate(-kBodyExtent.topLeft());
        drawBody(&drawing, body);
        drawing.end();
        cached = m_bodies.insert(key, picture);
        m_bodyBytes += bytes;
    }
    // On the device pixel nearest to where the body falls.
    const QPointF corner = world.map(kBodyExtent.topLeft());
    const QPointF pixel(std::round(corner.x() * ratio) / ratio, std::round(corner.y() * ratio) / ratio);
    painter->setWorldTransform(QTransform());
    painter->drawPixmap(pixel, *cached);
    painter->setWorldTransform(world);
    return true;
}
