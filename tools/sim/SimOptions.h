#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The simulator's command line, parsed and checked.
struct SimOptions {
    quint16 port = 11001;
    int cars = 30;
    int classes = 3;
    QString type = QStringLiteral("RACE");
    QString finalType = QStringLiteral("BY_TIME");
    int durationSeconds = 3600;
    int elapsedSeconds = 0;
    double speed = 1.0;
    quint32 seed = 1;
    bool bikes = false;
    bool endurance = false;
    bool tls = true;
    QString usersFile;
    QString profilesFile;
    // Another TLS pair to present (to try certificate pinning by hand).
    QString certificateFile;
    QString keyFile;
    // Set when --help was given: the text to print instead of running.
    QString helpText;

    // Fills options from arguments (the program name first); false with a
    // message in error for anything it cannot accept.
    static bool parse(const QStringList& arguments, SimOptions* options, QString* error);

    // --certificate and --key, which every program that publishes takes,
    // and their reading: both or neither.
    static QList<QCommandLineOption> tlsPairOptions();
    static bool readTlsPair(const QCommandLineParser& parser, QString* certificateFile, QString* keyFile, QString* error);
};
