#include "WidgetPitIn.h"

namespace {

const QString kGroup = QStringLiteral("view_pitin");
const QString kWidthKey = QStringLiteral("pin_%1");

} // namespace

WidgetPitIn::WidgetPitIn(V2DataProvider* provider, QWidget* parent)
    : WidgetPits(provider, false, kGroup, kWidthKey, parent)
{
}

WidgetPitIn::~WidgetPitIn() = default;
