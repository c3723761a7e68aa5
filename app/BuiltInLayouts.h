#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

class QSettings;

// The named layouts the program brings, beside "default": "Pit wall" (the
// race as it runs) and "Strategy" (stints, drive time and stops). They are
// written into the settings store at every start, tiled to the screen the
// program runs on, so they always fit it and are never a user's arrangement:
// the save dialog does not offer their names (a user's arrangement goes
// under a name of the user's own), and choosing one opens its panels.
namespace BuiltInLayouts {

QStringList names();
bool isBuiltIn(const QString& name);
// The registry rows a built-in layout shows, in tiling order (none for another name).
QVector<int> rows(const QString& name);
// count panel places tiling area in rows of nearly equal size, left to
// right and top to bottom; the first rows take the extra place.
QVector<QRect> tiles(const QRect& area, int count);
// At start (settings at their root): writes "default" when missing and
// every built-in layout, marked as built in (the main window along the top
// of screen, the panels tiled below it, every other panel hidden). A user's
// own layout under a built-in name (one without the mark, saved before there
// were built-in layouts) is first kept as "<name> (mine)". Returns the layout to
// open: last ("default" when empty), under its new name if it moved.
QString install(QSettings& settings, const QRect& screen, const QString& last);
// The layout "--layout name" opens: name if there is one of that name (or it
// is built in), else "default", said on stderr.
QString optionLayout(QSettings& settings, const QString& name);
// One panel's (or the main window's) place in a layout.
void writeGeometry(QSettings& settings, const QString& group, const QRect& geometry, bool show);

} // namespace BuiltInLayouts
