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
    m_timer.start(1000 - now.time().msec() + kAfterTurnMs);
}
