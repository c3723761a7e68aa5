#include "V2_Data.h"
#include "V2_message.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

using Tree = std::unique_ptr<V2_Data>;

Tree rootTree()
{
    Tree tree(new V2_Data(QStringLiteral("ROOT")));
    tree->setRoot(true);
    return tree;
}

QVariantMap parseObject(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).object().toVariantMap();
}

// Merges through the same parser the client uses.
void mergeJson(V2_Data* tree, const QByteArray& json, V2_Data* deleted = nullptr)
{
    V2_message message(QStringLiteral("JSON:1::") + QString::fromUtf8(json));
    QVERIFY2(message.isValid(), qPrintable(message.errorString()));
    tree->fromRapidJson(*message.rapidJsonDocument(), deleted);
}

QByteArray compactJson(const V2_Data* tree)
{
    return tree->getJsonString(false).toUtf8();
}

// A random nested object of scalars, nodes and nulls-free values.
QJsonObject randomObject(QRandomGenerator& rng, int depth)
{
    QJsonObject object;
    const int members = rng.bounded(1, 6);
    for (int i = 0; i < members; ++i) {
        const QString key = QStringLiteral("k%1").arg(rng.bounded(8));
        switch (rng.bounded(depth > 0 ? 6 : 5)) {
        case 0:
            object.insert(key, static_cast<int>(rng.bounded(1000)));
            break;
        case 1:
            object.insert(key, -static_cast<int>(rng.bounded(1, 1000)));
            break;
        case 2:
            object.insert(key, rng.bounded(1000) + 0.25);
            break;
        case 3:
            object.insert(key, QStringLiteral("t%1").arg(rng.bounded(5)));
            break;
        case 4:
            object.insert(key, rng.bounded(2) == 1);
            break;
        default:
            object.insert(key, randomObject(rng, depth - 1));
        }
    }
    return object;
}

} // namespace

class TestV2Data final : public QObject
{
    Q_OBJECT

private slots:
    void calculatedPaths_data();
    void calculatedPaths();
    void ignorePathRipplesThroughFilledSubtree();
    void pathsFollowRenameAndReRoot_data();
    void pathsFollowRenameAndReRoot();
    void lookups();
    void typedGetters_data();
    void typedGetters();
    void insertionReplaces();
    void mergeRecordsDeletions();
    void mergeIgnorePathMember();
    void arraysBecomeListNodes();
    void largeArrayKeys();
    void variantAndRapidMergesAgree();
    void rapidMergeAnyKeyOrder_data();
    void rapidMergeAnyKeyOrder();
    void differenceRoundTrip();
    void differenceExamples();
    void differenceOfListsAndOddKeys_data();
    void differenceOfListsAndOddKeys();
    void jsonOutput();
    void compactOutputs();
    void rapidJsonOutput();
    void wireOutput_data();
    void wireOutput();
    void oneMemberPerName_data();
    void oneMemberPerName();
    void copiesAreDeep();
    void appendData();
    void cleanUp();
    void deepTreesFromParser();
};

void TestV2Data::calculatedPaths_data()
{
    QTest::addColumn<bool>("parentIgnores");
    QTest::addColumn<QString>("childPath");
    QTest::addColumn<QString>("grandchildPath");

    QTest::newRow("plain parent") << false << "timing.session" << "timing.session.info";
    QTest::newRow("ignorePath parent") << true << "timing" << "timing.info";
}

void TestV2Data::calculatedPaths()
{
    QFETCH(bool, parentIgnores);
    QFETCH(QString, childPath);
    QFETCH(QString, grandchildPath);

    Tree root = rootTree();
    V2_Data* timing = root->getOrCreateDataPointer(QStringLiteral("timing"));
    QCOMPARE(timing->getCalculatedPath(), QStringLiteral("timing"));
    timing->setIgnorePath(parentIgnores);
    V2_Data* session = timing->getOrCreateSingleDataPointer(QStringLiteral("session"));
    V2_Data* info = session->getOrCreateSingleDataPointer(QStringLiteral("info"));
    QCOMPARE(session->getCalculatedPath(), childPath);
    QCOMPARE(session->getPath(), childPath);
    QCOMPARE(info->getCalculatedPath(), grandchildPath);
    QVERIFY(root->isRoot());
    QVERIFY(!timing->isRoot());

    // A free-standing node's path is its own name.
    V2_Data loose(QStringLiteral("loose"));
    QCOMPARE(loose.getPath(), QStringLiteral("loose"));
}

void TestV2Data::ignorePathRipplesThroughFilledSubtree()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"timing":{"session":{"standings":{"overall":{"active":{"x":1}}}}}})");
    V2_Data* standings = root->getDataPointer(QStringLiteral("timing.session.standings"));
    V2_Data* active = root->getDataPointer(QStringLiteral("timing.session.standings.overall.active"));
    QVERIFY(standings && active);
    QCOMPARE(active->getCalculatedPath(), QStringLiteral("timing.session.standings.overall.active"));

    standings->setIgnorePath(true);
    QCOMPARE(active->getCalculatedPath(), QStringLiteral("timing.session.standings.active"));
    standings->setIgnorePath(false);
    QCOMPARE(active->getCalculatedPath(), QStringLiteral("timing.session.standings.overall.active"));
}

