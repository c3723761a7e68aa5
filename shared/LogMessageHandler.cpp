#include "LogMessageHandler.h"

#include "AppSettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

namespace {

struct Level {
    const char* tag;
    const char* prefix;
};

bool levelOf(QtMsgType type, Level* level)
{
    switch (type) {
    case QtDebugMsg:
        *level = {" [  Debug  ] ", "Debug"};
        return true;
    case QtWarningMsg:
        *level = {" [ Warning ] ", "Warning"};
        return true;
    case QtCriticalMsg:
        *level = {" [ Critical ] ", "Critical"};
        return true;
    case QtFatalMsg:
        *level = {" [  Fatal  ] ", "Fatal"};
        return true;
    case QtInfoMsg:
        *level = {" [  Info  ] ", "Info"};
        return true;
    }
    return false;
}

QString settingsFolder()
{
    return QFileInfo(AppSettings::open()->fileName()).absolutePath();
}

} // namespace

QString logDirectoryPath()
{
    return QStringLiteral("%1/%2").arg(settingsFolder(), QCoreApplication::applicationName());
}

QString logFilePath()
{
    return QStringLiteral("%1/%2/console.log").arg(settingsFolder(), QCoreApplication::applicationName());
}

void logMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    Level level;
    if (!levelOf(type, &level))
        return;
    QFile file(logFilePath());
    // A missing folder loses the file line; standard error still gets it.
    const bool open = file.open(QIODevice::WriteOnly | QIODevice::Append);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss.zzz"));
    std::fprintf(stderr, "%s: %s\n", level.prefix, message.toUtf8().constData());
    if (open) {
        file.write((stamp + QLatin1String(level.tag) + message + QStringLiteral("\r\n")).toUtf8());
        file.close();
    }
    if (type == QtFatalMsg)
        std::abort();
}
