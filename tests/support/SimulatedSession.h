#pragma once

#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2DataProvider.h"
#include "V2_Server.h"

#include <QDateTime>
#include <QStringList>

#include <memory>

// The simulator publishing a session that has already run `elapsedSeconds`,
// over TLS on loopback, and the program's provider logged in to it as the
// demo user. For tests that compare what the program shows with what was
// published (`publisher.published()`).
struct SimulatedSession {
    SimulatedSession(const QStringList& arguments, int elapsedSeconds)
        : options(parse(arguments + QStringList{QStringLiteral("--elapsed"), QString::number(elapsedSeconds)}))
    {
        SimAccounts::addDemoUser(server);
        server.startServer(0);
        publisher = std::make_unique<SimPublisher>(&server, options, QDateTime::currentMSecsSinceEpoch() - qint64(elapsedSeconds) * 1000);
        publisher->publishAt(qint64(elapsedSeconds) * 1000);
        provider = std::make_unique<V2DataProvider>(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"),
                                                    QStringLiteral("1.0.0"), server.serverPort(), QStringLiteral("demo"), QStringLiteral("demo"),
                                                    QStringLiteral("127.0.0.1"));
    }
    ~SimulatedSession() { provider->setActive(false); }

    static SimOptions parse(const QStringList& arguments)
    {
        SimOptions parsed;
        QString error;
        if (!SimOptions::parse(QStringList{QStringLiteral("lanterra-sim")} + arguments, &parsed, &error))
            qFatal("bad simulator options: %s", qPrintable(error));
        return parsed;
    }

    SimOptions options;
    V2_Server server;
    std::unique_ptr<SimPublisher> publisher;
    std::unique_ptr<V2DataProvider> provider;
};
