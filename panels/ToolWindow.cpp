#include "ToolWindow.h"

#include "ProgramResources.h"

#include <QApplication>
#include <QHash>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

const QString kTransparent = QStringLiteral("background: transparent;");
const QString kTinted = QStringLiteral("background-color: rgba(0, 0, 0, 0.4);");
// A panel whose data are not live: its title bar turns red.
const QString kStale = QStringLiteral("background-color: rgba(170, 30, 30, 0.9);");

constexpr int kRowHeight = 19;
constexpr int kTitleBarHeight = 30;
constexpr int kTitleButtonSize = 24;
qreal g_textScale = 1;

} // namespace

ToolWindow::ToolWindow(QWidget* parent, bool floating)
    : QWidget(parent)
    , m_floating(floating)
{
    ProgramResources::init();
    m_textScale = g_textScale;
    setFont(panelFont());
    if (!m_floating) {
        // Embedded panels put their form straight into themselves.
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        return;
    }
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    buildTitleBar();
    // Button-free moves must reach the filter to show the resize cursors.
    setMouseTracking(true);
    m_titleBar->setMouseTracking(true);
    installEventFilter(this);
    m_titleBar->installEventFilter(this);
    setShowBorder(true);
}

ToolWindow::~ToolWindow() = default;

void ToolWindow::buildTitleBar()
{
    m_titleBar = new QWidget(this);
    m_titleBar->setObjectName(QStringLiteral("titleBar"));
    m_titleBar->setFixedHeight(qRound(kTitleBarHeight * m_textScale));
    auto* bar = new QHBoxLayout(m_titleBar);
    bar->setContentsMargins(8, 0, 4, 0);
    bar->setSpacing(4);
    m_titleLabel = new QLabel(windowTitle(), m_titleBar);
    m_titleLabel->setObjectName(QStringLiteral("titleBarLabel"));
    m_titleLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(m_titleLabel);
    bar->addStretch();
    const auto button = [this, bar](const QString& name, const QString& text) {
        auto* b = new QPushButton(text, m_titleBar);
        b->setObjectName(name);
        b->setFixedSize(qRound(kTitleButtonSize * m_textScale), qRound(kTitleButtonSize * m_textScale));
        bar->addWidget(b);
        return b;
    };
    m_minimize = button(QStringLiteral("btnMinimize"), QStringLiteral("-"));
    m_maximize = button(QStringLiteral("btnMaximize"), QString(QChar(0x2750)));
    m_close = button(QStringLiteral("btnClose"), QString(QChar(0x00D7)));
    connect(m_minimize, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(m_maximize, &QPushButton::clicked, this, &ToolWindow::toggleMaximized);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("contentWidget"));
    new QVBoxLayout(m_content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(m_titleBar);
    layout->addWidget(m_content);
}

void ToolWindow::toggleMaximized()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

QFont ToolWindow::panelFont()
{
    QFont font(QApplication::font().defaultFamily());
    const QScreen* screen = QGuiApplication::primaryScreen();
    font.setPointSizeF(panelFontPointSize(screen ? screen->logicalDotsPerInchX() : 96) * g_textScale);
    return font;
}

qreal ToolWindow::textScale()
{
    return g_textScale;
}

void ToolWindow::setTextScale(qreal scale)
{
    g_textScale = qBound<qreal>(0.5, scale, 3);
}

int ToolWindow::rowHeight()
{
    return qRound(kRowHeight * g_textScale);
}

void ToolWindow::applyTextScale()
{
    QList<ToolWindow*> panels{this};
    panels += findChildren<ToolWindow*>();
    for (ToolWindow* panel : qAsConst(panels)) {
        const qreal old = panel->m_textScale;
        if (qFuzzyCompare(old, g_textScale))
            continue;
        panel->m_textScale = g_textScale;
        panel->textScaleChanged(old);
    }
}

void ToolWindow::textScaleChanged(qreal oldScale)
{
    // A widget the skin's style sheet gives a font (a weight, say) keeps its
    // size when the panel's font changes: those that did not follow are
    // scaled here. Embedded panels scale their own.
    QHash<QWidget*, qreal> before;
    for (QWidget* child : findChildren<QWidget*>()) {
        QWidget* owner = child->parentWidget();
        while (owner && !qobject_cast<ToolWindow*>(owner))
            owner = owner->parentWidget();
        if (owner == this && child->font().pointSizeF() > 0)
            before.insert(child, child->font().pointSizeF());
    }
    setFont(panelFont());
    const qreal ratio = oldScale > 0 ? m_textScale / oldScale : 1;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!qFuzzyCompare(it.key()->font().pointSizeF(), it.value()))
            continue;
        QFont font = it.key()->font();
        font.setPointSizeF(it.value() * ratio);
        it.key()->setFont(font);
    }
    if (!m_titleBar)
        return;
    m_titleBar->setFixedHeight(qRound(kTitleBarHeight * m_textScale));
    for (QPushButton* button : {m_minimize, m_maximize, m_close})
        button->setFixedSize(qRound(kTitleButtonSize * m_textScale), qRound(kTitleButtonSize * m_textScale));
}

