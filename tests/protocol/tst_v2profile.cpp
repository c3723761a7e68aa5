#include "ServerFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestV2Profile final : public QObject
{
    Q_OBJECT

private slots:
    void predicates();
    void fieldFilter_data();
    void fieldFilter();
    void listFilter();
    void copies();
    void jsonDescriptions_data();
    void jsonDescriptions();
    void settingsRoundTrip();
    void loadingRules();

private:
    QTemporaryDir m_dir;
};

void TestV2Profile::predicates()
{
    V2_Profile profile(QStringLiteral("p"));
    profile.keyList()->insert(QStringLiteral("timing.session"), 0);
    const quint64 before = profile.revision();
    profile.keyList()->insert(QStringLiteral("weather"), 2);
    // An edit through the handed-out list is a new revision; reading is not.
    QVERIFY(profile.revision() != before);
    const quint64 edited = profile.revision();
    QCOMPARE(qAsConst(profile).keyList()->value(QStringLiteral("weather")), 2);
    QCOMPARE(profile.revision(), edited);
    QVERIFY(!profile.keyValid(QStringLiteral("timing.session")));
    QVERIFY(profile.keyValid(QStringLiteral("weather")));
    QVERIFY(!profile.keyValid(QStringLiteral("weather.airTemp")));
    profile.addCommand(QStringLiteral("go"));
    profile.addCommand(QStringLiteral("go"));
    profile.removeCommand(QStringLiteral("go"));
    QVERIFY(profile.isCommandValid(QStringLiteral("go")));
    QVERIFY(!profile.isCommandValid(QStringLiteral("Go")));

    QVERIFY(!profile.hasProfileFilters());
    profile.setProfileFilters({{QStringLiteral("a.b"), {QStringLiteral("a.b"), QString(), {}}}});
    QVERIFY(profile.hasProfileFilters());
    QVERIFY(profile.hasProfileFilters(QStringLiteral("a")));
    QVERIFY(profile.hasProfileFilters(QStringLiteral("a.b.c")));
    QVERIFY(!profile.hasProfileFilters(QStringLiteral("x")));

    auto tree = treeFrom(R"({"a":{"b":{"ignorePath":true,"1":{}}, "c":{"ignorePath":true}}})");
    // An ignorePath node whose own path is a filter key stops the search.
    QVERIFY(!profile.hasProfileFilters(tree->getDataPointer(QStringLiteral("a.b"))));
    QVERIFY(profile.hasProfileFilters(tree->getDataPointer(QStringLiteral("a"))));
}

void TestV2Profile::fieldFilter_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("ignorePath");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("listed class") << QByteArray(R"({"class":"A","x":1})") << false << true;
    QTest::newRow("other listed class") << QByteArray(R"({"class":"B"})") << false << true;
    QTest::newRow("unlisted class") << QByteArray(R"({"class":"C"})") << false << false;
    QTest::newRow("no class, plain node") << QByteArray(R"({"x":1})") << false << false;
    QTest::newRow("no class, list node") << QByteArray(R"({"x":1})") << true << true;
}

void TestV2Profile::fieldFilter()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, ignorePath);
    QFETCH(bool, accepted);
    V2_Profile profile(QStringLiteral("p"));
    profile.setProfileFilters({{QStringLiteral("entry"), {QStringLiteral("entry"), QStringLiteral("class"), {QStringLiteral("A"), QStringLiteral("B")}}}});
    auto tree = treeFrom("{\"entry\":" + record + "}");
    V2_Data* node = tree->getDataPointer(QStringLiteral("entry"));
    node->setIgnorePath(ignorePath);
    QCOMPARE(profile.profileFilterAccepted(node), accepted);
    // Other paths are not concerned.
    auto other = treeFrom("{\"elsewhere\":" + record + "}");
    QVERIFY(profile.profileFilterAccepted(other->getDataPointer(QStringLiteral("elsewhere"))));
}

void TestV2Profile::listFilter()
{
    V2_Profile profile(QStringLiteral("p"));
    profile.setProfileFilters({{QStringLiteral("cars"), {QStringLiteral("cars"), QString(), {QStringLiteral("7"), QStringLiteral("9")}}}});
    auto tree = treeFrom(R"({"cars":{"ignorePath":true,"7":{"a":1},"8":{"a":2},"9":{"a":3},"10":{"a":4}}})");
    V2_Data* cars = tree->getDataPointer(QStringLiteral("cars"));
    QVERIFY(profile.profileFilterAccepted(cars));
    QCOMPARE(cars->datas()->keys(), QStringList({"7", "9"}));

    // On a node that keeps its path the list filter removes nothing.
    auto plain = treeFrom(R"({"cars":{"7":1,"8":2}})");
    QVERIFY(profile.profileFilterAccepted(plain->getDataPointer(QStringLiteral("cars"))));
    QCOMPARE(plain->getDataPointer(QStringLiteral("cars"))->datas()->size(), 2);
}

