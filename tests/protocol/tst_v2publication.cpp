#include "ServerFixture.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// Connections of one audience share the filtered bytes of a publication;
// nothing may leak from one profile's audience into another's.
namespace {

const QString kFieldsProfile = QStringLiteral("Fields");
const QString kRecordsProfile = QStringLiteral("Records");

void copyEntry(V2_Data* into, const QString& key, const QVariant* value)
{
    if (const V2_Data* node = V2_Data::nodeOf(value))
        into->insertData(key, new V2_Data(node));
    else
        into->insertData(key, const_cast<QVariant*>(value));
}

// What each profile lets through of one published tree, written out by
// hand from the profile's rules (not through the server's filter).
Tree allowedBy(const QString& profile, const V2_Data& published)
{
    Tree allowed(new V2_Data(QStringLiteral("ROOT")));
    allowed->setRoot(true);
    const V2_Data* p = published.getInLevelV2_Data(QStringLiteral("p"));
    if (!p) {
        // The whole channel deleted: every profile may see that.
        if (published.keyExists(QStringLiteral("p")))
            allowed->insertData(QStringLiteral("p"), V2_Data::DELETE_FIELD);
        return allowed;
    }
    V2_Data* out = allowed->getOrCreateDataPointer(QStringLiteral("p"));
    const bool fields = profile == kFieldsProfile;
    const QStringList scalars = fields ? QStringList{ "s0", "s1" } : QStringList{ "s2" };
    for (auto it = p->datas()->cbegin(); it != p->datas()->cend(); ++it) {
        if (scalars.contains(it.key()) || (!fields && it.key() == QLatin1String("n0")))
            copyEntry(out, it.key(), it.value());
    }
    if (const V2_Data* cars = p->getInLevelV2_Data(QStringLiteral("cars"))) {
        V2_Data* carsOut = out->getOrCreateInLevelSingleDataPointer(QStringLiteral("cars"));
        const QStringList carFields = fields ? QStringList{ "lap", "class" } : QStringList{ "class", "name" };
        for (auto it = cars->datas()->cbegin(); it != cars->datas()->cend(); ++it) {
            const V2_Data* record = V2_Data::nodeOf(it.value());
            if (!record) {
                copyEntry(carsOut, it.key(), it.value());
                continue;
            }
            if (!fields && record->getString(QStringLiteral("class")) != QLatin1String("X"))
                continue;
            V2_Data* recordOut = carsOut->getOrCreateInLevelSingleDataPointer(it.key());
            for (const QString& field : carFields) {
                if (const QVariant* value = record->datas()->value(field))
                    copyEntry(recordOut, field, value);
            }
        }
    }
    allowed->clearEmptyData();
    return allowed;
}

void fillRandom(V2_Data* p, QRandomGenerator& rng)
{
    for (int i = 0; i < 4; ++i) {
        const QString key = QStringLiteral("s%1").arg(i);
        switch (rng.bounded(4)) {
        case 0:
            p->insertData(key, static_cast<int>(rng.bounded(1000)));
            break;
        case 1:
            p->insertData(key, QStringLiteral("t%1").arg(rng.bounded(9)));
            break;
        case 2:
            p->insertData(key, V2_Data::DELETE_FIELD);
            break;
        default:
            break;
        }
    }
    if (rng.bounded(4) == 0)
        p->insertData(QStringLiteral("n0"), V2_Data::DELETE_FIELD);
    else if (rng.bounded(3) == 0)
        p->getOrCreateInLevelSingleDataPointer(QStringLiteral("n0"))->insertData(QStringLiteral("a%1").arg(rng.bounded(3)), static_cast<int>(rng.bounded(50)));
    V2_Data* cars = p->getOrCreateInLevelSingleDataPointer(QStringLiteral("cars"));
    for (int i = rng.bounded(4); i > 0; --i) {
        const QString number = QString::number(rng.bounded(1, 7));
        if (rng.bounded(10) == 0) {
            cars->insertData(number, V2_Data::DELETE_FIELD);
            continue;
        }
        V2_Data* record = cars->getOrCreateInLevelSingleDataPointer(number);
        if (rng.bounded(10) < 7)
            record->insertData(QStringLiteral("class"), rng.bounded(2) ? QStringLiteral("X") : QStringLiteral("Y"));
        record->insertData(QStringLiteral("lap"), static_cast<int>(rng.bounded(100)));
        record->insertData(QStringLiteral("name"), QStringLiteral("d%1").arg(rng.bounded(5)));
    }
    cars->setIgnorePath(true);
}

void accumulate(V2_Data& into, const V2_Data& update)
{
    for (auto it = update.datas()->cbegin(); it != update.datas()->cend(); ++it)
        into.appendData(it.key(), it.value());
}

} // namespace

