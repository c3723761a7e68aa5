#include "RawClient.h"
#include "ServerPeers.h"
#include "ServerFixture.h"
#include "V2_MessageHandler.h"
#include "V2_ServerSocket.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace ServerPeers;

class TestV2ServerFaults final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deleteProfileWhileAConnectionReadsIt();
    void loginInterrupted_data();
    void loginInterrupted();
    void shutdownWithATricklingReader();
    void profileReloadKeepsUsersBound();
    void updatedUserStaysOneObject_data();
    void updatedUserStaysOneObject();
    void fullAccessAudienceFollowsTheProfile();
    void aliasedRegistryEntriesDeletedOnce();
    void oneSnapshotPerChannelAndJoinRate();
    void channelRequestsLogSparingly();
    void logKeepsTheLoginName();
    void rawDataLines();
    void joinConfirmedBeforeSnapshot();
    void stopServerWithLiveClients();
    void pingRateAndTimeoutReachLiveConnections();
    void stress();
};

void TestV2ServerFaults::initTestCase()
{
    qRegisterMetaType<QSet<QString>>();
    qRegisterMetaType<V2_Data*>();
}

void TestV2ServerFaults::deleteProfileWhileAConnectionReadsIt()
{
    Fixture fixture(false);
    RawClient team;
    QVERIFY(fixture.logIn(team, QStringLiteral("team")));

    // A reader in a connection's order: the user's lock, then its profile's.
    std::atomic<int> outcome{0};
    QSemaphore userHeld;
    V2_User* user = fixture.teamUser;
    V2_Profile* profile = fixture.team;
    std::thread reader([&] {
        user->readLock();
        userHeld.release();
        QThread::msleep(200); // the application is inside deleteProfile by now
        const bool got = profile->tryReadLock(2000);
        outcome = got ? 1 : 2;
        if (got)
            profile->readUnlock();
        user->readUnlock();
    });
    userHeld.acquire();
    fixture.server.deleteProfile(profile);
    reader.join();
    QCOMPARE(outcome.load(), 1); // 2: the two threads would have waited for each other
    QCOMPARE(fixture.server.clientsLogged(), 0);
}

void TestV2ServerFaults::loginInterrupted_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<bool>("deleteUser");
    QTest::newRow("user deleted once found") << int(V2_ServerSocket::LoginStage::UserFound) << true;
    QTest::newRow("server stopped while binding") << int(V2_ServerSocket::LoginStage::Binding) << false;
}

void TestV2ServerFaults::loginInterrupted()
{
    QFETCH(int, stage);
    QFETCH(bool, deleteUser);
    Fixture fixture(false);
    RawClient raw;
    QVERIFY(raw.connectTo(fixture.port, false));
    {
        LoginPause pause(static_cast<V2_ServerSocket::LoginStage>(stage));
        raw.sendLine(loginLine("team"));
        QVERIFY(pause.reachedStage.tryAcquire(1, 5000));
        if (deleteUser) {
            fixture.server.deleteUser(fixture.teamUser);
            // Whatever the deletion scheduled happens now, while the login waits.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        } else {
            fixture.server.disconnectAllClients();
        }
        pause.resume.release();
        const QByteArray answer = raw.nextLine();
        QVERIFY2(answer.startsWith("LOGIN:") || (deleteUser && answer.contains("user or password not valid")), answer.constData());
    }
    // What came after the login began undoes it as a whole, the count with it.
    QTest::qWait(100);
    raw.sendLine("JOIN:1:weather:");
    QCOMPARE(raw.nextLine(), QByteArray(R"(ERROR:1:weather:{"reason":"Unknown command"})"));
    QCOMPARE(fixture.server.clientsLogged(), 0);
    if (deleteUser) {
        QVERIFY(!fixture.server.findUser(QStringLiteral("team")));
        raw.sendLine(loginLine("team"));
        QVERIFY(raw.nextLine().contains("user or password not valid"));
    } else {
        QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 0);
    }
}

