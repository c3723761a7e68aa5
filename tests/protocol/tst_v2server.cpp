#include "NumberLiterals.h"
#include "RawClient.h"
#include "ServerFixture.h"
#include "V2_MessageHandler.h"
#include "V2_ServerSocket.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

class TestV2Server final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startAndStop();
    void loginFailures_data();
    void loginFailures();
    void conversations_data();
    void conversations();
    void joinLeaveAndSnapshots();
    void fanOutByChannel();
    void perUserFiltering();
    void maxConnections();
    void inactivity_data();
    void inactivity();
    void clearingSends();
    void commandRoundTrip();
    void deleteProfileStopsBoundConnections();
    void deleteUserStopsItsConnections();
    void tlsPairs_data();
    void tlsPairs();
    void tlsSuites_data();
    void tlsSuites();
    void numberLiteralsInRequests();
    void uploadsAndDirectMessages();
    void addOrUpdate();
    void passwordsNeverLogged();
    void fullAccessMirrorMatchesPublisher();
    void edgeValuesReachTheClient();
    void overlongLineClosesConnection();
    void slowReaderIsDropped_data();
    void slowReaderIsDropped();
    void strangerFloodingWithoutReadingIsDropped();
};

void TestV2Server::initTestCase()
{
    qRegisterMetaType<QSet<QString>>();
    qRegisterMetaType<V2_Data*>();
}

void TestV2Server::startAndStop()
{
    V2_Server server;
    QSignalSpy started(&server, &V2_Server::onStarted);
    QVERIFY(!server.stopServer());
    QCOMPARE(started.count(), 0);
    QVERIFY(server.startServer(0));
    QVERIFY(server.started());
    QCOMPARE(started.count(), 1);

    V2_Server busy;
    QSignalSpy busyStarted(&busy, &V2_Server::onStarted);
    QVERIFY(!busy.startServer(server.serverPort()));
    QVERIFY(!busy.started());
    QCOMPARE(busyStarted.count(), 1);

    QVERIFY(server.stopServer());
    QVERIFY(!server.started());
    QCOMPARE(started.count(), 2);
}

void TestV2Server::loginFailures_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");

    // Each reason is the message handler's (tested there); here the answer's
    // id and that the connection stays open.
    const auto login = [](const QByteArray& fields) { return "LOGIN:5::{" + fields + "}"; };
    const QByteArray wrong = R"(ERROR:5+::{"reason":"user or password not valid"})";
    const QByteArray v2 = R"("app":"a","app_ver":"1","protocol":"V2","protocol_ver":"1.0.0")";
    QTest::newRow("no user, empty id") << QByteArray("LOGIN:::{}") << QByteArray(R"(ERROR:1::{"reason":"Missing user parameter"})");
    QTest::newRow("old version") << login(R"("user":"team","password":"pw","app":"a","app_ver":"1","protocol":"V2","protocol_ver":"0.9.9")")
                                 << QByteArray(R"(ERROR:5+::{"reason":"Old protocol version number"})");
    QTest::newRow("wrong password") << login(R"("user":"team","password":"PW",)" + v2) << wrong;
    QTest::newRow("unknown user") << login(R"("user":"nobody","password":"pw",)" + v2) << wrong;
    QTest::newRow("unparsable") << QByteArray("LOGIN:5::{") << QByteArray(R"(ERROR:5::{"reason":"Error parsing message JSON"})");
}

void TestV2Server::loginFailures()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    Fixture fixture;
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, true));
    raw.sendLine(request);
    QCOMPARE(raw.nextLine(), answer);
    // None of these closes the connection: a good login still succeeds, with blanks simplified.
    raw.sendLine(R"(LOGIN:6::{"user":" team ","password":"pw","app":"a","app_ver":"1","protocol":"V2","protocol_ver":"1.0.0"})");
    const QByteArray reply = raw.nextLine();
    QVERIFY2(reply.startsWith("LOGIN:6+::{"), reply.constData());
    QVERIFY(reply.contains(R"("pingRate":20)"));
    QVERIFY(reply.contains(R"("timeout":40)"));
    QTRY_COMPARE(fixture.teamUser->currentNumberOfConnections(), 1);
}

// Request lines and the exact answers, on one connection; "*" ends an
// answer known by its start only.
void TestV2Server::conversations_data()
{
    QTest::addColumn<bool>("login");
    QTest::addColumn<QList<QByteArray>>("lines");
    const QByteArray mate = V2_message::loginRequestLine("mate", "pw", "a", "1", "V2", "1.0.0").replace("LOGIN::", "LOGIN:9:").toUtf8();
    QTest::newRow("before login") << false
                                  << QList<QByteArray>{"JOIN:1:weather:", R"(ERROR:1:weather:{"reason":"Unknown command"})", "PING:::",
                                                       R"(ERROR:2::{"reason":"Unknown command"})", "HELLO:::", R"(ERROR:3::{"reason":"Command not valid"})"};
    QTest::newRow("second login refused") << true
                                          << QList<QByteArray>{mate, R"(ERROR:9+::{"reason":"User already logged"})", "JOIN:1:weather:", "JOIN:1+:weather:"};
    // The login reply was line 1: the time reply carries counter 2.
    QTest::newRow("ping and time") << true << QList<QByteArray>{"PING:7::", "ACK:7+::", "TIME:x::", "TIME:2::*"};
    QTest::newRow("join and leave") << true
                                    << QList<QByteArray>{"JOIN:3:nowhere:", R"(ERROR:3+:nowhere:{"reason":"Unknown channel"})",
                                                         "JOIN:4:weather:", "JOIN:4+:weather:",
                                                         "JOIN:5:weather:", R"(ERROR:5+:weather:{"reason":"Channel already joined"})",
                                                         "LEAVE:6:timing:", R"(ERROR:6+:timing:{"reason":"Channel was not joined"})",
                                                         "LEAVE:7:weather:", "LEAVE:7+:weather:"};
}

