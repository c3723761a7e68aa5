#include "AppSettings.h"
#include "CertificateTrust.h"
#include "ConnectionWatch.h"
#include "RelayNotice.h"
#include "RecordingPlayer.h"
#include "RecordingWriter.h"
#include "ScriptedLink.h"
#include "ScriptedServer.h"
#include "ServerFixture.h"
#include "SessionClock.h"
#include "TestSettings.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QFile>
#include <QPair>
#include <QSslConfiguration>
#include <QVector>
#include <QtTest>

#include <functional>

namespace {

qint64 g_now = Q_INT64_C(1767268800000);
qint64 testClock()
{
    return g_now;
}

using Link = ScriptedLink;

} // namespace

class TestConnectionTrust final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void trustOnFirstUse();
    void staleMark();
    void nothingStaleSurvivesAReconnect();
    void onlyReceivedLinesAreData();
    void attemptBelongsToItsServer_data();
    void attemptBelongsToItsServer();
    void settersEndTheAttempt();
    void attemptEndedOnItsStateChange();
    void hostSpellings_data();
    void hostSpellings();
    void otherSpellingOfAPinnedServer();
    void addressPinnedUnderAnotherName_data();
    void addressPinnedUnderAnotherName();
    void storedAt_data();
    void storedAt();
    void forgetTakesTheSameServerUnderOtherNames();
    void pinsKeptBeforeNormalising();
    void certificatePinning_data();
    void certificatePinning();
    void pinCheckedAfterAnAcceptedHandshake_data();
    void pinCheckedAfterAnAcceptedHandshake();

private:
    TestSettings m_config;
};

void TestConnectionTrust::init()
{
    AppSettings::open()->clear();
    g_now = Q_INT64_C(1767268800000);
    SessionClock::setClock(&testClock);
}

void TestConnectionTrust::cleanup()
{
    SessionClock::setClock(nullptr);
}

void TestConnectionTrust::trustOnFirstUse()
{
    Link link;
    CertificateTrust trust(&link.client);
    QSignalSpy changed(&trust, &CertificateTrust::certificateChanged);
    // First use: connects, and the certificate is stored for this host and port.
    link.client.setActive(true);
    QVERIFY(link.server.waitForClient());
    QVERIFY(link.server.nextLine().startsWith("LOGIN:::"));
    QCOMPARE(CertificateTrust::stored(QStringLiteral("127.0.0.1"), link.client.port()).fingerprint, ScriptedServer::fingerprint(QStringLiteral("test")));
    QCOMPARE(link.client.expectedFingerprint(), ScriptedServer::fingerprint(QStringLiteral("test")));
    // The same certificate again: connects.
    link.server.closeClient();
    QVERIFY(link.server.waitForClient(6000));
    QVERIFY(link.server.nextLine().startsWith("LOGIN:::"));
    // Another certificate: refused before the login line, reported with both fingerprints.
    link.server.usePair(QStringLiteral("other"));
    link.server.closeClient();
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 6000);
    QCOMPARE(changed.first().mid(0, 3), QVariantList({QStringLiteral("127.0.0.1"), link.client.port(), QString()}));
    QCOMPARE(changed.first().at(3).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("test")));
    QCOMPARE(changed.first().at(5).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("other")));
    QVERIFY(changed.first().at(4).toString().contains(QStringLiteral("Lanterra test")));
    QVERIFY(!link.server.waitForClient(300));
    // Trusting it: stored, and the next connection logs in.
    link.client.setActive(false);
    trust.trustRefused();
    link.client.setActive(true);
    QVERIFY(link.server.waitForClient(6000));
    QVERIFY(link.server.nextLine().startsWith("LOGIN:::"));
    QCOMPARE(CertificateTrust::stored(QStringLiteral("127.0.0.1"), link.client.port()).fingerprint, ScriptedServer::fingerprint(QStringLiteral("other")));
    // Forgotten: nothing is expected any more.
    CertificateTrust::forget(QStringLiteral("127.0.0.1"), link.client.port());
    trust.prepare();
    QVERIFY(link.client.expectedFingerprint().isEmpty());
}

