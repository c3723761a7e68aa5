// A session recorded through the program's client, then replayed through
// the replay server to another client and inside the program: the trees
// must come out as the recording client had them, at the end and at a
// jump into the middle, across a reconnect.
#include "ClientV2Controller.h"
#include "LanterraChannels.h"
#include "RecordingPlayer.h"
#include "RecordingReader.h"
#include "RecordingWriter.h"
#include "ReplayPublisher.h"
#include "ScriptedServer.h"
#include "SessionClock.h"
#include "SessionRecorder.h"
#include "SimulatedSession.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kStartSeconds = 1200;
// Ten simulated minutes, a tick every four seconds.
constexpr int kTicks = 150;
constexpr qint64 kTickMs = 4000;

// The difference both ways, for a readable failure.
QByteArray differences(const V2_Data* a, const V2_Data* b)
{
    const std::unique_ptr<V2_Data> ab(a->difference(b));
    const std::unique_ptr<V2_Data> ba(b->difference(a));
    return ab->getJsonUtf8().left(400) + " / " + ba->getJsonUtf8().left(400);
}

bool sameTree(const V2_Data* a, const V2_Data* b)
{
    return a->equals(b) && b->equals(a);
}

// A replay server on a recording, and a client of it that joins every channel.
struct ReplayLink {
    ReplayLink(const QString& path, double speed)
        : watcher(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QStringLiteral("demo"), QStringLiteral("demo"),
                  QStringLiteral("127.0.0.1"))
    {
        QString error;
        opened = reader.open(path, &error);
        SimAccounts::addDemoUser(server);
        server.startServer(0);
        publisher = std::make_unique<ReplayPublisher>(&server, &reader, speed);
        watcher.setPort(server.serverPort());
        QObject::connect(&watcher, &V2_Client::onLoginDone, &watcher, [this] {
            for (const QString& channel : lanterraChannels())
                watcher.joinChannel(channel, QString());
        });
    }
    ~ReplayLink() { watcher.setActive(false); }

    RecordingReader reader;
    bool opened = false;
    V2_Server server;
    std::unique_ptr<ReplayPublisher> publisher;
    V2_Client watcher;
};

} // namespace

class TestSessionRecording final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void replayServerEndsWithTheRecordedTree();
    void replayServerStartsMidway();
    void programReplayEndsAndJumps();
    void reconnectForgetsWhatTheServerDropped();
    void replayOutlivesTheConnectionItEnds_data();
    void replayOutlivesTheConnectionItEnds();
    void recordsOfOneMillisecondFillSeveralBlocks();
    void jumpReadsTheServerClockAtItsTime();

private:
    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<V2_Data> m_middle;
    qint64 m_middleMs = 0;
    std::unique_ptr<V2_Data> m_end;
};