void TestV2Data::pathsFollowRenameAndReRoot_data()
{
    QTest::addColumn<bool>("ignores");
    QTest::addColumn<QString>("rename");
    QTest::addColumn<QString>("leafPath");

    // Empty rename: the node is detached and made a root.
    QTest::newRow("re-root a node that ignores its path") << true << QString() << "session.info";
    QTest::newRow("re-root a plain node") << false << QString() << "session.info";
    QTest::newRow("rename a node that ignores its path") << true << "race" << "race.info";
    QTest::newRow("rename a plain node") << false << "race" << "race.session.info";
}

void TestV2Data::pathsFollowRenameAndReRoot()
{
    QFETCH(bool, ignores);
    QFETCH(QString, rename);
    QFETCH(QString, leafPath);

    Tree root = rootTree();
    mergeJson(root.get(), R"({"timing":{"session":{"info":{"x":1}}}})");
    V2_Data* timing = root->getDataPointer(QStringLiteral("timing"));
    timing->setIgnorePath(ignores);
    V2_Data* info = root->getDataPointer(QStringLiteral("timing.session.info"));
    QCOMPARE(info->getCalculatedPath(), ignores ? QStringLiteral("timing.info") : QStringLiteral("timing.session.info"));

    Tree detached;
    if (rename.isEmpty()) {
        delete root->datas()->take(QStringLiteral("timing"));
        detached.reset(timing);
        timing->setRoot(true);
        QVERIFY(timing->isRoot());
        QCOMPARE(timing->getCalculatedPath(), QString());
    } else {
        timing->setName(rename);
    }
    QCOMPARE(info->getCalculatedPath(), leafPath);
    QCOMPARE(info->getPath(), leafPath);
}

void TestV2Data::lookups()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"a":{"b":{"c":1},"s":2},"":{"x":{}}})");
    mergeJson(root.get(), R"({"a":{"":{"b":{"d":3}}}})");
    const auto pathOf = [&root](const char* path) {
        const V2_Data* node = root->getV2_Data(QLatin1String(path));
        return node ? node->getCalculatedPath() : QStringLiteral("none");
    };
    QCOMPARE(pathOf("a.b"), QStringLiteral("a.b"));
    QCOMPARE(pathOf("a"), QStringLiteral("a"));
    QCOMPARE(pathOf("a.s"), QStringLiteral("none"));
    QCOMPARE(pathOf("a.b.c"), QStringLiteral("none"));
    QCOMPARE(pathOf("a..b"), QStringLiteral("a..b"));
    QCOMPARE(pathOf(".x"), QStringLiteral(".x"));
    QCOMPARE(pathOf("a.b."), QStringLiteral("none"));
    QCOMPARE(pathOf("q.b"), QStringLiteral("none"));
    QVERIFY(!root->getDataPointer(QStringLiteral("a.b.c")));
    QVERIFY(root->keyExists(QStringLiteral("a")));
    QVERIFY(!root->keyExists(QStringLiteral("a.b")));
    QCOMPARE(root->getOrCreateDataPointer(QString()), root.get());

    // Creating through a scalar replaces it with a node.
    V2_Data* made = root->getOrCreateDataPointer(QStringLiteral("a.s.t"));
    QCOMPARE(made->getCalculatedPath(), QStringLiteral("a.s.t"));
    QVERIFY(root->getV2_Data(QStringLiteral("a.s")));
}

void TestV2Data::typedGetters_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("real");
    QTest::addColumn<bool>("boolean");
    QTest::addColumn<qulonglong>("unsignedLong");

    // Defaults used below: text "def", int 7, double -1.5, bool true / false, ulonglong 99.
    QTest::newRow("text is not a number") << QByteArray(R"({"x":"12"})") << "x" << "12" << 7 << -1.5 << true << qulonglong(99);
    QTest::newRow("integer") << QByteArray(R"({"x":12})") << "x" << "12" << 12 << 12.0 << true << qulonglong(12);
    QTest::newRow("double rounds") << QByteArray(R"({"x":12.6})") << "x" << "12.6" << 13 << 12.6 << true << qulonglong(13);
    QTest::newRow("one is not a bool") << QByteArray(R"({"x":1})") << "x" << "1" << 1 << 1.0 << true << qulonglong(1);
    QTest::newRow("bool false") << QByteArray(R"({"x":false})") << "x" << "false" << 7 << -1.5 << false << qulonglong(99);
    QTest::newRow("missing key") << QByteArray(R"({"y":1})") << "x" << "def" << 7 << -1.5 << true << qulonglong(99);
    QTest::newRow("nested path") << QByteArray(R"({"a":{"b":{"x":5}}})") << "a.b.x" << "5" << 5 << 5.0 << true << qulonglong(5);
    QTest::newRow("missing middle node") << QByteArray(R"({"a":{"x":5}})") << "a.b.x" << "def" << 7 << -1.5 << true << qulonglong(99);
    QTest::newRow("node entry reads empty text") << QByteArray(R"({"x":{"y":1}})") << "x" << "" << 7 << -1.5 << true << qulonglong(99);
    QTest::newRow("negative as unsigned") << QByteArray(R"({"x":-1})") << "x" << "-1" << -1 << -1.0 << true << qulonglong(Q_UINT64_C(0xFFFFFFFFFFFFFFFF));
    QTest::newRow("big unsigned") << QByteArray(R"({"x":18446744073709551615})") << "x" << "18446744073709551615" << -1 << 1.8446744073709552e19 << true
                                  << qulonglong(Q_UINT64_C(0xFFFFFFFFFFFFFFFF));
    QTest::newRow("double dots") << QByteArray(R"({"a":{"x":5}})") << "a..x" << "def" << 7 << -1.5 << true << qulonglong(99);
}

