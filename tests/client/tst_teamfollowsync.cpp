#include "AppSettings.h"
#include "ClientV2Controller.h"
#include "ServerFixture.h"
#include "TeamFollowSync.h"
#include "TestSettings.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "V2_ServerSocket.h"
#include "V2_message.h"
#include "WidgetCarFollow.h"
#include "WidgetFollow.h"

#include <QJsonDocument>
#include <QLineEdit>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(TeamFollowSync::State)

namespace {

const QByteArray kSession = R"({"timing":{"session":{"info":{"sessionDbId":5},"entry":{"12":{"team":"A"},"7":{"team":"B"},"9":{"team":"C"}}}}})";

// The team channel as a relay keeps it, in small: every upload is merged
// into the channel's blocks and published on "team" as it came; a seat
// joining gets the blocks. Sessions get the entry list.
class TeamChannel final : public QObject
{
public:
    explicit TeamChannel(V2_Server* server)
        : m_server(server)
    {
        connect(server, &V2_Server::onClientConnected, this, &TeamChannel::hook);
        connect(server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest), this, &TeamChannel::snapshot);
    }

    // Called on a connection's thread while the parameters are valid.
    void received(QVariantMap* parameters, int, QString)
    {
        const QByteArray json = parameters->value(QStringLiteral("data")).toString().toUtf8();
        QMetaObject::invokeMethod(this, [this, json] { apply(json); }, Qt::QueuedConnection);
    }

    int uploads = 0;
    int teamSnapshots = 0;
    QJsonObject blocks;
    QString lastCar;

private:
    void hook()
    {
        for (V2_ServerSocket* connection : m_server->clients())
            connect(connection, &V2_ServerSocket::dataReceived, this, &TeamChannel::received, Qt::ConnectionType(Qt::DirectConnection | Qt::UniqueConnection));
    }

    void apply(const QByteArray& json)
    {
        ++uploads;
        const QJsonObject follow = QJsonDocument::fromJson(json).object().value(QStringLiteral("team")).toObject().value(QStringLiteral("follow")).toObject();
        for (auto it = follow.begin(); it != follow.end(); ++it) {
            blocks.insert(it.key(), it.value());
            lastCar = it.value().toObject().value(QStringLiteral("car")).toString();
        }
        m_server->sendV2Data(treeFrom(json).get());
    }

    void snapshot(int descriptor, QString channel)
    {
        Tree tree;
        if (channel == QLatin1String("timing.session"))
            tree = treeFrom(kSession);
        if (channel == QLatin1String("team")) {
            ++teamSnapshots;
            if (!blocks.isEmpty())
                tree = treeFrom(QJsonDocument(QJsonObject{{QStringLiteral("team"), QJsonObject{{QStringLiteral("follow"), blocks}}}}).toJson(QJsonDocument::Compact));
        }
        if (tree)
            m_server->sendV2Data(descriptor, tree.get());
    }

    V2_Server* m_server;
};

// One seat: the program's provider logged in to the server, with its follow panel.
struct Seat {
    Seat(quint16 port, const QString& user, bool share)
        : provider(new V2DataProvider(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"),
                                      port, QStringLiteral("pw"), user, QStringLiteral("127.0.0.1"), false))
        , notices(provider->teamFollow(), &TeamFollowSync::notice)
        , errors(provider->controller(), &V2_Client::errorReceived)
    {
        provider->teamFollow()->setEnabled(share);
        follow.reset(new WidgetFollow(provider.get()));
        provider->setActive(true);
    }
    ~Seat()
    {
        follow.reset();
        provider->setActive(false);
    }

    bool ready() const { return provider->controller()->joinedChannels().contains(QStringLiteral("timing.session")) && !provider->getEntryList().isEmpty(); }
    WidgetCarFollow* block(int index) const { return follow->blocks().at(index); }
    // What the user does: a colour, then a car typed in the block.
    void choose(int index, const QString& car, const QColor& color = QColor())
    {
        if (color.isValid())
            block(index)->setColor(color);
        block(index)->participantEdit()->setText(car);
        emit block(index)->participantEdit()->editingFinished();
    }
    TeamFollowSync::State state() const { return provider->teamFollow()->state(); }
    int errorsWith(const QString& reason) const
    {
        return int(std::count_if(errors.cbegin(), errors.cend(), [&](const QList<QVariant>& error) {
            const QString line = error.at(0).toString();
            return V2_message(line).channel() == TeamFollowSync::channel() && line.contains(reason);
        }));
    }
    int refusals() const { return errorsWith(QStringLiteral("You are not allowed to send data")); }

