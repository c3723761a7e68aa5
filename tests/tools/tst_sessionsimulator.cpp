#include "SessionSimulator.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2_Client.h"
#include "V2_MessageHandler.h"
#include "V2_Data.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kStart = Q_INT64_C(1767283200000);

SimOptions optionsFrom(const QStringList& arguments)
{
    SimOptions options;
    QString error;
    if (!SimOptions::parse(QStringList{QStringLiteral("lanterra-sim")} + arguments, &options, &error))
        qFatal("bad test options: %s", qPrintable(error));
    return options;
}

QByteArray json(const V2_Data* node)
{
    return node ? node->getJsonString(false).toUtf8() : QByteArray();
}

// What a client's mirror holds after merging a published subtree: the
// "ignorePath" members become flags.
QByteArray asReceived(const V2_Data* node)
{
    if (!node)
        return QByteArray();
    V2_Data root(QStringLiteral("ROOT"));
    root.setRoot(true);
    V2_message message(QStringLiteral("JSON:1::") + QString::fromUtf8(json(node)));
    root.fromRapidJson(*message.rapidJsonDocument(), nullptr);
    return json(&root);
}

// The simulator published over plain TCP and a client of it: logged in as
// the demo user of `profile`, or to a full-access server without one.
struct Published {
    Published(const SimOptions& options, V2_Profile* profile = nullptr)
        : publisher(&server, options, kStart)
    {
        server.setSsl(false);
        server.setFullAccess(!profile);
        // Without a login the client never pings; slow builds take longer than the inactivity limit.
        server.setTimeout(0);
        if (profile) {
            server.addProfile(profile->name(), profile);
            server.addUser(new V2_User(QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("demo"), 5, profile));
        }
    }

    bool join(const QStringList& channels)
    {
        if (!server.startServer(0))
            return false;
        const QString user = server.fullAccess() ? QString() : QStringLiteral("demo");
        client = std::make_unique<V2_Client>(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), server.serverPort(), user,
                                             user, QStringLiteral("127.0.0.1"));
        client->setSsl(false);
        QSignalSpy ready(client.get(), user.isEmpty() ? &V2_Client::onConnected : &V2_Client::onLoginDone);
        QSignalSpy joined(client.get(), &V2_Client::onChannelJoin);
        client->setActive(true);
        if (!QTest::qWaitFor([&] { return ready.count() == 1; }, 5000))
            return false;
        for (const QString& channel : channels)
            client->joinChannel(channel, QString());
        return QTest::qWaitFor([&] { return joined.count() == channels.size(); }, 5000);
    }

    QByteArray mirror(const QString& path) const { return json(client->getCurrentData()->getV2_Data(path)); }

    V2_Server server;
    SimPublisher publisher;
    std::unique_ptr<V2_Client> client;
};

} // namespace

class TestSessionSimulator final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deterministic();
    void schema_data();
    void schema();
    void weatherSamples();
    void consistency_data();
    void consistency();
    void eventsPitsAndStints();
    void stopsSpread_data();
    void stopsSpread();
    void enduranceRotatesDrivers_data();
    void enduranceRotatesDrivers();
    void endToEnd();
    void longRaceTicksIncrementally();
    void allChannelsFullAccess_data();
    void allChannelsFullAccess();

private:
    // Whatever the simulator keeps in the user's folder stays in this one.
    QTemporaryDir m_config;
};

void TestSessionSimulator::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestSessionSimulator::deterministic()
{
    const SimOptions options = optionsFrom({"--seed", "7"});
    SessionSimulator first(options, kStart);
    SessionSimulator second(options, kStart);
    QCOMPARE(json(first.state(123456).get()), json(second.state(123456).get()));
    SessionSimulator other(optionsFrom({"--seed", "8"}), kStart);
    QVERIFY(json(first.state(0).get()) != json(other.state(0).get()));
    const QStringList participants = first.participants();
    QCOMPARE(participants.size(), 30);
    QCOMPARE(QSet<QString>(participants.cbegin(), participants.cend()).size(), 30);
}

void TestSessionSimulator::schema_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("at");
    QTest::newRow("race") << QStringList() << qint64(60000);
    QTest::newRow("practice") << QStringList({"--type", "PRACTICE", "--classes", "1"}) << qint64(0);
    QTest::newRow("bikes with history") << QStringList({"--bikes", "--elapsed", "1800"}) << qint64(1800000);
    QTest::newRow("finished") << QStringList({"--duration", "600"}) << qint64(700000);
}

