// Lanterra: the program's entry point.
#include "MainWindow.h"
#include "StartUp.h"
#include "ToolWindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_UseOpenGLES);
    StartUp::setApplicationIdentity();
    StartUp::prepareLogging();
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
    // Before the application object: the toolkit reads the scale when it starts.
    StartUp::applyScaleFactor();

    QApplication app(argc, argv);
    QApplication::setFont(ToolWindow::panelFont());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/mainIcon")));
    int code;
    {
        MainWindow window;
        window.show();
        code = app.exec();
    }
    return code;
}