    std::unique_ptr<V2DataProvider> provider;
    std::unique_ptr<WidgetFollow> follow;
    QSignalSpy notices;
    QSignalSpy errors;
};

} // namespace

class TestTeamFollowSync : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sharedBetweenSeats();
    void latestChangeWins();
    void joiningTakesTheTeamOver();
    void blockNumbersKept();
    void uploadsRefused();
    void nothingShared_data();
    void nothingShared();

private:
    std::unique_ptr<Seat> seat(const QString& user, bool share = true);

    TestSettings m_settings;
    std::unique_ptr<V2_Server> m_server;
    std::unique_ptr<TeamChannel> m_channel;
};

void TestTeamFollowSync::init()
{
    // Every seat starts from the follow blocks of a fresh installation.
    AppSettings::open()->remove(QStringLiteral("car_follow"));
    m_server.reset(new V2_Server);
    auto* seats = profileWith(QStringLiteral("Seats"), {{"timing", 2}, {"timing.session", 2}, {"team", 2}});
    seats->setIsAllowedToSendData(true);
    m_server->addProfile(seats->name(), seats);
    // Seats that may not upload, and a server whose profile has no team channel.
    auto* viewers = profileWith(QStringLiteral("Viewers"), {{"timing", 2}, {"timing.session", 2}, {"team", 2}});
    m_server->addProfile(viewers->name(), viewers);
    auto* timing = profileWith(QStringLiteral("Timing"), {{"timing", 2}, {"timing.session", 2}});
    m_server->addProfile(timing->name(), timing);
    m_server->addUser(new V2_User(QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("pw"), 2, seats));
    m_server->addUser(new V2_User(QStringLiteral("B"), QStringLiteral("b"), QStringLiteral("pw"), 2, seats));
    m_server->addUser(new V2_User(QStringLiteral("V"), QStringLiteral("viewer"), QStringLiteral("pw"), 2, viewers));
    m_server->addUser(new V2_User(QStringLiteral("T"), QStringLiteral("timing"), QStringLiteral("pw"), 2, timing));
    m_server->setSsl(true);
    QVERIFY(m_server->startServer(0));
    m_channel.reset(new TeamChannel(m_server.get()));
}

void TestTeamFollowSync::cleanup()
{
    m_channel.reset();
    m_server.reset();
}

std::unique_ptr<Seat> TestTeamFollowSync::seat(const QString& user, bool share)
{
    std::unique_ptr<Seat> created(new Seat(m_server->serverPort(), user, share));
    if (!QTest::qWaitFor([&] { return created->ready() && (!share || created->state() != TeamFollowSync::State::Waiting); }, 8000))
        return nullptr;
    return created;
}

