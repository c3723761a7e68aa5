#include "PositioningGraphicsViewPromote.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGLWidget>

namespace {

constexpr double kSceneWidth = 1920.0;
constexpr double kSceneHeight = 1080.0;

} // namespace

PositioningGraphicsViewPromote::PositioningGraphicsViewPromote(QWidget* parent)
    : QGraphicsView(parent)
{
    setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    setViewportUpdateMode(QGraphicsView::SmartViewportUpdate);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(Qt::black);
    leaveFillToView();
}

void PositioningGraphicsViewPromote::leaveFillToView()
{
    // The view fills what it repaints with its black background: the
    // viewport's own fill of the same pixels first is work for nothing.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent, true);
}

PositioningGraphicsViewPromote::~PositioningGraphicsViewPromote() = default;

void PositioningGraphicsViewPromote::setUseOpenGL(bool on)
{
    m_useOpenGL = on;
    if (on) {
        auto* gl = new QGLWidget(QGLFormat(QGL::DoubleBuffer | QGL::SampleBuffers));
        gl->setAutoFillBackground(false);
        setCacheMode(QGraphicsView::CacheNone);
        // A swapped buffer keeps nothing of the last frame: each one is drawn whole.
        setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
        setViewport(gl);
    } else {
        // The markers' own small regions again, as set up.
        setViewportUpdateMode(QGraphicsView::SmartViewportUpdate);
        setViewport(new QWidget);
        leaveFillToView();
    }
}

bool PositioningGraphicsViewPromote::useOpenGL() const
{
    return m_useOpenGL;
}

bool PositioningGraphicsViewPromote::isOpenGLValid() const
{
    const auto* gl = qobject_cast<const QGLWidget*>(viewport());
    return gl && gl->isValid();
}

double PositioningGraphicsViewPromote::scaleFactor(const QSize& size)
{
    const double sx = size.width() / kSceneWidth;
    const double sy = size.height() / kSceneHeight;
    if (sx <= 0 || sy <= 0)
        return 1.0;
    if (sx < 1 && sy < 1)
        return std::min(sx, sy);
    if (sx >= 1 && sy >= 1)
        return std::max(sx, sy);
    return sx < 1 ? sx : sy;
}

void PositioningGraphicsViewPromote::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    resetTransform();
    const double factor = scaleFactor(size());
    scale(factor, factor);
}

void PositioningGraphicsViewPromote::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous())
        QApplication::quit();
    else
        event->ignore();
}