void TestSessionSimulator::schema()
{
    QFETCH(QStringList, arguments);
    QFETCH(qint64, at);
    const SimOptions options = optionsFrom(arguments);
    SessionSimulator simulator(options, kStart);
    const auto state = simulator.state(at);
    // Value types are checked over the wire by allChannelsFullAccess.
    QCOMPARE(state->getString(QStringLiteral("timing.session.info.type")), options.type);
    QCOMPARE(state->getBool(QStringLiteral("timing.session.info.champIsBikes")), options.bikes);
    const bool finished = at >= options.durationSeconds * 1000LL;
    QCOMPARE(state->getBool(QStringLiteral("timing.session.status.isFinished")), finished);
    QCOMPARE(state->getBool(QStringLiteral("timing.session.status.isSessionRunning")), !finished);

    const V2_Data* classes = state->getV2_Data(QStringLiteral("timing.session.classes"));
    QCOMPARE(classes->datas()->size(), options.classes);
    QStringList classNames;
    for (const QString& key : classes->datas()->keys())
        classNames.append(classes->getString(key + QStringLiteral(".name")));
    const V2_Data* entry = state->getV2_Data(QStringLiteral("timing.session.entry"));
    QCOMPARE(entry->datas()->size(), options.cars);
    for (const QString& car : entry->datas()->keys()) {
        QVERIFY(classNames.contains(entry->getString(car + QStringLiteral(".class"))));
        QVERIFY(!entry->getString(car + QStringLiteral(".team")).isEmpty());
        QVERIFY(!entry->getString(car + QStringLiteral(".vehicle")).isEmpty());
        const int drivers = entry->getV2_Data(car + QStringLiteral(".drivers"))->datas()->size();
        QVERIFY(options.bikes ? drivers == 1 : drivers >= 2 && drivers <= 3);
        QVERIFY(!entry->getString(car + QStringLiteral(".drivers.1.lastName")).isEmpty());
    }
}

void TestSessionSimulator::weatherSamples()
{
    SessionSimulator simulator(optionsFrom({}), kStart);
    const auto state = simulator.state(3 * 3600 * 1000);
    const V2_Data* samples = state->getV2_Data(QStringLiteral("weather.sessionData"));
    QCOMPARE(samples->datas()->size(), 3 * 360 + 1);
    QList<qint64> keys;
    for (const QString& key : samples->datas()->keys())
        keys.append(key.toLongLong());
    std::sort(keys.begin(), keys.end());
    QCOMPARE(keys.first(), kStart);
    for (int i = 1; i < keys.size(); ++i)
        QCOMPARE(keys.at(i) - keys.at(i - 1), qint64(10000));
    // The current values are those of the newest sample.
    const V2_Data* newest = samples->getV2_Data(QString::number(keys.last()));
    const V2_Data* current = state->getV2_Data(QStringLiteral("weather.currentData"));
    QVERIFY(current->equals(newest));
}

void TestSessionSimulator::consistency_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("race by time") << QStringList({"--duration", "1800"});
    QTest::newRow("race by laps") << QStringList({"--duration", "1800", "--final", "BY_LAPS", "--seed", "3"});
    QTest::newRow("practice") << QStringList({"--duration", "1800", "--type", "PRACTICE", "--cars", "12", "--classes", "2"});
}

