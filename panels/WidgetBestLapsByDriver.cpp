#include "WidgetBestLapsByDriver.h"

#include "ModelBestLapsByDriver.h"

namespace {

const QString kWidthKey = QStringLiteral("bld_%1");
const QString kHeaderStateKey = QStringLiteral("bestLapsByDriverHeaderState");

} // namespace

WidgetBestLapsByDriver::WidgetBestLapsByDriver(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
{
    addTable(new ModelBestLapsByDriver(provider, this), {kWidthKey, kHeaderStateKey}, QStringLiteral("tableView"));
}