void TestV2Data::typedGetters()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, path);
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(double, real);
    QFETCH(bool, boolean);
    QFETCH(qulonglong, unsignedLong);

    Tree root = rootTree();
    mergeJson(root.get(), json);
    QCOMPARE(root->getString(path, QStringLiteral("def")), text);
    QCOMPARE(root->getInt(path, 7), integer);
    QCOMPARE(root->getDouble(path, -1.5), real);
    QCOMPARE(root->getBool(path, true), boolean);
    QCOMPARE(root->getULongLong(path, 99), unsignedLong);
    QCOMPARE(root->getLongLong(path, 99), static_cast<qint64>(unsignedLong));
}

void TestV2Data::insertionReplaces()
{
    V2_Data node(QStringLiteral("n"));
    node.insertData(QStringLiteral("a"), static_cast<unsigned short>(3));
    QCOMPARE(node.datas()->value(QStringLiteral("a"))->userType(), int(QMetaType::Int));
    node.insertData(QStringLiteral("a"), "text");
    QCOMPARE(node.getString(QStringLiteral("a")), QStringLiteral("text"));
    node.insertData(QStringLiteral("b"), Q_INT64_C(-5));
    node.insertData(QStringLiteral("c"), Q_UINT64_C(5));
    node.insertData(QStringLiteral("d"), true);
    QCOMPARE(node.datas()->value(QStringLiteral("b"))->userType(), int(QMetaType::LongLong));
    QCOMPARE(node.datas()->value(QStringLiteral("c"))->userType(), int(QMetaType::ULongLong));
    QVERIFY(node.getBool(QStringLiteral("d")));

    auto* child = new V2_Data(QStringLiteral("child"));
    node.insertData(QStringLiteral("a"), child);
    QCOMPARE(node.getV2_Data(QStringLiteral("a")), child);
    QCOMPARE(child->getV2Parent(), &node);
    QCOMPARE(child->getCalculatedPath(), QStringLiteral("n.child"));
    node.insertData(QStringLiteral("a"), child); // the same child again: kept, not released
    QCOMPARE(node.getV2_Data(QStringLiteral("a")), child);

    QVariant holder = QVariant::fromValue(static_cast<void*>(new V2_Data(QStringLiteral("v"))));
    node.insertData(QStringLiteral("e"), &holder);
    QVERIFY(node.getV2_Data(QStringLiteral("e")));
    node.insertData(QStringLiteral("e"), static_cast<QVariant*>(nullptr));
    QVERIFY(node.getV2_Data(QStringLiteral("e")));

    rapidjson::Document doc;
    doc.Parse("[4294967295, -1, 4294967296, -4294967296, 1.5, true, \"s\", null, {}]");
    const QList<int> expected = {QMetaType::UInt, QMetaType::Int, QMetaType::ULongLong, QMetaType::LongLong, QMetaType::Double, QMetaType::Bool, QMetaType::QString};
    for (rapidjson::SizeType i = 0; i < doc.Size(); ++i)
        node.insertData(QStringLiteral("r%1").arg(i), doc[i]);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(node.datas()->value(QStringLiteral("r%1").arg(i))->userType(), expected.at(i));
    QVERIFY(!node.keyExists(QStringLiteral("r7")));
    QVERIFY(!node.keyExists(QStringLiteral("r8")));
}

void TestV2Data::mergeRecordsDeletions()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"timing":{"session":{"info":{"name":"Race","type":"RACE"}}}})");

    Tree deleted = rootTree();
    mergeJson(root.get(), R"({"timing":{"session":{"info":{"type":null,"absent":null}}},"top":null})", deleted.get());

    QVERIFY(!root->getDataPointer(QStringLiteral("timing.session.info"))->keyExists(QStringLiteral("type")));
    QCOMPARE(root->getString(QStringLiteral("timing.session.info.name")), QStringLiteral("Race"));
    QVERIFY(deleted->isDeleted(QStringLiteral("timing.session.info.type")));
    QVERIFY(deleted->isDeleted(QStringLiteral("timing.session.info.absent")));
    QVERIFY(deleted->isDeleted(QStringLiteral("top")));

    // The variant form records the same.
    Tree root2 = rootTree();
    Tree deleted2 = rootTree();
    QVariantMap first = parseObject(R"({"a":{"b":1,"c":2}})");
    root2->fromQvariantMap(&first, nullptr);
    QVariantMap second = parseObject(R"({"a":{"b":null}})");
    root2->fromQvariantMap(&second, deleted2.get());
    QVERIFY(!root2->getDataPointer(QStringLiteral("a"))->keyExists(QStringLiteral("b")));
    QVERIFY(deleted2->isDeleted(QStringLiteral("a.b")));

    // With nulls kept, the entry becomes the marker.
    V2_Data node(QStringLiteral("n"));
    QVariantMap third = parseObject(R"({"b":null})");
    node.fromQvariantMapWithNull(&third, nullptr);
    QVERIFY(node.isDeleted(QStringLiteral("b")));
}