void TestSessionSimulator::consistency()
{
    QFETCH(QStringList, arguments);
    const SimOptions options = optionsFrom(arguments);
    SessionSimulator simulator(options, kStart);
    const bool race = options.type == QLatin1String("RACE");
    for (qint64 at = 0; at <= options.durationSeconds * 1300LL; at += 97000) {
        const auto state = simulator.state(at);
        const V2_Data* details = state->getV2_Data(QStringLiteral("timing.session.standings.overall.participantDetails"));
        // Every lap's time is the sum of its sectors; laps are numbered 1..elapsedLaps.
        for (const QString& car : simulator.participants()) {
            const int elapsed = details->getInt(car + QStringLiteral(".elapsedLaps"), -1);
            const V2_Data* laps = state->getV2_Data(QStringLiteral("timing.analysis.laps.%1.laps").arg(car));
            QCOMPARE(laps ? laps->datas()->size() : 0, elapsed);
            if (!laps)
                continue;
            qint64 previousEnd = 0;
            for (int n = 1; n <= elapsed; ++n) {
                const V2_Data* lap = laps->getV2_Data(QString::number(n));
                QVERIFY(lap);
                qint64 sum = 0;
                for (int sector = 1; sector <= 4; ++sector)
                    sum += lap->getLongLong(QStringLiteral("sectors.%1.time").arg(sector));
                QCOMPARE(lap->getLongLong(QStringLiteral("time")), sum);
                const qint64 start = lap->getLongLong(QStringLiteral("startTime"));
                QVERIFY(n == 1 || start == previousEnd);
                previousEnd = start + sum;
            }
            QCOMPARE(details->getInt(car + QStringLiteral(".currentLap")), elapsed + 1);
            // As a timing feed: a running car's lap starts where its last one
            // ended, and the sectors of it already run have ended by now.
            if (details->getBool(car + QStringLiteral(".running"))) {
                const qint64 lapStart = details->getLongLong(car + QStringLiteral(".currentLapStartTime"));
                QCOMPARE(lapStart, previousEnd);
                QCOMPARE(details->getLongLong(car + QStringLiteral(".lastLap.lapStartTime")), previousEnd - details->getLongLong(car + QStringLiteral(".lastLap.time")));
                qint64 ended = lapStart;
                for (int s = 1; s < details->getInt(car + QStringLiteral(".currentSector")); ++s)
                    ended += details->getLongLong(car + QStringLiteral(".lastSectors.%1.time").arg(s));
                QVERIFY(ended <= kStart + at);
            }
        }
        // Positions are a permutation of the cars, and gaps agree with the lap counts.
        const V2_Data* active = state->getV2_Data(QStringLiteral("timing.session.standings.overall.active"));
        QStringList seen;
        int leaderLaps = -1;
        int previousLaps = -1;
        for (int position = 1; position <= options.cars; ++position) {
            const QString car = active->getString(QStringLiteral("%1.participant").arg(position));
            QVERIFY(simulator.participants().contains(car));
            QVERIFY(!seen.contains(car));
            seen.append(car);
            const int laps = details->getInt(car + QStringLiteral(".elapsedLaps"));
            if (position == 1)
                leaderLaps = laps;
            const bool retired = active->getString(QStringLiteral("%1.status").arg(position)) == QLatin1String("RETIRED");
            if (race && retired) {
                // Retired cars come last; a car is never retired before the race has run a while.
                QVERIFY(at > options.durationSeconds * 500LL);
                QVERIFY(!details->getBool(car + QStringLiteral(".running")));
                QVERIFY(QStringList({"STOPPED", "RETIRED"}).contains(details->getString(car + QStringLiteral(".status"))));
            } else if (race) {
                QCOMPARE(active->getInt(QStringLiteral("%1.gapFirstLaps").arg(position)), leaderLaps - laps);
                QVERIFY(position == 1 || laps <= previousLaps);
                QCOMPARE(active->getInt(QStringLiteral("%1.gapPreviousLaps").arg(position)), position == 1 ? 0 : previousLaps - laps);
                if (laps > 0 && position > 1)
                    QVERIFY2(active->getDouble(QStringLiteral("%1.gapPreviousTime").arg(position)) >= 0.0,
                             qPrintable(QStringLiteral("at %1 position %2 laps %3 gap %4").arg(at).arg(position).arg(laps).arg(active->getDouble(QStringLiteral("%1.gapPreviousTime").arg(position)))));
            }
            previousLaps = laps;
        }
        QCOMPARE(seen.size(), options.cars);
        // Class standings hold exactly the class's cars.
        int classCars = 0;
        const V2_Data* byClass = state->getV2_Data(QStringLiteral("timing.session.standings.byClass.active"));
        for (const QString& className : byClass->datas()->keys()) {
            const V2_Data* standings = byClass->getV2_Data(className + QStringLiteral(".standings"));
            for (const QString& position : standings->datas()->keys()) {
                if (position == QLatin1String("ignorePath"))
                    continue;
                const QString car = standings->getString(position + QStringLiteral(".participant"));
                QCOMPARE(state->getString(QStringLiteral("timing.session.entry.%1.class").arg(car)), className);
                ++classCars;
            }
        }
        QCOMPARE(classCars, options.cars);
    }
}