void TestV2ServerFaults::shutdownWithATricklingReader()
{
    auto fixture = std::make_unique<Fixture>(false);
    std::atomic<bool> stopReading{false};
    std::atomic<bool> joined{false};
    std::thread reader([&] {
        BlockingPeer peer(fixture->port);
        peer.send(loginLine("team") + "\r\n");
        if (!peer.waitFor("LOGIN:"))
            return;
        peer.send("JOIN:1:weather:\r\n");
        if (!peer.waitFor("JOIN:1+"))
            return;
        joined = true;
        // A slow reader that never stalls: 64 KiB every 20 ms, for at most 20 s.
        for (int i = 0; i < 1000 && !stopReading; ++i) {
            if (peer.read(64 * 1024) == 0)
                break;
            QThread::msleep(20);
        }
    });
    QVERIFY(QTest::qWaitFor([&] { return joined.load(); }, 5000));
    const QByteArray chunk(256 * 1024, 'x');
    for (int i = 0; i < 160; ++i) {
        const Tree tree = treeFrom("{\"weather\":{\"blob\":\"" + chunk + "\"}}");
        fixture->server.sendV2Data(tree.get());
    }
    QTest::qWait(1500); // queued, written to the socket, mostly not read

    QElapsedTimer shutdown;
    shutdown.start();
    fixture.reset();
    const qint64 took = shutdown.elapsed();
    stopReading = true;
    reader.join();
    QVERIFY2(took < 4000, qPrintable(QStringLiteral("shutdown took %1 ms").arg(took)));
}

void TestV2ServerFaults::profileReloadKeepsUsersBound()
{
    Fixture fixture(false);
    auto* added = new V2_User(QStringLiteral("Added"), QStringLiteral("added"), QStringLiteral("pw"), 2, nullptr);
    added->setProfileName(QStringLiteral("Team"));
    fixture.server.addUser(added);
    auto* orphan = new V2_User(QStringLiteral("Orphan"), QStringLiteral("orphan"), QStringLiteral("pw"), 2, nullptr);
    orphan->setProfileName(QStringLiteral("Gone"));
    fixture.server.addUser(orphan);
    RawClient raw;
    QVERIFY(fixture.logIn(raw, QStringLiteral("added")));

    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("profiles.ini")), QSettings::IniFormat);
    store.setValue(QStringLiteral("Team/weather"), 2);
    store.setValue(QStringLiteral("Team/timing"), 2);
    fixture.server.loadProfiles(&store);

    const QMap<QString, V2_Profile*>& profiles = *fixture.server.profiles();
    QCOMPARE(added->profile(), profiles.value(QStringLiteral("Team")));
    QCOMPARE(orphan->profile(), profiles.value(QStringLiteral("DEFAULT")));
    QVERIFY(!fixture.teamUser->profile() || fixture.teamUser->profile() == profiles.value(QStringLiteral("Team")));
    // The live connection goes on with the reloaded profile.
    raw.sendLine("JOIN:2:weather:");
    QCOMPARE(raw.nextLine(), QByteArray("JOIN:2+:weather:"));
}

void TestV2ServerFaults::updatedUserStaysOneObject_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::newRow("new password") << QStringLiteral("Team user") << QStringLiteral("new");
    QTest::newRow("new display name") << QStringLiteral("Team renamed") << QStringLiteral("pw");
}

void TestV2ServerFaults::updatedUserStaysOneObject()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    Fixture fixture(false);
    RawClient first;
    QVERIFY(fixture.logIn(first, QStringLiteral("team")));
    first.sendLine("JOIN:1:weather:");
    QCOMPARE(first.nextLine(), QByteArray("JOIN:1+:weather:"));

    // An update of a known login: the logged-in object is updated, its count kept.
    V2_User update(name, QStringLiteral("team"), password, 2, nullptr);
    update.setProfileName(QStringLiteral("Team"));
    fixture.server.addOrUpdateUser(update);
    QCOMPARE(fixture.server.findUser(QStringLiteral("team")), fixture.teamUser);
    QCOMPARE(fixture.teamUser->name(), name);
    QCOMPARE(fixture.teamUser->pass(), password);
    QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 1);

    // Reloaded profiles reach the connection's user (its old profile is freed).
    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("profiles.ini")), QSettings::IniFormat);
    store.setValue(QStringLiteral("Team/weather"), 2);
    fixture.server.loadProfiles(&store);
    QCOMPARE(fixture.teamUser->profile(), fixture.server.profiles()->value(QStringLiteral("Team")));
    fixture.server.sendV2Data(treeFrom(R"({"weather":{"air":20}})").get());
    QCOMPARE(first.nextLine(), QByteArray(R"(JSON:3::{"weather":{"air":20}})"));

    // The connection counts against the limit of 2.
    RawClient second;
    RawClient third;
    QVERIFY(second.connectTo(fixture.port, false));
    QVERIFY(second.login(QStringLiteral("team"), password));
    QVERIFY(third.connectTo(fixture.port, false));
    third.sendLine(loginLine("team", password.toLatin1().constData()));
    QVERIFY(third.nextLine().contains("Maximum number of connections reached (2)"));

    // Deleting the user logs every session out.
    fixture.server.deleteUser(fixture.server.findUser(QStringLiteral("team")));
    QCOMPARE(fixture.server.clientsLogged(), 0);
    first.sendLine("JOIN:2:timing:");
    QCOMPARE(first.nextLine(), QByteArray(R"(ERROR:2:timing:{"reason":"Unknown command"})"));
}