void TestSessionRecording::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_file = m_dir.filePath(QStringLiteral("race.lrec.gz"));
    SimulatedSession session({QStringLiteral("--cars"), QStringLiteral("12")}, kStartSeconds);
    V2DataProvider& provider = *session.provider;
    ClientV2Controller* client = provider.controller();
    SimPublisher& publisher = *session.publisher;
    // The publisher's numbers are typed as it built them, the client's as the
    // wire gave them; its path flags are entries the client takes as flags.
    const auto caughtUp = [&] {
        return QJsonDocument::fromJson(client->getCurrentData()->getJsonUtf8(true)) == QJsonDocument::fromJson(publisher.published()->getJsonUtf8());
    };
    provider.setActive(true);
    QTRY_VERIFY2_WITH_TIMEOUT(caughtUp(), differences(client->getCurrentData(), publisher.published()), 20000);

    // Started mid-session: the tree so far is the first record.
    SessionRecorder recorder(client);
    QString error;
    QVERIFY2(recorder.start(m_file, &error), qPrintable(error));
    QSignalSpy lines(client, &V2_Client::onChannelChange);
    for (int tick = 1; tick <= kTicks; ++tick) {
        const int before = lines.count();
        publisher.publishAt(kStartSeconds * 1000LL + tick * kTickMs);
        if (tick == 113) {
            provider.setActive(false);
            QTRY_COMPARE(client->socketState(), QAbstractSocket::UnconnectedState);
        }
        if (tick > 112 && tick < 115)
            continue; // the client is away for these
        if (tick == 115) {
            provider.setActive(true);
            QTRY_VERIFY2_WITH_TIMEOUT(caughtUp(), differences(client->getCurrentData(), publisher.published()), 20000);
            continue;
        }
        // Each tick is one line.
        QTRY_VERIFY2_WITH_TIMEOUT(lines.count() > before, qPrintable(QString::number(tick)), 20000);
        if (tick == 75) {
            QVERIFY2(caughtUp(), differences(client->getCurrentData(), publisher.published()));
            m_middle.reset(new V2_Data(client->getCurrentData()));
            m_middleMs = recorder.elapsedMs();
            // Later lines get later times than the one kept.
            QTest::qWait(5);
        }
    }
    QVERIFY2(caughtUp(), differences(client->getCurrentData(), publisher.published()));
    m_end.reset(new V2_Data(client->getCurrentData()));
    recorder.stop();
    QVERIFY(recorder.records() > kTicks);
    QVERIFY(QFileInfo(m_file).size() > 1000);
    QVERIFY(!m_middle->equals(m_end.get()));
}

void TestSessionRecording::replayServerEndsWithTheRecordedTree()
{
    ReplayLink link(m_file, 16);
    QVERIFY(link.opened);
    QSignalSpy finished(link.publisher.get(), &ReplayPublisher::finished);
    link.publisher->start();
    link.watcher.setActive(true);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.first().at(1).toString(), QString());
    // Read afresh each time: a new login's first line replaces the tree.
    QTRY_VERIFY2_WITH_TIMEOUT(sameTree(link.watcher.getCurrentData(), m_end.get()), differences(link.watcher.getCurrentData(), m_end.get()), 10000);
}

void TestSessionRecording::replayServerStartsMidway()
{
    RecordingReader reader;
    QString error;
    QVERIFY2(reader.open(m_file, &error), qPrintable(error));
    V2_Server server;
    ReplayPublisher publisher(&server, &reader, 1);
    QVERIFY(publisher.fastForward(m_middleMs + 1));
    QVERIFY2(sameTree(publisher.tree(), m_middle.get()), differences(publisher.tree(), m_middle.get()));
}

void TestSessionRecording::programReplayEndsAndJumps()
{
    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QString(), QString(),
                     QStringLiteral("127.0.0.1"));
    RecordingPlayer player(&client);
    QString error;
    QVERIFY2(player.open(m_file, &error), qPrintable(error));
    QVERIFY(player.warning().isEmpty());
    QVERIFY(!player.isPlaying());
    player.setSpeed(16);
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 30000);
    QCOMPARE(player.position(), player.duration());
    QVERIFY2(sameTree(client.getCurrentData(), m_end.get()), differences(client.getCurrentData(), m_end.get()));

    // Back to the middle, then forward to the end again: each a fresh snapshot.
    player.seek(m_middleMs);
    QVERIFY2(sameTree(client.getCurrentData(), m_middle.get()), differences(client.getCurrentData(), m_middle.get()));
    // The session clock reads the recorded moment while the recording is open.
    RecordingReader reader;
    QVERIFY(reader.open(m_file, &error));
    QCOMPARE(SessionClock::nowMs(), reader.startUtc().toMSecsSinceEpoch() + m_middleMs);
    player.seek(player.duration());
    QVERIFY2(sameTree(client.getCurrentData(), m_end.get()), differences(client.getCurrentData(), m_end.get()));
    player.close();
    QVERIFY(qAbs(SessionClock::nowMs() - QDateTime::currentMSecsSinceEpoch()) < 1000);
    for (const QString& channel : lanterraChannels())
        QVERIFY2(!client.getCurrentData()->getV2_Data(channel), qPrintable(channel));
}

