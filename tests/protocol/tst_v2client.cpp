#include "NumberLiterals.h"
#include "SampleLines.h"
#include "ScriptedLink.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QJsonDocument>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QByteArray*)

namespace {

using Link = ScriptedLink;

QSet<QString> keysOf(const QSignalSpy& spy)
{
    return spy.last().at(0).value<QSet<QString>>();
}

QSet<QString> setOf(const QStringList& list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

// Opens the key computation of the client to the tests.
class KeysClient final : public V2_Client
{
public:
    KeysClient()
        : V2_Client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1"), 1, {}, {}, QStringLiteral("127.0.0.1"))
    {
    }
    void keysOf(V2_Data* rx, V2_Data* current, QSet<QString>& keys) { addKeysUpdated(rx, current, keys); }
};

V2_Data* rootFrom(const QByteArray& line, V2_Data* deleted)
{
    V2_message message;
    message.parseMessage(line);
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    root->fromRapidJson(*message.rapidJsonDocument(), deleted);
    return root;
}

void nodePaths(const V2_Data* node, const QString& path, QStringList& out)
{
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        if (const V2_Data* child = V2_Data::nodeOf(it.value())) {
            const QString childPath = path.isEmpty() ? it.key() : path + QLatin1Char('.') + it.key();
            out.append(childPath);
            nodePaths(child, childPath, out);
        }
    }
}

} // namespace

class TestV2Client final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loginRequestAndReply_data();
    void loginRequestAndReply();
    void pinging_data();
    void pinging();
    void acknowledgementsKeepTheConnection();
    void silenceDisconnectsAndReconnects();
    void serverCloseKeepsMirrorUntilReconnected();
    void joinAndLeaveBookkeeping();
    void lineSplitAtEveryByte();
    void emptyLinesAreSkipped();
    void firstDataLineBecomesMirror();
    void treeReplacesTheMirror_data();
    void treeReplacesTheMirror();
    void updatedKeys_data();
    void updatedKeys();
    void keyQueries();
    void lineReadInPlaceMatchesItsTree_data();
    void lineReadInPlaceMatchesItsTree();
    void badLinesAreAnswered_data();
    void badLinesAreAnswered();
    void numberLiterals();
    void commandsRepliesAndErrors();
    void commandIds();
    void overlongLine_data();
    void overlongLine();
    void unreachableServerKeepsTrying();
    void tlsErrorsLoggedOncePerConnection();
    void floodOfBadLinesIsNotLogged();
};

void TestV2Client::initTestCase()
{
    qRegisterMetaType<QSet<QString>>();
    qRegisterMetaType<V2_Data*>();
    qRegisterMetaType<QByteArray*>();
}

void TestV2Client::loginRequestAndReply_data()
{
    QTest::addColumn<bool>("tls");
    QTest::newRow("tls") << true;
    QTest::newRow("plain tcp") << false;
}

void TestV2Client::loginRequestAndReply()
{
    QFETCH(bool, tls);
    Link link(tls);
    QSignalSpy connected(&link.client, &V2_Client::onConnected);
    QSignalSpy done(&link.client, &V2_Client::onLoginDone);

    link.client.setActive(true);
    QVERIFY(link.server.waitForClient());
    QCOMPARE(link.server.nextLine(),
             QByteArray(R"(LOGIN:::{"app":"Lanterra","app_ver":"2.3.19","password":"pw","protocol":"V2","protocol_ver":"2.0","user":"user"})"));
    QCOMPARE(connected.count(), 1);
    QVERIFY(!link.client.loginActive());

    link.server.sendLine(V2_message::loginReplyLine(QString(), QStringLiteral("Timing"), QStringLiteral("2.1.3"), QStringLiteral("2.0.0"), 7, 40));
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(link.client.loginActive());
    QCOMPARE(QStringList({link.client.serverName(), link.client.serverVersion(), link.client.serverMinVersion()}), QStringList({"Timing", "2.1.3", "2.0.0"}));
    QCOMPARE(link.client.pingRate(), 7);
    QCOMPARE(link.client.timeout(), 40);

    // doLogin sends the same request again.
    link.client.doLogin();
    QVERIFY(link.server.nextLine().startsWith("LOGIN:::{"));
}


void TestV2Client::pinging_data()
{
    QTest::addColumn<bool>("withPingRate");
    QTest::addColumn<int>("expectedRate");
    QTest::newRow("rate of one second") << true << 1;
    QTest::newRow("reply without pingRate") << false << 0;
}