void TestV2Data::mergeIgnorePathMember()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"parts":{"ignorePath":false,"7":{"x":1}}})");
    V2_Data* parts = root->getDataPointer(QStringLiteral("parts"));
    QVERIFY(parts->getIgnorePath());
    QVERIFY(!parts->keyExists(QStringLiteral("ignorePath")));
    QCOMPARE(root->getDataPointer(QStringLiteral("parts.7"))->getCalculatedPath(), QStringLiteral("parts"));

    // The null-keeping form takes the member's value.
    V2_Data node(QStringLiteral("n"));
    node.setIgnorePath(true);
    QVariantMap map = parseObject(R"({"ignorePath":false,"a":1})");
    node.fromQvariantMapWithNull(&map, nullptr);
    QVERIFY(!node.getIgnorePath());
    QVERIFY(!node.keyExists(QStringLiteral("ignorePath")));
}

void TestV2Data::arraysBecomeListNodes()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"laps":[10,20,30]})");
    V2_Data* laps = root->getDataPointer(QStringLiteral("laps"));
    QVERIFY(laps && laps->getList());
    QCOMPARE(laps->datas()->keys(), QStringList({"0000", "0001", "0002"}));

    mergeJson(root.get(), R"({"laps":[11]})");
    QCOMPARE(laps->getInt(QStringLiteral("0000")), 11);
    QCOMPARE(laps->getInt(QStringLiteral("0001")), 20);
    QCOMPARE(laps->getInt(QStringLiteral("0002")), 30);

    // Null elements keep their slot as a marker, and are recorded.
    Tree deleted = rootTree();
    mergeJson(root.get(), R"({"laps":[null,{"t":1}]})", deleted.get());
    QVERIFY(laps->isDeleted(QStringLiteral("0000")));
    QCOMPARE(laps->getInt(QStringLiteral("0001.t")), 1);
    QVERIFY(deleted->isDeleted(QStringLiteral("laps.0000")));
    QCOMPARE(QString::fromUtf8(compactJson(root.get())), QStringLiteral(R"({"laps":[null,{"t":1},30]})"));
}

void TestV2Data::largeArrayKeys()
{
    QByteArray json = "{\"big\":[";
    for (int i = 0; i < 10001; ++i)
        json += (i ? "," : "") + QByteArray::number(i);
    json += "]}";
    Tree root = rootTree();
    mergeJson(root.get(), json);
    V2_Data* big = root->getDataPointer(QStringLiteral("big"));
    QCOMPARE(big->datas()->size(), 10001);
    QCOMPARE(big->getInt(QStringLiteral("9999")), 9999);
    QCOMPARE(big->getInt(QStringLiteral("10000")), 10000);
    const QStringList keys = big->datas()->keys();
    QVERIFY(keys.indexOf(QStringLiteral("10000")) < keys.indexOf(QStringLiteral("2000")));
    QCOMPARE(keys.indexOf(QStringLiteral("10000")), keys.indexOf(QStringLiteral("1000")) + 1);
}

void TestV2Data::variantAndRapidMergesAgree()
{
    QRandomGenerator rng(4711);
    for (int round = 0; round < 200; ++round) {
        Tree viaVariants = rootTree();
        Tree viaRapid = rootTree();
        Tree deletedVariants = rootTree();
        Tree deletedRapid = rootTree();
        for (int step = 0; step < 4; ++step) {
            QJsonObject update = randomObject(rng, 3);
            if (rng.bounded(3) == 0)
                update.insert(QStringLiteral("k%1").arg(rng.bounded(8)), QJsonValue::Null);
            if (rng.bounded(4) == 0)
                update.insert(QStringLiteral("list"), QJsonArray({1, QJsonValue::Null, QStringLiteral("x")}));
            const QByteArray json = QJsonDocument(update).toJson(QJsonDocument::Compact);
            V2_message message(QStringLiteral("JSON:1::") + QString::fromUtf8(json));
            viaVariants->fromQvariantMap(message.jsonParams(), deletedVariants.get());
            viaRapid->fromRapidJson(*message.rapidJsonDocument(), deletedRapid.get());
        }
        QVERIFY(viaVariants->equals(viaRapid.get()));
        QVERIFY(deletedVariants->equals(deletedRapid.get()));
    }
}

void TestV2Data::rapidMergeAnyKeyOrder_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("sorted") << QByteArray(R"({"a":1,"b":{"x":1,"y":2},"c":"t"})") << QByteArray(R"({"a":2,"b":{"y":3,"z":4},"d":true})");
    QTest::newRow("reversed") << QByteArray(R"({"c":"t","b":{"y":2,"x":1},"a":1})") << QByteArray(R"({"d":true,"b":{"z":4,"a":0},"a":2})");
    QTest::newRow("shuffled with repeats") << QByteArray(R"({"m":1,"a":2,"z":3,"a":4,"b":5})") << QByteArray(R"({"y":1,"a":null,"n":2,"c":3})");
    QTest::newRow("non-ASCII keys") << QByteArray(R"({"é":1,"a":2,"日本":{"ö":3}})") << QByteArray(R"({"日本":{"ö":4,"ä":5},"é":null,"z":6})");
    QTest::newRow("rows as numbers") << QByteArray(R"({"r":{"ignorePath":true,"1":{"p":1},"10":{"p":2},"2":{"p":3}}})")
                                     << QByteArray(R"({"r":{"3":{"p":4},"1":{"q":5},"20":{"p":6}}})");
}

