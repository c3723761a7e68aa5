// lanterra-sim: publishes a simulated live timing session over the V2
// protocol, so that the client can be run and tested without a real server.
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSettings>

#include <cstdio>

namespace {

// Without INI files: one user "demo" / "demo" whose profile allows every channel.
void addDemoUser(V2_Server& server)
{
    auto* profile = new V2_Profile(QStringLiteral("FULL"));
    for (const QString& channel : SessionSimulator::channels()) {
        const QStringList parts = channel.split(QLatin1Char('.'));
        for (int i = 1; i <= parts.size(); ++i)
            profile->keyList()->insert(parts.mid(0, i).join(QLatin1Char('.')), 2);
    }
    server.addProfile(profile->name(), profile);
    server.addUser(new V2_User(QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("demo"), 100, profile));
}

bool loadAccounts(V2_Server& server, const SimOptions& options, QString* error)
{
    QSettings profiles(options.profilesFile, QSettings::IniFormat);
    QSettings users(options.usersFile, QSettings::IniFormat);
    if (profiles.status() != QSettings::NoError || users.status() != QSettings::NoError) {
        *error = QStringLiteral("Cannot read the users or profiles file");
        return false;
    }
    server.loadProfiles(&profiles);
    server.loadUsers(&users);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lanterra-sim"));

    SimOptions options;
    QString error;
    if (!SimOptions::parse(QCoreApplication::arguments(), &options, &error)) {
        std::fprintf(stderr, "lanterra-sim: %s\n", qPrintable(error));
        return 2;
    }

    if (!options.helpText.isEmpty()) {
        std::printf("%s", qPrintable(options.helpText));
        return 0;
    }

    V2_Server server;
    server.setSsl(options.tls);
    if (options.usersFile.isEmpty())
        addDemoUser(server);
    else if (!loadAccounts(server, options, &error)) {
        std::fprintf(stderr, "lanterra-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (!server.startServer(options.port)) {
        std::fprintf(stderr, "lanterra-sim: cannot listen on port %d: %s\n", options.port, qPrintable(server.errorString()));
        return 3;
    }

    const qint64 sessionStart = QDateTime::currentMSecsSinceEpoch() - static_cast<qint64>(options.elapsedSeconds * 1000LL / options.speed);
    SimPublisher publisher(&server, options, sessionStart);
    publisher.start();
    std::printf("lanterra-sim: listening on port %d (%s), %d cars, %s session\n", options.port, options.tls ? "TLS" : "plain TCP", options.cars,
                qPrintable(options.type));
    std::fflush(stdout);
    return app.exec();
}