void TestV2Profile::copies()
{
    V2_Profile profile(QStringLiteral("p"), new QMap<QString, unsigned char>{{QStringLiteral("k"), 1}}, true, QStringLiteral("WEC"));
    profile.addCommand(QStringLiteral("c"));
    profile.setProfileFilters({{QStringLiteral("f"), {}}});
    V2_Profile copy(profile);
    QCOMPARE(copy.toJson(), profile.toJson());
    QVERIFY(copy.keyList() != profile.keyList());
    QVERIFY(!copy.hasProfileFilters());

    V2_User user(QStringLiteral("User"), QStringLiteral("u"), QStringLiteral("pw"), 3, &profile);
    user.addAllowedNetwork(QHostAddress(QStringLiteral("10.0.0.0")), 2, QStringLiteral("pits"));
    user.setCurrentNumberOfConnections(1);
    V2_User copied(user);
    QCOMPARE(copied.toJson(), user.toJson());
    QCOMPARE(copied.currentNumberOfConnections(), 1);
    QVERIFY(!copied.profile());
    QVERIFY(copied.allowedNetworks().isEmpty());
    user.removeAllowedNetwork(QHostAddress(QStringLiteral("10.0.0.1")));
    QCOMPARE(user.allowedNetworks().size(), 1);
    user.removeAllowedNetwork(QHostAddress(QStringLiteral("10.0.0.0")));
    QVERIFY(user.allowedNetworks().isEmpty());
}

void TestV2Profile::jsonDescriptions_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "Team A";
    QTest::newRow("quote and backslash") << R"(say "hi" \ bye)";
    QTest::newRow("control and unicode") << QStringLiteral("a\nb\tc é");
}