void TestV2Server::conversations()
{
    QFETCH(bool, login);
    QFETCH(QList<QByteArray>, lines);
    Fixture fixture(login);
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, login));
    if (login)
        QVERIFY(raw.login(QStringLiteral("team"), QStringLiteral("pw")));
    for (int i = 0; i < lines.size(); i += 2) {
        raw.sendLine(lines.at(i));
        const QByteArray answer = raw.nextLine();
        QByteArray expected = lines.at(i + 1);
        if (expected.endsWith('*')) {
            expected.chop(1);
            QVERIFY2(answer.startsWith(expected), answer.constData());
            if (expected.startsWith("TIME"))
                QVERIFY(qAbs(answer.mid(expected.size()).toLongLong() - QDateTime::currentMSecsSinceEpoch()) < 5000);
        } else {
            QCOMPARE(answer, expected);
        }
    }
    QTRY_COMPARE(fixture.teamUser->currentNumberOfConnections(), login ? 1 : 0);
}

void TestV2Server::joinLeaveAndSnapshots()
{
    Fixture fixture;
    QSignalSpy snapshots(&fixture.server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest));
    QSignalSpy champSnapshots(&fixture.server, QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest));
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, true));
    QVERIFY(raw.login(QStringLiteral("team"), QStringLiteral("pw")));
    raw.sendLine("JOIN:4:weather:");
    QCOMPARE(raw.nextLine(), QByteArray("JOIN:4+:weather:"));
    QCOMPARE(snapshots.count(), 1);
    QCOMPARE(snapshots.at(0).at(1).toString(), QStringLiteral("weather"));
    QVERIFY(fixture.server.clients().contains(snapshots.at(0).at(0).toInt()));
    raw.sendLine("LEAVE:7:weather:");
    QCOMPARE(raw.nextLine(), QByteArray("LEAVE:7+:weather:"));
    QCOMPARE(champSnapshots.count(), 0);

    RawClient champ;
    QVERIFY(champ.connectTo(fixture.port, true));
    QVERIFY(champ.login(QStringLiteral("champ"), QStringLiteral("pw")));
    champ.sendLine("JOIN:1:weather:");
    QCOMPARE(champ.nextLine(), QByteArray("JOIN:1+:weather:"));
    QCOMPARE(champSnapshots.count(), 1);
    QCOMPARE(champSnapshots.at(0).at(2).toString(), QStringLiteral("WEC"));
    QCOMPARE(snapshots.count(), 1);
}

void TestV2Server::fanOutByChannel()
{
    Fixture fixture;
    auto weather = fixture.client(QStringLiteral("team"));
    auto timing = fixture.client(QStringLiteral("mate"));
    auto both = fixture.client(QStringLiteral("mate"));
    QVERIFY(Fixture::loginAndJoin(weather.get(), {"weather"}));
    QVERIFY(Fixture::loginAndJoin(timing.get(), {"timing.session"}));
    QVERIFY(Fixture::loginAndJoin(both.get(), {"weather", "timing.session"}));
    QCOMPARE(fixture.server.clientsLogged(), 3);

    Tree weatherTree = treeFrom(R"({"weather":{"airTemp":21.5}})");
    Tree timingTree = treeFrom(R"({"timing":{"session":{"info":{"name":"Race"}}}})");
    Tree mixed = treeFrom(R"({"timing":{"session":{"info":{"laps":12}}},"weather":{"rain":false}})");
    fixture.server.sendV2Data(weatherTree.get());
    fixture.server.sendV2Data(timingTree.get());
    fixture.server.sendV2Data(mixed.get());

    QTRY_COMPARE(mirrorJson(both.get()), QByteArray(R"({"timing":{"session":{"info":{"laps":12,"name":"Race"}}},"weather":{"airTemp":21.5,"rain":false}})"));
    QTRY_COMPARE(mirrorJson(weather.get()), QByteArray(R"({"weather":{"airTemp":21.5,"rain":false}})"));
    QTRY_COMPARE(mirrorJson(timing.get()), QByteArray(R"({"timing":{"session":{"info":{"laps":12,"name":"Race"}}}})"));

    // Addressed to one connection only: one that joined the weather.
    int target = -1;
    const auto connections = fixture.server.clients();
    for (auto it = connections.cbegin(); it != connections.cend(); ++it) {
        if (it.value()->handler()->subscribedChannels().contains(QStringLiteral("weather")))
            target = it.key();
    }
    QVERIFY(target >= 0);
    Tree single = treeFrom(R"({"weather":{"wind":3}})");
    fixture.server.sendV2Data(target, single.get());
    fixture.server.sendV2Data(-1, single.get());
    auto received = [&] {
        int count = 0;
        for (V2_Client* c : {weather.get(), timing.get(), both.get()})
            count += c->getCurrentData()->getInt(QStringLiteral("weather.wind"), 0) == 3;
        return count;
    };
    QTRY_COMPARE(received(), 1);
    QTest::qWait(200);
    QCOMPARE(received(), 1);
}

