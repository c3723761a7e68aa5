#include "MeteoGraphicsView.h"

#include "AirTempItem.h"
#include "CurrentValuesItem.h"
#include "HumidityItem.h"
#include "PressureItem.h"
#include "TrackTempItem.h"
#include "WindDirectionItem.h"
#include "WindSpeedItem.h"

#include <QGraphicsScene>

namespace {

constexpr int kCarouselMs = 5000;
const QRectF kSceneRect(0, 0, 680, 230);

} // namespace

MeteoGraphicsView::MeteoGraphicsView(V2DataProvider* provider, QWidget* parent)
    : QGraphicsView(parent)
    , m_current(new CurrentValuesItem(provider))
    , m_wind(new WindDirectionItem(provider))
{
    auto* scene = new QGraphicsScene(kSceneRect, this);
    setScene(scene);
    setFrameShape(QFrame::NoFrame);
    setRenderHint(QPainter::Antialiasing, true);
    setBackgroundBrush(Qt::black);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_current->setScale(1.8);
    m_current->setPos(5, 5);
    m_wind->setScale(1.5);
    m_wind->setZValue(1);
    m_wind->setPos(10, 130);
    scene->addItem(m_current);
    scene->addItem(m_wind);
    m_graphs = {new TrackTempItem(provider), new AirTempItem(provider), new WindSpeedItem(provider), new HumidityItem(provider),
                new PressureItem(provider)};
    for (MeteoGraphItem* graph : qAsConst(m_graphs)) {
        graph->setScale(2.0);
        graph->setPos(285, 5);
        graph->hide();
        graph->refresh();
        scene->addItem(graph);
        connect(this, &MeteoGraphicsView::useUSAunits, graph, &MeteoGraphItem::setUsaUnits);
    }
    connect(this, &MeteoGraphicsView::useUSAunits, m_current, &CurrentValuesItem::setUsaUnits);
    connect(&m_carousel, &QTimer::timeout, this, &MeteoGraphicsView::showNextGraph);
    m_carousel.start(kCarouselMs);
    showNextGraph();
}

MeteoGraphicsView::~MeteoGraphicsView() = default;

QList<MeteoGraphItem*> MeteoGraphicsView::graphs() const
{
    return m_graphs;
}

int MeteoGraphicsView::shownGraph() const
{
    return m_shown;
}

CurrentValuesItem* MeteoGraphicsView::currentValues() const
{
    return m_current;
}

WindDirectionItem* MeteoGraphicsView::windDirection() const
{
    return m_wind;
}

void MeteoGraphicsView::showNextGraph()
{
    if (m_shown >= 1)
        m_graphs.at(m_shown - 1)->hide();
    m_shown = m_shown % m_graphs.size() + 1;
    m_graphs.at(m_shown - 1)->show();
    emit onShowNextGraph();
}

void MeteoGraphicsView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    // The whole scene in view, whatever the panel's size.
    fitInView(sceneRect(), Qt::KeepAspectRatio);
}
