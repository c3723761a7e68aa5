#include "PanelFont.h"

#include <QApplication>
#include <QScreen>

int panelFontPointSize(qreal logicalDpi)
{
    if (logicalDpi <= 96)
        return 8;
    if (logicalDpi <= 120)
        return 7;
    return 6;
}

QFont panelFont()
{
    QFont font(QApplication::font().defaultFamily());
    const QScreen* screen = QGuiApplication::primaryScreen();
    font.setPointSize(panelFontPointSize(screen ? screen->logicalDotsPerInchX() : 96));
    return font;
}