void TestConnectionTrust::staleMark()
{
    V2_Client client(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("V2"), QStringLiteral("2.0"), 1, QString(), QString(),
                     QStringLiteral("127.0.0.1"));
    ConnectionWatch watch(&client);
    QSignalSpy stale(&watch, &ConnectionWatch::staleChanged);
    QSignalSpy texts(&watch, &ConnectionWatch::staleTextChanged);
    // A drop before any data: nothing shown, nothing stale.
    emit client.onDisconnected();
    QCOMPARE(stale.count(), 0);
    emit client.dataReceived();
    g_now += 3000;
    emit client.onDisconnected();
    QCOMPARE(stale.count(), 1);
    QVERIFY(watch.isStale());
    QCOMPARE(texts.last().at(0).toString(), QStringLiteral("Connection lost — last data 00:03 ago"));
    // The age counts.
    g_now += 9000;
    QTRY_COMPARE_WITH_TIMEOUT(texts.last().at(0).toString(), QStringLiteral("Connection lost — last data 00:12 ago"), 3000);
    // Data after reconnecting: live again.
    emit client.dataReceived();
    QCOMPARE(stale.count(), 2);
    QVERIFY(!watch.isStale());
}

// A drop keeps the last data on screen, stale, until the next connection's
// first data line replaces them whole (what the server dropped meanwhile goes).
void TestConnectionTrust::nothingStaleSurvivesAReconnect()
{
    Link link(false);
    ConnectionWatch watch(&link.client);
    QSignalSpy stale(&watch, &ConnectionWatch::staleChanged);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    QVERIFY(link.login());
    link.server.sendLine(QStringLiteral("JSON:1::{\"signalling\":{\"p\":1},\"weather\":{\"a\":1,\"b\":2}}"));
    QTRY_COMPARE(changes.count(), 1);
    link.server.closeClient();
    QTRY_COMPARE(stale.count(), 1);
    QCOMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.b"), -1), 2);
    // Reconnected and logged in: still the old data, still stale.
    QVERIFY(link.server.waitForClient(6000));
    QVERIFY(!link.server.acceptLogin().isEmpty());
    QVERIFY(link.server.silentFor(100));
    QVERIFY(watch.isStale());
    QCOMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.b"), -1), 2);
    // "b" and the pit lights went on the server meanwhile: the snapshot lacks them.
    link.server.sendLine(QStringLiteral("JSON:1::{\"weather\":{\"a\":3}}"));
    QTRY_COMPARE(changes.count(), 2);
    QCOMPARE(changes.last().at(0).value<QSet<QString>>(), QSet<QString>({QStringLiteral("signalling"), QStringLiteral("weather")}));
    QCOMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.a")), 3);
    QCOMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.b"), -1), -1);
    QVERIFY(!link.client.getCurrentData()->getV2_Data(QStringLiteral("signalling")));
    QCOMPARE(stale.count(), 2);
    QVERIFY(!watch.isStale());
}

// Trees handed over and lines not from the server are no data: after a
// replay the last data are the last ones the server sent.
void TestConnectionTrust::onlyReceivedLinesAreData()
{
    SessionClock::setClock(nullptr);
    const QString path = m_config.filePath(QStringLiteral("old.lrec"));
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc().addDays(-3), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        writer.write(0, R"(JSON:1::{"weather":{"t":1}})");
    }
    Link link(false);
    ConnectionWatch watch(&link.client);
    auto* tree = new V2_Data(QStringLiteral("ROOT"));
    tree->insertData(QStringLiteral("weather"), 1);
    link.client.replaceTree(tree);
    link.client.receiveBytes("JSON:2::{\"weather\":{\"t\":2}}\n");
    QVERIFY(link.login());
    link.server.closeClient();
    QTRY_COMPARE(link.client.socketState(), QAbstractSocket::UnconnectedState);
    QVERIFY(!watch.isStale());
    QVERIFY(link.server.waitForClient(6000));
    QVERIFY(!link.server.acceptLogin().isEmpty());
    link.server.sendLine(QStringLiteral("JSON:3::{\"weather\":{\"t\":3}}"));
    QTRY_COMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.t")), 3);
    // Nor is a relay's notice handed over (a replayed one) this connection's word.
    link.client.receiveBytes(V2_message::errorLine(QStringLiteral("9"), QString(), relayUpstreamLostReason()).toUtf8() + '\n');
    QVERIFY(!watch.isStale());
    // A recording played and closed meanwhile changes nothing of that.
    {
        RecordingPlayer player(&link.client);
        QString error;
        QVERIFY2(player.open(path, &error), qPrintable(error));
        player.close();
    }
    link.server.closeClient();
    QTRY_VERIFY(watch.isStale());
    QCOMPARE(watch.staleText(), QStringLiteral("Connection lost — last data 00:00 ago"));
}

