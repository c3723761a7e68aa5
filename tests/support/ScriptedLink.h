#pragma once

#include "ScriptedServer.h"
#include "V2_Client.h"

#include <QSignalSpy>
#include <QTest>

// A client wired to a scripted server over loopback: the server's side is
// driven line by line by the test.
struct ScriptedLink {
    explicit ScriptedLink(bool tls = true)
        : server(tls)
        , client(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("V2"), QStringLiteral("2.0"), 0, QStringLiteral("pw"),
                 QStringLiteral("user"), QStringLiteral("127.0.0.1"))
    {
        client.setPort(server.start());
        client.setSsl(tls);
    }

    ~ScriptedLink() { client.setActive(false); }

    // Connects, answers the login and waits until the client took the answer.
    bool login(int pingRate = 0, int timeout = 0, bool withPingRate = true)
    {
        QSignalSpy done(&client, &V2_Client::onLoginDone);
        client.setActive(true);
        if (!server.waitForClient() || server.acceptLogin(pingRate, timeout, withPingRate).isEmpty())
            return false;
        return QTest::qWaitFor([&] { return done.count() == 1; }, 5000);
    }

    ScriptedServer server;
    V2_Client client;
};
