#include "SimOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace {

bool positive(const QString& text, int minimum, int maximum, int* value)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    *value = number;
    return true;
}

} // namespace

bool SimOptions::parse(const QStringList& arguments, SimOptions* options, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Publishes a simulated live timing session over the V2 protocol."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on."), QStringLiteral("port"), QStringLiteral("11001"));
    const QCommandLineOption cars(QStringLiteral("cars"), QStringLiteral("Number of cars (1-200)."), QStringLiteral("n"), QStringLiteral("30"));
    const QCommandLineOption classes(QStringLiteral("classes"), QStringLiteral("Number of classes (1-9)."), QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption type(QStringLiteral("type"), QStringLiteral("RACE, PRACTICE or QUALIFYING."), QStringLiteral("type"), QStringLiteral("RACE"));
    const QCommandLineOption finalType(QStringLiteral("final"), QStringLiteral("BY_TIME, BY_LAPS or BY_TIME_PLUS_LAPS."), QStringLiteral("final"),
                                       QStringLiteral("BY_TIME"));
    const QCommandLineOption duration(QStringLiteral("duration"), QStringLiteral("Session length in seconds."), QStringLiteral("s"), QStringLiteral("3600"));
    const QCommandLineOption elapsed(QStringLiteral("elapsed"), QStringLiteral("Seconds of history already run at start."), QStringLiteral("s"),
                                     QStringLiteral("0"));
    const QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("Time factor (1 follows the wall clock)."), QStringLiteral("factor"),
                                   QStringLiteral("1"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed of the simulation."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption bikes(QStringLiteral("bikes"), QStringLiteral("A motorbike championship."));
    const QCommandLineOption endurance(QStringLiteral("endurance"), QStringLiteral("An endurance championship."));
    const QCommandLineOption noTls(QStringLiteral("no-tls"), QStringLiteral("Plain TCP instead of TLS."));
    const QCommandLineOption users(QStringLiteral("users"), QStringLiteral("Users INI file."), QStringLiteral("file"));
    const QCommandLineOption profiles(QStringLiteral("profiles"), QStringLiteral("Profiles INI file."), QStringLiteral("file"));
    parser.addOptions({port, cars, classes, type, finalType, duration, elapsed, speed, seed, bikes, endurance, noTls, users, profiles});
    parser.addOptions(tlsPairOptions());

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        options->helpText = parser.helpText();
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }
    SimOptions result;
    int number = 0;
    if (!positive(parser.value(port), 1, 65535, &number)) {
        *error = QStringLiteral("--port must be a number from 1 to 65535");
        return false;
    }
    result.port = static_cast<quint16>(number);
    if (!positive(parser.value(cars), 1, 200, &result.cars)) {
        *error = QStringLiteral("--cars must be a number from 1 to 200");
        return false;
    }
    if (!positive(parser.value(classes), 1, 9, &result.classes) || result.classes > result.cars) {
        *error = QStringLiteral("--classes must be a number from 1 to 9, at most the number of cars");
        return false;
    }
    result.type = parser.value(type).toUpper();
    if (!QStringList({"RACE", "PRACTICE", "QUALIFYING"}).contains(result.type)) {
        *error = QStringLiteral("--type must be RACE, PRACTICE or QUALIFYING");
        return false;
    }
    result.finalType = parser.value(finalType).toUpper();
    if (!QStringList({"BY_TIME", "BY_LAPS", "BY_TIME_PLUS_LAPS"}).contains(result.finalType)) {
        *error = QStringLiteral("--final must be BY_TIME, BY_LAPS or BY_TIME_PLUS_LAPS");
        return false;
    }
    if (!positive(parser.value(duration), 60, 7 * 24 * 3600, &result.durationSeconds)) {
        *error = QStringLiteral("--duration must be a number of seconds from 60 to 604800");
        return false;
    }
    if (!positive(parser.value(elapsed), 0, result.durationSeconds, &result.elapsedSeconds)) {
        *error = QStringLiteral("--elapsed must be a number of seconds from 0 to the duration");
        return false;
    }
    bool ok = false;
    result.speed = parser.value(speed).toDouble(&ok);
    if (!ok || result.speed <= 0.0 || result.speed > 1000.0) {
        *error = QStringLiteral("--speed must be a number above 0 and at most 1000");
        return false;
    }
    result.seed = parser.value(seed).toUInt(&ok);
    if (!ok) {
        *error = QStringLiteral("--seed must be a non-negative number");
        return false;
    }
    result.bikes = parser.isSet(bikes);
    result.endurance = parser.isSet(endurance);
    result.tls = !parser.isSet(noTls);
    result.usersFile = parser.value(users);
    result.profilesFile = parser.value(profiles);
    if (!readTlsPair(parser, &result.certificateFile, &result.keyFile, error))
        return false;
    for (const QString& file : {result.usersFile, result.profilesFile, result.certificateFile, result.keyFile}) {
        if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
            *error = QStringLiteral("Cannot read %1").arg(file);
            return false;
        }
    }
    if (result.usersFile.isEmpty() != result.profilesFile.isEmpty()) {
        *error = QStringLiteral("--users and --profiles go together");
        return false;
    }
    *options = result;
    return true;
}

QList<QCommandLineOption> SimOptions::tlsPairOptions()
{
    return {QCommandLineOption(QStringLiteral("certificate"), QStringLiteral("TLS certificate (PEM) to present instead of the program's own."),
                               QStringLiteral("file")),
            QCommandLineOption(QStringLiteral("key"), QStringLiteral("Private key (PEM) of --certificate."), QStringLiteral("file"))};
}

bool SimOptions::readTlsPair(const QCommandLineParser& parser, QString* certificateFile, QString* keyFile, QString* error)
{
    *certificateFile = parser.value(QStringLiteral("certificate"));
    *keyFile = parser.value(QStringLiteral("key"));
    if (certificateFile->isEmpty() != keyFile->isEmpty()) {
        *error = QStringLiteral("--certificate and --key go together");
        return false;
    }
    return true;
}