// Naming another server while an attempt is under way: the attempt ends at
// once; the new server gets the new password and its own certificate is
// the one trusted for it.
void TestConnectionTrust::attemptBelongsToItsServer_data()
{
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("stopped, renamed, started") << true;
    QTest::newRow("renamed while active") << false;
}

void TestConnectionTrust::attemptBelongsToItsServer()
{
    QFETCH(bool, stopFirst);
    ScriptedServer old(true);
    ScriptedServer next(true);
    next.usePair(QStringLiteral("other"));
    const quint16 oldPort = old.start();
    V2_Client client(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("V2"), QStringLiteral("2.0"), oldPort,
                     QStringLiteral("old-secret"), QStringLiteral("user"), QStringLiteral("127.0.0.1"));
    CertificateTrust trust(&client);
    QSignalSpy changed(&trust, &CertificateTrust::certificateChanged);
    client.setActive(true);
    QVERIFY(client.socketState() == QAbstractSocket::HostLookupState || client.socketState() == QAbstractSocket::ConnectingState);
    if (stopFirst)
        client.setActive(false);
    const quint16 nextPort = next.start();
    client.setPort(nextPort);
    client.setPassword(QStringLiteral("new-secret"));
    trust.prepare();
    client.setActive(true);
    QVERIFY(!old.waitForClient(300));
    QVERIFY(next.waitForClient());
    QVERIFY(next.nextLine().contains("\"password\":\"new-secret\""));
    QCOMPARE(CertificateTrust::stored(QStringLiteral("127.0.0.1"), nextPort).fingerprint, ScriptedServer::fingerprint(QStringLiteral("other")));
    QVERIFY(CertificateTrust::stored(QStringLiteral("127.0.0.1"), oldPort).fingerprint.isEmpty());
    QCOMPARE(changed.count(), 0);
    client.setActive(false);
}

// Changing what an attempt was started with ends it at once.
void TestConnectionTrust::settersEndTheAttempt()
{
    Link link(true);
    const int port = link.client.port();
    const QVector<QPair<const char*, std::function<void()>>> changes = {
        {"host", [&] { link.client.setHost(QStringLiteral("localhost")); }},
        {"port", [&] { link.client.setPort(1); }},
        {"user name", [&] { link.client.setUsername(QStringLiteral("other")); }},
        {"password", [&] { link.client.setPassword(QStringLiteral("other")); }},
        {"TLS", [&] { link.client.setSsl(false); }},
    };
    for (const auto& change : changes) {
        link.client.setHost(QStringLiteral("127.0.0.1"));
        link.client.setPort(port);
        link.client.setActive(true);
        QVERIFY(link.client.socketState() != QAbstractSocket::UnconnectedState);
        change.second();
        QVERIFY2(link.client.socketState() == QAbstractSocket::UnconnectedState, change.first);
    }
}

// Qt announces the connection right after the state change, whose slots
// may have ended the attempt: then no connection is announced.
void TestConnectionTrust::attemptEndedOnItsStateChange()
{
    Link link(true);
    QSignalSpy connected(&link.client, &V2_Client::onConnected);
    bool ended = false;
    connect(&link.client, &V2_Client::onStateChanged, this, [&] {
        if (link.client.socketState() == QAbstractSocket::ConnectedState) {
            link.client.setActive(false);
            ended = true;
        }
    });
    link.client.setActive(true);
    QTRY_VERIFY(ended);
    QCOMPARE(connected.count(), 0);
}

