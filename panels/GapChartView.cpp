#include "GapChartView.h"

#include "CarNumberOrder.h"
#include "GapChartItem.h"
#include "GapChartShading.h"
#include "TimingConstants.h"
#include "V2DataProvider.h"

#include <QGraphicsScene>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Readable on the dark and the light skin alike.
const QColor kPalette[] = { QColor(31, 119, 180), QColor(255, 127, 14),  QColor(44, 160, 44),   QColor(214, 39, 40),  QColor(148, 103, 189),
                            QColor(140, 86, 75),  QColor(227, 119, 194), QColor(127, 127, 127), QColor(188, 189, 34), QColor(23, 190, 207) };
// The pinned axes: gap labels on the left, lap numbers along the top.
constexpr double kLeftMargin = 46.0;
constexpr double kTopMargin = 18.0;
constexpr double kEndMargin = 40.0;
// The chart shows at least this many seconds below the reference.
constexpr double kMinDepthSeconds = 30.0;
constexpr double kZoomStep = 1.25;
constexpr double kNarrowestLap = 0.5;
constexpr double kWidestLap = 120.0;
constexpr double kFlattestSecond = 0.05;
constexpr double kTallestSecond = 100.0;
// Grid and label steps, in laps and in seconds.
const QVector<int> kLapSteps = { 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000 };
const QVector<int> kSecondSteps = { 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 1800, 3600, 7200 };

// The first step at least `minimumGap` pixels wide.
int tickStep(double pixelsPerUnit, double minimumGap, const QVector<int>& steps)
{
    for (int step : steps) {
        if (step * pixelsPerUnit >= minimumGap)
            return step;
    }
    return steps.last();
}

// A lap's end day time; 0 when its start or its time is missing.
quint64 lapEnd(quint64 start, quint64 time)
{
    if (start == 0 || time == 0 || time == TimingConstants::NO_TIME)
        return 0;
    return start + time;
}

// Flags that neutralise the whole track, and the kind of band they give.
GapChartShading::Kind neutralisation(const QString& type, int sector)
{
    if (type == QLatin1String("SAFETY_CAR") || type == QLatin1String("VIRTUAL_SAFETY_CAR"))
        return GapChartShading::SafetyCar;
    if (((type == QLatin1String("FULL_YELLOW") || type == QLatin1String("YELLOW")) && sector < 1) || type == QLatin1String("CODE_60"))
        return GapChartShading::FullCourseYellow;
    return GapChartShading::None;
}

QString gapLabel(int seconds)
{
    const QString sign = seconds > 0 ? QStringLiteral("+") : seconds < 0 ? QStringLiteral("\u2212") : QString();
    const int s = std::abs(seconds);
    if (s < 60)
        return sign + QString::number(s) + QStringLiteral("s");
    return sign + QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

GapChartView::GapChartView(QWidget* parent)
    : QGraphicsView(parent)
    , m_shading(new GapChartShading)
{
    setScene(new QGraphicsScene(this));
    scene()->addItem(m_shading);
    // No index: items change with every lap, and the scene holds a few.
    scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
    setFrameShape(QFrame::NoFrame);
    setRenderHint(QPainter::Antialiasing, true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setDragMode(QGraphicsView::ScrollHandDrag);
    // Showing the view must not centre it on an old point: it would leave the newest lap.
    setTransformationAnchor(QGraphicsView::NoAnchor);
    // The axes are pinned to the viewport: a scroll repaints it whole.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setFocusPolicy(Qt::StrongFocus);
    m_shading->setLapWidth(m_lapWidth);
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (m_follow)
            scrollToNewest();
    });
    // Only the user's scrolling decides whether the view follows: the view
    // itself moves its scroll bars when it is shown, resized or rescaled.
    QScrollBar* bar = horizontalScrollBar();
    connect(bar, &QScrollBar::sliderMoved, this, [this] { followFromPosition(); });
    // An action (a click, a key, a wheel on the bar) moves the bar just after it is announced.
    connect(bar, &QScrollBar::actionTriggered, this, [this] { QTimer::singleShot(0, this, [this] { followFromPosition(); }); });
    updateSceneRect();
}

GapChartView::~GapChartView() = default;