void TestV2Client::pinging()
{
    QFETCH(bool, withPingRate);
    QFETCH(int, expectedRate);
    Link link(true);
    QVERIFY(link.login(1, 0, withPingRate));
    QCOMPARE(link.client.pingRate(), expectedRate);
    if (expectedRate > 0) {
        QCOMPARE(link.server.nextLine(1800), QByteArray("PING:::"));
        QCOMPARE(link.server.nextLine(1800), QByteArray("PING:::"));
    } else {
        QVERIFY(link.server.silentFor(2200));
    }
}

void TestV2Client::acknowledgementsKeepTheConnection()
{
    Link link(true);
    QSignalSpy disconnected(&link.client, &V2_Client::onDisconnected);
    QVERIFY(link.login(1, 2));
    QElapsedTimer clock;
    clock.start();
    int pings = 0;
    while (clock.elapsed() < 5000) {
        const QByteArray line = link.server.nextLine(1500);
        QCOMPARE(line, QByteArray("PING:::"));
        link.server.sendLine(V2_message::ackLine(QString()));
        ++pings;
    }
    QVERIFY(pings >= 4);
    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(link.server.accepted(), 1);
}

void TestV2Client::silenceDisconnectsAndReconnects()
{
    Link link(false);
    QSignalSpy disconnected(&link.client, &V2_Client::onDisconnected);
    QVERIFY(link.login(0, 1));
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 6000);
    QVERIFY(!link.client.loginActive());
    QVERIFY(link.server.waitForClient(5000));
    QVERIFY(!link.server.nextLineStartingWith("LOGIN:").isEmpty());
    QCOMPARE(link.server.accepted(), 2);
}

void TestV2Client::serverCloseKeepsMirrorUntilReconnected()
{
    Link link(true);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QSignalSpy disconnected(&link.client, &V2_Client::onDisconnected);
    QVERIFY(link.login());
    const quint64 rxAtLogin = link.client.getConnectionRx();
    QVERIFY(rxAtLogin > 0);
    const QByteArray line = R"(JSON:1::{"weather":{"airTemp":21.5}})";
    link.server.send(line + "\r\n");
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(link.client.getCurrentData()->getDouble(QStringLiteral("weather.airTemp")), 21.5);
    QCOMPARE(link.client.getConnectionRx(), rxAtLogin + quint64(line.size()));

    // The mirror stays (shown stale) until the next connection's first data line replaces it.
    link.server.closeClient();
    QTRY_COMPARE(disconnected.count(), 1);
    QCOMPARE(link.client.getCurrentData()->getDouble(QStringLiteral("weather.airTemp")), 21.5);
    QCOMPARE(link.client.getConnectionRx(), quint64(0));
    QVERIFY(link.client.getTotalRx() > quint64(line.size()));
    QVERIFY(link.server.waitForClient(5000));
    QVERIFY(!link.server.acceptLogin().isEmpty());
    link.server.sendLine(QStringLiteral(R"(JSON:1::{"signalling":{"pitEntry":1}})"));
    QTRY_COMPARE(changes.count(), 2);
    QCOMPARE(changes.last().at(0).value<QSet<QString>>(), QSet<QString>({QStringLiteral("signalling"), QStringLiteral("weather")}));
    QCOMPARE(link.client.getCurrentData()->datas()->keys(), QStringList({QStringLiteral("signalling")}));
}

void TestV2Client::joinAndLeaveBookkeeping()
{
    Link link(true);
    QSignalSpy joined(&link.client, &V2_Client::onChannelJoin);
    QSignalSpy left(&link.client, &V2_Client::onChannelLeave);
    QVERIFY(link.login());

    link.client.joinChannel(QStringLiteral("weather"), QStringLiteral("1"));
    link.client.leaveChannel(QStringLiteral("weather"), QStringLiteral("2"));
    QCOMPARE(link.server.nextLine(), QByteArray("JOIN:1:weather:"));
    QCOMPARE(link.server.nextLine(), QByteArray("LEAVE:2:weather:"));

    link.server.sendLine(QStringLiteral("JOIN:1+:weather:"));
    link.server.sendLine(QStringLiteral("JOIN:3+:timing.session:"));
    link.server.sendLine(QStringLiteral("JOIN:4+:weather:"));
    QTRY_COMPARE(joined.count(), 3);
    QCOMPARE(link.client.joinedChannels(), QStringList({"weather", "timing.session", "weather"}));

    link.server.sendLine(QStringLiteral("LEAVE:2+:weather:"));
    link.server.sendLine(QStringLiteral("LEAVE:5+:never.joined:"));
    QTRY_COMPARE(left.count(), 2);
    QCOMPARE(left.at(1).at(0).toString(), QStringLiteral("never.joined"));
    QCOMPARE(link.client.joinedChannels(), QStringList({"timing.session", "weather"}));
}

