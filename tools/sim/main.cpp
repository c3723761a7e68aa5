// lanterra-sim: publishes a simulated live timing session over the V2
// protocol, so that the client can be run and tested without a real server.
#include "ProgramTlsPair.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2_Server.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

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
        SimAccounts::addDemoUser(server);
    else if (!SimAccounts::loadAccounts(server, options, &error)) {
        std::fprintf(stderr, "lanterra-sim: %s\n", qPrintable(error));
        return 2;
    }
    QString tlsNote;
    if (options.tls && !ProgramTlsPair::apply(&server, options.certificateFile, options.keyFile, &tlsNote, &error)) {
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
    if (!tlsNote.isEmpty())
        std::printf("lanterra-sim: %s\n", qPrintable(tlsNote));
    std::fflush(stdout);
    return app.exec();
}
