// lanterra-replay: publishes a session recording over the V2 protocol, so
// that the program (or a whole team's screens) can watch it again.
#include "ProgramTlsPair.h"
#include "RecordingReader.h"
#include "ReplayOptions.h"
#include "ReplayPublisher.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "V2_Server.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdio>

namespace {

QString clock(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lanterra-replay"));

    ReplayOptions options;
    QString error;
    if (!ReplayOptions::parse(QCoreApplication::arguments(), &options, &error)) {
        std::fprintf(stderr, "lanterra-replay: %s\n", qPrintable(error));
        return 2;
    }
    if (!options.helpText.isEmpty()) {
        std::printf("%s", qPrintable(options.helpText));
        return 0;
    }
    RecordingReader reader;
    if (!reader.open(options.file, &error)) {
        std::fprintf(stderr, "lanterra-replay: %s\n", qPrintable(error));
        return 2;
    }

    V2_Server server;
    server.setSsl(options.tls);
    SimOptions accounts;
    accounts.usersFile = options.usersFile;
    accounts.profilesFile = options.profilesFile;
    if (accounts.usersFile.isEmpty())
        SimAccounts::addDemoUser(server);
    else if (!SimAccounts::loadAccounts(server, accounts, &error)) {
        std::fprintf(stderr, "lanterra-replay: %s\n", qPrintable(error));
        return 2;
    }

    QString tlsNote;
    if (options.tls && !ProgramTlsPair::apply(&server, options.certificateFile, options.keyFile, &tlsNote, &error)) {
        std::fprintf(stderr, "lanterra-replay: %s\n", qPrintable(error));
        return 2;
    }

    ReplayPublisher publisher(&server, &reader, options.speed);
    QObject::connect(&publisher, &ReplayPublisher::finished, [](qint64 atMs, const QString& problem) {
        if (problem.isEmpty())
            std::printf("lanterra-replay: end of the recording at %s; serving the final state\n", qPrintable(clock(atMs)));
        else
            std::fprintf(stderr, "lanterra-replay: %s\nlanterra-replay: replay stopped at the last good record (%s); serving that state\n", qPrintable(problem),
                         qPrintable(clock(atMs)));
        std::fflush(stdout);
    });
    publisher.fastForward(static_cast<qint64>(std::llround(options.startSeconds * 1000)));
    if (!server.startServer(options.port)) {
        std::fprintf(stderr, "lanterra-replay: cannot listen on port %d: %s\n", options.port, qPrintable(server.errorString()));
        return 3;
    }
    std::printf("lanterra-replay: listening on port %d (%s), recording of %s:%d from %s, at %gx from %s\n", server.serverPort(), options.tls ? "TLS" : "plain TCP",
                qPrintable(reader.host()), reader.port(), qPrintable(reader.startUtc().toString(Qt::ISODate)), options.speed,
                qPrintable(clock(publisher.replayMs())));
    if (!tlsNote.isEmpty())
        std::printf("lanterra-replay: %s\n", qPrintable(tlsNote));
    std::fflush(stdout);
    publisher.start();
    return app.exec();
}
