#include "LapChartView.h"

#include "V2DataProvider.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QMap>
#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace {

const QColor kPalette[] = {Qt::blue, Qt::gray, Qt::darkRed, Qt::darkGreen, Qt::darkBlue, Qt::darkCyan, Qt::darkMagenta, Qt::darkYellow, Qt::darkGray};
// At text size 1; the labels' room, the rows and the axis grow with the text.
constexpr double kLineX = 40.0;
constexpr double kAxisGap = 28.0;
constexpr double kRowHeight = 15.0;
constexpr double kLabelPoints = 9.0;
// Fitted lap widths stay within the panel slider's range.
constexpr double kNarrowestLap = 0.5;
constexpr double kWidestLap = 60.0;
// Room right of the last lap, below the last row.
constexpr double kEndMargin = 10.0;
constexpr double kMarkerOverhang = 2.0;
// The lines' room grows by this many laps at a time: each growth repaints
// every line once.
constexpr int kLapsAhead = 8;

QFont labelFont(double textScale)
{
    QFont font(QStringLiteral("Segoe UI"));
    font.setPointSizeF(kLabelPoints * textScale);
    font.setBold(true);
    return font;
}

} // namespace

LapChartView::LapChartView(QWidget* parent)
    : QGraphicsView(parent)
{
    setScene(new QGraphicsScene(this));
    setFrameShape(QFrame::NoFrame);
    setRenderHint(QPainter::Antialiasing, true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackgroundBrush(Qt::black);
    scene()->setBackgroundBrush(Qt::black);
    connect(scene(), &QGraphicsScene::selectionChanged, this, &LapChartView::selectionChanged);
}

LapChartView::~LapChartView()
{
    // The scene announces selection changes while it deletes the items.
    disconnect(scene(), nullptr, this, nullptr);
}

void LapChartView::setProvider(V2DataProvider* provider)
{
    m_provider = provider;
    for (auto signal : {&V2DataProvider::sessionEntry, &V2DataProvider::sessionStartingGrid, &V2DataProvider::analysisLaps, &V2DataProvider::cleanAll})
        connect(provider, signal, this, &LapChartView::refreshAll);
    // Of the session's information the chart reads only whether it is a race:
    // other changes (the clock's offset, once a second from a fast simulator)
    // keep the chart and the user's selection.
    connect(provider, &V2DataProvider::sessionInfo, this, [this] {
        if (m_provider->isRace() != m_drawnRace)
            refreshAll();
    });
    connect(provider, &V2DataProvider::analysisLapsByPnum, this, &LapChartView::update);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &LapChartView::refreshAll);
    refreshAll();
}

void LapChartView::setShowPits(bool show)
{
    m_showPits = show;
    refreshAll();
}

void LapChartView::setColorsOnFollowed(bool on)
{
    m_colorsOnFollowed = on;
    refreshAll();
}

void LapChartView::setLapWidth(double width)
{
    m_fitToWidth = false;
    m_lapWidth = width;
    refreshAll();
}

void LapChartView::setFitToWidth(bool fit)
{
    m_fitToWidth = fit;
    refreshAll();
}

bool LapChartView::fitsToWidth() const
{
    return m_fitToWidth;
}

void LapChartView::setTextScale(double scale)
{
    if (scale == m_textScale)
        return;
    m_textScale = scale;
    m_rowHeight = kRowHeight * scale;
    refreshAll();
}

double LapChartView::lineX() const
{
    return kLineX * m_textScale;
}

void LapChartView::fitLapWidth()
{
    if (!m_fitToWidth || !m_provider)
        return;
    // The race so far across the panel: one lap more than run, for the line's end.
    const int laps = std::max(1, m_provider->getSessionElapsedLaps()) + 1;
    // The room as if the vertical scroll bar were shown, whether it is or
    // not: a fit that followed the bars would make them come and go, each
    // time fitting and drawing the whole chart again, for ever.
    const int viewWidth = maximumViewportSize().width() - verticalScrollBar()->sizeHint().width();
    // Beyond the last lap stand its markers (2 pixels past the lines) and
    // half of its number over the axis: room for both, or a scroll bar shows.
    const double numberHalf = QFontMetricsF(labelFont(m_textScale)).horizontalAdvance(QString::number(laps)) / 2;
    const double room = viewWidth - lineX() - kEndMargin - std::max(kMarkerOverhang, numberHalf);
    const double width = std::clamp(room / laps, kNarrowestLap, kWidestLap);
    if (width != m_lapWidth) {
        m_lapWidth = width;
        emit lapWidthFitted(width);
    }
}