void TestTeamFollowSync::sharedBetweenSeats()
{
    const auto a = seat(QStringLiteral("a"));
    const auto b = seat(QStringLiteral("b"));
    QVERIFY(a && b);
    QCOMPARE(a->state(), TeamFollowSync::State::Sharing);
    // A recorded server's errors (a replay's) are not this server's word.
    a->provider->controller()->receiveBytes(V2_message::errorLine(QStringLiteral("9+"), QStringLiteral("team"), QStringLiteral("Unknown channel")).toUtf8() + '\n');
    QCOMPARE(a->state(), TeamFollowSync::State::Sharing);

    a->choose(0, QStringLiteral("12"), QColor(0x12, 0x34, 0x56));
    QTRY_COMPARE_WITH_TIMEOUT(b->block(0)->participant(), QStringLiteral("12"), 1000);
    QCOMPARE(b->block(0)->color(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(b->provider->getFollowColor(QStringLiteral("12")), QColor(0x12, 0x34, 0x56));
    QCOMPARE(m_channel->blocks.value(QStringLiteral("1")).toObject().value(QStringLiteral("seat")).toString(), QStringLiteral("a"));

    // B changes the block: A takes it over, and nobody uploads it again.
    b->choose(0, QStringLiteral("7"));
    QTRY_COMPARE_WITH_TIMEOUT(a->block(0)->participant(), QStringLiteral("7"), 1000);
    QCOMPARE(a->provider->getFollowedCars(), QStringList{QStringLiteral("7")});
    QTest::qWait(300);
    QCOMPARE(m_channel->uploads, 2);
    QCOMPARE(b->block(0)->participant(), QStringLiteral("7"));

    // A seat joining later takes the channel's blocks over.
    const auto c = seat(QStringLiteral("a"));
    QVERIFY(c);
    QTRY_COMPARE_WITH_TIMEOUT(c->block(0)->participant(), QStringLiteral("7"), 1000);
    QCOMPARE(c->block(0)->color(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(m_channel->uploads, 2);
}

void TestTeamFollowSync::latestChangeWins()
{
    const auto a = seat(QStringLiteral("a"));
    const auto b = seat(QStringLiteral("b"));
    QVERIFY(a && b);
    a->choose(1, QStringLiteral("12"));
    b->choose(1, QStringLiteral("9"));
    QTRY_COMPARE_WITH_TIMEOUT(m_channel->uploads, 2, 1000);
    // Whichever reached the server last is what both seats follow.
    const QString last = m_channel->lastCar;
    QTRY_COMPARE_WITH_TIMEOUT(a->block(1)->participant(), last, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(b->block(1)->participant(), last, 1000);
    QTest::qWait(300);
    QCOMPARE(m_channel->uploads, 2);
    QCOMPARE(a->block(1)->participant(), last);
}

void TestTeamFollowSync::joiningTakesTheTeamOver()
{
    const auto a = seat(QStringLiteral("a"), false);
    const auto b = seat(QStringLiteral("b"));
    QVERIFY(a && b);
    b->choose(0, QStringLiteral("7"));
    a->choose(0, QStringLiteral("12"));
    a->choose(1, QStringLiteral("9"));
    QTRY_COMPARE_WITH_TIMEOUT(m_channel->uploads, 1, 1000);
    // Switched on while logged in: the team's block 1 is taken over; A's
    // block 2, which the team has not used, stays A's and is not uploaded
    // (an upload on joining could beat the team's content to the server).
    a->provider->teamFollow()->setEnabled(true);
    QTRY_COMPARE_WITH_TIMEOUT(a->block(0)->participant(), QStringLiteral("7"), 1000);
    // A reconnect takes the content over again, uploading nothing either.
    QSignalSpy logins(a->provider->controller(), &V2_Client::onLoginDone);
    a->provider->setActive(false);
    a->provider->setActive(true);
    QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 8000);
    QTRY_COMPARE_WITH_TIMEOUT(a->state(), TeamFollowSync::State::Sharing, 1000);
    QTest::qWait(1200);
    QCOMPARE(m_channel->uploads, 1);
    QCOMPARE(a->block(0)->participant(), QStringLiteral("7"));
    QCOMPARE(a->block(1)->participant(), QStringLiteral("9"));
    QVERIFY(b->block(1)->participant().isEmpty());
}

void TestTeamFollowSync::blockNumbersKept()
{
    auto a = seat(QStringLiteral("a"));
    QVERIFY(a);
    // Removing block 2 empties it for the team; car 9 goes to block 4.
    a->choose(1, QStringLiteral("7"));
    // Removed once the team has it back (before, its echo would bring the block back).
    QTRY_VERIFY_WITH_TIMEOUT(a->provider->controller()->getCurrentData()->getV2_Data(QStringLiteral("team.follow.2")), 1000);
    a->follow->removeWidgetCarFollow(1);
    a->choose(2, QStringLiteral("9"));
    QTRY_COMPARE_WITH_TIMEOUT(m_channel->uploads, 3, 1000);
    QCOMPARE(m_channel->blocks.value(QStringLiteral("2")).toObject().value(QStringLiteral("car")).toString(), QString());
    QCOMPARE(m_channel->blocks.value(QStringLiteral("4")).toObject().value(QStringLiteral("car")).toString(), QStringLiteral("9"));

    // Saved, and the next run joins again: car 9 is back in block 4, not
    // renumbered into block 3 beside a second block 4 the team adds.
    WidgetFollow::save(*a->provider, a->follow->followSlots());
    a.reset();
    a = seat(QStringLiteral("a"));
    QVERIFY(a);
    QTRY_COMPARE_WITH_TIMEOUT(a->block(2)->participant(), QStringLiteral("9"), 1000);
    QCOMPARE(a->follow->followSlots(), QList<int>({0, 2, 3}));
    QTest::qWait(300);
    QCOMPARE(a->follow->followSlots(), QList<int>({0, 2, 3}));
    QCOMPARE(m_channel->uploads, 3);
}

void TestTeamFollowSync::uploadsRefused()
{
    const auto viewer = seat(QStringLiteral("viewer"));
    const auto a = seat(QStringLiteral("a"));
    QVERIFY(viewer && a);
    viewer->choose(0, QStringLiteral("12"));
    QTRY_COMPARE_WITH_TIMEOUT(viewer->notices.count(), 1, 1000);
    QCOMPARE(viewer->state(), TeamFollowSync::State::ReceiveOnly);
    QCOMPARE(viewer->refusals(), 1);
    // Refused once: the next change is not sent (the server would refuse it again).
    viewer->choose(0, QStringLiteral("7"));
    QTest::qWait(300);
    QCOMPARE(viewer->refusals(), 1);
    QCOMPARE(viewer->notices.count(), 1);
    QCOMPARE(viewer->block(0)->participant(), QStringLiteral("7"));
    // It still sees what the team follows.
    a->choose(2, QStringLiteral("9"));
    QTRY_COMPARE_WITH_TIMEOUT(viewer->block(2)->participant(), QStringLiteral("9"), 1000);
    QCOMPARE(m_channel->uploads, 1);
}

void TestTeamFollowSync::nothingShared_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("share");
    QTest::addColumn<int>("notices");
    QTest::addColumn<TeamFollowSync::State>("state");
    QTest::newRow("setting off") << QStringLiteral("a") << false << 0 << TeamFollowSync::State::Off;
    QTest::newRow("no team channel") << QStringLiteral("timing") << true << 1 << TeamFollowSync::State::NoChannel;
}

void TestTeamFollowSync::nothingShared()
{
    QFETCH(QString, user);
    QFETCH(bool, share);
    QFETCH(int, notices);
    QFETCH(TeamFollowSync::State, state);
    const auto s = seat(user, share);
    QVERIFY(s);
    QCOMPARE(s->state(), state);
    // The program works on: the car is followed here, only not shared.
    s->choose(0, QStringLiteral("12"));
    QCOMPARE(s->provider->getFollowedCars(), QStringList{QStringLiteral("12")});
    QTest::qWait(300);
    QCOMPARE(s->notices.count(), notices);
    QCOMPARE(m_channel->uploads, 0);
    QCOMPARE(m_channel->teamSnapshots, 0);
    QCOMPARE(s->errorsWith(QStringLiteral("Unknown channel")), notices);
    QVERIFY(!s->provider->controller()->joinedChannels().contains(QStringLiteral("team")));

    // Said once for this server: a reconnect says nothing more.
    QSignalSpy logins(s->provider->controller(), &V2_Client::onLoginDone);
    s->provider->setActive(false);
    s->provider->setActive(true);
    QTRY_COMPARE_WITH_TIMEOUT(logins.count(), 1, 8000);
    QTest::qWait(300);
    QCOMPARE(s->notices.count(), notices);
    QCOMPARE(s->state(), state);
    // Not joined again: the server would answer "Unknown channel" once more.
    QCOMPARE(s->errorsWith(QStringLiteral("Unknown channel")), notices);
}

QTEST_MAIN(TestTeamFollowSync)
#include "tst_teamfollowsync.moc"
