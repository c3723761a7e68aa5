#pragma once

#include <QString>
#include <QtGlobal>

// The folder of the log file: the settings file's folder joined with the
// application name ("%1/%2").
QString logDirectoryPath();
// "%1/%2/console.log".
QString logFilePath();

// The process-wide log handler: every message goes to standard error and is
// appended to the log file with a time stamp and a level tag. Opens and
// closes the file for each message; a fatal message aborts after writing.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);