int ToolWindow::panelFontPointSize(qreal logicalDpi)
{
    if (logicalDpi <= 96)
        return 8;
    if (logicalDpi <= 120)
        return 7;
    return 6;
}

ToolWindow::Edge ToolWindow::edgeAt(const QPoint& position, const QSize& size, int edgeWidth)
{
    const int x = position.x();
    const int y = position.y();
    const int w = size.width();
    const int h = size.height();
    if (x <= edgeWidth && y >= h - edgeWidth)
        return BottomLeftEdge;
    if (x >= w - edgeWidth && y >= h - edgeWidth)
        return BottomRightEdge;
    if (x <= edgeWidth)
        return LeftEdge;
    if (x >= w - edgeWidth)
        return RightEdge;
    if (y >= h - edgeWidth)
        return BottomEdge;
    return NoEdge;
}

void ToolWindow::saveWidgetGeometry(QSettings& settings)
{
    settings.beginGroup(m_groupName);
    settings.setValue(QStringLiteral("x"), pos().x());
    settings.setValue(QStringLiteral("y"), pos().y());
    settings.setValue(QStringLiteral("w"), width());
    settings.setValue(QStringLiteral("h"), height());
    settings.setValue(QStringLiteral("show"), isVisible());
    settings.endGroup();
}

void ToolWindow::loadWidgetGeometry(QSettings& settings)
{
    settings.beginGroup(m_groupName);
    const QRect& defaults = m_defaultGeometry;
    move(settings.value(QStringLiteral("x"), defaults.x()).toInt(), settings.value(QStringLiteral("y"), defaults.y()).toInt());
    resize(settings.value(QStringLiteral("w"), defaults.width()).toInt(), settings.value(QStringLiteral("h"), defaults.height()).toInt());
    setVisible(settings.value(QStringLiteral("show"), m_defaultShow).toBool());
    settings.endGroup();
}

void ToolWindow::setUsaUnits(bool)
{
}

void ToolWindow::setBikeLayout(bool)
{
}

void ToolWindow::setNewestFirst(bool)
{
}

void ToolWindow::setUseOpenGL(bool)
{
}

QList<int> ToolWindow::followSlots() const
{
    return {};
}

void ToolWindow::setTitleBarText(const QString& text)
{
    if (m_titleLabel)
        m_titleLabel->setText(text);
}

void ToolWindow::setShowBorder(bool on)
{
    m_showBorder = on;
    if (m_titleBar) {
        m_titleBar->setStyleSheet(m_stale ? kStale : on ? kTinted : kTransparent);
        for (QWidget* child : {static_cast<QWidget*>(m_titleLabel), static_cast<QWidget*>(m_minimize), static_cast<QWidget*>(m_maximize),
                               static_cast<QWidget*>(m_close)})
            child->setStyleSheet(kTransparent);
    }
    update();
}

bool ToolWindow::showBorder() const
{
    return m_showBorder;
}

void ToolWindow::setStale(bool stale)
{
    m_stale = stale;
    if (m_titleBar)
        m_titleBar->setToolTip(stale ? tr("Not live: the connection to the timing server is lost") : QString());
    setShowBorder(m_showBorder);
}

bool ToolWindow::isStale() const
{
    return m_stale;
}

bool ToolWindow::isFloating() const
{
    return m_floating;
}