void TestSessionSimulator::eventsPitsAndStints()
{
    const SimOptions options = optionsFrom({"--duration", "3600", "--seed", "5"});
    SessionSimulator simulator(options, kStart);
    const qint64 at = 3000000;
    const auto state = simulator.state(at);

    // Every channel a client joins has content.
    for (const QString& channel : SessionSimulator::channels())
        QVERIFY2(state->getV2_Data(channel) && !state->getV2_Data(channel)->isEmpty(), qPrintable(channel));

    // The map's status bits follow the cars: stopped 0x10, retired 0x40, the
    // leader 0x2; the safety car (0x1) only while it runs.
    QSet<quint64> seenBits;
    for (qint64 when = 1801000; when < 3600000; when += 60000) {
        const auto moment = simulator.state(when);
        const V2_Data* participants = moment->getV2_Data(QStringLiteral("positioning.participants"));
        const V2_Data* details = moment->getV2_Data(QStringLiteral("timing.session.standings.overall.participantDetails"));
        const QString leader = moment->getString(QStringLiteral("timing.session.standings.overall.active.1.participant"));
        if (when == 3600 * 600 + 1000 || when == at)
            QCOMPARE(participants->keyExists(QStringLiteral("SC")), when != at);
        for (const QString& car : simulator.participants()) {
            const quint64 bits = participants->getULongLong(car + QStringLiteral(".status"));
            const QString status = details->getString(car + QStringLiteral(".status"));
            QCOMPARE(bool(bits & 0x10), status == QLatin1String("STOPPED"));
            QCOMPARE(bool(bits & 0x40), status == QLatin1String("RETIRED"));
            QCOMPARE(bool(bits & 0x2), car == leader);
            seenBits.insert(bits & 0x252);
        }
    }
    for (quint64 bits : {0x2, 0x10, 0x40, 0x200})
        QVERIFY2(seenBits.contains(bits), qPrintable(QString::number(bits, 16)));

    // Flags: green first, a full-course yellow and a safety car each ended by a track-wide green.
    const V2_Data* flags = state->getV2_Data(QStringLiteral("timing.session.flags"));
    QStringList sequence;
    qint64 lastTime = 0;
    for (const QString& key : flags->datas()->keys()) {
        const V2_Data* flag = flags->getV2_Data(key);
        QVERIFY(flag->getULongLong(QStringLiteral("time")) >= quint64(lastTime));
        lastTime = static_cast<qint64>(flag->getULongLong(QStringLiteral("time")));
        QCOMPARE(flag->getLongLong(QStringLiteral("elapsed")), lastTime - kStart);
        sequence.append(flag->getString(QStringLiteral("type")) + QString::number(flag->getInt(QStringLiteral("sector"))));
    }
    QCOMPARE(sequence.first(), QStringLiteral("GREEN0"));
    QVERIFY(sequence.indexOf(QStringLiteral("FULL_YELLOW0")) >= 0);
    QCOMPARE(sequence.at(sequence.indexOf(QStringLiteral("FULL_YELLOW0")) + 1), QStringLiteral("GREEN0"));
    QVERIFY(sequence.indexOf(QStringLiteral("SAFETY_CAR0")) >= 0);
    QCOMPARE(sequence.at(sequence.indexOf(QStringLiteral("SAFETY_CAR0")) + 1), QStringLiteral("GREEN0"));
    QVERIFY(sequence.contains(QStringLiteral("YELLOW2")));
    // The safety car turns the pit exit red (bit 0) while it runs; green (bit 1) otherwise.
    QCOMPARE(simulator.state(3600 * 600 + 1000)->getLongLong(QStringLiteral("signalling.pitExit.status")), qint64(1));
    QCOMPARE(state->getLongLong(QStringLiteral("signalling.pitExit.status")), qint64(2));
    QCOMPARE(simulator.state(3600 * 600 + 1000)->getString(QStringLiteral("timing.session.status.currentFlag")), QStringLiteral("SAFETY_CAR"));

    // Race control messages come with the flags and the track limits, in time order.
    const V2_Data* messages = state->getV2_Data(QStringLiteral("raceControl.messages"));
    const V2_Data* limits = state->getV2_Data(QStringLiteral("timing.session.trackLimits"));
    QCOMPARE(messages->datas()->size(), flags->datas()->size() + limits->datas()->size());
    for (const QString& key : limits->datas()->keys()) {
        const V2_Data* record = limits->getV2_Data(key);
        const QString car = record->getString(QStringLiteral("participant"));
        const int lap = record->getInt(QStringLiteral("affectedLaps.0000"));
        QVERIFY(record->getV2_Data(QStringLiteral("affectedLaps"))->getList());
        const QString sector = record->getString(QStringLiteral("trackLimitsName")).mid(1);
        // The lap node appears when the lap is complete; then it carries the mark.
        const QString lapPath = QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(car).arg(lap);
        if (state->getV2_Data(lapPath))
            QVERIFY(state->getBool(lapPath + QStringLiteral(".sectors.%1.trackLimits").arg(sector)));
    }

    // Every pit entry has a later exit, unless the car is still in the pit; stints chain up.
    for (const QString& car : simulator.participants()) {
        const V2_Data* ins = state->getV2_Data(QStringLiteral("timing.analysis.pitIn.%1.pits").arg(car));
        const V2_Data* outs = state->getV2_Data(QStringLiteral("timing.analysis.pitOut.%1.pits").arg(car));
        const QStringList inKeys = ins ? ins->datas()->keys() : QStringList();
        const QStringList outKeys = outs ? outs->datas()->keys() : QStringList();
        QVERIFY(outKeys.size() == inKeys.size() || outKeys.size() == inKeys.size() - 1);
        for (int i = 0; i < outKeys.size(); ++i) {
            QVERIFY(outKeys.at(i).toLongLong() > inKeys.at(i).toLongLong());
            QCOMPARE(outs->getULongLong(outKeys.at(i) + QStringLiteral(".pitTime")), quint64(outKeys.at(i).toLongLong() - inKeys.at(i).toLongLong()));
            QCOMPARE(outs->getInt(outKeys.at(i) + QStringLiteral(".lapNumber")), ins->getInt(inKeys.at(i) + QStringLiteral(".lapNumber")) + 1);
        }
        const V2_Data* stints = state->getV2_Data(QStringLiteral("timing.analysis.stints.%1.stints").arg(car));
        QVERIFY(stints);
        quint64 previousFinish = 0;
        const QStringList stintKeys = stints->datas()->keys();
        QCOMPARE(stintKeys.size(), 2 * inKeys.size() + (outKeys.size() == inKeys.size() ? 1 : 0));
        for (int i = 0; i < stintKeys.size(); ++i) {
            const V2_Data* stint = stints->getV2_Data(stintKeys.at(i));
            QCOMPARE(stint->getString(QStringLiteral("type")), i % 2 ? QStringLiteral("PIT") : QStringLiteral("TRACK"));
            QVERIFY(i == 0 || stint->getULongLong(QStringLiteral("startTime")) == previousFinish);
            previousFinish = stint->getULongLong(QStringLiteral("finishTime"));
            QCOMPARE(previousFinish == 0, i == stintKeys.size() - 1);
        }
        for (const char* wheel : {"frontLeft", "frontRight", "rearLeft", "rearRight"})
            QVERIFY(!state->getString(QStringLiteral("tyres.session.data.%1.%2.specification").arg(car, QLatin1String(wheel))).isEmpty());
    }
    QCOMPARE(state->getInt(QStringLiteral("tyres.session.id")), simulator.sessionDbId());

    // Additional and combined standings.
    QVERIFY(state->getV2_Data(QStringLiteral("timing.session.standings.overall.additional.byFastestLap.1")));
    QCOMPARE(state->getDouble(QStringLiteral("timing.session.standings.overall.additional.byFastestLap.1.gap")), 0.0);
    QVERIFY(state->getV2_Data(QStringLiteral("timing.session.standings.overall.additional.bySectorBestTime.4.standings.1")));
    QVERIFY(state->getDouble(QStringLiteral("timing.session.standings.overall.additional.byTopSpeed.1.speed")) > 200.0);
    QCOMPARE(state->getV2_Data(QStringLiteral("timing.combined.standings.overall"))->datas()->size(), options.cars);
    QCOMPARE(state->getV2_Data(QStringLiteral("timing.combined.info.sessions"))->datas()->size(), 2);
}

