// lanterra-relay: one login at the team's timing server, served to every
// seat of the team, with the followed cars shared between the seats.
#include "LogMessageHandler.h"
#include "Relay.h"
#include "RelayOptions.h"

#include <QCoreApplication>
#include <QDebug>
#include <QProcessEnvironment>

#include "V2_Server.h"

#include <cstdio>
#include <memory>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void quitOnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace
#endif

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrano Systems"));
    QCoreApplication::setApplicationName(QStringLiteral("lanterra-relay"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LANTERRA_VERSION));

    RelayOptions options;
    QString error;
    const QString environmentPassword = QProcessEnvironment::systemEnvironment().value(RelayOptions::PASSWORD_VARIABLE);
    if (!RelayOptions::parse(QCoreApplication::arguments(), environmentPassword, &options, &error)) {
        std::fprintf(stderr, "lanterra-relay: %s\n", qPrintable(error));
        return 2;
    }
    if (!options.helpText.isEmpty()) {
        std::printf("%s", qPrintable(options.helpText));
        return 0;
    }
    // From here on in the program's log format, into the relay's own log file.
    qInstallMessageHandler(logMessageHandler);

    Relay relay(options);
    int exitCode = 0;
    QString tlsNote;
    if (!relay.setUp(&error, &exitCode, &tlsNote)) {
        qCritical().noquote() << QStringLiteral("lanterra-relay: %1").arg(error);
        return exitCode;
    }
    if (options.listen)
        qInfo().noquote() << QStringLiteral("[relay] Seats connect on port %1 (%2)%3")
                                 .arg(relay.server()->serverPort())
                                 .arg(options.tls ? QStringLiteral("TLS") : QStringLiteral("plain TCP"),
                                      options.usersFile.isEmpty() ? QStringLiteral(", user demo/demo") : QString());
    else
        qInfo().noquote() << QStringLiteral("[relay] Origin only: no port for seats (give --port to serve some here too)");
    if (!tlsNote.isEmpty())
        qInfo().noquote() << QStringLiteral("[relay] %1").arg(tlsNote);
    if (!options.recordFile.isEmpty())
        qInfo().noquote() << QStringLiteral("[relay] Recording into %1").arg(options.recordFile);
#ifdef Q_OS_UNIX
    // Ctrl-C and a service stop end the event loop, so that the recording
    // is closed whole and the seats are told.
    std::unique_ptr<QSocketNotifier> quitNotifier;
    if (::pipe(signalPipe) == 0) {
        quitNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(quitNotifier.get(), &QSocketNotifier::activated, &app, [] {
            qInfo().noquote() << QStringLiteral("[relay] Stopping");
            QCoreApplication::quit();
        });
        std::signal(SIGINT, quitOnSignal);
        std::signal(SIGTERM, quitOnSignal);
    }
#endif
    relay.start();
    return app.exec();
}