void TestV2Data::rapidMergeAnyKeyOrder()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    Tree viaRapid = rootTree();
    Tree viaVariants = rootTree();
    Tree deletedRapid = rootTree();
    Tree deletedVariants = rootTree();
    for (const QByteArray& json : {first, second}) {
        V2_message message(QStringLiteral("JSON:1::") + QString::fromUtf8(json));
        QVERIFY(message.isValid());
        viaRapid->fromRapidJson(*message.rapidJsonDocument(), deletedRapid.get());
        // The variant form sees a JSON object: the last of repeated members wins there too.
        viaVariants->fromQvariantMap(message.jsonParams(), deletedVariants.get());
    }
    QVERIFY2(viaRapid->equals(viaVariants.get()), qPrintable(viaRapid->getJsonString(true) + " != " + viaVariants->getJsonString(true)));
    QVERIFY(deletedRapid->equals(deletedVariants.get()));
    QVERIFY(std::is_sorted(viaRapid->datas()->keyBegin(), viaRapid->datas()->keyEnd()));
}

void TestV2Data::differenceRoundTrip()
{
    QRandomGenerator rng(1234);
    for (int round = 0; round < 300; ++round) {
        Tree a = rootTree();
        Tree b = rootTree();
        mergeJson(a.get(), QJsonDocument(randomObject(rng, 3)).toJson(QJsonDocument::Compact));
        mergeJson(b.get(), QJsonDocument(randomObject(rng, 3)).toJson(QJsonDocument::Compact));

        std::unique_ptr<V2_Data> diff(a->difference(b.get()));
        Tree applied(new V2_Data(a.get()));
        mergeJson(applied.get(), compactJson(diff.get()));
        QVERIFY2(applied->equals(b.get()), compactJson(diff.get()).constData());

        std::unique_ptr<V2_Data> none(b->difference(b.get()));
        QVERIFY(none->datas()->isEmpty());
    }
}

void TestV2Data::differenceExamples()
{
    // Types count: 1 as int and 1 as unsigned differ.
    V2_Data a(QStringLiteral("a"));
    a.insertData(QStringLiteral("a"), 1);
    V2_Data c(QStringLiteral("c"));
    c.insertData(QStringLiteral("a"), 1u);
    QVERIFY(!a.equals(&c));
    QVERIFY(!V2_Data::variantEquals(a.datas()->value(QStringLiteral("a")), c.datas()->value(QStringLiteral("a"))));
    QCOMPARE(std::unique_ptr<V2_Data>(a.difference(&c))->getName(), QStringLiteral("a"));
}

void TestV2Data::differenceOfListsAndOddKeys_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("difference");
    // An array goes by position: unchanged entries hold their places.
    QTest::newRow("list shrinks") << QByteArray(R"({"a":[1,2,{"b":3}]})") << QByteArray(R"({"a":[1]})") << QByteArray(R"({"a":[1,null,null]})");
    QTest::newRow("middle changes") << QByteArray(R"({"a":[1,{"b":2},3]})") << QByteArray(R"({"a":[1,{"b":5},3]})")
                                    << QByteArray(R"({"a":[1,{"b":5},3]})");
    QTest::newRow("list becomes an object") << QByteArray(R"({"a":[1,2]})") << QByteArray(R"({"a":{"k":"v"}})")
                                            << QByteArray(R"({"a":{"0000":null,"0001":null,"k":"v"}})");
    QTest::newRow("a key goes") << QByteArray(R"({"a":1,"b":2})") << QByteArray(R"({"a":1})") << QByteArray(R"({"b":null})");
    QTest::newRow("empty key goes") << QByteArray(R"({"":1,"k":2})") << QByteArray(R"({"k":2})") << QByteArray(R"({"":null})");
}

void TestV2Data::differenceOfListsAndOddKeys()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, difference);
    Tree a = rootTree();
    Tree b = rootTree();
    mergeJson(a.get(), base);
    mergeJson(b.get(), target);
    std::unique_ptr<V2_Data> diff(a->difference(b.get()));
    QCOMPARE(compactJson(diff.get()), difference);
    // Applied, the kept entries are the target's; the dropped ones are gone.
    mergeJson(a.get(), compactJson(diff.get()));
    QCOMPARE(compactJson(a.get()).replace(",null", ""), target);
}