void TestV2Server::perUserFiltering()
{
    Fixture fixture;
    auto* profile = profileWith(QStringLiteral("Filtered"),
                                {
                                    {"timing", 2},
                                    {"timing.session", 1},
                                    {"timing.session.name", 2},
                                    {"timing.session.secret", 0},
                                    {"timing.session.a", 2},
                                    {"timing.session.entry", 1},
                                    {"timing.session.entry.class", 2},
                                    {"timing.session.entry.team", 2},
                                    {"timing.session.cars", 2},
                                    {"weather", 2},
                                });
    profile->setProfileFilters({
        {QStringLiteral("timing.session.entry"), {QStringLiteral("timing.session.entry"), QStringLiteral("class"), {QStringLiteral("A")}}},
        {QStringLiteral("timing.session.cars"), {QStringLiteral("timing.session.cars"), QString(), {QStringLiteral("7")}}},
    });
    fixture.server.addProfile(profile->name(), profile);
    fixture.server.addUser(new V2_User(QStringLiteral("F"), QStringLiteral("filtered"), QStringLiteral("pw"), 1, profile));

    auto client = fixture.client(QStringLiteral("filtered"));
    QVERIFY(Fixture::loginAndJoin(client.get(), {"timing.session"}));
    Tree tree = treeFrom(R"({"timing":{"session":{"name":"Race","secret":"x","a#label":"L",
        "entry":{"ignorePath":true,"7":{"class":"A","team":"T7"},"8":{"class":"C","team":"T8"}},
        "cars":{"ignorePath":true,"7":{"lap":1},"9":{"lap":2}}}},"weather":{"airTemp":20}})");
    fixture.server.sendV2Data(tree.get());
    QTRY_COMPARE(mirrorJson(client.get()),
                 QByteArray(R"({"timing":{"session":{"cars":{"7":{"lap":1}},"entry":{"7":{"class":"A","team":"T7"}},"label":"L","name":"Race"}}})"));
    // The publisher's tree is untouched: every connection filters its own copy.
    QVERIFY(tree->getDataPointer(QStringLiteral("timing.session.entry"))->keyExists(QStringLiteral("8")));

    // A tree that filtering empties sends nothing.
    QSignalSpy changes(client.get(), &V2_Client::onChannelChange);
    Tree hidden = treeFrom(R"({"timing":{"session":{"secret":"y"}}})");
    Tree visible = treeFrom(R"({"timing":{"session":{"name":"Sprint"}}})");
    fixture.server.sendV2Data(hidden.get());
    fixture.server.sendV2Data(visible.get());
    QTRY_COMPARE(client->getCurrentData()->getString(QStringLiteral("timing.session.name")), QStringLiteral("Sprint"));
    QTest::qWait(100);
    QCOMPARE(changes.count(), 1);
}

void TestV2Server::maxConnections()
{
    Fixture fixture;
    QSignalSpy logged(&fixture.server, &V2_Server::onClientLogged);
    auto first = fixture.client(QStringLiteral("team"));
    auto second = fixture.client(QStringLiteral("team"));
    QVERIFY(Fixture::loginAndJoin(first.get(), {}));
    QVERIFY(Fixture::loginAndJoin(second.get(), {}));
    QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 2);

    RawClient third;
    QVERIFY(third.connectTo(fixture.port, true));
    third.sendLine(V2_message::loginRequestLine("team", "pw", "a", "1", "V2", "1.0.0").toUtf8());
    QCOMPARE(third.nextLine(), QByteArray(R"(ERROR:1::{"reason":"Maximum number of connections reached (2)."})"));
    QVERIFY(third.waitForDisconnected());
    QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 2);

    first->setActive(false);
    QTRY_COMPARE(fixture.teamUser->currentNumberOfConnections(), 1);
    RawClient fourth;
    QVERIFY(fourth.connectTo(fixture.port, true));
    QVERIFY(fourth.login(QStringLiteral("team"), QStringLiteral("pw")));
    QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 2);
    QTRY_COMPARE(logged.count(), 3);
}

void TestV2Server::inactivity_data()
{
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("login");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("never logged in") << 40 << false << true;
    QTest::newRow("logged in, then silent") << 1 << true << true;
    QTest::newRow("limits off") << 0 << false << false;
}

void TestV2Server::inactivity()
{
    QFETCH(int, timeout);
    QFETCH(bool, login);
    QFETCH(bool, dropped);
    Fixture fixture(false);
    fixture.server.setNotLoggedTimeout(1);
    fixture.server.setTimeout(timeout);
    QSignalSpy gone(&fixture.server, &V2_Server::onClientDisconnected);
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, false));
    if (login)
        QVERIFY(raw.login(QStringLiteral("team"), QStringLiteral("pw")));
    if (dropped) {
        QVERIFY(raw.waitForDisconnected(4000));
        QTRY_COMPARE(gone.count(), 1);
        QCOMPARE(fixture.server.clientsConnected(), 0);
        QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 0);
    } else {
        QVERIFY(!raw.waitForDisconnected(2500));
        QCOMPARE(fixture.server.clientsConnected(), 1);
    }
}

