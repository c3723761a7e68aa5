#include "AppSettings.h"
#include "CertificateTrust.h"
#include "ConnectionWatch.h"
#include "ScriptedServer.h"
#include "SessionClock.h"
#include "StartUp.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

qint64 g_now = Q_INT64_C(1767268800000);
qint64 testClock()
{
    return g_now;
}

struct Link {
    explicit Link(bool tls = true)
        : server(tls)
        , client(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("V2"), QStringLiteral("2.0"), 0, QStringLiteral("pw"),
                 QStringLiteral("user"), QStringLiteral("127.0.0.1"))
    {
        client.setPort(server.start());
        client.setSsl(tls);
    }
    ~Link() { client.setActive(false); }

    ScriptedServer server;
    V2_Client client;
};

} // namespace

class TestConnectionTrust final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void trustOnFirstUse();
    void staleMark();
    void nothingStaleSurvivesAReconnect();

private:
    QTemporaryDir m_config;
};

void TestConnectionTrust::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    StartUp::setApplicationIdentity();
}

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
    QCOMPARE(changed.first().at(0).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("test")));
    QCOMPARE(changed.first().at(2).toByteArray(), ScriptedServer::fingerprint(QStringLiteral("other")));
    QVERIFY(changed.first().at(1).toString().contains(QStringLiteral("Lanterra test")));
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
    emit client.onChannelChange({QStringLiteral("weather")});
    g_now += 3000;
    emit client.onDisconnected();
    QCOMPARE(stale.count(), 1);
    QVERIFY(watch.isStale());
    QCOMPARE(texts.last().at(0).toString(), QStringLiteral("Connection lost — last data 00:03 ago"));
    // The age counts.
    g_now += 9000;
    QTRY_COMPARE_WITH_TIMEOUT(texts.last().at(0).toString(), QStringLiteral("Connection lost — last data 00:12 ago"), 3000);
    // Data after reconnecting: live again.
    emit client.onChannelChange({QStringLiteral("weather")});
    QCOMPARE(stale.count(), 2);
    QVERIFY(!watch.isStale());
}

void TestConnectionTrust::nothingStaleSurvivesAReconnect()
{
    Link link(false);
    QSignalSpy changes(&link.client, &V2_Client::onChannelChange);
    link.client.setActive(true);
    QVERIFY(link.server.waitForClient());
    QVERIFY(!link.server.acceptLogin().isEmpty());
    link.server.sendLine(QStringLiteral("JSON:1::{\"weather\":{\"a\":1,\"b\":2}}"));
    QTRY_COMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.b"), -1), 2);
    // Dropped; "b" is deleted on the server meanwhile, the new snapshot lacks it.
    link.server.closeClient();
    QVERIFY(link.server.waitForClient(6000));
    QVERIFY(!link.server.acceptLogin().isEmpty());
    link.server.sendLine(QStringLiteral("JSON:1::{\"weather\":{\"a\":3}}"));
    QTRY_COMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.a")), 3);
    QCOMPARE(link.client.getCurrentData()->getInt(QStringLiteral("weather.b"), -1), -1);
}

QTEST_MAIN(TestConnectionTrust)
#include "tst_connectiontrust.moc"