void TestV2Data::jsonOutput()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"n":{"b#name":1,"gone":"x","list":[1,{"y":2}],"big":3000000000,"s":"q\"uote"}})");
    V2_Data* n = root->getDataPointer(QStringLiteral("n"));
    n->insertData(QStringLiteral("gone"), V2_Data::DELETE_FIELD);
    n->setIgnorePath(true);
    n->insertData(QStringLiteral("ull"), Q_UINT64_C(0xFFFFFFFFFFFFFFFF));

    const QJsonObject json = root->getJson(QString(), false);
    const QJsonObject inner = json.value(QStringLiteral("n")).toObject();
    QCOMPARE(inner.value(QStringLiteral("name")).toInt(), 1);
    QVERIFY(!inner.contains(QStringLiteral("b#name")));
    QVERIFY(inner.value(QStringLiteral("gone")).isNull());
    QCOMPARE(inner.value(QStringLiteral("list")).toArray().size(), 2);
    QCOMPARE(inner.value(QStringLiteral("list")).toArray().at(1).toObject().value(QStringLiteral("y")).toInt(), 2);
    // Unsigned values above the signed 32-bit range keep their value.
    QCOMPARE(inner.value(QStringLiteral("big")).toVariant().toLongLong(), Q_INT64_C(3000000000));
    // The all-bits-set "no time" travels as -1 and reads back as the same unsigned value.
    QCOMPARE(inner.value(QStringLiteral("ull")).toVariant().toLongLong(), Q_INT64_C(-1));
    // Other unsigned values past the signed range keep their sign, unless
    // the nearest double is 2^64.
    n->insertData(QStringLiteral("past"), Q_UINT64_C(10188888888888890000));
    n->insertData(QStringLiteral("nearEnd"), Q_UINT64_C(18446744073709551614));
    const QString written = root->getJsonString(false);
    QVERIFY(written.contains(QStringLiteral(R"("past":10188888888888890000)")));
    QVERIFY(written.contains(QStringLiteral(R"("nearEnd":-2)")));
    QVERIFY(!inner.contains(QStringLiteral("ignorePath")));
    QVERIFY(root->getJson(QString(), true).value(QStringLiteral("n")).toObject().value(QStringLiteral("ignorePath")).toBool());

    QCOMPARE(root->toJson(QString(), true), QJsonObject());
    QCOMPARE(root->toJson(QStringLiteral("missing"), true), QJsonObject());
    QCOMPARE(root->getJsonString(QStringLiteral("n.list"), true), QStringLiteral(R"({"list":{"0000":1,"0001":{"y":2}}})"));
    QCOMPARE(root->getJsonString(QStringLiteral("n.list"), false), QStringLiteral(R"({"0000":1,"0001":{"y":2}})"));

    // Output reparses into an equal tree (apart from the marker, which becomes a deletion).
    Tree reparsed = rootTree();
    mergeJson(reparsed.get(), compactJson(root.get()));
    QVERIFY(!reparsed->getDataPointer(QStringLiteral("n"))->keyExists(QStringLiteral("gone")));
    QCOMPARE(reparsed->getString(QStringLiteral("n.s")), QStringLiteral("q\"uote"));
}

void TestV2Data::compactOutputs()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"a":{"x#b":{"c":1},"d":"t"},"e":true})");
    root->getDataPointer(QStringLiteral("a"))->insertData(QStringLiteral("gone"), V2_Data::DELETE_FIELD);

    QMap<QString, QVariant*> flat;
    root->getCompactData(&flat, QString());
    QCOMPARE(flat.keys(), QStringList({"a.d", "a.gone", "a.x#b.c", "e"}));
    QCOMPARE(flat.value(QStringLiteral("a.x#b.c")), root->getDataPointer(QStringLiteral("a.x#b"))->datas()->value(QStringLiteral("c")));

    QCOMPARE(root->getJsonCompactString(QStringLiteral("p")), QStringLiteral(R"({"p.a.b.c":1,"p.a.d":"t","p.e":true})"));
}

void TestV2Data::rapidJsonOutput()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"a":{"x#b":{"c":1},"d":"t","l":[1,2],"n":-2,"u":18446744073709551615,"f":0.5}})");
    root->getDataPointer(QStringLiteral("a"))->insertData(QStringLiteral("gone"), V2_Data::DELETE_FIELD);

    rapidjson::StringBuffer buffer;
    V2_Data::RapidWriter writer(buffer);
    root->getRapidJson(writer);
    QCOMPARE(QByteArray(buffer.GetString()),
             QByteArray(R"({"a":{"d":"t","f":0.5,"gone":null,"l":{"0000":1,"0001":2},"n":-2,"u":18446744073709551615,"b":{"c":1}}})"));

    rapidjson::StringBuffer wrapped;
    V2_Data::RapidWriter wrappedWriter(wrapped);
    root->getRapidJson(wrappedWriter, QStringLiteral("a.x#b"), true);
    QCOMPARE(QByteArray(wrapped.GetString()), QByteArray(R"({"x#b":{"c":1}})"));

    rapidjson::StringBuffer nothing;
    V2_Data::RapidWriter nothingWriter(nothing);
    root->getRapidJson(nothingWriter, QStringLiteral("a.missing"), true);
    QCOMPARE(nothing.GetSize(), size_t(0));
}

void TestV2Data::wireOutput_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("written");
    // Whether a client reads the same value and type as from the Qt writer.
    QTest::addColumn<bool>("sameAsQt");
    // What getRapidJson writes for the value (the same unless written).
    QTest::addColumn<QByteArray>("rapid");
    QTest::newRow("int") << QVariant(-7) << QByteArray("-7") << true << QByteArray();
    QTest::newRow("integral double") << QVariant(3.0) << QByteArray("3") << true << QByteArray("3.0");
    QTest::newRow("negative zero") << QVariant(-0.0) << QByteArray("0") << true << QByteArray("-0.0");
    QTest::newRow("fraction") << QVariant(0.1) << QByteArray("0.1") << true << QByteArray();
    QTest::newRow("big integral double") << QVariant(1e16) << QByteArray("10000000000000000") << true << QByteArray("10000000000000000.0");
    QTest::newRow("huge double") << QVariant(1e300) << QByteArray("1e300") << true << QByteArray();
    QTest::newRow("nan") << QVariant(std::nan("")) << QByteArray("null") << true << QByteArray();
    QTest::newRow("infinity") << QVariant(HUGE_VAL) << QByteArray("null") << true << QByteArray();
    QTest::newRow("minus infinity") << QVariant(-HUGE_VAL) << QByteArray("null") << true << QByteArray();
    QTest::newRow("2^53 as double") << QVariant(9007199254740992.0) << QByteArray("9007199254740992") << true << QByteArray("9007199254740992.0");
    QTest::newRow("2^53+2 as double") << QVariant(9007199254740994.0) << QByteArray("9007199254740994") << true << QByteArray("9007199254740994.0");
    QTest::newRow("string escapes") << QVariant(QStringLiteral("a\"b\\c\x01\n/é")) << QByteArray("\"a\\\"b\\\\c\\u0001\\n/\xc3\xa9\"") << true << QByteArray();
    QTest::newRow("marker") << QVariant(V2_Data::DELETE_FIELD) << QByteArray("null") << true << QByteArray();
    QTest::newRow("bool") << QVariant(true) << QByteArray("true") << true << QByteArray();
    // The Qt writer rounds 64-bit integers through a double.
    QTest::newRow("int64 exact") << QVariant(qint64(1152921504606846977LL)) << QByteArray("1152921504606846977") << false << QByteArray();
    QTest::newRow("int64 min") << QVariant(std::numeric_limits<qint64>::min()) << QByteArray("-9223372036854775808") << false << QByteArray();
    QTest::newRow("uint64 max") << QVariant(quint64(18446744073709551615ULL)) << QByteArray("18446744073709551615") << false << QByteArray();
}

