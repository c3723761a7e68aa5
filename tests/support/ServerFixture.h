#pragma once

#include "RawClient.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// A server with a few users and profiles on a free port, and what server
// tests build around it.
using Tree = std::unique_ptr<V2_Data>;

inline Tree treeFrom(const QByteArray& json)
{
    Tree root(new V2_Data(QStringLiteral("ROOT")));
    root->setRoot(true);
    V2_message message(QStringLiteral("JSON:1::") + QString::fromUtf8(json));
    if (message.rapidJsonDocument())
        root->fromRapidJson(*message.rapidJsonDocument(), nullptr);
    return root;
}

inline V2_Profile* profileWith(const QString& name, const QMap<QString, unsigned char>& keys)
{
    auto* profile = new V2_Profile(name);
    *profile->keyList() = keys;
    return profile;
}

// A server with a few users and profiles, listening on a free port.
struct Fixture {
    explicit Fixture(bool tls = true)
    {
        team = profileWith(QStringLiteral("Team"), {{"weather", 2}, {"timing", 2}, {"timing.session", 2}});
        team->addCommand(QStringLiteral("reset"));
        server.addProfile(team->name(), team);
        auto* champ = profileWith(QStringLiteral("Champ"), {{"weather", 2}});
        champ->setChampionshipSubscribed(QStringLiteral("WEC"));
        server.addProfile(champ->name(), champ);
        other = profileWith(QStringLiteral("Other"), {{"weather", 2}});
        server.addProfile(other->name(), other);

        teamUser = new V2_User(QStringLiteral("Team user"), QStringLiteral("team"), QStringLiteral("pw"), 2, team);
        server.addUser(teamUser);
        server.addUser(new V2_User(QStringLiteral("Mate"), QStringLiteral("mate"), QStringLiteral("pw"), 5, team));
        server.addUser(new V2_User(QStringLiteral("Champ"), QStringLiteral("champ"), QStringLiteral("pw"), 5, champ));
        server.addUser(new V2_User(QStringLiteral("Other"), QStringLiteral("other"), QStringLiteral("pw"), 5, other));
        server.setSsl(tls);
        server.startServer(0);
        port = server.serverPort();
    }

    std::unique_ptr<V2_Client> client(const QString& user, bool tls = true)
    {
        std::unique_ptr<V2_Client> c(new V2_Client(QStringLiteral("test"),
                                                   QStringLiteral("1"),
                                                   QStringLiteral("V2"),
                                                   QStringLiteral("1.0.0"),
                                                   port,
                                                   QStringLiteral("pw"),
                                                   user,
                                                   QStringLiteral("127.0.0.1")));
        c->setSsl(tls);
        return c;
    }

    // Logs a client in and joins the channels; false on any failure.
    static bool loginAndJoin(V2_Client* c, const QStringList& channels)
    {
        QSignalSpy done(c, &V2_Client::onLoginDone);
        QSignalSpy joined(c, &V2_Client::onChannelJoin);
        c->setActive(true);
        if (!QTest::qWaitFor([&] { return done.count() == 1; }, 8000))
            return false;
        for (const QString& channel : channels)
            c->joinChannel(channel, channel);
        return QTest::qWaitFor([&] { return joined.count() == channels.size(); }, 5000);
    }

    // A raw peer connected over plain TCP and logged in as user.
    bool logIn(RawClient& raw, const QString& user) { return raw.connectTo(port, false) && raw.login(user, QStringLiteral("pw")); }

    V2_Server server;
    V2_Profile* team = nullptr;
    V2_Profile* other = nullptr;
    V2_User* teamUser = nullptr;
    quint16 port = 0;
};

inline QByteArray mirrorJson(V2_Client* client)
{
    return client->getCurrentData()->getJsonString(false).toUtf8();
}

