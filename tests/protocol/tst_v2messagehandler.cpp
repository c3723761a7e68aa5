#include "V2_MessageHandler.h"
#include "V2_Profile.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

QString loginLine(const QJsonObject& params)
{
    return QStringLiteral("LOGIN:1::") + QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact));
}

QJsonObject fullLogin(const QString& version)
{
    return QJsonObject{{"user", "u"}, {"password", "p"}, {"app", "a"}, {"app_ver", "1"}, {"protocol", "V2"}, {"protocol_ver", version}};
}

} // namespace

class TestV2MessageHandler final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loginChecks_data();
    void loginChecks();
    void loginReply();
    void joinLeave();
    void commands();
    void subscriptionTests_data();
    void subscriptionTests();
    void fullAccess();

private:
    V2_Profile* m_profile = nullptr;
    V2_User* m_user = nullptr;
    V2_MessageHandler* m_handler = nullptr;
};

void TestV2MessageHandler::init()
{
    m_profile = new V2_Profile(QStringLiteral("p"));
    m_profile->keyList()->insert(QStringLiteral("weather"), 2);
    m_profile->keyList()->insert(QStringLiteral("timing.session"), 1);
    m_profile->keyList()->insert(QStringLiteral("closed"), 0);
    m_profile->addCommand(QStringLiteral("reset"));
    m_user = new V2_User(QStringLiteral("User"), QStringLiteral("u"), QStringLiteral("p"), 2, m_profile);
    m_handler = new V2_MessageHandler(QStringLiteral("Banner"));
    m_handler->setMinimumVersion(1, 2, 0);
    m_handler->setUser(m_user);
}

void TestV2MessageHandler::cleanup()
{
    delete m_handler;
    delete m_user;
    delete m_profile;
}

void TestV2MessageHandler::loginChecks_data()
{
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QString>("error");

    const QJsonObject ok = fullLogin(QStringLiteral("1.2.0"));
    auto without = [&ok](const char* key) {
        QJsonObject copy = ok;
        copy.remove(QLatin1String(key));
        return copy;
    };
    auto with = [&ok](const char* version) {
        QJsonObject copy = ok;
        copy.insert(QStringLiteral("protocol_ver"), QLatin1String(version));
        return copy;
    };
    QTest::newRow("all present") << ok << "";
    QTest::newRow("no user") << without("user") << "Missing user parameter";
    QTest::newRow("nothing at all") << QJsonObject() << "Missing user parameter";
    QTest::newRow("no password") << without("password") << "Missing password parameter";
    QTest::newRow("no app") << without("app") << "Missing app identifier";
    QTest::newRow("no app version") << without("app_ver") << "Missing app version identifier";
    QTest::newRow("protocol_ver but no protocol") << without("protocol") << "Missing protocol version identifier";
    QTest::newRow("no protocol_ver") << without("protocol_ver") << "Wrong protocol version";
    QTest::newRow("two parts") << with("1.0") << "Wrong protocol version";
    QTest::newRow("four parts") << with("1.2.0.0") << "Wrong protocol version";
    QTest::newRow("not a number") << with("1.x.0") << "Wrong protocol version number";
    QTest::newRow("empty part") << with("1..0") << "Wrong protocol version number";
    QTest::newRow("older") << with("1.1.99") << "Old protocol version number";
    QTest::newRow("newer") << with("2.0.0") << "";
}

void TestV2MessageHandler::loginChecks()
{
    QFETCH(QJsonObject, params);
    QFETCH(QString, error);
    V2_message message(loginLine(params));
    QVERIFY(message.isValid());
    QCOMPARE(m_handler->ok_LOGIN(&message), error.isEmpty());
    if (!error.isEmpty()) {
        QCOMPARE(message.reason(), error);
        QVERIFY(message.advice().isEmpty());
    }
}

void TestV2MessageHandler::loginReply()
{
    m_handler->setVersion(2, 1, 3);
    m_handler->setPingRate(20);
    m_handler->setPingTimeout(40);
    V2_message reply = m_handler->loginReplyMessage();
    reply.setId(QStringLiteral("1+"));
    QCOMPARE(reply.toString(), QStringLiteral(R"(LOGIN:1+::{"min_ver":"1.2.0","name":"Banner","pingRate":20,"timeout":40,"ver":"2.1.3"})"));
}