void TestV2Data::wireOutput()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, written);
    QFETCH(bool, sameAsQt);
    QFETCH(QByteArray, rapid);
    Tree root = rootTree();
    V2_Data* node = root->getOrCreateDataPointer(QStringLiteral("a"));
    QVariant copy(value);
    node->insertData(QStringLiteral("x#v"), &copy);
    V2_Data* list = node->getOrCreateInLevelSingleDataPointer(QStringLiteral("l"));
    list->setList(true);
    list->insertData(QStringLiteral("0000"), &copy);
    list->insertData(QStringLiteral("0001"), 2);
    QVariant date(QDate(2026, 1, 1));
    node->insertData(QStringLiteral("skipped"), &date);

    const QByteArray wire = root->getJsonUtf8();
    QCOMPARE(wire, QByteArray(R"({"a":{"l":[)" + written + R"(,2],"v":)" + written + "}}"));
    Tree fromWire = rootTree();
    mergeJson(fromWire.get(), wire);
    Tree fromQt = rootTree();
    mergeJson(fromQt.get(), compactJson(root.get()));
    QCOMPARE(fromWire->equals(fromQt.get()), sameAsQt);

    if (rapid.isEmpty())
        rapid = written;
    rapidjson::StringBuffer buffer;
    V2_Data::RapidWriter writer(buffer);
    root->getRapidJson(writer);
    const QByteArray rapidText(buffer.GetString(), int(buffer.GetSize()));
    QCOMPARE(rapidText, QByteArray(R"({"a":{"l":{"0000":)" + rapid + R"(,"0001":2},"v":)" + rapid + "}}"));
    QVERIFY(V2_message("JSON:1::" + rapidText).isValid());
}