void LapChartView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    const double before = m_lapWidth;
    fitLapWidth();
    if (m_lapWidth != before)
        refreshAll();
}

void LapChartView::fitSceneRect()
{
    // Exactly what is drawn, not the room kept for the lines: the scroll
    // area shrinks after zooming out or a smaller field.
    QRectF drawn;
    for (const Car& car : qAsConst(m_cars))
        drawn |= car.label->sceneBoundingRect() | car.line->mapRectToScene(car.line->drawnRect());
    for (const QGraphicsSimpleTextItem* label : qAsConst(m_axisLabels))
        drawn |= label->sceneBoundingRect();
    drawn.setLeft(std::min(drawn.left(), 0.0));
    drawn.adjust(0, 0, kEndMargin, kEndMargin);
    scene()->setSceneRect(drawn);
}

int LapChartView::extentLaps() const
{
    return (std::max(m_lapCount, 0) / kLapsAhead + 2) * kLapsAhead;
}

QRectF LapChartView::lineExtent(int row) const
{
    // A line is drawn from its own row's level: position 1 is `row` rows up.
    return QRectF(0, -row * m_rowHeight, m_extentLaps * m_lapWidth, (m_order.size() - 1) * m_rowHeight);
}

double LapChartView::lapWidth() const
{
    return m_lapWidth;
}

QStringList LapChartView::cars() const
{
    return m_order;
}

QGraphicsSimpleTextItem* LapChartView::label(const QString& pNum) const
{
    return m_cars.value(pNum).label;
}

LapChartItem* LapChartView::line(const QString& pNum) const
{
    return m_cars.value(pNum).line;
}

QList<QGraphicsSimpleTextItem*> LapChartView::axisLabels() const
{
    return m_axisLabels;
}

void LapChartView::drawAxis(bool race)
{
    for (QGraphicsSimpleTextItem* label : qAsConst(m_axisLabels))
        delete label;
    m_axisLabels.clear();
    if (!race)
        return;
    m_lapCount = m_provider->getSessionElapsedLaps();
    const auto add = [this](int lap, double x) {
        auto* label = scene()->addSimpleText(QString::number(lap), labelFont(m_textScale));
        label->setBrush(Qt::white);
        label->setPos(x - label->boundingRect().width() / 2, -15 * m_textScale);
        m_axisLabels.append(label);
    };
    double x = m_lapWidth * 0.5 + lineX();
    double lastLabel = x;
    add(m_lapCount < 1 ? 0 : 1, x);
    for (int lap = 2; lap <= m_lapCount; ++lap) {
        x += m_lapWidth;
        if (x - lastLabel > kAxisGap * m_textScale) {
            add(lap, x);
            lastLabel = x;
        }
    }
}

QVector<LapChartItem::LapRecord> LapChartView::lapRecords(const QString& pNum) const
{
    // One look-up for all of a car's laps: a rebuild reads every lap of the race.
    const QList<int> pitLaps = m_provider->getPitInLapNumbers(pNum);
    QVector<LapChartItem::LapRecord> records;
    for (const auto& lap : m_provider->getLapPositions(pNum))
        records.append({lap.first, lap.second, pitLaps.contains(lap.first) ? 1 : 0});
    // In lap order (the tree orders its keys as text).
    std::sort(records.begin(), records.end(), [](const LapChartItem::LapRecord& a, const LapChartItem::LapRecord& b) { return a.lap < b.lap; });
    return records;
}

void LapChartView::setHeld(bool held)
{
    m_held = held;
    if (!held && m_owed)
        refreshAll();
}

bool LapChartView::isHeld() const
{
    return m_held;
}