void TestV2MessageHandler::joinLeave()
{
    QSignalSpy joined(m_handler, &V2_MessageHandler::onJoin);
    auto check = [this](const char* line, bool join) {
        V2_message message(QString::fromLatin1(line));
        const bool ok = join ? m_handler->ok_JOIN(&message) : m_handler->ok_LEAVE(&message);
        return ok ? QString() : message.reason();
    };
    QCOMPARE(check("JOIN:1:weather:", true), QString());
    QCOMPARE(joined.count(), 1);
    QCOMPARE(joined.at(0).at(0).toString(), QStringLiteral("weather"));
    QCOMPARE(check("JOIN:2:weather:", true), QStringLiteral("Channel already joined"));
    QCOMPARE(check("JOIN:3:closed:", true), QStringLiteral("Unknown channel"));
    QCOMPARE(check("JOIN:4:nowhere:", true), QStringLiteral("Unknown channel"));
    QCOMPARE(check("JOIN:5:timing.session:", true), QString());
    QCOMPARE(joined.count(), 2);
    QCOMPARE(m_handler->subscribedChannels(), QStringList({"weather", "timing.session"}));

    QCOMPARE(check("LEAVE:6:nowhere:", false), QStringLiteral("Unknown channel"));
    QCOMPARE(check("LEAVE:7:weather:", false), QString());
    QCOMPARE(check("LEAVE:8:weather:", false), QStringLiteral("Channel was not joined"));
    QCOMPARE(m_handler->subscribedChannelsCount(), 1);
}

void TestV2MessageHandler::commands()
{
    QSignalSpy commands(m_handler, &V2_MessageHandler::onCMD);
    V2_message allowed(QStringLiteral("CMD:1:reset:"));
    V2_message other(QStringLiteral("CMD:2:Reset:"));
    QVERIFY(m_handler->ok_CMD(&allowed));
    QVERIFY(!m_handler->ok_CMD(&other));
    QCOMPARE(other.reason(), QStringLiteral("Command not allowed"));
    QCOMPARE(commands.count(), 1);
}

void TestV2MessageHandler::subscriptionTests_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("contains");
    QTest::addColumn<bool>("hasPath");
    QTest::newRow("below the channel") << "timing.session.data" << true << true;
    QTest::newRow("the channel") << "timing" << true << true;
    QTest::newRow("text prefix only") << "timingX.a" << true << false;
    QTest::newRow("above the channel") << "" << true << false;
    QTest::newRow("unrelated") << "weather" << false << false;
}

void TestV2MessageHandler::subscriptionTests()
{
    QFETCH(QString, path);
    QFETCH(bool, contains);
    QFETCH(bool, hasPath);
    m_handler->addSubscribedChannel(QStringLiteral("timing"));
    QCOMPARE(m_handler->subscriptionContains(path), contains);
    QCOMPARE(m_handler->hasSubscriptionToPath(path), hasPath);
}

void TestV2MessageHandler::fullAccess()
{
    QVERIFY(!m_handler->logged());
    QVERIFY(!m_handler->userProfileKeyValid(QStringLiteral("anything")));
    QVERIFY(m_handler->userProfileKeyValid(QStringLiteral("weather")));
    m_handler->setFullAccess(true);
    QVERIFY(m_handler->logged());
    QVERIFY(m_handler->userProfileKeyValid(QStringLiteral("anything")));
    // Full access does not widen the join test while there is a profile...
    V2_message join(QStringLiteral("JOIN:1:nowhere:"));
    QVERIFY(!m_handler->ok_JOIN(&join));
    // ...and a full-access connection without user or profile is unrestricted.
    m_handler->setUser(nullptr);
    V2_message again(QStringLiteral("JOIN:2:nowhere:"));
    QVERIFY(m_handler->ok_JOIN(&again));
    V2_message command(QStringLiteral("CMD:3:anything:"));
    QVERIFY(m_handler->ok_CMD(&command));
    // Without full access, no profile means nothing is allowed.
    m_handler->setFullAccess(false);
    V2_message refused(QStringLiteral("JOIN:4:weather:"));
    QVERIFY(!m_handler->ok_JOIN(&refused));
    QVERIFY(!m_handler->userProfileKeyValid(QStringLiteral("weather")));
}

QTEST_GUILESS_MAIN(TestV2MessageHandler)
#include "tst_v2messagehandler.moc"
