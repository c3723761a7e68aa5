#include "DriveTimeRules.h"
#include "ModelDriveTime.h"
#include "PanelRegistry.h"
#include "SessionClock.h"
#include "SessionSimulator.h"
#include "SimOptions.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "WidgetDriveTime.h"

#include <QBrush>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kMinute = 60000;
const qint64 kNoon = QDateTime(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
qint64 g_now = kNoon;
qint64 testClock()
{
    return g_now;
}

void addStint(V2DataProvider& p, const QString& car, int key, int driver, const char* type, qint64 fromMs, qint64 toMs)
{
    V2_Data* node = mirrorNode(p, QStringLiteral("timing.analysis.stints.%1.stints.%2").arg(car).arg(key, 3, 10, QLatin1Char('0')));
    node->insertData(QStringLiteral("driver"), driver);
    node->insertData(QStringLiteral("type"), QLatin1String(type));
    node->insertData(QStringLiteral("pitType"), QString());
    node->insertData(QStringLiteral("startTime"), quint64(fromMs));
    node->insertData(QStringLiteral("finishTime"), quint64(toMs));
}

QString cell(const ModelDriveTime& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

QColor background(const ModelDriveTime& model, int row)
{
    return model.data(model.index(row, ModelDriveTime::State), Qt::BackgroundRole).value<QBrush>().color();
}

// The session status of a race by time that started at startMs and lasts minutes.
void raceByTime(qint64 startMs, int minutes)
{
    SessionClock::setUtcOffset(0);
    SessionClock::setFinalType(QStringLiteral("BY_TIME"));
    SessionClock::setFinalTime(minutes * 60);
    SessionClock::setStartTime(startMs / 1000);
    SessionClock::setStoppedSeconds(0);
    SessionClock::setClosed(false);
    SessionClock::setRunning(true);
}

// Car 7 of class GT3, followed: Ann drove 0-55, Bob is in since 56.
std::unique_ptr<V2DataProvider> carSeven()
{
    auto provider = makeTestProvider();
    V2_Data* info = mirrorNode(*provider, QStringLiteral("timing.session.info"));
    info->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    V2_Data* entry = mirrorNode(*provider, QStringLiteral("timing.session.entry.7"));
    entry->insertData(QStringLiteral("class"), QStringLiteral("GT3"));
    const char* const names[] = {"Ann", "Bob", "Cid"};
    for (int d = 1; d <= 3; ++d) {
        V2_Data* driver = mirrorNode(*provider, QStringLiteral("timing.session.entry.7.drivers.%1").arg(d));
        driver->insertData(QStringLiteral("lastName"), QLatin1String(names[d - 1]));
    }
    mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), true);
    addStint(*provider, QStringLiteral("7"), 1, 1, "TRACK", kNoon, kNoon + 55 * kMinute);
    addStint(*provider, QStringLiteral("7"), 2, 2, "PIT", kNoon + 55 * kMinute, kNoon + 56 * kMinute);
    addStint(*provider, QStringLiteral("7"), 3, 2, "TRACK", kNoon + 56 * kMinute, 0);
    provider->setCarToFollow(1, QStringLiteral("7"));
    return provider;
}

} // namespace