// A server that lost data while the recorded client was away: the tree after
// the reconnect has only what the new snapshots bring, in both replays.
void TestSessionRecording::reconnectForgetsWhatTheServerDropped()
{
    const QString path = m_dir.filePath(QStringLiteral("reconnect.lrec"));
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc(), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        writer.write(0, R"(JSON:1::{"timing":{"session":{"info":{"a":1,"b":2}}},"weather":{"t":1}})");
        writer.write(40, V2_message::loginReplyLine(QString(), QStringLiteral("server"), QStringLiteral("1"), QStringLiteral("1"), 10, 60).toUtf8());
        writer.write(50, R"(JSON:2::{"timing":{"session":{"info":{"a":3}}}})");
    }
    const auto check = [](const V2_Data* tree) {
        return tree->getInt(QStringLiteral("timing.session.info.a")) == 3 && !tree->getV2_Data(QStringLiteral("timing.session.info"))->keyExists(QStringLiteral("b"))
               && !tree->getV2_Data(QStringLiteral("weather"));
    };

    ReplayLink link(path, 0.25);
    QVERIFY(link.opened);
    QSignalSpy joined(&link.watcher, &V2_Client::onChannelJoin);
    link.watcher.setActive(true);
    QTRY_COMPARE(joined.count(), lanterraChannels().size());
    link.publisher->start();
    QTRY_VERIFY(link.watcher.getCurrentData()->getV2_Data(QStringLiteral("weather")));
    QTRY_VERIFY(link.publisher->isOver());
    QTRY_VERIFY(check(link.watcher.getCurrentData()));

    QString error;
    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QString(), QString(),
                     QStringLiteral("127.0.0.1"));
    RecordingPlayer player(&client);
    QVERIFY2(player.open(path, &error), qPrintable(error));
    QVERIFY(client.getCurrentData()->getV2_Data(QStringLiteral("weather")));
    player.play();
    QTRY_VERIFY(!player.isPlaying());
    QVERIFY(check(client.getCurrentData()));
}

// The live connection is stopped for a replay at any stage of connecting:
// nothing of its end may reach the replayed tree afterwards.
void TestSessionRecording::replayOutlivesTheConnectionItEnds_data()
{
    QTest::addColumn<int>("stage");
    QTest::newRow("looking up the host") << int(QAbstractSocket::HostLookupState);
    QTest::newRow("connecting") << int(QAbstractSocket::ConnectingState);
    QTest::newRow("connected over TLS") << int(QAbstractSocket::ConnectedState);
}

void TestSessionRecording::replayOutlivesTheConnectionItEnds()
{
    QFETCH(int, stage);
    const QString path = m_dir.filePath(QStringLiteral("short.lrec"));
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc(), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        writer.write(0, R"(JSON:1::{"timing":{"session":{"info":{"a":7}}},"weather":{"t":21}})");
    }
    ScriptedServer server(true);
    // A name, so that the socket looks it up first.
    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QString(), QString(),
                     QStringLiteral("localhost"));
    client.setPort(server.start());
    RecordingPlayer player(&client);
    // As the program opens a replay: the live connection off, then the recording.
    bool opened = false;
    const auto openReplay = [&] {
        opened = true;
        client.setActive(false);
        QString error;
        QVERIFY2(player.open(path, &error), qPrintable(error));
    };
    if (stage == QAbstractSocket::ConnectingState) {
        connect(&client, &V2_Client::onStateChanged, this, [&] {
            if (!opened && client.socketState() == QAbstractSocket::ConnectingState)
                openReplay();
        });
    }
    client.setActive(true);
    if (stage == QAbstractSocket::HostLookupState) {
        QCOMPARE(client.socketState(), QAbstractSocket::HostLookupState);
        openReplay();
    } else if (stage == QAbstractSocket::ConnectedState) {
        QVERIFY(server.waitForClient());
        openReplay();
    }
    QTRY_VERIFY(opened);
    QTest::qWait(500);
    QCOMPARE(client.getCurrentData()->getInt(QStringLiteral("timing.session.info.a"), -1), 7);
    QCOMPARE(client.getCurrentData()->getInt(QStringLiteral("weather.t"), -1), 21);
}