class TestV2Publication final : public QObject
{
    Q_OBJECT

private slots:
    void audiencesSeeOnlyTheirProfile();
    void copiesOnSeveralThreadsLeaveTheTreeAlone();
};

void TestV2Publication::audiencesSeeOnlyTheirProfile()
{
    Fixture fixture;
    auto* fields
        = profileWith(kFieldsProfile, { { "p", 1 }, { "p.s0", 2 }, { "p.s1", 2 }, { "p.cars", 1 }, { "p.cars.lap", 2 }, { "p.cars.class", 2 }, { "q", 2 } });
    auto* records = profileWith(kRecordsProfile, { { "p", 1 }, { "p.s2", 2 }, { "p.n0", 2 }, { "p.cars", 1 }, { "p.cars.class", 2 }, { "p.cars.name", 2 } });
    records->setProfileFilters({ { QStringLiteral("p.cars"), { QStringLiteral("p.cars"), QStringLiteral("class"), { QStringLiteral("X") } } } });
    fixture.server.addProfile(fields->name(), fields);
    fixture.server.addProfile(records->name(), records);
    struct Reader
    {
        QString login;
        QString profile;
        QStringList channels;
        std::unique_ptr<V2_Client> client;
    };
    // Two audiences of two connections each, and one more of the first
    // profile with other channels.
    std::vector<Reader> readers(5);
    readers[0] = { "f1", kFieldsProfile, { "p" }, nullptr };
    readers[1] = { "f2", kFieldsProfile, { "p" }, nullptr };
    readers[2] = { "f3", kFieldsProfile, { "q", "p" }, nullptr };
    readers[3] = { "r1", kRecordsProfile, { "p" }, nullptr };
    readers[4] = { "r2", kRecordsProfile, { "p" }, nullptr };
    for (Reader& reader : readers) {
        fixture.server.addUser(new V2_User(reader.login, reader.login, QStringLiteral("pw"), 1, reader.profile == kFieldsProfile ? fields : records));
        reader.client = fixture.client(reader.login);
        QVERIFY(Fixture::loginAndJoin(reader.client.get(), reader.channels));
    }

    QRandomGenerator rng(77);
    V2_Data expectedFields(QStringLiteral("ROOT"));
    V2_Data expectedRecords(QStringLiteral("ROOT"));
    for (int step = 0; step < 300; ++step) {
        V2_Data published(QStringLiteral("ROOT"));
        published.setRoot(true);
        if (rng.bounded(40) == 0)
            published.insertData(QStringLiteral("p"), V2_Data::DELETE_FIELD);
        else
            fillRandom(published.getOrCreateDataPointer(QStringLiteral("p")), rng);
        fixture.server.sendV2Data(&published);
        accumulate(expectedFields, *allowedBy(kFieldsProfile, published));
        accumulate(expectedRecords, *allowedBy(kRecordsProfile, published));
    }
    expectedFields.clearNulls();
    expectedRecords.clearNulls();
    const QByteArray fieldsJson = expectedFields.getJsonString(false).toUtf8();
    const QByteArray recordsJson = expectedRecords.getJsonString(false).toUtf8();
    QVERIFY2(fieldsJson.contains("lap") && !fieldsJson.contains("name"), fieldsJson.constData());
    QVERIFY2(recordsJson.contains("name") && !recordsJson.contains("lap"), recordsJson.constData());
    for (const Reader& reader : readers)
        QTRY_COMPARE_WITH_TIMEOUT(mirrorJson(reader.client.get()), reader.profile == kFieldsProfile ? fieldsJson : recordsJson, 20000);
}

void TestV2Publication::copiesOnSeveralThreadsLeaveTheTreeAlone()
{
    // A published tree is copied by connections of other audiences on their
    // own threads at once: copying must only read it (the thread sanitizer
    // stage sees any write; here the copies must at least be whole).
    V2_Data published(QStringLiteral("ROOT"));
    published.setRoot(true);
    QRandomGenerator rng(5);
    for (int i = 0; i < 40; ++i)
        fillRandom(published.getOrCreateDataPointer(QStringLiteral("p.c%1.d").arg(i)), rng);
    const V2_Data& shared = published;
    std::atomic<int> whole{0};
    QSemaphore start;
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            start.acquire();
            for (int round = 0; round < 20; ++round) {
                V2_Data copy(&shared);
                if (copy.equals(&shared) && copy.getDataPointer(QStringLiteral("p.c7.d.cars"))->getCalculatedPath() == QLatin1String("p.c7.d.cars"))
                    ++whole;
            }
        });
    }
    start.release(3);
    for (std::thread& reader : readers)
        reader.join();
    QCOMPARE(whole.load(), 60);
}

QTEST_GUILESS_MAIN(TestV2Publication)
#include "tst_v2publication.moc"