void TestSessionSimulator::stopsSpread_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("withRepair"); // a long race has its long repair stop
    QTest::newRow("40-minute race") << QStringList({"--duration", "2400", "--seed", "3"}) << false;
    QTest::newRow("6-hour race") << QStringList({"--duration", "21600", "--seed", "4", "--cars", "20"}) << true;
}

void TestSessionSimulator::stopsSpread()
{
    using Stop = SessionSimulator::Stop;
    QFETCH(QStringList, arguments);
    QFETCH(bool, withRepair);
    const SimOptions options = optionsFrom(arguments);
    SessionSimulator simulator(options, kStart);
    const QVector<SessionSimulator::StopRecord> stops = simulator.stops();
    const QVector<SessionSimulator::StopRecord> again = SessionSimulator(options, kStart).stops();
    QCOMPARE(again.size(), stops.size());
    for (int i = 0; i < stops.size(); ++i)
        QVERIFY(again.at(i).kind == stops.at(i).kind && again.at(i).pitInMs == stops.at(i).pitInMs && again.at(i).lossMs == stops.at(i).lossMs);
    // Lane times by kind, green and neutralised apart.
    QMap<Stop, QList<qint64>> green;
    QMap<Stop, QList<qint64>> greenLoss;
    QMap<Stop, QList<qint64>> neutralLoss;
    for (const SessionSimulator::StopRecord& stop : stops) {
        if (stop.neutralised)
            neutralLoss[stop.kind].append(stop.lossMs);
        else {
            green[stop.kind].append(stop.pitMs);
            greenLoss[stop.kind].append(stop.lossMs);
        }
    }
    const auto middle = [](QList<qint64> values) {
        std::sort(values.begin(), values.end());
        return values.isEmpty() ? -1 : values.at(values.size() / 2);
    };
    // A drive-through is the lane alone; then fuel, tyres, a driver change, each longer.
    // (A short race's one stop per car falls mostly under the neutralisations,
    // so a kind may have no green stop there.)
    const auto within = [&](Stop kind, qint64 low, qint64 high) {
        return !green.contains(kind) || (middle(green[kind]) >= low && middle(green[kind]) < high);
    };
    QVERIFY(green.size() >= 3);
    QVERIFY(within(Stop::DriveThrough, 24000, 25500));
    QVERIFY(within(Stop::Fuel, 32001, 37500));
    QVERIFY(within(Stop::Tyres, 43001, 50500));
    QVERIFY(within(Stop::DriverChange, 54001, 63500));
    if (withRepair)
        QVERIFY(middle(green[Stop::Repair]) > 110000);
    // Some stops fall under the safety car or the full-course yellow, and cost less there.
    bool cheaper = false;
    for (auto it = neutralLoss.cbegin(); it != neutralLoss.cend(); ++it)
        cheaper = cheaper || (greenLoss.contains(it.key()) && middle(it.value()) < middle(greenLoss[it.key()]) * 3 / 4);
    QVERIFY(cheaper);

    // Published: each stop's lane time, its lap, and the penalty or safety car in the pit info.
    const auto state = simulator.state(options.durationSeconds * 1000LL);
    // The flag out at the pit entry, from the published flag records.
    const V2_Data* flags = state->getV2_Data(QStringLiteral("timing.session.flags"));
    QVERIFY(flags);
    const auto flagAt = [flags](qint64 at) {
        QString type;
        for (const QString& key : flags->datas()->keys()) {
            if (flags->getLongLong(key + QStringLiteral(".elapsed")) <= at && flags->getInt(key + QStringLiteral(".sector")) == 0)
                type = flags->getString(key + QStringLiteral(".type"));
        }
        return type;
    };
    // A short race plans one stop per car (a penalty aside).
    QMap<QString, int> planned;
    for (const SessionSimulator::StopRecord& stop : stops)
        planned[stop.car] += stop.kind != Stop::DriveThrough;
    for (int count : planned)
        QVERIFY(withRepair ? count > 1 : count == 1);
    QMap<QString, int> seen;
    for (const SessionSimulator::StopRecord& stop : stops) {
        if (stop.pitInMs + stop.pitMs >= options.durationSeconds * 1000LL)
            continue;
        const int index = seen[stop.car]++;
        const V2_Data* outs = state->getV2_Data(QStringLiteral("timing.analysis.pitOut.%1.pits").arg(stop.car));
        QVERIFY(outs);
        const QString key = outs->datas()->keys().at(index);
        QCOMPARE(outs->getULongLong(key + QStringLiteral(".pitTime")), quint64(stop.pitMs));
        QCOMPARE(outs->getInt(key + QStringLiteral(".lapNumber")), stop.lap + 1);
        const QString stint = QStringLiteral("timing.analysis.stints.%1.stints.%2.pitType").arg(stop.car).arg(2 * index + 2, 3, 10, QLatin1Char('0'));
        const QString flag = flagAt(stop.pitInMs);
        QCOMPARE(stop.neutralised, flag == QLatin1String("SAFETY_CAR") || flag == QLatin1String("FULL_YELLOW"));
        if (flag == QLatin1String("SAFETY_CAR"))
            QCOMPARE(state->getString(stint), QStringLiteral("SC"));
        else if (stop.kind == Stop::DriveThrough)
            QCOMPARE(state->getString(stint), QStringLiteral("Penalty"));
        else
            QCOMPARE(state->getString(stint), QString());
        const QString inPath = QStringLiteral("timing.analysis.pitIn.%1.pits.%2").arg(stop.car).arg(kStart + stop.pitInMs);
        const bool changed = state->getInt(inPath + QStringLiteral(".driver")) != outs->getInt(key + QStringLiteral(".driver"));
        QCOMPARE(changed, stop.kind == Stop::DriverChange);
    }
}