// Blocks are cut by size, also inside one millisecond; a jump to that
// millisecond still gives every record of it.
void TestSessionRecording::recordsOfOneMillisecondFillSeveralBlocks()
{
    const QString path = m_dir.filePath(QStringLiteral("burst.lrec"));
    constexpr int kRecords = 3000;
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc(), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        for (int i = 0; i < kRecords; ++i)
            writer.write(0, QStringLiteral(R"(JSON:%1::{"weather":{"k%1":"%2"}})").arg(i).arg(QString(1000, QLatin1Char('x'))).toUtf8());
        writer.write(10, R"(JSON:0::{"weather":{"end":1}})");
    }
    V2_Client client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QString(), QString(),
                     QStringLiteral("127.0.0.1"));
    RecordingPlayer player(&client);
    QString error;
    QVERIFY2(player.open(path, &error), qPrintable(error));
    QVERIFY2(player.blockCount() >= 3, qPrintable(QString::number(player.blockCount())));
    player.seek(5);
    QCOMPARE(client.getCurrentData()->getV2_Data(QStringLiteral("weather"))->datas()->size(), kRecords);
    QCOMPARE(client.getCurrentData()->getInt(QStringLiteral("weather.end"), -1), -1);
    player.seek(0);
    QCOMPARE(client.getCurrentData()->getV2_Data(QStringLiteral("weather"))->datas()->size(), kRecords);
}

// A jump forward in a recording: the stamps of the tree jumped to are read
// against the recorded time jumped to, not the time before the jump. A
// recorded login forgets the lead, as a live one does.
void TestSessionRecording::jumpReadsTheServerClockAtItsTime()
{
    const QString path = m_dir.filePath(QStringLiteral("pit.lrec"));
    const qint64 start = Q_INT64_C(1767268800000);
    const qint64 pitIn = start + 600000;
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::fromMSecsSinceEpoch(start, Qt::UTC), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        writer.write(0, R"(JSON:1::{"timing":{"session":{"info":{"sessionDbId":7}}}})");
        writer.write(600000, QByteArray(R"(JSON:2::{"timing":{"analysis":{"pitIn":{"7":{"pits":{")") + QByteArray::number(pitIn) + R"(":{"lap":4}}}}}}})");
        // A flag stamped five minutes ahead, then a login into the same session.
        writer.write(650000, QByteArray(R"(JSON:3::{"timing":{"session":{"flags":{"1":{"time":)") + QByteArray::number(start + 950000) + "}}}}}");
        writer.write(660000, V2_message::loginReplyLine(QString(), QStringLiteral("server"), QStringLiteral("1"), QStringLiteral("1"), 10, 60).toUtf8());
        writer.write(700000, R"(JSON:4::{"timing":{"session":{"info":{"sessionDbId":7}}}})");
    }
    ClientV2Controller client(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 1, QString(), QString(),
                              QStringLiteral("127.0.0.1"));
    RecordingPlayer player(&client);
    QString error;
    QVERIFY2(player.open(path, &error), qPrintable(error));
    player.seek(612000);
    QVERIFY(client.getCurrentData()->getV2_Data(QStringLiteral("timing.analysis.pitIn.7")));
    // Twelve seconds in the pit lane, not 10:12.
    QCOMPARE(SessionClock::serverNowMs() - pitIn, Q_INT64_C(12000));
    player.seek(655000);
    QCOMPARE(SessionClock::serverNowMs() - SessionClock::nowMs(), Q_INT64_C(295000));
    // The server logged into again may run another clock.
    player.setSpeed(64);
    player.play();
    QTRY_VERIFY(!player.isPlaying());
    QCOMPARE(SessionClock::serverNowMs() - SessionClock::nowMs(), Q_INT64_C(0));
    player.close();
}

QTEST_MAIN(TestSessionRecording)
#include "tst_sessionrecording.moc"
