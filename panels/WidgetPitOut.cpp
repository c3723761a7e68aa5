#include "WidgetPitOut.h"

#include "PanelRegistry.h"

namespace {

const QString kWidthKey = QStringLiteral("pout_%1");

} // namespace

WidgetPitOut::WidgetPitOut(V2DataProvider* provider, QWidget* parent)
    : WidgetPits(provider, true, kWidthKey, parent)
{
    PanelRegistry::place(this, PanelRegistry::PitOut);
}

WidgetPitOut::~WidgetPitOut() = default;