void GapChartView::setProvider(V2DataProvider* provider)
{
    m_provider = provider;
    // analysisProcessed follows every whole collection, new entry and clean.
    connect(provider, &V2DataProvider::analysisProcessed, this, &GapChartView::refreshAll);
    connect(provider, &V2DataProvider::sessionInfo, this, [this] {
        if (m_provider->isRace() != m_race)
            refreshAll();
    });
    connect(provider, &V2DataProvider::analysisLapsByPnumAndLap, this, &GapChartView::updateLap);
    // A deleted lap is announced only as its rows removed: one rebuild covers a line's deletions.
    connect(provider, &V2DataProvider::analysysLapsUpdateByRow, this, [this](int, bool, bool removed) {
        if (removed)
            queueRefresh();
    });
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &GapChartView::refreshAll);
    // The provider re-reads its pit index after its listeners hear of new pits.
    connect(provider, &V2DataProvider::analysisPitIn, this, [this] { QTimer::singleShot(0, this, [this] { refreshPits(); }); });
    connect(provider, &V2DataProvider::sessionFlags, this, [this] {
        const QVector<Period> before = m_periods;
        readPeriods();
        if (m_periods == before)
            return;
        for (int lap = 0; lap < m_leader.size(); ++lap)
            shadeLap(lap);
    });
    refreshAll();
}

void GapChartView::setScale(double lapWidth, double secondHeight)
{
    applyScale(std::clamp(lapWidth, kNarrowestLap, kWidestLap), std::clamp(secondHeight, kFlattestSecond, kTallestSecond));
}

double GapChartView::lapWidth() const
{
    return m_lapWidth;
}

double GapChartView::secondHeight() const
{
    return m_secondHeight;
}

void GapChartView::zoomLaps(double factor)
{
    setScale(m_lapWidth * factor, m_secondHeight);
}

void GapChartView::zoomSeconds(double factor)
{
    setScale(m_lapWidth, m_secondHeight * factor);
}

void GapChartView::applyScale(double lapWidth, double secondHeight)
{
    if (lapWidth == m_lapWidth && secondHeight == m_secondHeight)
        return;
    // What is at the centre of the view stays there (the newest lap while following).
    const QPointF centre = mapToScene(viewport()->rect().center());
    const double lapAtCentre = centre.x() / m_lapWidth;
    const double secondsAtCentre = centre.y() / m_secondHeight;
    m_lapWidth = lapWidth;
    m_secondHeight = secondHeight;
    for (const Car& car : qAsConst(m_cars))
        car.item->setScale(m_lapWidth, m_secondHeight);
    m_shading->setLapWidth(m_lapWidth);
    updateSceneRect();
    centerOn(lapAtCentre * m_lapWidth, secondsAtCentre * m_secondHeight);
    if (m_follow)
        scrollToNewest();
    viewport()->update();
    emit scaleChanged();
}

void GapChartView::setChosenCars(const QStringList& cars)
{
    m_chosen = cars;
    m_hasChosen = true;
    refreshAll();
}

void GapChartView::clearChosenCars()
{
    m_chosen.clear();
    m_hasChosen = false;
    refreshAll();
}

bool GapChartView::hasChosenCars() const
{
    return m_hasChosen;
}

QStringList GapChartView::chosenCars() const
{
    return m_chosen;
}

void GapChartView::setReference(const QString& pNum)
{
    if (pNum == m_reference)
        return;
    m_reference = pNum;
    refreshAll();
}

QString GapChartView::reference() const
{
    return m_reference;
}

void GapChartView::setSkin(const QString& skin)
{
    m_dark = skin != QLatin1String("Light");
    m_shading->setDark(m_dark);
    viewport()->update();
}

void GapChartView::setFollowNewest(bool follow)
{
    if (follow)
        scrollToNewest();
    if (follow != m_follow) {
        m_follow = follow;
        emit followNewestChanged(follow);
    }
}

bool GapChartView::followsNewest() const
{
    return m_follow;
}

QStringList GapChartView::cars() const
{
    return m_order;
}

GapChartItem* GapChartView::line(const QString& pNum) const
{
    return m_cars.value(pNum).item;
}

GapChartShading* GapChartView::shading() const
{
    return m_shading;
}

QStringList GapChartView::drawnCars() const
{
    if (m_hasChosen || !m_provider)
        return m_chosen;
    QStringList followed = m_provider->getFollowedCars();
    std::sort(followed.begin(), followed.end(), CarNumberOrder::less);
    return followed;
}