void TestSessionSimulator::enduranceRotatesDrivers_data()
{
    QTest::addColumn<bool>("endurance");
    QTest::newRow("sprint") << false;
    QTest::newRow("endurance") << true;
}

// An endurance crew drives so that the drive-time rules matter: double
// stints (a spell close to two hours) and a driver back after one stint of
// another (a short rest); a sprint crew takes turns in order.
void TestSessionSimulator::enduranceRotatesDrivers()
{
    QFETCH(bool, endurance);
    QStringList arguments = {"--cars", "20", "--duration", "21600", "--seed", "3"};
    if (endurance)
        arguments << "--endurance";
    SessionSimulator simulator(optionsFrom(arguments), kStart);
    const auto state = simulator.state(21600000, false);
    int doubles = 0;
    int shortRests = 0;
    qint64 longestSpell = 0;
    for (const QString& car : simulator.participants()) {
        const V2_Data* stints = state->getV2_Data(QStringLiteral("timing.analysis.stints.%1.stints").arg(car));
        QVERIFY(stints);
        // With two drivers every swap brings back the other; with three a
        // return after one stint is the rotation's doing.
        const V2_Data* entry = state->getV2_Data(QStringLiteral("timing.session.entry.%1.drivers").arg(car));
        const bool crewOfThree = entry && entry->datas()->size() >= 3;
        QVector<int> drivers;
        qint64 spellStart = 0;
        for (const QString& key : stints->datas()->keys()) {
            const V2_Data* stint = stints->getV2_Data(key);
            if (stint->getString(QStringLiteral("type")) != QLatin1String("TRACK"))
                continue;
            const int driver = int(stint->getLongLong(QStringLiteral("driver")));
            const qint64 start = qint64(stint->getULongLong(QStringLiteral("startTime")));
            const qint64 finish = qint64(stint->getULongLong(QStringLiteral("finishTime")));
            if (drivers.isEmpty() || drivers.last() != driver)
                spellStart = start;
            else
                ++doubles;
            if (crewOfThree && drivers.size() >= 2 && drivers.last() != driver && drivers.at(drivers.size() - 2) == driver)
                ++shortRests;
            if (finish > 0)
                longestSpell = std::max(longestSpell, finish - spellStart);
            drivers.append(driver);
        }
    }
    if (!endurance) {
        // A sprint crew takes turns in order: no one is back after a single stint.
        QCOMPARE(shortRests, 0);
        return;
    }
    QVERIFY2(doubles >= 10, qPrintable(QString::number(doubles)));
    QVERIFY2(shortRests >= 3, qPrintable(QString::number(shortRests)));
    // Two stints of at most 31 laps of under two minutes, and the stop between.
    QVERIFY2(longestSpell > 80 * 60000 && longestSpell < 125 * 60000, qPrintable(QString::number(longestSpell / 60000)));
}