// One server, however its name is spelled.
void TestConnectionTrust::hostSpellings_data()
{
    QTest::addColumn<QString>("storedAs");
    QTest::addColumn<QString>("askedAs");
    QTest::addColumn<QByteArray>("found");
    QTest::newRow("case") << "Timing.local" << "timing.LOCAL" << QByteArray("cafe");
    QTest::newRow("trailing dot") << "timing.local." << "timing.local" << QByteArray("cafe");
    QTest::newRow("loopback address and name") << "127.0.0.1" << "localhost" << QByteArray("cafe");
    QTest::newRow("loopback name and IPv6") << "LocalHost." << "::1" << QByteArray("cafe");
    QTest::newRow("loopback range") << "127.0.1.1" << "127.0.0.1" << QByteArray("cafe");
    QTest::newRow("mapped IPv4") << "::ffff:10.0.0.5" << "10.0.0.5" << QByteArray("cafe");
    QTest::newRow("other address") << "10.0.0.5" << "10.0.0.6" << QByteArray();
    QTest::newRow("longer name") << "timing.local" << "timing.local.example" << QByteArray();
}

void TestConnectionTrust::hostSpellings()
{
    QFETCH(QString, storedAs);
    QFETCH(QString, askedAs);
    QFETCH(QByteArray, found);
    CertificateTrust::store(storedAs, 11001, {"cafe", QStringLiteral("CN=timing")});
    QCOMPARE(CertificateTrust::stored(askedAs, 11001).fingerprint, found);
    QVERIFY(CertificateTrust::stored(askedAs, 11002).fingerprint.isEmpty());
    // Forgotten under one spelling, forgotten under all.
    CertificateTrust::forget(askedAs, 11001);
    QCOMPARE(CertificateTrust::stored(storedAs, 11001).fingerprint, found.isEmpty() ? QByteArray("cafe") : QByteArray());
}

// Pins stored under the spelling typed then are found under every spelling
// of their server, and forgotten with it.
void TestConnectionTrust::pinsKeptBeforeNormalising()
{
    const auto settings = AppSettings::open();
    settings->setValue(QStringLiteral("trusted_certificates/127.0.0.1_11001/fingerprint"), QByteArray("beef"));
    settings->setValue(QStringLiteral("trusted_certificates/Timing.Local._11002/fingerprint"), QByteArray("cafe"));
    QCOMPARE(CertificateTrust::stored(QStringLiteral("localhost"), 11001).fingerprint, QByteArray("beef"));
    QCOMPARE(CertificateTrust::stored(QStringLiteral("timing.local"), 11002).fingerprint, QByteArray("cafe"));
    QVERIFY(CertificateTrust::stored(QStringLiteral("timing.local"), 11001).fingerprint.isEmpty());
    // Stored again, a server is kept under the one spelling.
    CertificateTrust::store(QStringLiteral("localhost"), 11001, {"beef", QStringLiteral("CN=timing"), QStringLiteral("127.0.0.1")});
    QVERIFY(!settings->contains(QStringLiteral("trusted_certificates/127.0.0.1_11001/fingerprint")));
    CertificateTrust::forget(QStringLiteral("::1"), 11001);
    QVERIFY(CertificateTrust::stored(QStringLiteral("127.0.0.1"), 11001).fingerprint.isEmpty());
    QCOMPARE(CertificateTrust::stored(QStringLiteral("TIMING.LOCAL"), 11002).fingerprint, QByteArray("cafe"));
}

// A server trusted as 127.0.0.1 shows another certificate when named
// "localhost": the user is asked, it is no first use.
void TestConnectionTrust::otherSpellingOfAPinnedServer()
{
    ScriptedServer server(true);
    const quint16 port = server.start();
    CertificateTrust::store(QStringLiteral("127.0.0.1"), port, {ScriptedServer::fingerprint(QStringLiteral("other")), QStringLiteral("CN=other")});
    V2_Client client(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("V2"), QStringLiteral("2.0"), port, QStringLiteral("pw"),
                     QStringLiteral("user"), QStringLiteral("LocalHost"));
    CertificateTrust trust(&client);
    QSignalSpy changed(&trust, &CertificateTrust::certificateChanged);
    // The settings change before the refusal: the user is shown what was compared.
    connect(&client, &V2_Client::onConnected, this, [&] { CertificateTrust::store(QStringLiteral("localhost"), port, {"beef", QStringLiteral("CN=x")}); });
    client.setActive(true);
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
    QCOMPARE(changed.first().at(3).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("other")));
    QCOMPARE(changed.first().at(5).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("test")));
    client.setActive(false);
    QCOMPARE(CertificateTrust::stored(QStringLiteral("localhost"), port).fingerprint, QByteArray("beef"));
}