void TestV2Client::lineSplitAtEveryByte()
{
    Link link(true);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QSignalSpy logged(&link.client, &V2_Client::receivedDataLog);
    QByteArray lastLogged;
    connect(&link.client, &V2_Client::receivedDataLog, this, [&lastLogged](QByteArray* line) { lastLogged = *line; });
    QVERIFY(link.login());

    const QByteArray first = R"(JSON:0::{"s":{"n":0}})";
    link.server.send(first + "\r\n");
    QTRY_COMPARE(changes.count(), 1);
    const QByteArray sample = R"(JSON:1::{"s":{"n":100,"t":"a b"}})";
    const int size = sample.size() + 2;
    for (int cut = 1; cut < size; ++cut) {
        QByteArray line = sample;
        line.replace("100", QByteArray::number(100 + cut));
        link.server.sendInPieces(line + "\r\n", {cut});
        QTRY_COMPARE(changes.count(), cut + 1);
        QCOMPARE(link.client.getCurrentData()->getInt(QStringLiteral("s.n")), 100 + cut);
        QCOMPARE(lastLogged, line);
    }
    QCOMPARE(logged.count(), size + 1); // with the login reply
    QVERIFY(link.server.silentFor(50));
}

void TestV2Client::emptyLinesAreSkipped()
{
    Link link(false);
    QSignalSpy logged(&link.client, &V2_Client::receivedDataLog);
    QVERIFY(link.login());
    QCOMPARE(logged.count(), 1); // the login reply
    link.server.send("JSON:1::{\"a\":1}\r\n\r\n\n\r\r\nJSON:2::{\"a\":2}\r\n\r\n");
    QTRY_COMPARE(logged.count(), 3);
    QVERIFY(link.server.silentFor(100));
    QCOMPARE(logged.count(), 3);
}

void TestV2Client::firstDataLineBecomesMirror()
{
    Link link(true);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QVERIFY(link.login());
    link.server.sendLine(QStringLiteral(R"(JSON:1::{"timing":{"session":{"info":{"name":"Race"}}},"weather":{"airTemp":20}})"));
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(keysOf(changes), setOf({"timing", "weather"}));
    QCOMPARE(link.client.getCurrentData()->getString(QStringLiteral("timing.session.info.name")), QStringLiteral("Race"));
    QVERIFY(link.client.getCurrentData()->isRoot());
    // The line's own tree became the mirror; the empty one took its place.
    QVERIFY(link.client.getRxData()->datas()->isEmpty());
}

// A replayed snapshot handed over whole: it becomes the mirror as it
// stands, and the top-level keys of the old and the new mirror are announced.
void TestV2Client::treeReplacesTheMirror_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("into an empty mirror") << QByteArray() << QStringList({"timing", "tyres"});
    QTest::newRow("into a filled mirror") << QByteArray(R"(JSON:1::{"timing":{"session":{"info":{"name":"Race","laps":3}}},"weather":{"airTemp":20}})")
                                          << QStringList({"timing", "tyres", "weather"});
}

void TestV2Client::treeReplacesTheMirror()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, keys);
    const QByteArray line = R"(JSON:2::{"timing":{"session":{"info":{"name":"Sprint"},"details":{"ignorePath":true,"7":{"lap":3}}}},"tyres":{"n":[1,2]}})";
    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1"), 1, {}, {}, QStringLiteral("127.0.0.1"));
    if (!before.isEmpty())
        client.receiveBytes(before + '\n');
    QSignalSpy changes(&client, &V2_Client::onChannelChange);
    V2_message message;
    QVERIFY(message.parseMessage(line));
    auto* tree = new V2_Data(QStringLiteral("ROOT"));
    tree->fromRapidJson(*message.rapidJsonDocument(), nullptr);
    const V2_Data expected(tree);
    client.replaceTree(tree);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(keysOf(changes), QSet<QString>(keys.cbegin(), keys.cend()));
    QCOMPARE(client.getCurrentData(), tree);
    QVERIFY(client.getCurrentData()->equals(&expected) && client.getCurrentData()->isRoot());
    QVERIFY(client.getRxData()->datas()->isEmpty() && client.getDeletedData()->datas()->isEmpty());
    const V2_Data* details = client.getCurrentData()->getV2_Data(QStringLiteral("timing.session.details.7"));
    QCOMPARE(details->getCalculatedPath(), QStringLiteral("timing.session.details"));
}