void TestV2Data::oneMemberPerName_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("written");

    // The last key in key order that writes a name gives its value, as the
    // Qt writer keeps it.
    QTest::newRow("two aliases") << QByteArray(R"({"1#x":1,"2#x":2,"y":3})") << QByteArray(R"({"x":2,"y":3})");
    QTest::newRow("alias before the plain key") << QByteArray(R"({"1#x":1,"x":"plain"})") << QByteArray(R"({"x":"plain"})");
    QTest::newRow("plain key before an alias") << QByteArray(R"({"a":{"c":1},"b#a":5})") << QByteArray(R"({"a":5})");
    QTest::newRow("no alias") << QByteArray(R"({"x#y":1,"z":2})") << QByteArray(R"({"y":1,"z":2})");
}

void TestV2Data::oneMemberPerName()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, written);
    Tree root = rootTree();
    mergeJson(root.get(), R"({"n":)" + json + "}");
    const QByteArray expected = R"({"n":)" + written + "}";
    QCOMPARE(root->getJsonUtf8(), expected);
    QCOMPARE(compactJson(root.get()), expected);
    rapidjson::StringBuffer buffer;
    V2_Data::RapidWriter writer(buffer);
    root->getRapidJson(writer);
    QCOMPARE(QByteArray(buffer.GetString()), expected);
}

void TestV2Data::copiesAreDeep()
{
    Tree root = rootTree();
    mergeJson(root.get(), R"({"a":{"b":{"c":1}},"s":"x"})");

    V2_Data byPointer(root.get());
    V2_Data byReference(*root);
    V2_Data assigned;
    assigned = *root;
    for (V2_Data* copy : {&byPointer, &byReference, &assigned}) {
        QVERIFY(copy->equals(root.get()));
        QVERIFY(copy->datas() != root->datas());
        QVERIFY(copy->getV2_Data(QStringLiteral("a")) != root->getV2_Data(QStringLiteral("a")));
        QCOMPARE(copy->getV2_Data(QStringLiteral("a"))->getV2Parent(), copy);
        QVERIFY(copy->getIgnorePath());
    }
    root->getDataPointer(QStringLiteral("a.b"))->insertData(QStringLiteral("c"), 2);
    QCOMPARE(byReference.getInt(QStringLiteral("a.b.c")), 1);
    root.reset();
    QCOMPARE(assigned.getInt(QStringLiteral("a.b.c")), 1);

    // Assigning a node's own descendant to it must not read freed memory.
    V2_Data* a = assigned.getDataPointer(QStringLiteral("a"));
    assigned = a;
    QCOMPARE(assigned.getInt(QStringLiteral("b.c")), 1);
    assigned = &assigned;
    QCOMPARE(assigned.getInt(QStringLiteral("b.c")), 1);

    // A map handed over with setDatas is the node's from then on (and freed with it).
    auto* map = new V2_Data::Map;
    map->insert(QStringLiteral("n"), new QVariant(7));
    auto* holder = new V2_Data(QStringLiteral("h"));
    holder->setDatas(map);
    QCOMPARE(holder->datas(), map);
    QCOMPARE(holder->getInt(QStringLiteral("n")), 7);
    delete holder;
}

void TestV2Data::appendData()
{
    V2_Data target(QStringLiteral("t"));
    mergeJson(&target, R"({"keep":{"x":1,"y":2},"s":1})");

    V2_Data source(QStringLiteral("src"));
    mergeJson(&source, R"({"keep":{"y":3,"z":4},"fresh":{"a":{"b":1}},"live":{"liveData":true,"v":1}})");
    source.getDataPointer(QStringLiteral("keep"))->setList(true);
    for (auto it = source.datas()->cbegin(); it != source.datas()->cend(); ++it)
        target.appendData(it.key(), it.value());

    QCOMPARE(target.getInt(QStringLiteral("keep.x")), 1);
    QCOMPARE(target.getInt(QStringLiteral("keep.y")), 3);
    QCOMPARE(target.getInt(QStringLiteral("keep.z")), 4);
    QVERIFY(target.getDataPointer(QStringLiteral("keep"))->getList());
    QCOMPARE(target.getInt(QStringLiteral("fresh.a.b")), 1);
    // A liveData node is announced but not merged, and the marker entry is consumed.
    QVERIFY(target.getDataPointer(QStringLiteral("live")));
    QVERIFY(!target.getDataPointer(QStringLiteral("live"))->keyExists(QStringLiteral("v")));
    QVERIFY(!source.getDataPointer(QStringLiteral("live"))->keyExists(QStringLiteral("liveData")));

    QVariant marker(V2_Data::DELETE_FIELD);
    target.appendData(QStringLiteral("keep"), &marker);
    QVERIFY(!target.keyExists(QStringLiteral("keep")));
    target.appendData(QStringLiteral("s"), &marker);
    QVERIFY(target.isDeleted(QStringLiteral("s")));
    target.appendData(QStringLiteral("s"), nullptr);
    QVERIFY(target.isDeleted(QStringLiteral("s")));
}

void TestV2Data::cleanUp()
{
    V2_Data node(QStringLiteral("n"));
    mergeJson(&node, R"({"empty":{"deeper":{}},"full":{"e":{},"v":1},"s":"x"})");
    QVERIFY(!node.isEmpty());
    QVERIFY(node.getDataPointer(QStringLiteral("empty"))->isEmpty());
    node.clearEmptyData();
    QVERIFY(!node.keyExists(QStringLiteral("empty")));
    QVERIFY(!node.getDataPointer(QStringLiteral("full"))->keyExists(QStringLiteral("e")));

    node.getDataPointer(QStringLiteral("full"))->insertDeletedData(QString());
    QVERIFY(node.isDeleted(QStringLiteral("full.v")));
    node.insertDeletedData(QStringLiteral("s"));
    QCOMPARE(node.getString(QStringLiteral("s")), V2_Data::DELETE_FIELD);
    node.clearNulls();
    QVERIFY(!node.keyExists(QStringLiteral("s")));
    QVERIFY(node.getDataPointer(QStringLiteral("full"))->datas()->isEmpty());

    node.clear();
    QVERIFY(node.datas()->isEmpty());
    QVERIFY(node.getName().isEmpty());
    node.deleteKey(QStringLiteral("missing"));
}

void TestV2Data::deepTreesFromParser()
{
    // The deepest payload the parser accepts can be merged, copied, compared and written.
    const int depth = V2_message::MAX_JSON_DEPTH - 1;
    const QByteArray json = QByteArray("{\"a\":").repeated(depth) + "1" + QByteArray("}").repeated(depth);
    Tree root = rootTree();
    mergeJson(root.get(), json);
    V2_Data copy(root.get());
    QVERIFY(copy.equals(root.get()));
    QCOMPARE(compactJson(&copy).size(), json.size());
}

QTEST_GUILESS_MAIN(TestV2Data)
#include "tst_v2data.moc"