void TestSessionSimulator::endToEnd()
{
    auto* profile = new V2_Profile(QStringLiteral("FULL"));
    for (const char* key : {"weather", "timing", "timing.session"})
        profile->keyList()->insert(QLatin1String(key), 2);
    Published session(optionsFrom({"--no-tls"}), profile);
    QVERIFY(session.join({QStringLiteral("weather"), QStringLiteral("timing.session")}));
    SimPublisher& publisher = session.publisher;
    V2_Client& client = *session.client;

    // The snapshot first, then only changes: the mirror follows the state.
    for (qint64 at : {qint64(0), qint64(25000), qint64(90000), qint64(700000)}) {
        publisher.publishAt(at);
        for (const QString& channel : {QStringLiteral("weather"), QStringLiteral("timing.session")})
            QTRY_VERIFY2_WITH_TIMEOUT(session.mirror(channel) == asReceived(publisher.published()->getV2_Data(channel)), qPrintable(channel), 5000);
    }
    QCOMPARE(client.getCurrentData()->getV2_Data(QStringLiteral("weather.sessionData"))->datas()->size(), 71);

    // One more second: the update carries what changed, and a changed row whole.
    QSignalSpy changes(&client, &V2_Client::onChannelChange);
    publisher.publishAt(701000);
    QVERIFY(changes.wait(5000));
    const V2_Data* received = client.getRxData();
    QVERIFY(!received->getV2_Data(QStringLiteral("timing.session.entry")));
    QVERIFY(!received->getV2_Data(QStringLiteral("timing.session.info")));
    const V2_Data* details = received->getV2_Data(QStringLiteral("timing.session.standings.overall.participantDetails"));
    QVERIFY(details && !details->datas()->isEmpty());
    const QString car = details->datas()->firstKey();
    QCOMPARE(json(details->getV2_Data(car)),
             asReceived(publisher.published()->getV2_Data(QStringLiteral("timing.session.standings.overall.participantDetails.") + car)));
    QVERIFY(changes.last().at(0).value<QSet<QString>>().size() < 2000);
}

// An endurance race joined near its end: the lap history grows by the laps
// of each tick, and the mirror of a client that joined the history's
// channel follows the state the simulator describes for that moment. (A
// short race checks that as well as a 24-hour one; bench_recording ticks
// one of those.)
void TestSessionSimulator::longRaceTicksIncrementally()
{
    const SimOptions options = optionsFrom({"--no-tls", "--cars", "20", "--endurance", "--duration", "7200", "--elapsed", "6600"});
    QElapsedTimer timer;
    timer.start();
    Published session(options);
    const qint64 startMs = timer.elapsed();
    SimPublisher& publisher = session.publisher;
    QVERIFY(session.join({QStringLiteral("timing.analysis")}));

    // Ticks as the simulator runs them, with the event loop turning between
    // them (the client reads and pings meanwhile).
    qint64 at = 6600000;
    qint64 publishingNs = 0;
    for (int tick = 0; tick < 10; ++tick) {
        timer.restart();
        publisher.publishAt(at += 5000);
        publishingNs += timer.nsecsElapsed();
        QCoreApplication::processEvents();
    }
    qInfo("publisher ready in %lld ms, %lld ms a tick", startMs, publishingNs / 10 / 1000000);

    const std::unique_ptr<V2_Data> truth = SessionSimulator(options, kStart).state(at);
    QVERIFY(publisher.published()->equals(truth.get()));
    const V2_Data* laps = truth->getV2_Data(SessionSimulator::lapHistoryPath());
    QVERIFY(laps && laps->datas()->size() >= options.cars);
    const QByteArray expected = asReceived(truth->getV2_Data(QStringLiteral("timing.analysis")));
    QTRY_VERIFY_WITH_TIMEOUT(session.mirror(QStringLiteral("timing.analysis")) == expected, 15000);
}