void TestV2Client::updatedKeys_data()
{
    QTest::addColumn<QString>("update");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("deletedPath");

    const QString info = QStringLiteral("timing.session.info");
    QTest::newRow("changed scalar inside a node") << R"({"timing":{"session":{"info":{"name":"Sprint"}}}})" << QStringList({info + ".name", info}) << "";
    QTest::newRow("node and scalar side by side") << R"({"timing":{"session":{"info":{"name":"X","extra":{"a":1}}}}})"
                                                  << QStringList({info + ".name", info + ".extra"}) << "";
    QTest::newRow("node unknown to the mirror") << R"({"timing":{"session":{"status":{"flag":"GREEN","laps":{"a":1}}}}})"
                                                << QStringList({"timing.session.status"}) << "";
    QTest::newRow("deletion inside a node") << R"({"timing":{"session":{"info":{"type":null}}}})" << QStringList({info}) << info + ".type";
    QTest::newRow("top-level deletion only") << R"({"weather":null})" << QStringList() << "weather";
    QTest::newRow("rows under ignorePath name fields") << R"({"timing":{"details":{"ignorePath":true,"7":{"lap":3},"8":{"lap":4}}}})"
                                                       << QStringList({"timing.details.lap", "timing.details", "timing.details.8"}) << "";
    QTest::newRow("rows with different fields") << R"({"timing":{"details":{"ignorePath":true,"7":{"lap":3,"s":1},"9":{"pit":1,"s":2}}}})"
                                                << QStringList({"timing.details.lap", "timing.details.pit", "timing.details.s", "timing.details"}) << "";
    QTest::newRow("new top-level key") << R"({"tyres":{"7":{"c":"SOFT"}}})" << QStringList({"tyres"}) << "";
}

void TestV2Client::updatedKeys()
{
    QFETCH(QString, update);
    QFETCH(QStringList, keys);
    QFETCH(QString, deletedPath);

    Link link(false);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QVERIFY(link.login());
    link.server.sendLine(QStringLiteral(R"(JSON:1::{"timing":{"session":{"info":{"name":"Race","type":"RACE"}},"details":{"ignorePath":true,"7":{"lap":1},"9":{"pit":0}}},"weather":{"airTemp":20}})"));
    QTRY_COMPARE(changes.count(), 1);

    link.server.sendLine(QStringLiteral("JSON:2::") + update);
    QTRY_COMPARE(changes.count(), 2);
    QCOMPARE(keysOf(changes), setOf(keys));
    QCOMPARE(link.client.keysUpdated(), setOf(keys));
    V2_Data* deleted = link.client.getDeletedData();
    if (deletedPath.isEmpty()) {
        QVERIFY(deleted->isEmpty());
    } else {
        QVERIFY(deleted->isDeleted(deletedPath));
        QCOMPARE(link.client.getCurrentData()->getString(deletedPath, QStringLiteral("gone")), QStringLiteral("gone"));
    }
    // The mirror holds the merge of both lines.
    V2_Data expected(QStringLiteral("ROOT"));
    expected.setRoot(true);
    for (const QString& line : {QStringLiteral(R"({"timing":{"session":{"info":{"name":"Race","type":"RACE"}},"details":{"ignorePath":true,"7":{"lap":1},"9":{"pit":0}}},"weather":{"airTemp":20}})"), update}) {
        V2_message message(QStringLiteral("JSON:1::") + line);
        expected.fromRapidJson(*message.rapidJsonDocument(), nullptr);
    }
    QVERIFY2(link.client.getCurrentData()->equals(&expected),
             qPrintable(link.client.getCurrentData()->getJsonString(true) + QStringLiteral(" != ") + expected.getJsonString(true)));
}