void TestV2Server::clearingSends()
{
    Fixture fixture;
    auto client = fixture.client(QStringLiteral("team"));
    QVERIFY(Fixture::loginAndJoin(client.get(), {"weather", "timing.session"}));

    Tree data = treeFrom(R"({"weather":{"airTemp":20,"rain":true},"timing":{"session":{"name":"Race"}}})");
    fixture.server.sendAndClearV2Data(data.get());
    QVERIFY(data->datas()->isEmpty());
    QTRY_COMPARE(client->getCurrentData()->getInt(QStringLiteral("weather.airTemp")), 20);
    QCOMPARE(client->getCurrentData()->getString(QStringLiteral("timing.session.name")), QStringLiteral("Race"));

    Tree channel = treeFrom(R"({"weather":{"airTemp":20},"version":3})");
    QSignalSpy changes(client.get(), &V2_Client::onChannelChange);
    fixture.server.clearAndSendV2Data(channel.get());
    QVERIFY(channel->datas()->isEmpty());
    QTRY_COMPARE(changes.count(), 1);
    QVERIFY(!client->getCurrentData()->keyExists(QStringLiteral("weather")));
    QVERIFY(client->getDeletedData()->isDeleted(QStringLiteral("weather")));
    QCOMPARE(client->getCurrentData()->getString(QStringLiteral("timing.session.name")), QStringLiteral("Race"));

    // With no client at all the caller's tree is still emptied.
    V2_Server lonely;
    Tree alone = treeFrom(R"({"weather":{"a":1}})");
    lonely.sendAndClearV2Data(alone.get());
    QVERIFY(alone->datas()->isEmpty());
}

void TestV2Server::commandRoundTrip()
{
    Fixture fixture;
    QString lastParams;
    connect(&fixture.server, &V2_Server::onCommandReceived, this, [&](QString channel, QString id, int descriptor, V2_Data* parameters) {
        lastParams = parameters->getString(QStringLiteral("name"));
        if (parameters->getString(QStringLiteral("name")) == QLatin1String("as text"))
            fixture.server.sendCommandReply(id, descriptor, channel, QStringLiteral(R"({"done":true})"));
        else
            fixture.server.sendCommandReply(id, descriptor, channel, treeFrom(R"({"done":{"count":2}})").get());
    });
    auto client = fixture.client(QStringLiteral("team"));
    QSignalSpy replies(client.get(), &V2_Client::cmdReplyReceived);
    QSignalSpy errors(client.get(), &V2_Client::errorReceived);
    QVERIFY(Fixture::loginAndJoin(client.get(), {}));

    QJsonObject data{{"all", true}};
    const QString textId = client->sendCommand(&data, QStringLiteral("reset"), QStringLiteral("as text"));
    QTRY_COMPARE(replies.count(), 1);
    QCOMPARE(lastParams, QStringLiteral("as text"));
    QCOMPARE(replies.at(0).at(0).toString(), textId);
    QCOMPARE(replies.at(0).at(1).toString(), QStringLiteral("reset"));
    QCOMPARE(replies.at(0).at(2).toString(), QStringLiteral(R"({"done":true})"));

    const QString treeId = client->sendCommand(&data, QStringLiteral("reset"), QStringLiteral("as tree"));
    QTRY_COMPARE(replies.count(), 2);
    QCOMPARE(replies.at(1).at(0).toString(), treeId);
    QCOMPARE(replies.at(1).at(2).toString(), QStringLiteral(R"({"done":{"count":2}})"));

    const QString refusedId = client->sendCommand(&data, QStringLiteral("shutdown"), QStringLiteral("x"));
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral(R"(ERROR:%1+:shutdown:{"reason":"Command not allowed"})").arg(refusedId));
    QCOMPARE(replies.count(), 2);
}

void TestV2Server::deleteProfileStopsBoundConnections()
{
    Fixture fixture;
    auto teamClient = fixture.client(QStringLiteral("team"));
    auto otherClient = fixture.client(QStringLiteral("other"));
    QVERIFY(Fixture::loginAndJoin(teamClient.get(), {"weather"}));
    QVERIFY(Fixture::loginAndJoin(otherClient.get(), {"weather"}));
    QCOMPARE(fixture.server.clientsLogged(), 2);
    V2_User* otherUser = fixture.server.findUser(QStringLiteral("other"));
    QCOMPARE(otherUser->currentNumberOfConnections(), 1);

    fixture.server.deleteProfile(fixture.other);
    QCOMPARE(fixture.server.clientsLogged(), 1);
    QCOMPARE(otherUser->currentNumberOfConnections(), 0);
    QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 1);
    QVERIFY(!fixture.server.profiles()->contains(QStringLiteral("Other")));
    QVERIFY(!otherUser->profile());

    // The stopped connection stays open but gets nothing; the other still does.
    Tree update = treeFrom(R"({"weather":{"airTemp":18}})");
    fixture.server.sendV2Data(update.get());
    QTRY_COMPARE(teamClient->getCurrentData()->getInt(QStringLiteral("weather.airTemp")), 18);
    QTest::qWait(200);
    QVERIFY(!otherClient->getCurrentData()->keyExists(QStringLiteral("weather")));

    // Disconnecting later does not count the user down a second time.
    otherClient->setActive(false);
    QTRY_COMPARE(fixture.server.clientsConnected(), 1);
    QCOMPARE(otherUser->currentNumberOfConnections(), 0);
}

