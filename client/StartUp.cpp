#include "StartUp.h"

#include "AppSettings.h"
#include "LogMessageHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace StartUp {

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrano Systems"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("veltrano-systems.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Lanterra"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.3.19"));
}

void prepareLogging()
{
    QDir().mkpath(logDirectoryPath());
    qInstallMessageHandler(logMessageHandler);
}

QByteArray applyScaleFactor()
{
    const auto settings = AppSettings::open();
    // A value that is not a number reads as 0, and is passed on as such.
    const QByteArray factor = QByteArray::number(settings->value(QStringLiteral("appScaleFactor"), 1).toDouble(), 'g', 6);
    qputenv("QT_SCALE_FACTOR", factor);
    return factor;
}

void tuneAllocator()
{
#ifdef __GLIBC__
    mallopt(M_MXFAST, 0);
#endif
}

} // namespace StartUp