void TestV2ServerFaults::fullAccessAudienceFollowsTheProfile()
{
    // Two full-access connections bound to different profiles need
    // different bytes: one is left without a user when its user is deleted,
    // the next is bound to a new user with a record filter.
    V2_Server server;
    server.setSsl(false);
    server.setFullAccess(true);
    auto* filtered = profileWith(QStringLiteral("Filtered"), {{"p", 2}, {"p.cars", 1}});
    filtered->setProfileFilters({{QStringLiteral("p.cars"), {QStringLiteral("p.cars"), QStringLiteral("class"), {QStringLiteral("A")}}}});
    server.addProfile(filtered->name(), filtered);
    auto* everything = profileWith(QStringLiteral("FULL_ACCESS"), {{"p", 2}});
    server.addProfile(everything->name(), everything);
    server.addUser(new V2_User(QStringLiteral("FULL_ACCESS"), QStringLiteral("FULL_ACCESS"), QString(), 0, everything));
    QVERIFY(server.startServer(0));

    RawClient unbound;
    QVERIFY(unbound.connectTo(server.serverPort(), false));
    unbound.sendLine("JOIN:1:p:");
    QCOMPARE(unbound.nextLine(), QByteArray("JOIN:1+:p:"));
    server.deleteUser(server.findUser(QStringLiteral("FULL_ACCESS")));
    server.addUser(new V2_User(QStringLiteral("FULL_ACCESS"), QStringLiteral("FULL_ACCESS"), QString(), 0, filtered));
    RawClient bound;
    QVERIFY(bound.connectTo(server.serverPort(), false));
    bound.sendLine("JOIN:1:p:");
    QCOMPARE(bound.nextLine(), QByteArray("JOIN:1+:p:"));

    server.sendV2Data(treeFrom(R"({"p":{"cars":{"ignorePath":true,"1":{"class":"A"},"2":{"class":"B"}}}})").get());
    QCOMPARE(unbound.nextLine(), QByteArray(R"(JSON:2::{"p":{"cars":{"1":{"class":"A"},"2":{"class":"B"}}}})"));
    QCOMPARE(bound.nextLine(), QByteArray(R"(JSON:2::{"p":{"cars":{"1":{"class":"A"}}}})"));
}

void TestV2ServerFaults::aliasedRegistryEntriesDeletedOnce()
{
    // One object under several keys (the registries are the application's
    // maps too): each is deleted once, by a reload or by the server's end,
    // and a deleted one leaves no key behind.
    auto server = std::make_unique<V2_Server>();
    auto* shared = new V2_Profile(QStringLiteral("Shared"));
    server->addProfile(QStringLiteral("Shared"), shared);
    server->addProfile(QStringLiteral("Alias"), shared);
    auto* user = new V2_User(QStringLiteral("U"), QStringLiteral("u"), QStringLiteral("pw"), 1, shared);
    user->setProfileName(QStringLiteral("Shared"));
    server->addUser(user);
    server->users()->insert(QStringLiteral("alias"), user);
    auto* gone = new V2_User(QStringLiteral("G"), QStringLiteral("g"), QStringLiteral("pw"), 1, nullptr);
    server->addUser(gone);
    server->users()->insert(QStringLiteral("g2"), gone);
    server->deleteUser(gone);
    QVERIFY(!server->users()->values().contains(gone));

    QTemporaryDir dir;
    QSettings store(dir.filePath(QStringLiteral("profiles.ini")), QSettings::IniFormat);
    store.setValue(QStringLiteral("Shared/weather"), 2);
    server->loadProfiles(&store);
    QCOMPARE(user->profile(), server->profiles()->value(QStringLiteral("Shared")));
    server->profiles()->insert(QStringLiteral("Again"), user->profile());
    server.reset();
}