void TestV2Profile::jsonDescriptions()
{
    QFETCH(QString, text);
    V2_Profile profile(text);
    QCOMPARE(profile.toJson(), QStringLiteral("{\"name\":") + V2_message::jsonQuoted(text) + QStringLiteral(",\"channels\":{},\"commands\":[],\"isUploader\":false,\"championship\":\"\"}"));
    profile.keyList()->insert(text, 2);
    profile.addCommand(text);
    profile.setChampionshipSubscribed(text);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(profile.toJson().toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.value(QStringLiteral("name")).toString(), text);
    QCOMPARE(json.value(QStringLiteral("channels")).toObject().value(text).toInt(), 2);
    QCOMPARE(json.value(QStringLiteral("championship")).toString(), text);

    V2_User user(text, text, text, 4, &profile);
    const QJsonObject userJson = QJsonDocument::fromJson(user.toJson().toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(userJson.value(QStringLiteral("password")).toString(), text);
    QCOMPARE(userJson.value(QStringLiteral("maxConnections")).toInt(), 4);
    QVERIFY(user.toJson().startsWith(QStringLiteral("{\"name\": \"")));
}

void TestV2Profile::settingsRoundTrip()
{
    const QString profilesFile = m_dir.filePath(QStringLiteral("profiles.ini"));
    const QString usersFile = m_dir.filePath(QStringLiteral("users.ini"));
    {
        V2_Server server;
        auto* profile = new V2_Profile(QStringLiteral("Team"));
        profile->keyList()->insert(QStringLiteral("timing.session"), 1);
        profile->keyList()->insert(QStringLiteral("weather"), 2);
        profile->addCommand(QStringLiteral("reset"));
        profile->setIsAllowedToSendData(true);
        profile->setChampionshipSubscribed(QStringLiteral("WEC"));
        profile->setProfileFilters({{QStringLiteral("timing.session.entry"), {QStringLiteral("timing.session.entry"), QStringLiteral("class"), {QStringLiteral("A"), QStringLiteral("B")}}}});
        server.addProfile(profile->name(), profile);
        auto* user = new V2_User(QStringLiteral("Team user"), QStringLiteral("team"), QStringLiteral("p w\"d"), 2, profile);
        user->addAllowedNetwork(QHostAddress(QStringLiteral("192.0.2.0")), 3, QStringLiteral("garage"));
        server.addUser(user);
        QSettings profiles(profilesFile, QSettings::IniFormat);
        QSettings users(usersFile, QSettings::IniFormat);
        server.saveProfiles(&profiles);
        server.saveUsers(&users);
    }
    V2_Server server;
    QSettings profiles(profilesFile, QSettings::IniFormat);
    QSettings users(usersFile, QSettings::IniFormat);
    server.loadProfiles(&profiles);
    server.loadUsers(&users);

    V2_Profile* profile = server.profiles()->value(QStringLiteral("Team"));
    QVERIFY(profile);
    QCOMPARE(profile->keyList()->value(QStringLiteral("timing.session")), 1);
    QCOMPARE(profile->keyList()->value(QStringLiteral("weather")), 2);
    QCOMPARE(profile->keyList()->size(), 2);
    QCOMPARE(profile->getCommands(), QStringList({"reset"}));
    QVERIFY(profile->isAllowedToSendData());
    QCOMPARE(profile->getChampionshipSubscribed(), QStringLiteral("WEC"));
    const auto filter = profile->getProfileFilters().value(QStringLiteral("timing.session.entry"));
    QCOMPARE(filter.fieldName, QStringLiteral("class"));
    QCOMPARE(filter.validValues, QStringList({"A", "B"}));
    QVERIFY(server.profiles()->contains(QStringLiteral("DEFAULT")));
    QVERIFY(server.profiles()->contains(QStringLiteral("FULL_ACCESS")));

    V2_User* user = server.findUser(QStringLiteral("team"));
    QVERIFY(user);
    QCOMPARE(user->name(), QStringLiteral("Team user"));
    QCOMPARE(user->pass(), QStringLiteral("p w\"d"));
    QCOMPARE(user->maxConnections(), 2);
    QCOMPARE(user->profile(), profile);
    QCOMPARE(user->allowedNetworks().size(), 1);
    QCOMPARE(user->allowedNetworks().at(0).network, QHostAddress(QStringLiteral("192.0.2.0")));
    QCOMPARE(user->allowedNetworks().at(0).maxConnections, 3);
    QCOMPARE(user->allowedNetworks().at(0).description, QStringLiteral("garage"));
    QVERIFY(server.findUser(QStringLiteral("DEFAULT")));
    QCOMPARE(server.findUser(QStringLiteral("FULL_ACCESS"))->maxConnections(), 0);
}

void TestV2Profile::loadingRules()
{
    const QString file = m_dir.filePath(QStringLiteral("rules.ini"));
    {
        QSettings store(file, QSettings::IniFormat);
        store.setValue(QStringLiteral("Plugins/USER"), QStringLiteral("plugin"));
        store.setValue(QStringLiteral("General/USER"), QStringLiteral("general"));
        store.setValue(QStringLiteral("Lost/USER"), QStringLiteral("lost"));
        store.setValue(QStringLiteral("Lost/PROFILE"), QStringLiteral("NoSuchProfile"));
        store.setValue(QStringLiteral("P/wide"), 258); // low 8 bits: 2
    }
    V2_Server server;
    QSettings store(file, QSettings::IniFormat);
    server.loadProfiles(&store);
    QCOMPARE(server.profiles()->value(QStringLiteral("P"))->keyList()->value(QStringLiteral("wide")), 2);

    QSettings users(file, QSettings::IniFormat);
    server.loadUsers(&users);
    QVERIFY(!server.findUser(QStringLiteral("plugin")));
    QVERIFY(!server.findUser(QStringLiteral("general")));
    QCOMPARE(server.findUser(QStringLiteral("lost"))->profile(), server.profiles()->value(QStringLiteral("DEFAULT")));

    // Loading again keeps the user objects that connections may hold.
    V2_User* before = server.findUser(QStringLiteral("lost"));
    before->setCurrentNumberOfConnections(1);
    server.loadUsers(&users);
    QCOMPARE(server.findUser(QStringLiteral("lost")), before);
    QCOMPARE(before->currentNumberOfConnections(), 1);

    // Profiles reloaded: users move to the new profiles, never left pointing at freed ones.
    server.loadProfiles(&store);
    QCOMPARE(before->profile(), server.profiles()->value(QStringLiteral("DEFAULT")));
}

QTEST_GUILESS_MAIN(TestV2Profile)
#include "tst_v2profile.moc"