void TestV2Client::keyQueries()
{
    Link link(false);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QVERIFY(!link.client.keysUpdatedChildChanges(QString()));
    QVERIFY(link.login());
    link.server.sendLine(QStringLiteral(R"(JSON:1::{"timing":{"session":{"info":{"name":"Race"}}}})"));
    link.server.sendLine(QStringLiteral(R"(JSON:2::{"timing":{"session":{"info":{"name":"Sprint"}}}})"));
    QTRY_COMPARE(changes.count(), 2);
    QVERIFY(link.client.keysUpdatedChildChanges(QStringLiteral("timing.session")));
    QVERIFY(!link.client.keysUpdatedChildChanges(QStringLiteral("weather")));
    QVERIFY(link.client.keysUpdatedParentChanges(QStringLiteral("timing.session.info.name.first")));
    QVERIFY(!link.client.keysUpdatedParentChanges(QStringLiteral("timing.session")));
    QVERIFY(link.client.keysUpdatedMiddleChanges(QStringLiteral("timing."), QStringLiteral(".name")));
    QVERIFY(!link.client.keysUpdatedMiddleChanges(QStringLiteral("timing."), QStringLiteral(".type")));
    QVERIFY(!link.client.keysUpdatedChildChanges(QStringLiteral("Timing")));
}

// A data line into a filled mirror is read from its document, its tree built
// only when asked for: keys, deletions, mirror, tree and the tree's node keys
// are those of building the tree first and walking it.
void TestV2Client::lineReadInPlaceMatchesItsTree_data()
{
    QTest::addColumn<QByteArray>("mirror");
    QTest::addColumn<QByteArray>("line");
    // Lines that are not plain are merged the long way round: their keys
    // are written out here rather than compared with that same walk.
    QTest::addColumn<bool>("plain");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("standings") << SampleLines::standings(60, 0) << SampleLines::standings(60, 1) << true << QStringList();
    QTest::newRow("participant") << SampleLines::participantDetails(0) << SampleLines::participantDetails(1) << true << QStringList();
    QTest::newRow("lap") << SampleLines::analysisLap(0) << SampleLines::analysisLap(1) << true << QStringList();
    const QByteArray mirror = R"(JSON:1::{"a":{"b":1,"x":{"y":2}},"d":{"7":{"lap":1},"ignorePath":true},"z":3})";
    struct Row {
        const char* name;
        QByteArray line;
        bool plain;
        QStringList keys;
    };
    const QList<Row> lines = {
        {"deletions below a row the mirror lacks", R"({"d":{"8":{"n":{"p":null,"q":{"r":null,"s":1}}}}})", true, {}},
        {"flag kept by the mirror only", R"({"d":{"7":{"lap":2,"pit":null}}})", true, {}},
        {"flag holding a node", R"({"d":{"7":{"lap":2},"ignorePath":{"x":1}}})", true, {}},
        {"top-level deletion beside a scalar", R"({"a":null,"z":4})", true, {}},
        {"every key deleted", R"({"a":null,"d":null,"z":null})", true, {}},
        {"only the flag", R"({"ignorePath":true})", true, {}},
        {"empty node", R"({"a":{"e":{}}})", true, {}},
        {"scalar turned node", R"({"a":{"b":{"c":2}}})", true, {}},
        {"node turned scalar", R"({"a":{"x":5}})", true, {}},
        {"key with a dot", R"({"a":{"b.c":{"d":1}}})", true, {}},
        {"keys out of order", R"({"z":1,"a":{"x":null}})", false, {"a", "z"}},
        {"array", R"({"a":{"l":[1,null,{"x":null}]}})", false, {"a.l"}},
        {"key not ASCII", "{\"a\":{\"\xc3\xa9\":1}}", false, {"a", "a.\xc3\xa9"}},
        {"key twice", R"({"a":{"x":1,"x":null}})", false, {"a"}},
    };
    for (const Row& row : lines)
        QTest::newRow(row.name) << mirror << QByteArray("JSON:2::" + row.line) << row.plain << row.keys;
}

