#include "WidgetPitIn.h"

#include "PanelRegistry.h"

namespace {

const QString kWidthKey = QStringLiteral("pin_%1");

} // namespace

WidgetPitIn::WidgetPitIn(V2DataProvider* provider, QWidget* parent)
    : WidgetPits(provider, false, kWidthKey, parent)
{
    PanelRegistry::place(this, PanelRegistry::PitIn);
}

WidgetPitIn::~WidgetPitIn() = default;
