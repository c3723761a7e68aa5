#pragma once

#include <QString>
#include <QStringList>

// The replay program's command line, parsed and checked.
struct ReplayOptions {
    QString file;
    quint16 port = 11001;
    bool tls = true;
    QString usersFile;
    QString profilesFile;
    // Another TLS pair to present instead of the program's own.
    QString certificateFile;
    QString keyFile;
    double speed = 1.0;
    double startSeconds = 0.0;
    // Set when --help was given: the text to print instead of running.
    QString helpText;

    // Fills options from arguments (the program name first); false with a
    // message in error for anything it cannot accept.
    static bool parse(const QStringList& arguments, ReplayOptions* options, QString* error);
};
