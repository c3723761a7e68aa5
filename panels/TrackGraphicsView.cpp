#include "TrackGraphicsView.h"

#include "V2DataProvider.h"

#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QLinearGradient>

#include <algorithm>

namespace {

const QColor kPalette[] = {{75, 150, 255}, {255, 215, 75}, {255, 75, 75}, {240, 240, 240}};
constexpr double kMargin = 20;
// Room for the sector titles above the bar, and below it.
constexpr double kTitleRoom = 25;
constexpr double kBottomRoom = 2;
constexpr double kLowestBar = 10;

QFont boldArial(int pointSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setWeight(75);
    font.setPointSize(pointSize);
    return font;
}

} // namespace

TrackGraphicsView::TrackGraphicsView(V2DataProvider* provider, QWidget* parent)
    : QGraphicsView(parent)
    , m_provider(provider)
{
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QLinearGradient background(0, 0, 0, 150);
    background.setColorAt(0, QColor(25, 25, 25));
    background.setColorAt(1, QColor(15, 15, 15));
    setBackgroundBrush(background);
    if (provider)
        connect(provider, &V2DataProvider::trackInfo, this, &TrackGraphicsView::rebuild);
    const QRectF area = rect().isEmpty() ? QRectF(0, 0, 800, 150) : QRectF(rect());
    setScene(new QGraphicsScene(area, this));
    rebuild();
}

TrackGraphicsView::~TrackGraphicsView() = default;

double TrackGraphicsView::barHeight() const
{
    return m_barHeight;
}

double TrackGraphicsView::barTop() const
{
    return m_barTop;
}

double TrackGraphicsView::labelLine() const
{
    return m_labelLine;
}

const QStringList& TrackGraphicsView::sectorStarts() const
{
    return m_sectorStarts;
}

QColor TrackGraphicsView::sectorColour(int sectorIndex)
{
    return kPalette[sectorIndex % 4];
}

QString TrackGraphicsView::segmentLabel(const QString& from, const QString& to, const QFont& font, double width)
{
    const QString text = QStringLiteral("%1 \u2015 %2").arg(from, to);
    const QFontMetricsF metrics(font);
    const double room = std::max(0.0, width - 10);
    return metrics.horizontalAdvance(text) > room ? metrics.elidedText(text, Qt::ElideMiddle, room) : text;
}

void TrackGraphicsView::rebuild()
{
    QGraphicsScene* strip = scene();
    if (!strip)
        return;
    strip->clear();
    const QRectF area = strip->sceneRect();
    // A low view keeps the bar and the sector titles above it inside.
    const double height = area.height();
    m_barHeight = std::max(kLowestBar, std::min(std::clamp(height * 0.4, 30.0, 60.0), height - kTitleRoom - kBottomRoom));
    m_barTop = std::min((height - m_barHeight) * 0.5 + 20, height - m_barHeight - kBottomRoom);
    m_labelLine = (m_barHeight - 20) * 0.5 + m_barTop;
    m_sectorStarts.clear();
    if (!m_provider)
        return;
    const QList<QPair<QString, QString>> pairs = m_provider->getLoopSectorPairs();
    if (pairs.isEmpty())
        return;
    for (const auto& pair : pairs) {
        if (pair.first.startsWith(QLatin1Char('I')) || pair.first == QLatin1String("FL"))
            m_sectorStarts.append(pair.first);
    }
    const double width = (area.width() - 2 * kMargin) / pairs.size();
    QList<int> sectorOfPair;
    int sector = 0;
    for (int i = 0; i < pairs.size(); ++i) {
        if (i > 0 && m_sectorStarts.contains(pairs.at(i).first))
            ++sector;
        sectorOfPair.append(sector);
    }
    double x = kMargin;
    for (int i = 0; i < pairs.size(); ++i) {
        const bool starts = i == 0 || sectorOfPair.at(i) != sectorOfPair.at(i - 1);
        const double sectorWidth = width * sectorOfPair.count(sectorOfPair.at(i));
        drawSegment(x, width, sectorWidth, sectorOfPair.at(i), starts, pairs.at(i).first, pairs.at(i).second);
        x += width;
    }
}

void TrackGraphicsView::drawSegment(double x, double width, double sectorWidth, int sectorIndex, bool startsSector, const QString& from, const QString& to)
{
    QGraphicsScene* strip = scene();
    const QColor colour = sectorColour(sectorIndex);
    QLinearGradient shade(0, m_barTop, 0, m_barTop + m_barHeight);
    shade.setColorAt(0, colour.lighter(120));
    shade.setColorAt(0.5, colour);
    shade.setColorAt(1, colour.darker(130));
    auto* bar = strip->addRect(QRectF(x, m_barTop, width, m_barHeight), QPen(QColor(255, 255, 255, 100), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin),
                               QBrush(shade));
    auto* shadow = new QGraphicsDropShadowEffect;
    shadow->setBlurRadius(8);
    shadow->setColor(QColor(0, 0, 0, 80));
    shadow->setOffset(0, 2);
    bar->setGraphicsEffect(shadow);

    const QFont labelFont = boldArial(std::clamp(static_cast<int>(width / 12), 6, 12));
    auto* label = strip->addSimpleText(segmentLabel(from, to, labelFont, width), labelFont);
    const double luminance = 0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue();
    label->setBrush(luminance > 150 ? QColor(30, 30, 30) : QColor(Qt::white));
    label->setPos(x + (width - label->boundingRect().width()) / 2, m_labelLine);

    if (startsSector) {
        // A sector of one narrow segment would run its title into the next one.
        const QFont font = boldArial(std::clamp(static_cast<int>(width / 15), 8, 14));
        const QString text = QFontMetricsF(font).elidedText(tr("SECTOR %1").arg(sectorIndex + 1), Qt::ElideRight, std::max(0.0, sectorWidth - 10));
        auto* title = strip->addSimpleText(text, font);
        title->setBrush(QColor(200, 200, 200));
        title->setPos(x + 5, m_barTop - 25);
    }
}

void TrackGraphicsView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    if (scene()) {
        scene()->setSceneRect(0, 0, width(), height());
        rebuild();
        fitInView(scene()->sceneRect(), Qt::IgnoreAspectRatio);
    }
}
