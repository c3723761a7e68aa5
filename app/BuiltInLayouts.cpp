#include "BuiltInLayouts.h"

#include "PanelRegistry.h"

#include <QSettings>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <cmath>

namespace BuiltInLayouts {

namespace {

using namespace PanelRegistry;

const QString kPitWall = QStringLiteral("Pit wall");
const QString kStrategy = QStringLiteral("Strategy");
const QString kLayouts = QStringLiteral("layouts");
const QString kDefault = QStringLiteral("default");
const QString kMainWindow = QStringLiteral("mainwindow");
// Marks a group written by the program, which it may write over.
const QString kBuiltInMark = QStringLiteral("builtIn");
// Room for the main window's menu and status bars above the panels.
constexpr int kMainWindowHeight = 80;

// Moves a user's group "name" to the first free "name (mine)", "name (mine 2)", ...
QString keepUsersOwn(QSettings& settings, const QString& name)
{
    const QStringList taken = settings.childGroups();
    QString moved = QStringLiteral("%1 (mine)").arg(name);
    for (int n = 2; taken.contains(moved); ++n)
        moved = QStringLiteral("%1 (mine %2)").arg(name).arg(n);
    settings.beginGroup(name);
    const QStringList keys = settings.allKeys();
    QVector<QVariant> values;
    for (const QString& key : keys)
        values.append(settings.value(key));
    settings.endGroup();
    settings.beginGroup(moved);
    for (int i = 0; i < keys.size(); ++i)
        settings.setValue(keys.at(i), values.at(i));
    settings.endGroup();
    settings.remove(name);
    return moved;
}

void writeBuiltIns(QSettings& settings, const QRect& screen, QString* last)
{
    const QRect panels = screen.adjusted(0, kMainWindowHeight, 0, 0);
    const QStringList groups = settings.childGroups();
    for (const QString& name : names()) {
        if (groups.contains(name) && !settings.value(name + QLatin1Char('/') + kBuiltInMark).toBool()) {
            const QString moved = keepUsersOwn(settings, name);
            if (*last == name)
                *last = moved;
        }
        settings.remove(name);
        settings.beginGroup(name);
        settings.setValue(kBuiltInMark, true);
        // Height 0: the toolkit raises it to the main window's minimum.
        writeGeometry(settings, kMainWindow, QRect(screen.x(), screen.y(), screen.width(), 0), true);
        const QVector<int> shown = rows(name);
        const QVector<QRect> places = tiles(panels, shown.size());
        for (int row = 0; row < RowCount; ++row) {
            const int at = shown.indexOf(row);
            writeGeometry(settings, QLatin1String(info(row).group), at >= 0 ? places.at(at) : info(row).layoutGeometry, at >= 0);
        }
        settings.endGroup();
    }
}

} // namespace

void writeGeometry(QSettings& settings, const QString& group, const QRect& geometry, bool show)
{
    settings.beginGroup(group);
    settings.setValue(QStringLiteral("x"), geometry.x());
    settings.setValue(QStringLiteral("y"), geometry.y());
    settings.setValue(QStringLiteral("w"), geometry.width());
    settings.setValue(QStringLiteral("h"), geometry.height());
    settings.setValue(QStringLiteral("show"), show);
    settings.endGroup();
}

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

QString install(QSettings& settings, const QRect& screen, const QString& last)
{
    QString start = last.isEmpty() ? kDefault : last;
    settings.beginGroup(kLayouts);
    if (!settings.childGroups().contains(kDefault)) {
        settings.beginGroup(kDefault);
        writeGeometry(settings, kMainWindow, mainWindowLayoutGeometry(), true);
        for (int row = 0; row < RowCount; ++row)
            writeGeometry(settings, QLatin1String(info(row).group), info(row).layoutGeometry, info(row).layoutShow);
        settings.endGroup();
    }
    // Written anew at every start: they fit the screen the program starts on.
    writeBuiltIns(settings, screen, &start);
    settings.endGroup();
    return start;
}

QString optionLayout(QSettings& settings, const QString& name)
{
    settings.beginGroup(kLayouts);
    const bool stored = settings.childGroups().contains(name);
    settings.endGroup();
    if (stored || name == kDefault || isBuiltIn(name))
        return name;
    // A misspelt name would open every panel at its default place.
    std::fprintf(stderr, "lanterra: there is no layout \"%s\"; opening \"%s\".\n", qPrintable(name), qPrintable(kDefault));
    return kDefault;
}

} // namespace BuiltInLayouts