void TestV2Server::deleteUserStopsItsConnections()
{
    Fixture fixture;
    RawClient team;
    RawClient mate;
    QVERIFY(team.connectTo(fixture.port, true));
    QVERIFY(mate.connectTo(fixture.port, true));
    QVERIFY(team.login(QStringLiteral("team"), QStringLiteral("pw")));
    QVERIFY(mate.login(QStringLiteral("mate"), QStringLiteral("pw")));
    QCOMPARE(fixture.server.clientsLogged(), 2);

    fixture.server.deleteUser(fixture.teamUser);
    QCOMPARE(fixture.server.clientsLogged(), 1);
    QVERIFY(!fixture.server.findUser(QStringLiteral("team")));
    QVERIFY(fixture.server.findUser(QStringLiteral("mate")));
    // The stopped connection stays open, logged out.
    team.sendLine("JOIN:1:weather:");
    QCOMPARE(team.nextLine(), QByteArray(R"(ERROR:1:weather:{"reason":"Unknown command"})"));
    QVERIFY(team.isConnected());
    mate.sendLine("JOIN:1:weather:");
    QCOMPARE(mate.nextLine(), QByteArray("JOIN:1+:weather:"));
}

namespace {

// A file of the test TLS pairs.
QByteArray read(const char* name)
{
    QFile file(QStringLiteral(LANTERRA_TEST_TLS_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList g_warnings;

} // namespace

void TestV2Server::tlsPairs_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("ownPair");
    QTest::addColumn<int>("warnings");
    QTest::newRow("built-in pair") << true << false << 1;
    QTest::newRow("own pair") << true << true << 0;
    QTest::newRow("plain TCP") << false << false << 0;
}

// A broken pair is refused; the pair in use is what a client is shown, and
// the built-in one is warned about.
void TestV2Server::tlsPairs()
{
    QFETCH(bool, tls);
    QFETCH(bool, ownPair);
    QFETCH(int, warnings);
    V2_Server server;
    server.setSsl(tls);
    const QSslCertificate builtIn = server.tlsCertificate();
    QVERIFY(!builtIn.isNull() && !server.tlsPrivateKey().isNull());
    QVERIFY(!server.setTlsPair("not a certificate", read("test-key.pem")));
    QCOMPARE(server.tlsCertificate(), builtIn);
    if (ownPair)
        QVERIFY(server.setTlsPair(read("test-cert.pem"), read("test-key.pem")));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg && text.contains(QLatin1String("built-in TLS pair")))
            g_warnings << text;
    });
    const bool started = server.startServer(0);
    qInstallMessageHandler(previous);
    QVERIFY(started);
    QCOMPARE(g_warnings.size(), warnings);
    RawClient raw;
    QVERIFY(raw.connectTo(server.serverPort(), tls));
    if (tls)
        QCOMPARE(raw.socket().peerCertificate(), ownPair ? QSslCertificate(read("test-cert.pem"), QSsl::Pem) : builtIn);
}

// A real client offering one suite: TLS 1.2 takes forward-secret AEAD
// suites only; TLS 1.3 is left as it is.
void TestV2Server::tlsSuites_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("ECDHE AES-128-GCM") << int(QSsl::TlsV1_2) << "ECDHE-RSA-AES128-GCM-SHA256" << true;
    QTest::newRow("ECDHE AES-256-GCM") << int(QSsl::TlsV1_2) << "ECDHE-RSA-AES256-GCM-SHA384" << true;
    QTest::newRow("ECDHE ChaCha20") << int(QSsl::TlsV1_2) << "ECDHE-RSA-CHACHA20-POLY1305" << true;
    QTest::newRow("ECDHE AES-CBC SHA-256") << int(QSsl::TlsV1_2) << "ECDHE-RSA-AES128-SHA256" << false;
    QTest::newRow("ECDHE AES-CBC SHA-1") << int(QSsl::TlsV1_2) << "ECDHE-RSA-AES256-SHA" << false;
    QTest::newRow("RSA AES-CBC") << int(QSsl::TlsV1_2) << "AES256-SHA256" << false;
    QTest::newRow("RSA AES-GCM, no forward secrecy") << int(QSsl::TlsV1_2) << "AES128-GCM-SHA256" << false;
    QTest::newRow("TLS 1.3") << int(QSsl::TlsV1_3) << "TLS_AES_256_GCM_SHA384" << true;
}

void TestV2Server::tlsSuites()
{
    QFETCH(int, protocol);
    QFETCH(QString, cipher);
    QFETCH(bool, accepted);
    Fixture fixture;
    QSslSocket socket;
    QSslConfiguration configuration = socket.sslConfiguration();
    configuration.setProtocol(static_cast<QSsl::SslProtocol>(protocol));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    const QSslCipher offered(cipher);
    QVERIFY2(!offered.isNull(), qPrintable(cipher));
    configuration.setCiphers({offered});
    socket.setSslConfiguration(configuration);
    QSignalSpy encrypted(&socket, &QSslSocket::encrypted);
    QSignalSpy failed(&socket, &QAbstractSocket::errorOccurred);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), fixture.port);
    QTRY_VERIFY_WITH_TIMEOUT(encrypted.count() + failed.count() > 0, 5000);
    QCOMPARE(encrypted.count() == 1, accepted);
    if (accepted)
        QCOMPARE(socket.sessionCipher().name(), cipher);
}

// The literals of the table as command parameters of a logged-in client:
// one past the range of a double is refused as unparsable, one within it
// reaches the application unchanged.
void TestV2Server::numberLiteralsInRequests()
{
    Fixture fixture;
    QMap<QString, QVariant> received;
    connect(&fixture.server, &V2_Server::onCommandReceived, this, [&](QString, QString id, int, V2_Data* parameters) {
        const QVariant* value = parameters->datas()->value(QStringLiteral("v"));
        received.insert(id, value ? *value : QVariant());
    });
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, true));
    QVERIFY(raw.login(QStringLiteral("team"), QStringLiteral("pw")));
    int counter = 10;
    for (const NumberLiteral& literal : numberLiteralTable()) {
        const QByteArray id = QByteArray::number(++counter);
        raw.sendLine("CMD:" + id + ":reset:{\"v\":" + literal.text + "}");
        if (!literal.fits) {
            const QByteArray reply = raw.nextLine();
            QVERIFY2(reply.startsWith("ERROR:" + id) && reply.contains("Error parsing message JSON"), literal.name);
            continue;
        }
        QTRY_VERIFY2(received.contains(QString::fromLatin1(id)), literal.name);
        const QVariant read = received.value(QString::fromLatin1(id));
        QVERIFY2(read.userType() == literal.value.userType() && read == literal.value, literal.name);
    }
}