QString GapChartView::note() const
{
    if (!m_race)
        return tr("The gap chart is drawn for races.");
    if (m_cars.isEmpty())
        return tr("No car chosen: follow a car, or add one under \"Cars\".");
    if (!m_reference.isEmpty() && std::none_of(m_referenceLaps.cbegin(), m_referenceLaps.cend(), [](const Span& span) { return span.end != 0; }))
        return tr("#%1 has no laps: choose another car, or the leader, under \"Gap to\".").arg(m_reference);
    return QString();
}

// Every car that may lead a lap: the entry, and the drawn and reference cars outside it.
QStringList GapChartView::scannedCars(const QStringList& drawn) const
{
    QStringList everyone = m_provider->getEntryList();
    for (const QString& pNum : drawn + QStringList{ m_reference }) {
        if (!pNum.isEmpty() && !everyone.contains(pNum))
            everyone.append(pNum);
    }
    return everyone;
}

void GapChartView::queueRefresh()
{
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_refreshQueued = false;
        refreshAll();
    });
}

const GapChartView::Span* GapChartView::referenceSpan(int lap) const
{
    const QVector<Span>& laps = m_reference.isEmpty() ? m_leader : m_referenceLaps;
    return lap >= 0 && lap < laps.size() ? &laps.at(lap) : nullptr;
}

void GapChartView::setGap(Car& car, int lap)
{
    const Span* reference = referenceSpan(lap);
    const quint64 end = lap < car.ends.size() ? car.ends.at(lap) : 0;
    if (end == 0 || !reference || reference->end == 0) {
        car.item->clearGap(lap);
        return;
    }
    qint64 gap = qint64(end) - qint64(reference->end);
    // A lap down: the reference had ended its next lap (until it has, its lap
    // N time stands in). A lap up: the car ended lap N before the reference
    // began it. Such a gap is clipped to that lap.
    const qint64 lapTime = reference->start != 0 && reference->end > reference->start ? qint64(reference->end - reference->start) : 0;
    const Span* next = referenceSpan(lap + 1);
    const qint64 lapDown = next && next->end > reference->end ? qint64(next->end - reference->end) : lapTime;
    bool lapped = false;
    if (gap > 0 && lapDown > 0 && gap >= lapDown) {
        gap = lapDown;
        lapped = true;
    } else if (gap < 0 && lapTime > 0 && -gap >= lapTime) {
        gap = -lapTime;
        lapped = true;
    }
    car.item->setGap(lap, gap, lapped);
}

void GapChartView::refreshAll()
{
    for (const Car& car : qAsConst(m_cars))
        delete car.item;
    m_cars.clear();
    m_order.clear();
    m_leader.clear();
    m_referenceLaps.clear();
    m_shading->clear();
    m_lastLap = 0;
    m_refreshQueued = false;
    m_race = m_provider && m_provider->isRace();
    if (!m_race) {
        updateSceneRect();
        viewport()->update();
        return;
    }
    const QStringList drawn = drawnCars();
    const QStringList everyone = scannedCars(drawn);
    // Every car's laps are read once: the leader of a lap is whoever ended it first.
    QHash<QString, QVector<AnalysisReader::LapTiming>> kept;
    for (const QString& pNum : qAsConst(everyone)) {
        const QVector<AnalysisReader::LapTiming> timings = m_provider->getLapTimings(pNum);
        for (const AnalysisReader::LapTiming& timing : timings) {
            const quint64 end = lapEnd(timing.start, timing.time);
            if (end == 0 || timing.lap < 0 || timing.lap > GapChartItem::MaxLap)
                continue;
            if (timing.lap >= m_leader.size())
                m_leader.resize(timing.lap + 1);
            Span& leader = m_leader[timing.lap];
            if (leader.end == 0 || end < leader.end)
                leader = Span{ timing.start, end, pNum };
        }
        if (pNum == m_reference || drawn.contains(pNum))
            kept.insert(pNum, timings);
    }
    if (!m_reference.isEmpty()) {
        for (const AnalysisReader::LapTiming& timing : kept.value(m_reference)) {
            if (timing.lap < 0 || timing.lap > GapChartItem::MaxLap)
                continue;
            if (timing.lap >= m_referenceLaps.size())
                m_referenceLaps.resize(timing.lap + 1);
            m_referenceLaps[timing.lap] = Span{ timing.start, lapEnd(timing.start, timing.time), m_reference };
        }
    }
    m_lastLap = std::max(0, int(m_leader.size()) - 1);
    // A car's palette colour follows its place in the entry, not among the
    // drawn cars: adding or removing a car leaves the others' colours.
    const int paletteSize = int(std::size(kPalette));
    for (const QString& pNum : drawn) {
        if (m_cars.contains(pNum))
            continue;
        Car car;
        car.item = new GapChartItem(pNum);
        car.item->setScale(m_lapWidth, m_secondHeight);
        const QColor followColour = m_provider->getFollowColor(pNum);
        if (followColour.isValid()) {
            car.item->setColor(followColour, 2.0);
            car.item->setZValue(1.0);
        } else {
            const int index = int(everyone.indexOf(pNum));
            car.item->setColor(kPalette[(index < 0 ? 0 : index) % paletteSize], 1.5);
        }
        for (const AnalysisReader::LapTiming& timing : kept.value(pNum)) {
            if (timing.lap < 0 || timing.lap > GapChartItem::MaxLap)
                continue;
            if (timing.lap >= car.ends.size())
                car.ends.resize(timing.lap + 1);
            car.ends[timing.lap] = lapEnd(timing.start, timing.time);
        }
        for (int lap = 0; lap < car.ends.size(); ++lap)
            setGap(car, lap);
        car.item->setPitLaps(m_provider->getPitInLapNumbers(pNum));
        scene()->addItem(car.item);
        m_cars.insert(pNum, car);
        m_order.append(pNum);
    }
    readPeriods();
    for (int lap = 0; lap < m_leader.size(); ++lap)
        shadeLap(lap);
    updateSceneRect();
    if (m_follow)
        scrollToNewest();
    viewport()->update();
}