void TestV2ServerFaults::oneSnapshotPerChannelAndJoinRate()
{
    Fixture fixture(false);
    fixture.server.setMaxJoinsPerMinute(30);
    QSignalSpy snapshots(&fixture.server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest));
    RawClient raw;
    QVERIFY(fixture.logIn(raw, QStringLiteral("team")));
    const auto readUntil = [&raw](const QByteArray& prefix) {
        for (QByteArray line = raw.nextLine(); !line.isEmpty(); line = raw.nextLine()) {
            if (line.startsWith(prefix))
                return line;
        }
        return QByteArray();
    };

    // One read of many pairs: one snapshot for the channel joined at its end.
    QByteArray pairs = QByteArray("JOIN:1:weather:\r\nLEAVE:1:weather:\r\n").repeated(20);
    raw.sendRaw(pairs + "JOIN:2:weather:\r\n");
    QCOMPARE(readUntil("JOIN:2+"), QByteArray("JOIN:2+:weather:"));
    QCOMPARE(snapshots.count(), 1);
    // A LEAVE at the end leaves nothing to ask for.
    raw.sendRaw("LEAVE:3:weather:\r\n" + QByteArray("JOIN:4:weather:\r\nLEAVE:4:weather:\r\n").repeated(9));
    QTRY_COMPARE(readUntil("LEAVE:4+"), QByteArray("LEAVE:4+:weather:"));
    QCOMPARE(snapshots.count(), 1);
    // Thirty joins so far: the next one in this minute is refused.
    raw.sendLine("JOIN:5:weather:");
    QCOMPARE(readUntil("ERROR:5+"), QByteArray(R"(ERROR:5+:weather:{"reason":"Too many JOIN requests"})"));
    QCOMPARE(snapshots.count(), 1);
}

void TestV2ServerFaults::channelRequestsLogSparingly()
{
    Fixture fixture(false);
    RawClient raw;
    QVERIFY(fixture.logIn(raw, QStringLiteral("other")));
    QTest::qWait(1000); // the log's allowance of earlier tests has passed
    const LogCapture capture;
    const QByteArray channel(4000, 'c');
    for (int i = 0; i < 50; ++i)
        raw.sendLine("JOIN:" + QByteArray::number(i) + ":" + channel + ":\r\nLEAVE:" + QByteArray::number(i) + ":weather:");
    for (int i = 0; i < 100; ++i)
        QVERIFY(!raw.nextLine().isEmpty());
    const QStringList lines = logLinesWith(QStringLiteral("[V2] User"));
    QVERIFY2(!lines.isEmpty() && lines.size() <= 20, qPrintable(QString::number(lines.size())));
    for (const QString& line : lines)
        QVERIFY2(line.size() <= 300, qPrintable(QString::number(line.size())));
}

void TestV2ServerFaults::logKeepsTheLoginName()
{
    Fixture fixture(false);
    RawClient raw;
    QVERIFY(fixture.logIn(raw, QStringLiteral("team")));
    // The server's thread changes the account under its lock; the
    // connection logs the name it logged in with.
    fixture.teamUser->writeLock();
    fixture.teamUser->setUser(QStringLiteral("renamed"));
    fixture.teamUser->writeUnlock();
    QTest::qWait(1000); // the log's allowance of earlier tests has passed
    const LogCapture capture;
    raw.sendLine("JOIN:1:weather:");
    QCOMPARE(raw.nextLine(), QByteArray("JOIN:1+:weather:"));
    const QStringList joined = logLinesWith(QStringLiteral("joined channel"));
    QCOMPARE(joined.size(), 1);
    QVERIFY2(joined.first().startsWith(QStringLiteral("[V2] User team joined channel weather from IP 127.0.0.1")), qPrintable(joined.first()));
}

