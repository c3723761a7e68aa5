// Lanterra: the program's entry point.
#include "LogMessageHandler.h"
#include "ToolWindow.h"
#include "StandInWindow.h"

#include <QApplication>
#include <QDir>
#include <QSettings>

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_UseOpenGLES);
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrano Systems"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltrano-systems.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Lanterra"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.3.19"));

    QDir().mkpath(logDirectoryPath());
    qInstallMessageHandler(logMessageHandler);
    QCoreApplication::setAttribute(Qt::AA_Use96Dpi);

    {
        // Read before the application object exists: the toolkit takes the
        // scale from the environment when it starts.
        const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(), QCoreApplication::applicationName());
        const double scale = settings.value(QStringLiteral("appScaleFactor"), 1).toDouble();
        qputenv("QT_SCALE_FACTOR", QByteArray::number(scale, 'g', 6));
    }

    QApplication app(argc, argv);
    QApplication::setFont(ToolWindow::panelFont());
    int code;
    {
        StandInWindow window;
        window.show();
        code = app.exec();
    }
    return code;
}