// A name never used before that reaches the address and port of a server
// trusted under another name: another certificate there is put to the user,
// naming both; the same one, or that of another server trusted at that
// address, is trusted for the new name too. Connected by "127.0.0.1", the
// server is found only through the address kept with the other name's pin.
void TestConnectionTrust::addressPinnedUnderAnotherName_data()
{
    QTest::addColumn<QString>("pinnedAs");
    QTest::addColumn<QString>("address");
    // The certificate of a second server trusted at the address ("" none).
    QTest::addColumn<QString>("alsoPinned");
    QTest::addColumn<QString>("served");
    QTest::addColumn<bool>("told");
    QTest::newRow("another certificate") << "timing.example" << "127.0.0.1" << "" << "other" << true;
    // Passes without the address check too (first use): no wrong refusal.
    QTest::newRow("the same certificate") << "timing.example" << "127.0.0.1" << "" << "test" << false;
    QTest::newRow("that of another name there") << "timing.example" << "127.0.0.1" << "other" << "other" << false;
    // Its own pin, kept before addresses were: the address follows.
    QTest::newRow("own pin without address") << "127.0.0.1" << "" << "" << "test" << false;
}

void TestConnectionTrust::addressPinnedUnderAnotherName()
{
    QFETCH(QString, pinnedAs);
    QFETCH(QString, address);
    QFETCH(QString, alsoPinned);
    QFETCH(QString, served);
    QFETCH(bool, told);
    Link link;
    link.server.usePair(served);
    const int port = link.client.port();
    const QByteArray pinned = ScriptedServer::fingerprint(QStringLiteral("test"));
    CertificateTrust::store(pinnedAs, port, {pinned, QStringLiteral("CN=test"), address});
    if (!alsoPinned.isEmpty())
        CertificateTrust::store(QStringLiteral("timing2.example"), port, {ScriptedServer::fingerprint(alsoPinned), QStringLiteral("CN=x"), address});
    // Connected before the trust: the pin is in place all the same.
    QByteArrayList pinOnConnected;
    connect(&link.client, &V2_Client::onConnected, this, [&] { pinOnConnected.append(link.client.expectedFingerprint()); });
    CertificateTrust trust(&link.client);
    QSignalSpy changed(&trust, &CertificateTrust::certificateChanged);
    link.client.setActive(true);
    if (told) {
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
        QCOMPARE(changed.first().mid(0, 4), QVariantList({QStringLiteral("127.0.0.1"), port, pinnedAs, pinned}));
        QCOMPARE(changed.first().at(5).toByteArray(), ScriptedServer::fingerprint(served));
        QVERIFY(CertificateTrust::stored(QStringLiteral("127.0.0.1"), port).fingerprint.isEmpty());
    } else {
        QVERIFY(link.server.waitForClient(6000));
        QVERIFY(link.server.nextLine().startsWith("LOGIN:::"));
        QCOMPARE(changed.count(), 0);
        const CertificateTrust::Stored own = CertificateTrust::stored(QStringLiteral("127.0.0.1"), port);
        QCOMPARE(QStringList({QString::fromLatin1(own.fingerprint), own.address}),
                 QStringList({QString::fromLatin1(ScriptedServer::fingerprint(served)), QStringLiteral("127.0.0.1")}));
    }
    QCOMPARE(pinOnConnected.value(0), pinned);
}

// Which certificate is trusted at an address and port, under another name.
void TestConnectionTrust::storedAt_data()
{
    QTest::addColumn<QString>("pinnedAs");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("fingerprint");
    QTest::addColumn<QString>("reached");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("except");
    // The name it is found under ("" not found).
    QTest::addColumn<QString>("found");
    QTest::newRow("address of another name") << "other.example" << "10.1.2.3" << QByteArray("cafe") << "10.1.2.3" << 11001 << "timing.example" << "other.example";
    QTest::newRow("mapped address") << "other.example" << "10.1.2.3" << QByteArray("cafe") << "::ffff:10.1.2.3" << 11001 << "timing.example" << "other.example";
    QTest::newRow("another address") << "other.example" << "10.1.2.3" << QByteArray("cafe") << "10.1.2.4" << 11001 << "timing.example" << "";
    QTest::newRow("another port") << "other.example" << "10.1.2.3" << QByteArray("cafe") << "10.1.2.3" << 11002 << "timing.example" << "";
    QTest::newRow("the host asking") << "other.example" << "10.1.2.3" << QByteArray("cafe") << "10.1.2.3" << 11001 << "Other.Example." << "";
    QTest::newRow("no fingerprint") << "other.example" << "10.1.2.3" << QByteArray() << "10.1.2.3" << 11001 << "timing.example" << "";
    QTest::newRow("kept before addresses, under its address") << "10.1.2.3" << "" << QByteArray("cafe") << "::ffff:10.1.2.3" << 11001 << "timing.example" << "10.1.2.3";
}