void TestV2ServerFaults::rawDataLines()
{
    Fixture fixture(false);
    QTcpSocket raw;
    QByteArray bytes;
    connect(&raw, &QIODevice::readyRead, this, [&] { bytes += raw.readAll(); });
    raw.connectToHost(QStringLiteral("127.0.0.1"), fixture.port);
    QVERIFY(raw.waitForConnected(3000));
    raw.write(loginLine("other") + "\r\nJOIN:7:weather:\r\n");
    QTRY_VERIFY(bytes.endsWith("JOIN:7+:weather:\r\n"));
    bytes.clear();

    fixture.server.sendV2Data(treeFrom(R"({"weather":{"air":21.5}})").get());
    // Two channels, neither of them this client's to see: no line, no number used.
    fixture.server.sendV2Data(treeFrom(R"({"timing":{"a":1},"secret":{"b":2}})").get());
    fixture.server.sendV2Data(treeFrom(R"({"weather":{"air":22}})").get());
    // The login reply and the join confirmation took numbers 1 and 2.
    QTRY_COMPARE(bytes, QByteArray("JSON:3::{\"weather\":{\"air\":21.5}}\r\n\r\nJSON:4::{\"weather\":{\"air\":22}}\r\n\r\n"));
}

void TestV2ServerFaults::joinConfirmedBeforeSnapshot()
{
    Fixture fixture(false);
    connect(&fixture.server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest), this, [&](int descriptor, const QString& channel) {
        // Answered at once, inside the join.
        const Tree snapshot = treeFrom("{\"" + channel.toUtf8() + "\":{\"snap\":1}}");
        fixture.server.sendV2Data(descriptor, snapshot.get());
    });
    RawClient raw;
    QVERIFY(fixture.logIn(raw, QStringLiteral("team")));
    raw.sendLine("JOIN:3:weather:");
    QCOMPARE(raw.nextLine(), QByteArray("JOIN:3+:weather:"));
    QCOMPARE(raw.nextLine(), QByteArray(R"(JSON:3::{"weather":{"snap":1}})"));
}

void TestV2ServerFaults::stopServerWithLiveClients()
{
    Fixture fixture(false);
    RawClient team;
    RawClient mate;
    QVERIFY(team.connectTo(fixture.port, false));
    QVERIFY(mate.connectTo(fixture.port, false));
    QVERIFY(team.login(QStringLiteral("team"), QStringLiteral("pw")));
    QVERIFY(mate.login(QStringLiteral("mate"), QStringLiteral("pw")));
    QVERIFY(fixture.server.stopServer());
    QCOMPARE(fixture.server.clientsLogged(), 0);
    QCOMPARE(fixture.teamUser->currentNumberOfConnections(), 0);
    // Logged out, still connected; nobody new gets in.
    team.sendLine("JOIN:1:weather:");
    QCOMPARE(team.nextLine(), QByteArray(R"(ERROR:1:weather:{"reason":"Unknown command"})"));
    RawClient late;
    QVERIFY(!late.connectTo(fixture.port, false, 1000));
    QVERIFY(team.login(QStringLiteral("team"), QStringLiteral("pw")));
}

void TestV2ServerFaults::pingRateAndTimeoutReachLiveConnections()
{
    Fixture fixture(false);
    RawClient raw;
    QVERIFY(fixture.logIn(raw, QStringLiteral("team")));
    fixture.server.setPingRate(3);
    fixture.server.setTimeout(1);
    V2_ServerSocket* connection = fixture.server.clients().first();
    QCOMPARE(connection->handler()->pingRate(), 3);
    QCOMPARE(connection->handler()->pingTimeout(), 1);
    // The new limit ends the idle connection.
    QVERIFY(raw.waitForDisconnected(3000));
}