void GapChartView::updateLap(const QString& pNum, const QString& lapKey)
{
    if (!m_provider || !m_race)
        return;
    bool ok = false;
    const int lap = lapKey.toInt(&ok);
    if (!ok || lap < 0 || lap > GapChartItem::MaxLap)
        return;
    const AnalysisReader::LapSummary summary = m_provider->getLap(pNum, lapKey);
    const quint64 end = summary.exists ? lapEnd(summary.start, summary.time) : 0;
    if (lap >= m_leader.size())
        m_leader.resize(lap + 1);
    bool leaderChanged = false;
    Span& leader = m_leader[lap];
    if (end != 0 && (leader.end == 0 || end < leader.end)) {
        leader = Span{ summary.start, end, pNum };
        leaderChanged = true;
    } else if (leader.pNum == pNum && (end != leader.end || summary.start != leader.start)) {
        // The lap's leader changed its lap: someone else may have ended it first.
        leaderChanged = rescanLeader(lap);
    }
    bool referenceChanged = m_reference.isEmpty() && leaderChanged;
    if (!m_reference.isEmpty() && pNum == m_reference) {
        if (lap >= m_referenceLaps.size())
            m_referenceLaps.resize(lap + 1);
        m_referenceLaps[lap] = Span{ summary.start, end, pNum };
        referenceChanged = true;
    }
    if (leaderChanged)
        shadeLap(lap);
    const auto car = m_cars.find(pNum);
    if (car != m_cars.end()) {
        if (lap >= car->ends.size())
            car->ends.resize(lap + 1);
        car->ends[lap] = end;
        if (!referenceChanged)
            setGap(*car, lap);
        car->item->setPitLap(lap, m_provider->getPitInLapNumbers(pNum).contains(lap));
    }
    // A new reference lap moves every drawn car's point on that lap, and the
    // lap-down line of the lap before it; no other point.
    if (referenceChanged) {
        for (auto it = m_cars.begin(); it != m_cars.end(); ++it) {
            setGap(*it, lap);
            if (lap > 0)
                setGap(*it, lap - 1);
        }
    }
    m_lastLap = std::max(m_lastLap, lap);
    updateSceneRect();
}

bool GapChartView::rescanLeader(int lap)
{
    const QString lapKey = QString::number(lap);
    Span best;
    for (const QString& pNum : scannedCars(drawnCars())) {
        const AnalysisReader::LapSummary summary = m_provider->getLap(pNum, lapKey);
        const quint64 end = summary.exists ? lapEnd(summary.start, summary.time) : 0;
        if (end != 0 && (best.end == 0 || end < best.end))
            best = Span{ summary.start, end, pNum };
    }
    Span& leader = m_leader[lap];
    const bool changed = best.end != leader.end || best.start != leader.start;
    leader = best;
    return changed;
}

