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

const QString kHostKey = QStringLiteral("v2host");
const QString kPortKey = QStringLiteral("v2port");
const QString kUserKey = QStringLiteral("v2user");
const QString kPasswordKey = QStringLiteral("v2password");
const QString kLastLayoutKey = QStringLiteral("lastLayoutName");

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

void cacheLargeGlyphs()
{
    static const char kVariable[] = "QT_MAX_CACHED_GLYPH_SIZE";
    if (!qEnvironmentVariableIsSet(kVariable))
        qputenv(kVariable, "1024");
}

bool storeConnection(const QString& text, QString* error)
{
    const int at = text.lastIndexOf(QLatin1Char('@'));
    const int portColon = text.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = text.mid(portColon + 1).toInt(&portOk);
    if (at < 0 || portColon <= at + 1 || !portOk || port <= 0 || port > 65535) {
        // Not the text itself: it may hold a password.
        *error = QStringLiteral("--connect takes USER@HOST:PORT (the password in %1).").arg(QLatin1String(kPasswordVariable));
        return false;
    }
    const QString account = text.left(at);
    const int colon = account.indexOf(QLatin1Char(':'));
    // Written key by key: whatever else the file holds (layouts, panels) stays.
    const auto settings = AppSettings::open();
    settings->setValue(kHostKey, text.mid(at + 1, portColon - at - 1));
    settings->setValue(kPortKey, port);
    settings->setValue(kUserKey, account.left(colon));
    // On the command line any local user could read it: the environment is
    // the way; without either, the stored password stays.
    if (colon >= 0)
        settings->setValue(kPasswordKey, account.mid(colon + 1));
    else if (qEnvironmentVariableIsSet(kPasswordVariable))
        settings->setValue(kPasswordKey, qEnvironmentVariable(kPasswordVariable));
    return true;
}

void storeLayout(const QString& name)
{
    AppSettings::open()->setValue(kLastLayoutKey, name);
}

} // namespace StartUp