void TestV2ServerFaults::stress()
{
    Fixture fixture(false);
    // The user of full-access connections, bound by its profile name.
    auto* fullAccess = new V2_User(QStringLiteral("FULL_ACCESS"), QStringLiteral("FULL_ACCESS"), QString(), 0, fixture.team);
    fixture.server.addUser(fullAccess);
    QTemporaryDir dir;
    QSettings profileStore(dir.filePath(QStringLiteral("profiles.ini")), QSettings::IniFormat);
    for (const char* name : {"Team", "Other"}) {
        profileStore.setValue(QStringLiteral("%1/weather").arg(QLatin1String(name)), 2);
        profileStore.setValue(QStringLiteral("%1/timing").arg(QLatin1String(name)), 2);
    }

    // Thousands of connection lines: not for the test's output.
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    std::atomic<bool> running{true};
    std::atomic<int> logins{0};
    std::vector<std::thread> clients;
    const char* const names[] = {"team", "mate", "champ", "other"};
    for (int c = 0; c < 8; ++c) {
        clients.emplace_back([&, c] {
            QRandomGenerator random(quint32(c + 1));
            while (running) {
                BlockingPeer peer(fixture.port);
                if (!peer.connected())
                    continue;
                peer.send(loginLine(names[random.bounded(4)]) + "\r\n");
                if (peer.waitFor("LOGIN:", 1000))
                    ++logins;
                for (int round = 0; round < 3 && running; ++round) {
                    peer.send("JOIN:1:weather:\r\nJOIN:2:timing:\r\nLEAVE:3:timing:\r\nPING:4::\r\n");
                    peer.read(65536);
                }
            }
        });
    }

    int deletions = 0;
    int reloads = 0;
    int renames = 0;
    int flips = 0;
    int publishes = 0;
    QElapsedTimer clock;
    clock.start();
    QRandomGenerator random(7);
    while (clock.elapsed() < 8000) {
        switch (random.bounded(7)) {
        case 0: {
            // An operator deletes a user and adds it back.
            const QString login = QLatin1String(names[random.bounded(4)]);
            if (V2_User* user = fixture.server.findUser(login)) {
                const QString name = user->name();
                fixture.server.deleteUser(user);
                auto* again = new V2_User(name, login, QStringLiteral("pw"), 5, nullptr);
                again->setProfileName(random.bounded(2) ? QStringLiteral("Team") : QStringLiteral("Other"));
                fixture.server.addOrUpdateUser(*again);
                delete again;
                ++deletions;
            }
            break;
        }
        case 1:
            fixture.server.loadProfiles(&profileStore);
            ++reloads;
            break;
        case 2:
            if (V2_Profile* profile = fixture.server.profiles()->value(QStringLiteral("Other"))) {
                fixture.server.deleteProfile(profile);
                fixture.server.addOrUpdateProfile(V2_Profile(QStringLiteral("Other")));
                ++deletions;
            }
            break;
        case 3: {
            // An operator gives a user a new display name (and profile).
            const QString login = QLatin1String(names[random.bounded(4)]);
            V2_User renamed(QStringLiteral("%1 %2").arg(login).arg(renames), login, QStringLiteral("pw"), 5, nullptr);
            renamed.setProfileName(random.bounded(2) ? QStringLiteral("Team") : QStringLiteral("Other"));
            fixture.server.addOrUpdateUser(renamed);
            ++renames;
            break;
        }
        case 4:
            // New connections come in with full access, or no longer do.
            fixture.server.setFullAccess(!fixture.server.fullAccess());
            ++flips;
            break;
        default:
            fixture.server.sendV2Data(treeFrom(R"({"weather":{"air":1},"timing":{"lap":2}})").get());
            ++publishes;
            break;
        }
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    running = false;
    for (std::thread& client : clients)
        client.join();
    const bool allClosed = QTest::qWaitFor([&] { return fixture.server.clientsConnected() == 0; }, 10000);
    qInstallMessageHandler(previous);
    QVERIFY(allClosed);
    for (V2_User* user : qAsConst(*fixture.server.users()))
        QCOMPARE(user->currentNumberOfConnections(), 0);
    qWarning("stress: %d logins, %d deletions, %d reloads, %d renames, %d full-access flips, %d publishes in %.1f s", logins.load(), deletions, reloads,
             renames, flips, publishes, clock.elapsed() / 1000.0);
    QVERIFY(logins > 0);
}

QTEST_MAIN(TestV2ServerFaults)
#include "tst_v2serverfaults.moc"