void TestSessionSimulator::allChannelsFullAccess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("at");
    QTest::newRow("race") << QStringList({"--no-tls", "--duration", "3600"}) << qint64(2400000);
    QTest::newRow("practice") << QStringList({"--no-tls", "--type", "PRACTICE", "--duration", "3600"}) << qint64(2400000);
    QTest::newRow("history") << QStringList({"--no-tls", "--duration", "3600", "--elapsed", "3000"}) << qint64(3000000);
}

void TestSessionSimulator::allChannelsFullAccess()
{
    QFETCH(QStringList, arguments);
    QFETCH(qint64, at);
    const SimOptions options = optionsFrom(arguments);
    Published session(options);
    QVERIFY(session.join(SessionSimulator::channels()));
    SimPublisher& publisher = session.publisher;
    V2_Client& client = *session.client;
    publisher.publishAt(at);

    const QString car = SessionSimulator(options, kStart).participants().first();
    const QList<QPair<QString, int>> paths = {
        {"timing.session.info.sessionDbId", QMetaType::UInt},
        {"timing.session.status.currentFlag", QMetaType::QString},
        {"timing.session.entry." + car + ".drivers.1.lastName", QMetaType::QString},
        {"timing.session.standings.overall.active.1.participant", QMetaType::QString},
        {"timing.session.standings.overall.finishLine.1.gapFirstLaps", QMetaType::UInt},
        {"timing.session.standings.overall.participantDetails." + car + ".lastLap.time", QMetaType::UInt},
        {"timing.session.standings.overall.additional.byFastestLap.1.time", QMetaType::UInt},
        {"timing.session.bestResults.overall.lap.time", QMetaType::UInt},
        {"timing.session.startingGrid.positions.1.participant", QMetaType::QString},
        {"timing.session.flags.0001.type", QMetaType::QString},
        {"timing.session.track.info.timingLoops.8.name", QMetaType::QString},
        {"timing.analysis.laps." + car + ".laps.1.sectors.4.time", QMetaType::UInt},
        {"timing.analysis.laps." + car + ".laps.1.sections.Porsche.dayTime", QMetaType::ULongLong},
        {"timing.analysis.laps." + car + ".laps.1.loopSectors.7.time", QMetaType::UInt},
        {"timing.analysis.stints." + car + ".stints.001.type", QMetaType::QString},
        {"raceControl.messages.00001.text", QMetaType::QString},
        {"weather.currentData.windSpeed", QMetaType::Double},
        {"signalling.pitExit.status", QMetaType::UInt},
        {"timing.combined.info.type", QMetaType::QString},
        {"timing.combined.entry." + car + ".class", QMetaType::QString},
        {"timing.combined.standings.overall.1.number", QMetaType::QString},
        {"timing.combined.participantDetails." + car + ".fastestLapTime", QMetaType::UInt},
        {"timing.combined.bestResults.overall.lap.time", QMetaType::UInt},
        {"positioning.track.images.tarmac.data", QMetaType::QString},
        {"positioning.track.sectionStatus.1", QMetaType::Bool},
        {"positioning.track.trackStatus", QMetaType::UInt},
        {"positioning.participants." + car + ".x", QMetaType::UInt},
        {"tyres.session.data." + car + ".rearLeft.specification", QMetaType::QString},
    };
    const auto typeAt = [&client](const QString& path) {
        const int dot = path.lastIndexOf(QLatin1Char('.'));
        const V2_Data* node = client.getCurrentData()->getV2_Data(path.left(dot));
        const QVariant* value = node ? node->datas()->value(path.mid(dot + 1)) : nullptr;
        return value ? value->userType() : -1;
    };
    // The snapshots bring the start, the update the laps; lines of different
    // channels may still be on their way.
    for (const auto& path : paths)
        QTRY_VERIFY2_WITH_TIMEOUT(typeAt(path.first) == path.second, qPrintable(QStringLiteral("%1: %2").arg(path.first).arg(typeAt(path.first))), 15000);
    // A tarmac picture is a PNG.
    const QByteArray png = QByteArray::fromBase64(client.getCurrentData()->getString(QStringLiteral("positioning.track.images.tarmac.data")).toLatin1());
    QVERIFY(png.startsWith("\x89PNG"));
}


QTEST_GUILESS_MAIN(TestSessionSimulator)
#include "tst_sessionsimulator.moc"
