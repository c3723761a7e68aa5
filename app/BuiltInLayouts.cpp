#include "BuiltInLayouts.h"

#include "PanelRegistry.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace BuiltInLayouts {

namespace {

using namespace PanelRegistry;

const QString kPitWall = QStringLiteral("Pit wall");
const QString kStrategy = QStringLiteral("Strategy");
// Room for the main window's menu and status bars above the panels.
constexpr int kMainWindowHeight = 80;

void writeGroup(QSettings& settings, const QString& group, const QRect& geometry, bool show)
{
    settings.beginGroup(group);
    settings.setValue(QStringLiteral("x"), geometry.x());
    settings.setValue(QStringLiteral("y"), geometry.y());
    settings.setValue(QStringLiteral("w"), geometry.width());
    settings.setValue(QStringLiteral("h"), geometry.height());
    settings.setValue(QStringLiteral("show"), show);
    settings.endGroup();
}

} // namespace

QStringList names()
{
    return {kPitWall, kStrategy};
}

bool isBuiltIn(const QString& name)
{
    return names().contains(name);
}

QVector<int> rows(const QString& name)
{
    if (name == kPitWall)
        return {Standing, SessionInfo, Flags, Positioning, LapChart, RaceControl, Follow};
    if (name == kStrategy)
        return {Stints, DriveTime, PitWindow, GapChart, Alerts, Meteo};
    return {};
}

QVector<QRect> tiles(const QRect& area, int count)
{
    QVector<QRect> places;
    if (count <= 0 || area.isEmpty())
        return places;
    const int lines = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(count))));
    int placed = 0;
    for (int line = 0; line < lines; ++line) {
        // The panels left shared among the lines left, the first taking more.
        const int inLine = (count - placed + (lines - line) - 1) / (lines - line);
        const int top = area.y() + area.height() * line / lines;
        const int bottom = area.y() + area.height() * (line + 1) / lines;
        for (int i = 0; i < inLine; ++i) {
            const int left = area.x() + area.width() * i / inLine;
            const int right = area.x() + area.width() * (i + 1) / inLine;
            places.append(QRect(left, top, right - left, bottom - top));
        }
        placed += inLine;
    }
    return places;
}

void write(QSettings& settings, const QRect& screen)
{
    const QRect panels = screen.adjusted(0, kMainWindowHeight, 0, 0);
    for (const QString& name : names()) {
        settings.remove(name);
        settings.beginGroup(name);
        // Height 0: the toolkit raises it to the main window's minimum.
        writeGroup(settings, QStringLiteral("mainwindow"), QRect(screen.x(), screen.y(), screen.width(), 0), true);
        const QVector<int> shown = rows(name);
        const QVector<QRect> places = tiles(panels, shown.size());
        for (int row = 0; row < RowCount; ++row) {
            const int at = shown.indexOf(row);
            writeGroup(settings, QLatin1String(info(row).group), at >= 0 ? places.at(at) : info(row).layoutGeometry, at >= 0);
        }
        settings.endGroup();
    }
}

} // namespace BuiltInLayouts