void TestConnectionTrust::storedAt()
{
    QFETCH(QString, pinnedAs);
    QFETCH(QString, address);
    QFETCH(QByteArray, fingerprint);
    QFETCH(QString, reached);
    QFETCH(int, port);
    QFETCH(QString, except);
    QFETCH(QString, found);
    CertificateTrust::store(pinnedAs, 11001, {fingerprint, QStringLiteral("CN=x"), address});
    QString trustedAs;
    const QByteArray expected = CertificateTrust::storedAt(QHostAddress(reached), port, except, &trustedAs).fingerprint;
    QCOMPARE(expected, found.isEmpty() ? QByteArray() : QByteArray("cafe"));
    QCOMPARE(trustedAs, found);
}

// Forgotten, a server goes under the other names at its address that hold
// its certificate: the next connection is a first use, not a question.
void TestConnectionTrust::forgetTakesTheSameServerUnderOtherNames()
{
    const QStringList hosts = {"timing.example", "10.0.0.5", "alias.example", "other.example", "far.example"};
    const QVector<CertificateTrust::Stored> pins = {
        {"cafe", QStringLiteral("CN=t"), QStringLiteral("10.0.0.5")},        {"cafe", QStringLiteral("CN=t")},
        {"cafe", QStringLiteral("CN=t"), QStringLiteral("::ffff:10.0.0.5")}, {"beef", QStringLiteral("CN=o"), QStringLiteral("10.0.0.5")},
        {"cafe", QStringLiteral("CN=t"), QStringLiteral("10.0.0.6")},
    };
    for (int i = 0; i < hosts.size(); ++i)
        CertificateTrust::store(hosts.at(i), 11001, pins.at(i));
    CertificateTrust::forget(QStringLiteral("timing.example"), 11001);
    QByteArrayList left;
    for (const QString& host : hosts)
        left.append(CertificateTrust::stored(host, 11001).fingerprint);
    QCOMPARE(left, QByteArrayList({"", "", "", "beef", "cafe"}));
}

// The client alone: a pin refuses another certificate before the login
// line, and belongs to the server it was used for.
void TestConnectionTrust::certificatePinning_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("presented");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("loginSent");
    // The host or port named when the pin was set, when not this server's,
    // whether an attempt was made there under it, and what the pin is then
    // set to ("" kept, "-" cleared).
    QTest::addColumn<QString>("pinnedFor");
    QTest::addColumn<bool>("attempted");
    QTest::addColumn<QString>("then");
    QTest::newRow("the trusted certificate") << true << "test" << "test" << true << "" << false << "";
    QTest::newRow("another certificate") << true << "other" << "test" << false << "" << false << "";
    QTest::newRow("nothing pinned") << true << "other" << "" << true << "" << false << "";
    QTest::newRow("plain tcp") << false << "" << "other" << true << "" << false << "";
    QTest::newRow("pin set, then the host named") << true << "other" << "test" << false << "localhost" << false << "";
    QTest::newRow("pin set, then the port named") << true << "other" << "test" << false << "1" << false << "";
    QTest::newRow("used for another port") << true << "test" << "test" << false << "1" << true << "";
    QTest::newRow("used for another port, set again") << true << "test" << "test" << true << "1" << true << "test";
    QTest::newRow("used for another port, cleared") << true << "other" << "test" << true << "1" << true << "-";
}

