#include "WidgetDayTime.h"

#include "PanelRegistry.h"
#include "ResizableQlabel.h"
#include "SessionClock.h"

#include <QSettings>
#include <QVBoxLayout>

namespace {

// The tick comes just after the second turns, so the text changes on time
// with one wake-up a second.
constexpr int kAfterTurnMs = 5;
// While the track's clock runs faster than real time (a fast replay), a
// tick this often, so the seconds still run.
constexpr int kFastClockTickMs = 300;

} // namespace

WidgetDayTime::WidgetDayTime(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_label(new ResizableQlabel(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::DayTime);
    m_label->setObjectName(QStringLiteral("labelDayTime"));
    m_label->setAlignment(Qt::AlignCenter);
    contentWidget()->layout()->addWidget(m_label);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &WidgetDayTime::processUpdate);
    runWhileShowing(&m_timer, [this] { processUpdate(); });
    processUpdate();
}

WidgetDayTime::~WidgetDayTime() = default;

ResizableQlabel* WidgetDayTime::clockLabel() const
{
    return m_label;
}

void WidgetDayTime::processUpdate()
{
    const QDateTime now = SessionClock::trackDateTime();
    // The font is fitted on resizes only: the clock's width hardly changes.
    m_label->setText(now.toString(QStringLiteral("hh:mm:ss")), true);
    const qint64 trackMs = now.toMSecsSinceEpoch();
    const qint64 realMs = m_sinceLastTick.isValid() ? m_sinceLastTick.restart() : 0;
    if (!m_sinceLastTick.isValid())
        m_sinceLastTick.start();
    const bool fast = realMs > 0 && (trackMs - m_lastTrackMs > realMs * 3 / 2 + kAfterTurnMs || trackMs < m_lastTrackMs);
    m_lastTrackMs = trackMs;
    m_timer.start(fast ? kFastClockTickMs : 1000 - now.time().msec() + kAfterTurnMs);
}