class TestDriveTimePanel final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        StartUp::setApplicationIdentity();
    }
    void init() { SessionClock::setClock(&testClock); }
    void cleanup()
    {
        SessionClock::setClock(nullptr);
        SessionClock::reset();
    }

    // Car 7 (class GT3, whose minimum is 70): Ann drove 0-55, Bob is in
    // since 56; it is minute 100 of a 300-minute race.
    void followedCarByHand()
    {
        DriveTimeRules rules;
        rules.limits = DriveTimeLimits{60 * kMinute, 150 * kMinute, 60 * kMinute, 30 * kMinute};
        rules.classOverrides.insert(QStringLiteral("GT3"), DriveTimeOverride{70 * kMinute, -1, -1, -1});
        rules.nearMarginMs = 10 * kMinute;
        rules.save();
        g_now = kNoon + 100 * kMinute;
        raceByTime(kNoon, 300);

        auto provider = carSeven();
        V2_Data* info = mirrorNode(*provider, QStringLiteral("timing.session.info"));
        WidgetDriveTime panel(provider.get());
        QCOMPARE(QString::fromLatin1(PanelRegistry::info(PanelRegistry::DriveTime).title), QStringLiteral("Drive Time"));
        const ModelDriveTime& model = *panel.model();
        QCOMPARE(model.rowCount(), 3);
        const QStringList expected[] = {
            {"7", "Ann", "0:55", "0:15", "1:35", "", "0:45", "OK"},
            {"", "\u25B6 Bob", "0:44", "0:26", "1:46", "0:44 / 1:00", "", "OK"},
            {"", "Cid", "0:00", "1:10", "2:30", "", "", "OK"},
        };
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < ModelDriveTime::ColumnCount; ++column)
                QCOMPARE(cell(model, row, column), expected[row].at(column));
        // 111 of driving: Bob 26 (16 left of his spell, so two spells), Cid
        // 70 (two spells), Ann 15; four times someone gets in, each a 2-min
        // swap that counts for nobody: 119 at the least, and Bob 16, Cid 60,
        // Bob 10, Ann 15, Cid 10 keeps every rest: 81 of 200 to spare.
        QCOMPARE(panel.feasibilityLines().size(), 1);
        QCOMPARE(panel.feasibilityLines().at(0)->text(), QStringLiteral("#7  Feasible, 1 h 21 min slack"));
        QVERIFY2(panel.feasibilityLines().at(0)->toolTip().startsWith(QStringLiteral("Plan: Bob 0:16, ")), qPrintable(panel.feasibilityLines().at(0)->toolTip()));

        // Earlier, Ann's rest was not complete.
        g_now = kNoon + 80 * kMinute;
        panel.model()->processRefresh();
        QCOMPARE(cell(model, 0, ModelDriveTime::Rest), QStringLiteral("0:25 of 0:30"));
        // Bob at 51 of his 60: near, in both skins' colours.
        g_now = kNoon + 107 * kMinute;
        panel.model()->processRefresh();
        QCOMPARE(cell(model, 1, ModelDriveTime::State), QStringLiteral("NEAR: stint"));
        emit panel.updateSkin(QStringLiteral("Dark"));
        QCOMPARE(background(model, 1), QColor(168, 120, 0));
        emit panel.updateSkin(QStringLiteral("Light"));
        QCOMPARE(background(model, 1), QColor(255, 214, 102));
        QCOMPARE(background(model, 0), QColor(186, 228, 192));

        // The clock at 0:00 while the car runs its final lap, or the laps a
        // race by time plus laps adds: nothing is judged yet; once in after
        // the flag, Cid's minimum is missed.
        g_now = kNoon + 300 * kMinute;
        panel.model()->processRefresh();
        QCOMPARE(panel.feasibilityLines().at(0)->text(), QStringLiteral("#7  Time is up: the minimums are settled at the flag"));
        SessionClock::setFinalType(QStringLiteral("BY_TIME_PLUS_LAPS"));
        panel.model()->processRefresh();
        QCOMPARE(panel.feasibilityLines().at(0)->text(), QStringLiteral("#7  Time is up: the minimums are settled at the flag"));
        SessionClock::setFinalType(QStringLiteral("BY_TIME"));
        QCOMPARE(cell(model, 2, ModelDriveTime::State), QStringLiteral("OK"));
        mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), false);
        panel.model()->processRefresh();
        QCOMPARE(cell(model, 2, ModelDriveTime::State), QStringLiteral("OVER: minimum"));

        // The same times in a practice session that has run out: no
        // verdict, and no minimum missed.
        info->insertData(QStringLiteral("type"), QStringLiteral("PRACTICE"));
        g_now = kNoon + 300 * kMinute;
        panel.model()->processRefresh();
        QCOMPARE(panel.feasibilityLines().at(0)->text(), QStringLiteral("#7  Drive-time rules apply to the race"));
        QCOMPARE(cell(model, 2, ModelDriveTime::State), QStringLiteral("OK"));

        // A race by laps, its maximum time no end.
        info->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
        mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), true);
        SessionClock::setFinalType(QStringLiteral("BY_LAPS_WITH_MAX_TIME"));
        g_now = kNoon + 100 * kMinute;
        panel.model()->processRefresh();
        QCOMPARE(panel.feasibilityLines().at(0)->text(), QStringLiteral("#7  Race by laps: no verdict until its end is typed in the drive-time rules"));
    }

    // A car chosen in the list besides the followed one: its rows after
    // theirs and a line of its own, until the list is back to none.
    void chosenCar()
    {
        DriveTimeRules rules;
        rules.limits = DriveTimeLimits{60 * kMinute, 0, 0, 0};
        rules.save();
        g_now = kNoon + 100 * kMinute;
        raceByTime(kNoon, 300);
        auto provider = carSeven();
        mirrorNode(*provider, QStringLiteral("timing.session.entry.12.drivers.1"))->insertData(QStringLiteral("lastName"), QStringLiteral("Dee"));
        mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.12"))->insertData(QStringLiteral("running"), true);
        addStint(*provider, QStringLiteral("12"), 1, 1, "TRACK", kNoon + 10 * kMinute, 0);
        WidgetDriveTime panel(provider.get());
        const ModelDriveTime& model = *panel.model();
        QVERIFY(!panel.setCar(QStringLiteral("99")));
        QVERIFY(panel.setCar(QStringLiteral("12")));
        QTRY_COMPARE(model.rowCount(), 4);
        const QStringList dee = {"12", "\u25B6 Dee", "1:30", "done", "", "1:30", "", "OK"};
        for (int column = 0; column < ModelDriveTime::ColumnCount; ++column)
            QCOMPARE(cell(model, 3, column), dee.at(column));
        QTRY_COMPARE(panel.feasibilityLines().size(), 2);
        QCOMPARE(panel.feasibilityLines().at(1)->text(), QStringLiteral("#12  Feasible: every driver has the minimum"));
        panel.carList()->setCurrentIndex(0);
        QTRY_COMPARE(model.rowCount(), 3);
        QTRY_COMPARE(panel.feasibilityLines().size(), 1);
    }

    // Out of sight the running times are not read; shown again, at once.
    void catchesUpWhenShown()
    {
        DriveTimeRules rules;
        rules.limits = DriveTimeLimits{0, 0, 60 * kMinute, 0};
        rules.save();
        g_now = kNoon + 100 * kMinute;
        raceByTime(kNoon, 300);
        auto provider = carSeven();
        WidgetDriveTime panel(provider.get());
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const ModelDriveTime& model = *panel.model();
        QTRY_COMPARE(cell(model, 1, ModelDriveTime::Stint), QStringLiteral("0:44 / 1:00"));
        panel.hide();
        g_now += 5 * kMinute;
        panel.show();
        QCOMPARE(cell(model, 1, ModelDriveTime::Stint), QStringLiteral("0:49 / 1:00"));
    }

    // The simulator's endurance race at 4 hours, every car followed: one
    // row per listed driver, and each car's totals add up to its time on
    // track (the pit lane counts for nobody by default). Its rotation trips
    // the rules: from 3 to 6 hours some driver comes near the spell of 110
    // and some returns within the rest of 60.
    void simulatorEnduranceRace()
    {
        DriveTimeRules rules;
        rules.limits = DriveTimeLimits{120 * kMinute, 0, 110 * kMinute, 60 * kMinute};
        rules.nearMarginMs = 10 * kMinute;
        rules.save();
        SimOptions options;
        QString error;
        QVERIFY(SimOptions::parse({"lanterra-sim", "--cars", "6", "--endurance", "--duration", "43200", "--seed", "3"}, &options, &error));
        SessionSimulator simulator(options, kNoon);
        const qint64 at = 4 * 60 * kMinute;
        g_now = kNoon + at;
        raceByTime(kNoon, 720);
        auto provider = makeTestProvider();
        provider->controller()->replaceTree(simulator.state(at, false).release());
        const QStringList cars = simulator.participants();
        for (int i = 0; i < cars.size(); ++i)
            provider->setCarToFollow(i + 1, cars.at(i));
        WidgetDriveTime panel(provider.get());
        const ModelDriveTime& model = *panel.model();
        QCOMPARE(panel.feasibilityLines().size(), cars.size());
        int row = 0;
        for (const QString& car : provider->getFollowedCars()) {
            const int drivers = provider->getDriverNumbers(car).size();
            QVERIFY(drivers >= 2);
            qint64 onTrack = 0;
            for (const QString& key : provider->getStintKeys(car)) {
                if (provider->getStintType(car, key) == QLatin1String("PIT"))
                    continue;
                const quint64 finish = provider->getStintFinishTime(car, key);
                onTrack += qint64(finish != 0 ? finish : quint64(kNoon + at)) - qint64(provider->getStintStartTime(car, key));
            }
            qint64 total = 0;
            for (int d = 0; d < drivers; ++d, ++row) {
                QCOMPARE(model.rows().at(row).car, car);
                total += model.rows().at(row).time.totalMs;
            }
            QCOMPARE(total, onTrack);
        }
        QCOMPARE(row, model.rowCount());
        // A state's reason is the worst one: near the spell shows in the
        // stint column of a driver with a breach behind him.
        QSet<QString> states;
        QStringList nearTheSpell;
        for (qint64 t = 3 * 60 * kMinute; t <= 6 * 60 * kMinute; t += 5 * kMinute) {
            g_now = kNoon + t;
            provider->controller()->replaceTree(simulator.state(t, false).release());
            panel.model()->processRefresh();
            for (int r = 0; r < model.rowCount(); ++r) {
                states << cell(model, r, ModelDriveTime::State);
                const DriverDriveTime& time = model.rows().at(r).time;
                if (time.inCar && time.continuousMs >= 100 * kMinute && time.continuousMs < 110 * kMinute)
                    nearTheSpell << cell(model, r, ModelDriveTime::Stint);
            }
        }
        QVERIFY(!nearTheSpell.isEmpty());
        for (const QString& text : qAsConst(nearTheSpell))
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("^1:4\\d / 1:50$"))), qPrintable(text));
        QVERIFY2(states.contains(QStringLiteral("OVER: rest")), qPrintable(states.values().join(QLatin1Char('|'))));
    }

private:
    QTemporaryDir m_config;
};

QTEST_MAIN(TestDriveTimePanel)
#include "tst_drivetimepanel.moc"