void LapChartView::refreshAll()
{
    m_owed = m_held;
    if (m_held)
        return;
    // Out of the hash before deleting: deleting a selected label makes the
    // scene announce the selection change at once, and the stacking walks
    // the hash.
    // The cars the user picked stay picked: a fitted chart rebuilds on every
    // new lap and on every resize.
    QStringList selected;
    for (const Car& car : qAsConst(m_cars)) {
        if (car.label->isSelected())
            selected.append(car.pNum);
    }
    const QHash<QString, Car> old = std::exchange(m_cars, {});
    m_order.clear();
    for (const Car& car : old)
        delete car.label; // with its line
    if (!m_provider)
        return;
    const bool race = m_provider->isRace();
    m_drawnRace = race;
    fitLapWidth();
    drawAxis(race);
    if (!race) {
        fitSceneRect();
        return;
    }
    // Rows by grid position, then number.
    QMap<QString, QString> grid;
    for (const QString& position : m_provider->getStartingGridPositions()) {
        const QString pNum = m_provider->getStartingGridParticipant(position);
        grid.insert(QStringLiteral("%1_%2").arg(position, 5, QLatin1Char('0')).arg(pNum, 5, QLatin1Char('0')), pNum);
    }
    // A car listed twice on the grid has one row: a second would never be deleted.
    for (const QString& pNum : qAsConst(grid)) {
        if (!m_order.contains(pNum))
            m_order.append(pNum);
    }
    m_extentLaps = extentLaps();
    int colour = 0;
    for (int row = 0; row < m_order.size(); ++row) {
        const QString& pNum = m_order.at(row);
        Car car;
        car.pNum = pNum;
        car.row = row;
        car.label = scene()->addSimpleText(pNum.right(3), labelFont(m_textScale));
        car.label->setFlag(QGraphicsItem::ItemIsSelectable, true);
        car.label->setPos(0, row * m_rowHeight);
        car.line = new LapChartItem(car.label);
        car.line->setPos(lineX(), m_rowHeight * 0.5);
        const QColor highlight = m_provider->getFollowColor(pNum);
        QColor color;
        double width = 1.0;
        if (highlight.isValid()) {
            color = highlight;
            width = 2.0;
            car.label->setZValue(1.0);
        } else if (m_colorsOnFollowed) {
            color = Qt::darkGray;
        } else {
            color = kPalette[colour++ % int(std::size(kPalette))];
        }
        car.label->setBrush(color);
        car.line->setColor(color);
        car.line->setPenWidth(width);
        car.line->setShowPits(m_showPits);
        car.line->setRowHeight(m_rowHeight);
        car.line->setLapWidth(m_lapWidth);
        car.line->setExtent(lineExtent(row));
        car.line->setData(row + 1, lapRecords(pNum));
        m_cars.insert(pNum, car);
    }
    for (const QString& pNum : qAsConst(selected)) {
        const auto car = m_cars.constFind(pNum);
        if (car != m_cars.cend())
            car->label->setSelected(true);
    }
    fitSceneRect();
    refreshStacking();
}

void LapChartView::update(QString pNum)
{
    if (m_held) {
        m_owed = true;
        return;
    }
    const auto car = m_cars.constFind(pNum);
    if (car == m_cars.cend())
        return;
    car->line->setData(car->row + 1, lapRecords(pNum));
    // The axis grows with the race; a fitted chart narrows its laps.
    if (m_provider->getSessionElapsedLaps() != m_lapCount) {
        if (m_fitToWidth) {
            refreshAll();
            return;
        }
        drawAxis(true);
        if (extentLaps() != m_extentLaps) {
            m_extentLaps = extentLaps();
            for (const Car& other : qAsConst(m_cars))
                other.line->setExtent(lineExtent(other.row));
        }
    }
    fitSceneRect();
}

void LapChartView::selectionChanged()
{
    refreshStacking();
}

void LapChartView::refreshStacking()
{
    for (const Car& car : qAsConst(m_cars)) {
        if (car.label->isSelected())
            car.label->setZValue(15);
        else
            car.label->setZValue(m_provider->getFollowColor(car.pNum).isValid() ? 10 : 0);
    }
    scene()->update();
}