void TestV2Client::lineReadInPlaceMatchesItsTree()
{
    QFETCH(QByteArray, mirror);
    QFETCH(QByteArray, line);
    QFETCH(bool, plain);
    QFETCH(QStringList, keys);
    KeysClient client;
    client.receiveBytes(mirror + '\n');
    QSignalSpy changes(&client, &V2_Client::onChannelChange);
    client.receiveBytes(line + '\n');
    QCOMPARE(changes.count(), 1);
    QCOMPARE(client.lineReadFromDocument(), plain);
    if (!plain)
        QCOMPARE(keysOf(changes), setOf(keys));

    // Built the long way round.
    std::unique_ptr<V2_Data> current(rootFrom(mirror, nullptr));
    V2_Data deleted(QStringLiteral("ROOT"));
    deleted.setRoot(true);
    std::unique_ptr<V2_Data> rx(rootFrom(line, &deleted));
    QSet<QString> walked;
    client.keysOf(rx.get(), current.get(), walked);
    V2_message message;
    message.parseMessage(line);
    current->fromRapidJson(*message.rapidJsonDocument(), &deleted);
    if (walked.isEmpty()) {
        if (current->isEmpty())
            walked = setOf(rx->datas()->keys());
        else
            client.keysOf(rx.get(), current.get(), walked);
    }

    if (plain)
        QCOMPARE(keysOf(changes), walked);
    QVERIFY2(client.getDeletedData()->equals(&deleted), qPrintable(client.getDeletedData()->getJsonString(true) + " != " + deleted.getJsonString(true)));
    QVERIFY(client.getCurrentData()->equals(current.get()));
    // Read before the tree exists, then from the tree.
    QStringList paths = {QString(), QStringLiteral("missing"), QStringLiteral("a.missing"), QStringLiteral("z"), QStringLiteral("d.7.lap")};
    nodePaths(rx.get(), QString(), paths);
    for (int round = 0; round < 2; ++round) {
        for (const QString& path : qAsConst(paths)) {
            const V2_Data* node = rx->getV2_Data(path);
            QCOMPARE(client.rxHasNode(path), node != nullptr);
            QCOMPARE(client.rxKeys(path), node ? node->datas()->keys() : QStringList());
        }
        QVERIFY(client.getRxData()->equals(rx.get()));
    }
}

void TestV2Client::badLinesAreAnswered_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("bad json") << QByteArray("JSON:1::{oops") << QByteArray(R"(ERROR:1::{"reason":"Error parsing message JSON"})");
    QTest::newRow("server ping") << QByteArray("PING:4::") << QByteArray(R"(ERROR:4::{"reason":"Unknown command"})");
    QTest::newRow("time request") << QByteArray("TIME:5:c:") << QByteArray(R"(ERROR:5:c:{"reason":"Unknown command"})");
    QTest::newRow("unknown word") << QByteArray("FOO:1:x:") << QByteArray(R"(ERROR:::{"reason":"Command not valid"})");
    QTest::newRow("too few fields") << QByteArray("JSON:1") << QByteArray(R"(ERROR:::{"reason":"Wrong number of parameters"})");
    QTest::newRow("binary noise") << QByteArray("\x01\x02\xff\xfe") << QByteArray(R"(ERROR:::{"reason":"Wrong number of parameters"})");
    QTest::newRow("hostile nesting") << "JSON:9::{\"a\":" + QByteArray(100000, '[') << QByteArray(R"(ERROR:9::{"reason":"Error parsing message JSON"})");
}

void TestV2Client::badLinesAreAnswered()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, answer);
    Link link(true);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QVERIFY(link.login());
    link.server.send(line + "\r\n");
    QCOMPARE(link.server.nextLine(), answer);
    // The connection stays and goes on working.
    link.server.sendLine(QStringLiteral(R"(JSON:2::{"a":1})"));
    QTRY_COMPARE(changes.count(), 1);
    QCOMPARE(link.server.accepted(), 1);
}

// Each literal of the table in its own data line: one past the range of a
// double is refused as a whole, one within it reaches the mirror unchanged.
void TestV2Client::numberLiterals()
{
    Link link(true);
    QVERIFY(link.login());
    int counter = 10;
    for (const NumberLiteral& literal : numberLiteralTable()) {
        const QByteArray id = QByteArray::number(++counter);
        link.server.send("JSON:" + id + "::{\"n\":{\"v" + id + "\":" + literal.text + "}}\r\n");
        if (!literal.fits) {
            QVERIFY2(link.server.nextLine() == "ERROR:" + id + R"(::{"reason":"Error parsing message JSON"})", literal.name);
            continue;
        }
        const QString key = QStringLiteral("v") + QString::fromLatin1(id);
        auto value = [&] {
            const V2_Data* node = link.client.getCurrentData()->getV2_Data(QStringLiteral("n"));
            return node ? node->datas()->value(key) : nullptr;
        };
        QTRY_VERIFY2(value(), literal.name);
        const QVariant read = *value();
        QVERIFY2(read.userType() == literal.value.userType() && read == literal.value, literal.name);
    }
}