void GapChartView::readPeriods()
{
    m_periods.clear();
    if (!m_provider)
        return;
    QStringList keys = m_provider->getFlagKeys();
    std::sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) { return a.toLongLong() < b.toLongLong(); });
    Period open;
    for (const QString& key : qAsConst(keys)) {
        const quint64 time = m_provider->getFlagTime(key);
        if (time == 0)
            continue;
        const QString type = m_provider->getFlagType(key);
        const int sector = m_provider->getFlagSector(key);
        const GapChartShading::Kind kind = neutralisation(type, sector);
        // A track-wide green, a red, the finish or the next neutralisation ends one.
        const bool ends = kind != GapChartShading::None || (type == QLatin1String("GREEN") && sector < 1) || type == QLatin1String("RED")
            || type == QLatin1String("FINISH");
        if (open.kind != GapChartShading::None && ends) {
            open.to = time;
            m_periods.append(open);
            open = Period();
        }
        if (kind != GapChartShading::None)
            open = Period{ time, 0, kind };
    }
    if (open.kind != GapChartShading::None)
        m_periods.append(open);
}

void GapChartView::shadeLap(int lap)
{
    // The leader's lap N runs from its start (else the end of lap N − 1) to its end.
    const Span& leader = m_leader.at(lap);
    int kind = GapChartShading::None;
    if (leader.end != 0) {
        quint64 start = leader.start != 0 ? leader.start : lap > 0 ? m_leader.at(lap - 1).end : 0;
        if (start == 0)
            start = leader.end;
        for (const Period& period : qAsConst(m_periods)) {
            if (period.from < leader.end && (period.to == 0 || period.to > start))
                kind = std::max(kind, period.kind);
        }
    }
    m_shading->setKind(lap, GapChartShading::Kind(kind));
}

void GapChartView::refreshPits()
{
    if (!m_provider)
        return;
    for (auto it = m_cars.cbegin(); it != m_cars.cend(); ++it)
        it->item->setPitLaps(m_provider->getPitInLapNumbers(it.key()));
}

void GapChartView::updateSceneRect()
{
    qint64 lowest = 0;
    qint64 highest = 0;
    for (const Car& car : qAsConst(m_cars)) {
        if (car.item->lastLap() < 0)
            continue;
        lowest = std::min(lowest, car.item->minGap());
        highest = std::max(highest, car.item->maxGap());
    }
    const double top = lowest / 1000.0 * m_secondHeight - kTopMargin - 8;
    // At least the view's height: the bands of neutralised laps reach its bottom.
    const double bottom = std::max(std::max(highest / 1000.0, kMinDepthSeconds) * m_secondHeight + 12, top + viewport()->height());
    const double right = (m_lastLap + 1) * m_lapWidth + kEndMargin;
    const QRectF rect(QPointF(-kLeftMargin, top), QPointF(right, bottom));
    m_shading->setExtent(top, bottom);
    if (rect != sceneRect())
        setSceneRect(rect);
}

void GapChartView::followFromPosition()
{
    // Panned away from the newest lap, the view stays; back at the end, it follows again.
    const bool atEnd = horizontalScrollBar()->value() >= horizontalScrollBar()->maximum();
    if (atEnd != m_follow) {
        m_follow = atEnd;
        emit followNewestChanged(m_follow);
    }
}

void GapChartView::scrollToNewest()
{
    horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
}

void GapChartView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    updateSceneRect();
    if (m_follow)
        scrollToNewest();
}

void GapChartView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        // Some platforms turn a wheel with Shift into a horizontal one.
        const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
        if (delta != 0) {
            const double factor = delta > 0 ? kZoomStep : 1.0 / kZoomStep;
            if (event->modifiers() & Qt::ShiftModifier)
                zoomSeconds(factor);
            else
                zoomLaps(factor);
        }
        event->accept();
        return;
    }
    QGraphicsView::wheelEvent(event);
    followFromPosition();
}

void GapChartView::mouseMoveEvent(QMouseEvent* event)
{
    QGraphicsView::mouseMoveEvent(event);
    if (event->buttons() & Qt::LeftButton)
        followFromPosition();
}

