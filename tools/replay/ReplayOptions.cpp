#include "ReplayOptions.h"

#include "SimOptions.h"

#include <QCommandLineParser>

bool ReplayOptions::parse(const QStringList& arguments, ReplayOptions* options, QString* error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Publishes a Lanterra session recording over the V2 protocol."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free port)."), QStringLiteral("port"), QStringLiteral("11001"));
    const QCommandLineOption noTls(QStringLiteral("no-tls"), QStringLiteral("Plain TCP instead of TLS."));
    const QCommandLineOption users(QStringLiteral("users"), QStringLiteral("Users INI file."), QStringLiteral("file"));
    const QCommandLineOption profiles(QStringLiteral("profiles"), QStringLiteral("Profiles INI file."), QStringLiteral("file"));
    const QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("Time factor, 0.25 to 64 (1 is the recorded pace)."), QStringLiteral("factor"),
                                   QStringLiteral("1"));
    const QCommandLineOption start(QStringLiteral("start"), QStringLiteral("Seconds into the recording to begin at."), QStringLiteral("s"),
                                   QStringLiteral("0"));
    parser.addOptions({port, noTls, users, profiles, speed, start});
    parser.addOptions(SimOptions::tlsPairOptions());
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The recording (plain or .gz)."));

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        options->helpText = parser.helpText();
        return true;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        *error = files.isEmpty() ? QStringLiteral("No recording given") : QStringLiteral("Unexpected argument: %1").arg(files.at(1));
        return false;
    }
    ReplayOptions result;
    result.file = files.first();
    bool ok = false;
    const int portNumber = parser.value(port).toInt(&ok);
    if (!ok || portNumber < 0 || portNumber > 65535) {
        *error = QStringLiteral("--port must be a number from 0 to 65535");
        return false;
    }
    result.port = static_cast<quint16>(portNumber);
    result.speed = parser.value(speed).toDouble(&ok);
    if (!ok || result.speed < 0.25 || result.speed > 64) {
        *error = QStringLiteral("--speed must be a number from 0.25 to 64");
        return false;
    }
    result.startSeconds = parser.value(start).toDouble(&ok);
    if (!ok || result.startSeconds < 0) {
        *error = QStringLiteral("--start must be a number of seconds, 0 or more");
        return false;
    }
    result.tls = !parser.isSet(noTls);
    result.usersFile = parser.value(users);
    result.profilesFile = parser.value(profiles);
    if (result.usersFile.isEmpty() != result.profilesFile.isEmpty()) {
        *error = QStringLiteral("--users and --profiles go together");
        return false;
    }
    if (!SimOptions::readTlsPair(parser, &result.certificateFile, &result.keyFile, error))
        return false;
    *options = result;
    return true;
}