void TestConnectionTrust::certificatePinning()
{
    QFETCH(bool, tls);
    QFETCH(QString, presented);
    QFETCH(QString, expected);
    QFETCH(bool, loginSent);
    QFETCH(QString, pinnedFor);
    QFETCH(bool, attempted);
    QFETCH(QString, then);
    Link link(tls);
    if (tls)
        link.server.usePair(presented);
    const int port = link.client.port();
    link.client.setHost(pinnedFor == QLatin1String("localhost") ? pinnedFor : QStringLiteral("127.0.0.1"));
    link.client.setPort(pinnedFor == QLatin1String("1") ? 1 : port);
    if (!expected.isEmpty())
        link.client.setExpectedFingerprint(ScriptedServer::fingerprint(expected));
    if (attempted) {
        link.client.setActive(true);
        link.client.setActive(false);
    }
    link.client.setHost(QStringLiteral("127.0.0.1"));
    link.client.setPort(port);
    if (!then.isEmpty())
        link.client.setExpectedFingerprint(then == QLatin1String("-") ? QByteArray() : ScriptedServer::fingerprint(then));
    QSignalSpy errors(&link.client, &V2_Client::errorReceived);
    QSignalSpy accepted(&link.client, &V2_Client::certificateAccepted);
    QSignalSpy rejected(&link.client, &V2_Client::certificateRejected);
    link.client.setActive(true);
    if (loginSent) {
        QVERIFY(link.server.waitForClient());
        QVERIFY(link.server.nextLine().startsWith("LOGIN:::"));
        QCOMPARE(rejected.count(), 0);
        if (tls)
            QCOMPARE(accepted.first().at(0).toByteArray(), ScriptedServer::fingerprint(presented));
        return;
    }
    // Refused during the handshake: no password ever leaves.
    QTRY_COMPARE(rejected.count(), 1);
    QCOMPARE(rejected.first().at(0).toByteArray(), ScriptedServer::fingerprint(presented));
    QVERIFY(rejected.first().at(1).toString().contains(presented));
    QVERIFY(!link.server.waitForClient(500));
    QCOMPARE(accepted.count(), 0);
    // A pin used for another server says so.
    QCOMPARE(!errors.isEmpty() && errors.first().at(0).toString().contains(QStringLiteral("pinned is that of 127.0.0.1:1;")), attempted);
}

// A certificate that a trusted authority signed passes the handshake
// without errors; the pin is checked all the same.
void TestConnectionTrust::pinCheckedAfterAnAcceptedHandshake_data()
{
    QTest::addColumn<QString>("pinned");
    QTest::addColumn<bool>("logsIn");
    QTest::newRow("its own pin") << "signed" << true;
    QTest::newRow("another pin") << "test" << false;
}

void TestConnectionTrust::pinCheckedAfterAnAcceptedHandshake()
{
    QFETCH(QString, pinned);
    QFETCH(bool, logsIn);
    const QSslConfiguration plain = QSslConfiguration::defaultConfiguration();
    QSslConfiguration withCa = plain;
    withCa.addCaCertificates(QStringLiteral(LANTERRA_TEST_TLS_DIR "/ca-cert.pem"));
    QSslConfiguration::setDefaultConfiguration(withCa);
    ScriptedServer server(true);
    server.usePair(QStringLiteral("signed"));
    const quint16 port = server.start();
    // The set-up holds: a socket trusting the authority sees no TLS error.
    QSslSocket probe;
    QSignalSpy errors(&probe, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors));
    probe.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    QVERIFY(server.waitForClient());
    QTRY_VERIFY(probe.isEncrypted());
    QCOMPARE(errors.count(), 0);
    probe.abort();
    V2_Client client(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("V2"), QStringLiteral("2.0"), port, QStringLiteral("pw"),
                     QStringLiteral("user"), QStringLiteral("127.0.0.1"));
    QSslConfiguration::setDefaultConfiguration(plain);
    client.setExpectedFingerprint(ScriptedServer::fingerprint(pinned));
    QSignalSpy accepted(&client, &V2_Client::certificateAccepted);
    QSignalSpy rejected(&client, &V2_Client::certificateRejected);
    client.setActive(true);
    QTRY_COMPARE(accepted.count() + rejected.count(), 1);
    QCOMPARE(accepted.count(), logsIn ? 1 : 0);
    if (logsIn) {
        QVERIFY(server.waitForClient());
        QVERIFY(server.nextLine().startsWith("LOGIN:::"));
    } else {
        QCOMPARE(rejected.first().at(0).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("signed")));
        if (server.waitForClient(300))
            QVERIFY(server.nextLine(300).isEmpty());
    }
    client.setActive(false);
}

QTEST_MAIN(TestConnectionTrust)
#include "tst_connectiontrust.moc"