void GapChartView::keyPressEvent(QKeyEvent* event)
{
    const bool seconds = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        seconds ? zoomSeconds(kZoomStep) : zoomLaps(kZoomStep);
        return;
    case Qt::Key_Minus:
        seconds ? zoomSeconds(1.0 / kZoomStep) : zoomLaps(1.0 / kZoomStep);
        return;
    case Qt::Key_End:
        setFollowNewest(true);
        return;
    case Qt::Key_Home:
        horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
        followFromPosition();
        return;
    default:
        QGraphicsView::keyPressEvent(event);
        followFromPosition();
    }
}

void GapChartView::drawBackground(QPainter* painter, const QRectF& rect)
{
    painter->fillRect(rect, m_dark ? QColor(22, 22, 24) : QColor(Qt::white));
    if (!m_race)
        return;
    const QColor grid = m_dark ? QColor(52, 52, 58) : QColor(226, 226, 230);
    painter->setPen(QPen(grid, 0));
    const int lapStep = tickStep(m_lapWidth, 40, kLapSteps);
    for (int lap = std::max(0, int(std::ceil(rect.left() / (m_lapWidth * lapStep)))) * lapStep; lap * m_lapWidth <= rect.right() && lap <= m_lastLap;
         lap += lapStep)
        painter->drawLine(QPointF(lap * m_lapWidth, rect.top()), QPointF(lap * m_lapWidth, rect.bottom()));
    const int secondStep = tickStep(m_secondHeight, 24, kSecondSteps);
    const int firstSecond = int(std::ceil(rect.top() / (m_secondHeight * secondStep))) * secondStep;
    for (int second = firstSecond; second * m_secondHeight <= rect.bottom(); second += secondStep)
        painter->drawLine(QPointF(std::max(rect.left(), 0.0), second * m_secondHeight), QPointF(rect.right(), second * m_secondHeight));
    // The reference.
    painter->setPen(QPen(m_dark ? QColor(150, 150, 160) : QColor(110, 110, 120), 0));
    painter->drawLine(QPointF(std::max(rect.left(), 0.0), 0), QPointF(rect.right(), 0));
}

void GapChartView::drawForeground(QPainter* painter, const QRectF&)
{
    painter->save();
    painter->resetTransform();
    const QRect area = viewport()->rect();
    const QColor strip = m_dark ? QColor(34, 34, 38) : QColor(243, 243, 246);
    const QColor text = m_dark ? QColor(200, 200, 205) : QColor(60, 60, 66);
    // The panel's font, at the text size the user chose.
    painter->setFont(font());
    painter->setPen(text);
    const QString message = note();
    if (!message.isEmpty())
        painter->drawText(area, Qt::AlignCenter, message);
    if (!m_race) {
        painter->restore();
        return;
    }
    // Lap numbers along the top.
    painter->fillRect(QRect(0, 0, area.width(), int(kTopMargin)), strip);
    const int lapStep = tickStep(m_lapWidth, 40, kLapSteps);
    const QRectF visible = mapToScene(area).boundingRect();
    for (int lap = std::max(0, int(std::floor(visible.left() / (m_lapWidth * lapStep)))) * lapStep; lap * m_lapWidth <= visible.right() && lap <= m_lastLap;
         lap += lapStep) {
        const int x = mapFromScene(QPointF(lap * m_lapWidth, 0)).x();
        if (x > kLeftMargin)
            painter->drawText(QRect(x - 30, 0, 60, int(kTopMargin)), Qt::AlignCenter, QString::number(lap));
    }
    // Gaps down the left.
    painter->fillRect(QRect(0, 0, int(kLeftMargin), area.height()), strip);
    const int secondStep = tickStep(m_secondHeight, 24, kSecondSteps);
    const int firstSecond = int(std::floor(visible.top() / (m_secondHeight * secondStep))) * secondStep;
    for (int second = firstSecond; second * m_secondHeight <= visible.bottom(); second += secondStep) {
        const int y = mapFromScene(QPointF(0, second * m_secondHeight)).y();
        if (y > kTopMargin)
            painter->drawText(QRect(0, y - 8, int(kLeftMargin) - 4, 16), Qt::AlignRight | Qt::AlignVCenter, gapLabel(second));
    }
    painter->drawText(QRect(0, 0, int(kLeftMargin) - 4, int(kTopMargin)), Qt::AlignRight | Qt::AlignVCenter, tr("Lap"));
    painter->restore();
}
