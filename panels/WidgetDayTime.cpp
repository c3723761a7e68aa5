#include "WidgetDayTime.h"

#include "PanelRegistry.h"
#include "ResizableQlabel.h"
#include "SessionClock.h"

#include <QSettings>
#include <QVBoxLayout>

namespace {

constexpr int kTickMs = 300;

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
    connect(&m_timer, &QTimer::timeout, this, &WidgetDayTime::processUpdate);
    m_timer.start(kTickMs);
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
    // The font is fitted on resizes only: the clock's width hardly changes.
    m_label->setText(SessionClock::trackDateTime().toString(QStringLiteral("hh:mm:ss")), true);
}