void TestV2Server::uploadsAndDirectMessages()
{
    Fixture fixture;
    fixture.team->setIsAllowedToSendData(true);
    RawClient uploader;
    RawClient refused;
    QVERIFY(uploader.connectTo(fixture.port, true));
    QVERIFY(refused.connectTo(fixture.port, true));
    QVERIFY(uploader.login(QStringLiteral("team"), QStringLiteral("pw")));
    QVERIFY(refused.login(QStringLiteral("other"), QStringLiteral("pw")));

    QMutex mutex;
    QVariantMap uploaded;
    int uploadDescriptor = -1;
    const auto connections = fixture.server.clients();
    for (V2_ServerSocket* connection : connections) {
        // Emitted on the connection's thread while its parameters are valid.
        connect(connection, &V2_ServerSocket::dataReceived, this, [&](QVariantMap* data, int descriptor, QString) {
            QMutexLocker locker(&mutex);
            uploaded = *data;
            uploadDescriptor = descriptor;
        }, Qt::DirectConnection);
    }
    uploader.sendLine(R"(JSON:4:up:{"lap":{"n":3}})");
    refused.sendLine(R"(JSON:4:up:{"lap":{"n":3}})");
    QCOMPARE(refused.nextLine(), QByteArray(R"(ERROR:4+:up:{"reason":"You are not allowed to send data"})"));
    const auto uploadSeen = [&] {
        QMutexLocker locker(&mutex);
        return uploadDescriptor >= 0;
    };
    QTRY_VERIFY(uploadSeen());
    QMutexLocker locker(&mutex);
    QCOMPARE(uploaded.value(QStringLiteral("lap")).toMap().value(QStringLiteral("n")).toInt(), 3);
    locker.unlock();
    QVERIFY(uploader.silentFor(100));

    // A message addressed to one descriptor reaches that client only.
    V2_message note(QStringLiteral(R"(REPLY:n1:notes:{"text":"box"})"));
    fixture.server.sendMessage(uploadDescriptor, &note);
    fixture.server.sendMessage(-1, &note);
    QCOMPARE(uploader.nextLine(), QByteArray(R"(REPLY:n1:notes:{"text":"box"})"));
    QVERIFY(refused.silentFor(100));
}

void TestV2Server::addOrUpdate()
{
    V2_Server server;
    auto* first = new V2_Profile(QStringLiteral("First"));
    first->setProfileFilters({{QStringLiteral("f"), {}}});
    server.addProfile(first->name(), first);
    server.addProfile(QStringLiteral("Second"), new V2_Profile(QStringLiteral("Second")));

    V2_User fresh(QStringLiteral("Display"));
    fresh.setUser(QStringLiteral("login"));
    fresh.setPass(QStringLiteral("a"));
    fresh.setProfileName(QStringLiteral("First"));
    server.addOrUpdateUser(fresh);
    V2_User* stored = server.findUser(QStringLiteral("login"));
    QVERIFY(stored && stored != &fresh);
    QCOMPARE(stored->profile(), first);

    // Found again by display name: updated in place and bound anew.
    fresh.setPass(QStringLiteral("b"));
    fresh.setProfileName(QStringLiteral("Second"));
    server.addOrUpdateUser(fresh);
    QCOMPARE(server.findUser(QStringLiteral("login")), stored);
    QCOMPARE(stored->pass(), QStringLiteral("b"));
    QCOMPARE(stored->profile(), server.profiles()->value(QStringLiteral("Second")));
    fresh.setProfileName(QStringLiteral("Missing"));
    server.addOrUpdateUser(fresh);
    QVERIFY(!stored->profile());

    V2_Profile update(QStringLiteral("First"));
    update.keyList()->insert(QStringLiteral("weather"), 2);
    server.addOrUpdateProfile(update);
    QCOMPARE(server.profiles()->value(QStringLiteral("First")), first);
    QVERIFY(first->keyValid(QStringLiteral("weather")));
    QVERIFY(first->hasProfileFilters());
    server.addOrUpdateProfile(V2_Profile(QStringLiteral("Third")));
    QVERIFY(server.profiles()->contains(QStringLiteral("Third")));
}

namespace {
QStringList g_logged;
void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_logged.append(text);
}
} // namespace

void TestV2Server::passwordsNeverLogged()
{
    Fixture fixture;
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, true));
    g_logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    raw.sendLine(V2_message::loginRequestLine("team", "S3cret-guess", "a", "1", "V2", "1.0.0").toUtf8());
    const QByteArray answer = raw.nextLine();
    qInstallMessageHandler(previous);
    QCOMPARE(answer, QByteArray(R"(ERROR:1::{"reason":"user or password not valid"})"));
    const QString all = g_logged.join(QLatin1Char('\n'));
    QVERIFY(all.contains(QStringLiteral("Password mistmatch user team")));
    QVERIFY(all.contains(QStringLiteral(R"("password":"***")")));
    QVERIFY(!all.contains(QStringLiteral("S3cret-guess")));
}

