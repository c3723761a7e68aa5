#pragma once

#include <QFont>

// The font of every panel and of the application: the default family at a
// point size chosen from the desktop's logical resolution.
QFont panelFont();
// The point size for a logical resolution in dots per inch.
int panelFontPointSize(qreal logicalDpi);