void TestV2Client::commandsRepliesAndErrors()
{
    Link link(true);
    QSignalSpy commands(&link.client, &V2_Client::cmdPackageReceived);
    QSignalSpy replies(&link.client, &V2_Client::cmdReplyReceived);
    QSignalSpy errors(&link.client, &V2_Client::errorReceived);
    QVERIFY(link.login());

    link.server.sendLine(QStringLiteral(R"(CMD:c1:control:{"name":"reset","data":"{\n    \"all\": true\n}\n","opts":{"n":2}})"));
    link.server.sendLine(QStringLiteral(R"(REPLY:r1:control:{"ok":true})"));
    const QString error = QStringLiteral(R"(ERROR:3:weather:{"reason":"Unknown channel"})");
    link.server.sendLine(error);
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(commands.count(), 1);
    QCOMPARE(replies.count(), 1);

    QCOMPARE(commands.at(0).at(0).toString(), QStringLiteral("c1"));
    QCOMPARE(commands.at(0).at(1).toString(), QStringLiteral("control"));
    std::unique_ptr<V2_Data> tree(commands.at(0).at(2).value<V2_Data*>());
    QVERIFY(tree);
    QCOMPARE(tree->getString(QStringLiteral("name")), QStringLiteral("reset"));
    QCOMPARE(tree->getInt(QStringLiteral("opts.n")), 2);

    QCOMPARE(replies.at(0).at(0).toString(), QStringLiteral("r1"));
    QCOMPARE(replies.at(0).at(2).toString(), QStringLiteral(R"({"ok":true})"));
    QCOMPARE(errors.at(0).at(0).toString(), error);
    QVERIFY(link.server.silentFor(50));
}

void TestV2Client::commandIds()
{
    Link link(false);
    QVERIFY(link.login());
    const QString raw = link.client.sendCommand(QStringLiteral(R"({"x":1})"), QStringLiteral("c"));
    const QString first = link.client.sendCommand(QStringLiteral("text"), QStringLiteral("c"), QStringLiteral("n"));
    QJsonObject data;
    data.insert(QStringLiteral("k"), 1);
    const QString second = link.client.sendCommand(&data, QStringLiteral("c"), QStringLiteral("n"));
    QCOMPARE(first, raw); // the raw form does not renew the id
    QVERIFY(second != first);
    QVERIFY(!QUuid(first).isNull());
    QVERIFY(!first.startsWith(QLatin1Char('{')));

    QCOMPARE(link.server.nextLine(), QStringLiteral(R"(CMD:%1:c:{"x":1})").arg(raw).toUtf8());
    QCOMPARE(link.server.nextLine(), QStringLiteral(R"(CMD:%1:c:{"data":"text","name":"n"})").arg(first).toUtf8());
    V2_message named(QString::fromUtf8(link.server.nextLine()));
    QCOMPARE(named.id(), second);
    QCOMPARE(QJsonDocument::fromJson(named.jsonParams()->value(QStringLiteral("data")).toString().toUtf8()).object(), data);

    link.client.sendCommandReply(&data, QStringLiteral("r9"), QStringLiteral("c"), QStringLiteral("n"));
    V2_message reply(QString::fromUtf8(link.server.nextLine()));
    QCOMPARE(reply.command(), QStringLiteral("REPLY"));
    QCOMPARE(reply.id(), QStringLiteral("r9"));
    link.client.sendMessage(&data, QStringLiteral("m1"), QStringLiteral("c"), QStringLiteral("n"));
    V2_message message(QString::fromUtf8(link.server.nextLine()));
    QCOMPARE(message.command(), QStringLiteral("JSON"));
    QCOMPARE(message.jsonParams()->value(QStringLiteral("name")).toString(), QStringLiteral("n"));
}

void TestV2Client::overlongLine_data()
{
    QTest::addColumn<int>("extra");
    QTest::newRow("exactly at the limit") << 0;
    QTest::newRow("one byte past") << 1;
}

void TestV2Client::overlongLine()
{
    QFETCH(int, extra);
    Link link(true);
    link.client.setMaxLineBytes(4096);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QSignalSpy errors(&link.client, &V2_Client::errorReceived);
    QSignalSpy disconnected(&link.client, &V2_Client::onDisconnected);
    QVERIFY(link.login());

    const QByteArray head = R"(JSON:1::{"pic":")";
    const QByteArray tail = R"("})";
    const QByteArray line = head + QByteArray(4096 + extra - head.size() - tail.size(), 'A') + tail;
    link.server.sendInPieces(line + "\r\n", {1000, 3000, 4000});
    if (extra == 0) {
        QTRY_COMPARE(changes.count(), 1);
        QCOMPARE(link.client.getCurrentData()->getString(QStringLiteral("pic")).size(), 4096 - head.size() - tail.size());
        QCOMPARE(disconnected.count(), 0);
        return;
    }
    QTRY_COMPARE(disconnected.count(), 1);
    QCOMPARE(errors.count(), 1);
    QVERIFY(errors.at(0).at(0).toString().contains(QStringLiteral("longer than 4096 bytes")));
    QCOMPARE(changes.count(), 0);
    // The normal reconnect follows.
    QVERIFY(link.server.waitForClient(5000));
    QVERIFY(!link.server.acceptLogin().isEmpty());
}