void TestV2Server::fullAccessMirrorMatchesPublisher()
{
    V2_Server server;
    server.setFullAccess(true);
    server.startServer(0);
    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), server.serverPort(), {}, {}, QStringLiteral("127.0.0.1"));
    QSignalSpy joined(&client, &V2_Client::onChannelJoin);
    QSignalSpy changes(&client, &V2_Client::onChannelChange);
    QSignalSpy connected(&client, &V2_Client::onConnected);
    client.setActive(true);
    QTRY_COMPARE(connected.count(), 1);
    client.joinChannel(QStringLiteral("p"), QStringLiteral("1"));
    QTRY_COMPARE(joined.count(), 1);

    QRandomGenerator rng(2024);
    V2_Data accumulated(QStringLiteral("ROOT"));
    accumulated.setRoot(true);
    int sent = 0;
    auto publish = [&](V2_Data* partial) {
        server.sendV2Data(partial);
        for (auto it = partial->datas()->cbegin(); it != partial->datas()->cend(); ++it)
            accumulated.appendData(it.key(), it.value());
        ++sent;
    };
    // Random nodes: scalars, nested nodes, lists and deletions, in separate key spaces.
    std::function<void(V2_Data*, int)> fill = [&](V2_Data* node, int depth) {
        node->insertData(QStringLiteral("s%1").arg(rng.bounded(4)), static_cast<int>(rng.bounded(1000)));
        for (int i = rng.bounded(4); i > 0; --i) {
            const QString scalar = QStringLiteral("s%1").arg(rng.bounded(4));
            switch (rng.bounded(5)) {
            case 0:
                node->insertData(scalar, QStringLiteral("t%1").arg(rng.bounded(9)));
                break;
            case 1:
                node->insertData(scalar, rng.bounded(100) + 0.5);
                break;
            case 2:
                node->insertData(scalar, rng.bounded(2) == 1);
                break;
            case 3:
                node->insertData(scalar, V2_Data::DELETE_FIELD);
                break;
            default:
                if (depth > 0)
                    fill(node->getOrCreateInLevelSingleDataPointer(QStringLiteral("n%1").arg(rng.bounded(3))), depth - 1);
            }
        }
        if (rng.bounded(6) == 0) {
            V2_Data* list = node->getOrCreateInLevelSingleDataPointer(QStringLiteral("l%1").arg(rng.bounded(2)));
            list->setList(true);
            for (int i = rng.bounded(1, 4); i > 0; --i)
                list->insertData(QStringLiteral("%1").arg(rng.bounded(3), 4, 10, QLatin1Char('0')), static_cast<int>(rng.bounded(50)));
        }
        if (depth > 0 && rng.bounded(8) == 0)
            node->insertData(QStringLiteral("n%1").arg(rng.bounded(3)), V2_Data::DELETE_FIELD);
    };

    for (int sequence = 0; sequence < 300; ++sequence) {
        V2_Data reset(QStringLiteral("ROOT"));
        reset.setRoot(true);
        reset.insertData(QStringLiteral("p"), V2_Data::DELETE_FIELD);
        publish(&reset);
        for (int step = rng.bounded(1, 6); step > 0; --step) {
            V2_Data partial(QStringLiteral("ROOT"));
            partial.setRoot(true);
            fill(partial.getOrCreateDataPointer(QStringLiteral("p")), 2);
            publish(&partial);
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), sent, 30000);
    accumulated.clearNulls();
    const QByteArray expected = accumulated.getJsonString(false).toUtf8();
    QVERIFY2(expected.size() > 20, expected.constData());
    QCOMPARE(mirrorJson(&client), expected);
}

void TestV2Server::edgeValuesReachTheClient()
{
    Fixture fixture;
    auto client = fixture.client(QStringLiteral("team"));
    QVERIFY(Fixture::loginAndJoin(client.get(), {"weather"}));
    QList<QByteArray> lines;
    connect(client.get(), &V2_Client::receivedDataLog, this, [&](QByteArray* line) { lines.append(*line); });
    // What the client reads back; an invalid value: the key is gone (a
    // value JSON cannot hold goes out as null, which deletes it).
    struct Row {
        const char* key;
        QVariant sent;
        QVariant read;
    };
    const Row rows[] = {
        {"nan", std::nan(""), QVariant()},
        {"inf", HUGE_VAL, QVariant()},
        {"minusInf", -HUGE_VAL, QVariant()},
        {"int64Min", std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::min()},
        {"uint64Max", std::numeric_limits<quint64>::max(), std::numeric_limits<quint64>::max()},
        {"pow53", 9007199254740992.0, quint64(9007199254740992ULL)},
        {"pow53Plus2", 9007199254740994.0, quint64(9007199254740994ULL)},
        {"int64Pow53Plus1", qint64(9007199254740993LL), quint64(9007199254740993ULL)},
        {"1#alias", 1, QVariant()},
        {"2#alias", 2, QVariant()},
    };
    Tree before = treeFrom(R"({"weather":{"nan":1,"inf":1,"minusInf":1}})");
    fixture.server.sendV2Data(before.get());
    QTRY_COMPARE(client->getCurrentData()->getInt(QStringLiteral("weather.nan")), 1);

    Tree tree = treeFrom(R"({"weather":{}})");
    V2_Data* weather = tree->getDataPointer(QStringLiteral("weather"));
    for (const Row& row : rows) {
        QVariant value(row.sent);
        weather->insertData(QLatin1String(row.key), &value);
    }
    lines.clear();
    fixture.server.sendV2Data(tree.get());
    QTRY_VERIFY(client->getCurrentData()->getDataPointer(QStringLiteral("weather"))->keyExists(QStringLiteral("int64Min")));
    QByteArray line;
    for (const QByteArray& each : qAsConst(lines)) {
        if (each.contains("int64Min"))
            line = each;
    }
    QCOMPARE(line.count("\"alias\""), 1);
    const V2_Data* read = client->getCurrentData()->getDataPointer(QStringLiteral("weather"));
    QVERIFY(read);
    for (const Row& row : rows) {
        if (QByteArray(row.key).contains('#'))
            continue;
        const QVariant* got = read->datas()->value(QLatin1String(row.key));
        QVERIFY2(row.read.isValid() == (got != nullptr), row.key);
        if (got)
            QVERIFY2(*got == row.read && got->userType() == row.read.userType(), qPrintable(QLatin1String(row.key) + " " + got->toString()));
    }
    QCOMPARE(read->getInt(QStringLiteral("alias")), 2);
}