QString ToolWindow::groupName() const
{
    return m_groupName;
}

void ToolWindow::setPlace(const QString& group, const QRect& defaultGeometry, bool defaultShow)
{
    m_groupName = group;
    m_defaultGeometry = defaultGeometry;
    m_defaultShow = defaultShow;
}

int ToolWindow::resizeEdge() const
{
    return m_edge;
}

QWidget* ToolWindow::contentWidget() const
{
    return m_content ? m_content : const_cast<ToolWindow*>(this);
}

void ToolWindow::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    emit state(visible);
}

void ToolWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit state(false);
}

void ToolWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowTitleChange)
        setTitleBarText(windowTitle());
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        updateShowing();
}

bool ToolWindow::isShowing() const
{
    return m_showing;
}

void ToolWindow::runWhileShowing(QTimer* clock, std::function<void()> tick)
{
    // Whether it ran when the panel went out of sight.
    auto wasRunning = std::make_shared<bool>(false);
    connect(this, &ToolWindow::showingChanged, clock, [clock, tick = std::move(tick), wasRunning](bool showing) {
        if (!showing) {
            *wasRunning = clock->isActive();
            clock->stop();
            return;
        }
        tick();
        if (*wasRunning && !clock->isActive())
            clock->start();
    });
}

void ToolWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateShowing();
}

void ToolWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Only what the toolkit knows counts (hidden, minimised): a window system
    // that unmaps a window need not say when it maps it again.
    updateShowing();
}

void ToolWindow::updateShowing()
{
    bool showing = isVisible() && !window()->isMinimized();
    if (!m_floating) {
        const auto* host = parentWidget() ? qobject_cast<const ToolWindow*>(parentWidget()->window()) : nullptr;
        showing = showing && (!host || host->isShowing());
    }
    if (showing != m_showing) {
        m_showing = showing;
        emit showingChanged(showing);
    }
    if (m_floating) {
        const QList<ToolWindow*> embedded = findChildren<ToolWindow*>();
        for (ToolWindow* panel : embedded)
            panel->updateShowing();
    }
}

void ToolWindow::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!m_showBorder)
        return;
    QPainter painter(this);
    painter.setPen(QPen(Qt::gray, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const int w = width() - 1;
    const int h = height() - 1;
    painter.drawLine(0, 0, w, 0);
    painter.drawLine(0, 0, 0, h);
    painter.drawLine(w, 0, w, h);
    painter.drawLine(0, h, w, h);
}

bool ToolWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_floating || (watched != this && watched != m_titleBar))
        return QWidget::eventFilter(watched, event);

    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            m_dragOffset = mouse->globalPos() - frameGeometry().topLeft();
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() != QEvent::MouseMove)
        return QWidget::eventFilter(watched, event);

    auto* mouse = static_cast<QMouseEvent*>(event);
    if (!(mouse->buttons() & Qt::LeftButton)) {
        const QPoint local = watched == this ? mouse->pos() : m_titleBar->mapTo(this, mouse->pos());
        m_edge = edgeAt(local, size(), m_edgeWidth);
        switch (m_edge) {
        case BottomLeftEdge:
            setCursor(Qt::SizeBDiagCursor);
            break;
        case BottomRightEdge:
            setCursor(Qt::SizeFDiagCursor);
            break;
        case LeftEdge:
        case RightEdge:
            setCursor(Qt::SizeHorCursor);
            break;
        case BottomEdge:
            setCursor(Qt::SizeVerCursor);
            break;
        default:
            unsetCursor();
        }
        return QWidget::eventFilter(watched, event);
    }
    if (m_edge != NoEdge) {
        const QPoint global = mouse->globalPos();
        QRect rect = geometry();
        if (m_edge == RightEdge || m_edge == BottomRightEdge)
            rect.setRight(global.x());
        if (m_edge == BottomEdge || m_edge == BottomRightEdge)
            rect.setBottom(global.y());
        if (m_edge == LeftEdge || m_edge == BottomLeftEdge)
            rect.setLeft(global.x());
        if (m_edge == BottomLeftEdge)
            rect.setBottom(global.y());
        setGeometry(rect);
        return true;
    }
    if (watched == m_titleBar) {
        move(mouse->globalPos() - m_dragOffset);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