void TestV2Client::unreachableServerKeepsTrying()
{
    Link link(false);
    link.server.close(); // nothing listens on the port any more
    QSignalSpy errors(&link.client, &V2_Client::errorReceived);
    QSignalSpy disconnected(&link.client, &V2_Client::onDisconnected);
    link.client.setActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() >= 2, 6000);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("Client socket error"));
    QVERIFY(disconnected.count() >= 2);
    QVERIFY(!link.client.connectionActive());

    // Switched off, it stops trying.
    link.client.setActive(false);
    const int tries = errors.count();
    QTest::qWait(2500);
    QCOMPARE(errors.count(), tries);
}

namespace {
QStringList g_debugLines;
void captureDebug(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_debugLines.append(text);
}
} // namespace

void TestV2Client::tlsErrorsLoggedOncePerConnection()
{
    Link link(true);
    g_debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
    const bool loggedIn = link.login();
    const QStringList first = g_debugLines.filter(QStringLiteral("Ignoring TLS error"));
    link.server.closeClient();
    const bool again = link.server.waitForClient(5000) && !link.server.acceptLogin().isEmpty();
    qInstallMessageHandler(previous);
    QVERIFY(loggedIn && again);

    QVERIFY(!first.isEmpty());
    QCOMPARE(setOf(first).size(), first.size());
    // The self-signed test pair is accepted, and said so again on the next connection.
    QVERIFY(first.join(QLatin1Char(' ')).contains(QStringLiteral("self-signed")));
    QCOMPARE(g_debugLines.filter(QStringLiteral("Ignoring TLS error")).size(), 2 * first.size());
}

void TestV2Client::floodOfBadLinesIsNotLogged()
{
    Link link(false);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QVERIFY(link.login());
    g_debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureDebug);
    QByteArray flood;
    for (int i = 0; i < 5000; ++i)
        flood += "JSON:" + QByteArray::number(i) + "::{oops\r\n";
    QElapsedTimer clock;
    clock.start();
    link.server.send(flood);
    // Every bad line is still answered...
    QByteArray last;
    for (int i = 0; i < 5000; ++i)
        last = link.server.nextLine();
    const qint64 elapsed = clock.elapsed();
    qInstallMessageHandler(previous);
    QCOMPARE(last, QByteArray(R"(ERROR:4999::{"reason":"Error parsing message JSON"})"));
    // ...but only a few a second reach the log.
    const int logged = g_debugLines.filter(QStringLiteral("NO VALID")).size() + g_debugLines.filter(QStringLiteral("JSON parse error")).size();
    QVERIFY2(logged <= 2 * 22 * (elapsed / 1000 + 1), qPrintable(QString::number(logged)));
    QVERIFY(g_debugLines.join(QLatin1Char(' ')).contains(QStringLiteral("more lines not logged")) || elapsed < 1000);
    link.server.sendLine(QStringLiteral(R"(JSON:1::{"a":1})"));
    QTRY_COMPARE(changes.count(), 1);
}

QTEST_GUILESS_MAIN(TestV2Client)
#include "tst_v2client.moc"