void TestV2Server::overlongLineClosesConnection()
{
    Fixture fixture(false);
    fixture.server.setMaxLineBytes(1000);
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, false));
    raw.sendRaw(QByteArray(600, 'x'));
    QVERIFY(raw.silentFor(200));
    raw.sendRaw(QByteArray(600, 'x'));
    QCOMPARE(raw.nextLine(), QByteArray(R"(ERROR:1::{"reason":"Line longer than 1000 bytes"})"));
    QVERIFY(raw.waitForDisconnected());
}

void TestV2Server::slowReaderIsDropped_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("tcp") << false;
    QTest::newRow("tls") << true;
}

void TestV2Server::slowReaderIsDropped()
{
    QFETCH(bool, tls);
    Fixture fixture(tls);
    fixture.server.setMaxPendingOutput(512 * 1024);
    auto reader = fixture.client(QStringLiteral("mate"), tls);
    QSignalSpy changes(reader.get(), &V2_Client::onChannelChange);
    QVERIFY(Fixture::loginAndJoin(reader.get(), {"weather"}));

    // A client that stops reading: Qt stops taking bytes once its small buffer is full.
    QSslSocket stalled;
    stalled.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (tls)
        stalled.connectToHostEncrypted(QStringLiteral("127.0.0.1"), fixture.port);
    else
        stalled.connectToHost(QStringLiteral("127.0.0.1"), fixture.port);
    QTRY_VERIFY(tls ? stalled.isEncrypted() : stalled.state() == QAbstractSocket::ConnectedState);
    stalled.setReadBufferSize(1024);
    stalled.write(V2_message::loginRequestLine("mate", "pw", "a", "1", "V2", "1.0.0").toUtf8() + "\r\nJOIN:1:weather:\r\n");
    QTRY_COMPARE(fixture.server.clientsLogged(), 2);
    QTest::qWait(100);

    QSignalSpy gone(&fixture.server, &V2_Server::onClientDisconnected);
    const QString big(20000, QLatin1Char('w'));
    int published = 0;
    for (; published < 400 && gone.count() == 0; ++published) {
        V2_Data tree(QStringLiteral("ROOT"));
        tree.setRoot(true);
        V2_Data* weather = tree.getOrCreateDataPointer(QStringLiteral("weather"));
        weather->insertData(QStringLiteral("n"), published);
        weather->insertData(QStringLiteral("blob"), big);
        fixture.server.sendV2Data(&tree);
        QTest::qWait(5);
    }
    QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 10000);
    QCOMPARE(fixture.server.clientsConnected(), 1);
    // The reading client got every update, in order.
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), published, 10000);
    QCOMPARE(reader->getCurrentData()->getInt(QStringLiteral("weather.n")), published - 1);
}

void TestV2Server::strangerFloodingWithoutReadingIsDropped()
{
    Fixture fixture(true);
    // Bad lines answered one by one, never read: each answer is many times
    // the line it answers.
    QSslSocket stranger;
    stranger.setPeerVerifyMode(QSslSocket::VerifyNone);
    stranger.connectToHostEncrypted(QStringLiteral("127.0.0.1"), fixture.port);
    QTRY_VERIFY(stranger.isEncrypted());
    stranger.setReadBufferSize(1024);
    QSignalSpy gone(&fixture.server, &V2_Server::onClientDisconnected);
    const QByteArray block = QByteArray("x\r\n").repeated(20000);
    qint64 written = 0;
    // Half of what a logged-in reader may leave unread (64 MB): what the
    // stranger writes may wait in the system's socket buffers while a slow
    // server (a sanitizer build) reads, but never in the server.
    const qint64 most = 32 * 1024 * 1024;
    QElapsedTimer clock;
    clock.start();
    while (gone.count() == 0 && written < most && clock.elapsed() < 15000) {
        if (stranger.bytesToWrite() + stranger.encryptedBytesToWrite() < 256 * 1024) {
            stranger.write(block);
            written += block.size();
        }
        QTest::qWait(2);
    }
    // Dropped once its unread answers pass the small cap of a stranger,
    // long before its lines could bring the server's memory anywhere near
    // the cap of a logged-in reader.
    QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 3000);
    QVERIFY2(written < most, qPrintable(QString::number(written)));
    QCOMPARE(fixture.server.clientsConnected(), 0);
}

QTEST_GUILESS_MAIN(TestV2Server)
#include "tst_v2server.moc"
