#include "WidgetPitOut.h"

namespace {

const QString kGroup = QStringLiteral("view_pitout");
const QString kWidthKey = QStringLiteral("pout_%1");

} // namespace

WidgetPitOut::WidgetPitOut(V2DataProvider* provider, QWidget* parent)
    : WidgetPits(provider, true, kGroup, kWidthKey, parent)
{
}

WidgetPitOut::~WidgetPitOut() = default;
