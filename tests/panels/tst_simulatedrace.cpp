// One simulated race, published over TLS on loopback, read by the program's
// provider with the panels open from the start: what the program shows is
// compared with what was published. One race for every check, as starting
// one costs seconds; the functions run in order and the last ones change it.
#include "AppSettings.h"
#include "LapTree.h"
#include "ModelAdditionalStanding.h"
#include "ModelRaceControlMessage.h"
#include "ModelSessionLap.h"
#include "ModelSessionPits.h"
#include "ModelSessionStandingBySector.h"
#include "ModelSessionStints.h"
#include "ModelStandingCombined.h"
#include "ModelTrackLimits.h"
#include "ModelTyresSessionData.h"
#include "SimulatedSession.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "WidgetAdditionalStandings.h"
#include "WidgetCarFollow.h"
#include "WidgetClassResults.h"
#include "WidgetFollow.h"
#include "WidgetPitIn.h"
#include "WidgetPitLights.h"
#include "WidgetPitOut.h"
#include "WidgetRaceControl.h"
#include "WidgetStandingCombined.h"
#include "WidgetStandingFastestLap.h"
#include "WidgetStints.h"
#include "WidgetTimingInfo.h"
#include "WidgetTrackLimits.h"
#include "WidgetTyres.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QTableView>
#include <QtTest>

#include <memory>

using TimingConstants::NO_TIME;

namespace {

constexpr int kCars = 20;

QString text(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

int childCount(const V2_Data* tree, const QString& path)
{
    const V2_Data* node = tree->getV2_Data(path);
    return node ? node->datas()->size() : 0;
}

// Every pit of every car under a pits branch ("pitIn" or "pitOut").
int pitCount(const V2_Data* tree, const QString& kind)
{
    const V2_Data* cars = tree->getV2_Data(QStringLiteral("timing.analysis.") + kind);
    int count = 0;
    for (const QString& car : cars ? cars->datas()->keys() : QStringList())
        count += childCount(tree, QStringLiteral("timing.analysis.%1.%2.pits").arg(kind, car));
    return count;
}

// The panels, open while the login's channels arrive.
struct Panels {
    explicit Panels(V2DataProvider* p)
        : combined(p), fastest(p), additional(p), classes(p), follow(p), info(p), raceControl(p), cleaning(p), pitIn(p), pitOut(p),
          trackLimits(p), tyres(p), lights(p), stints(p)
    {
        raceControl.keepAction()->setChecked(true); // every message, whenever sent
    }
    WidgetStandingCombined combined;
    WidgetStandingFastestLap fastest;
    WidgetAdditionalStandings additional;
    WidgetClassResults classes;
    WidgetFollow follow;
    WidgetTimingInfo info;
    WidgetRaceControl raceControl;
    WidgetRaceControl cleaning; // as it starts: messages of earlier sessions left out
    WidgetPitIn pitIn;
    WidgetPitOut pitOut;
    WidgetTrackLimits trackLimits;
    WidgetTyres tyres;
    WidgetPitLights lights;
    WidgetStints stints;
};

} // namespace

class TestSimulatedRace final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void provider();
    void standingPanels();
    void followPanels();
    void eventPanels();
    void raceControlLeavesEarlierSessionsOut();
    void lapsArriveLive();

private:
    TestSettings m_config;
    std::unique_ptr<SimulatedSession> m_session;
    std::unique_ptr<Panels> m_panels;
    const V2_Data* m_truth = nullptr;
};

void TestSimulatedRace::initTestCase()
{
    AppSettings::open()->clear();
    m_session = std::make_unique<SimulatedSession>(QStringList{QStringLiteral("--cars"), QString::number(kCars)}, 3600);
    m_panels = std::make_unique<Panels>(m_session->provider.get());
    m_truth = m_session->publisher->published();
    V2DataProvider& p = *m_session->provider;
    QTRY_VERIFY_WITH_TIMEOUT(p.getLapRows().size() > 0 && p.getStandingsCount(QString()) == kCars && !p.getWeatherSampleKeys().isEmpty(), 20000);
}

void TestSimulatedRace::cleanupTestCase()
{
    m_panels.reset();
    m_session.reset();
}

void TestSimulatedRace::provider()
{
    V2DataProvider& p = *m_session->provider;
    const V2_Data* truth = m_truth;
    // Session, track and entry.
    QCOMPARE(p.getSessionName(), truth->getString(QStringLiteral("timing.session.info.name")));
    QVERIFY(!p.getSessionName().isEmpty());
    QCOMPARE(p.isRace(), truth->getString(QStringLiteral("timing.session.info.type")) == QLatin1String("RACE"));
    QCOMPARE(p.getTrackName(), truth->getString(QStringLiteral("timing.session.track.info.name")));
    QCOMPARE(p.getEntryList().size(), kCars);
    QVERIFY(!p.getTimingLoopNames().isEmpty());
    QVERIFY(!p.getClasses().isEmpty());
    // Standings and details: every position names a car of the entry.
    QSet<QString> seen;
    for (int position = 1; position <= kCars; ++position) {
        const QString pNum = p.getParticipantAtPosition(position, QString());
        QVERIFY(p.getEntryList().contains(pNum));
        seen.insert(pNum);
        QCOMPARE(pNum, truth->getString(QStringLiteral("timing.session.standings.overall.active.%1.participant").arg(position)));
        QVERIFY(p.getCurrentLap(pNum) >= 1);
        QVERIFY(!p.getDriverName(pNum, 1).isEmpty());
    }
    QCOMPARE(seen.size(), kCars);
    QCOMPARE(p.getGapFirstTime(1, QString()), truth->getDouble(QStringLiteral("timing.session.standings.overall.active.1.gapFirstTime"), -1.0));
    QVERIFY(p.getSessionBestLapTime() > 0 && p.getSessionBestLapTime() != NO_TIME);
    // Lap analysis: one record per lap of the tree, in order, positions right.
    int lapCount = 0;
    for (const QString& pNum : p.getEntryList())
        lapCount += p.getLapKeys(pNum).size();
    QCOMPARE(p.getLapRows().size(), lapCount);
    QCOMPARE(p.getSpeedRows().size(), lapCount);
    QCOMPARE(p.getSectorRows(2)->size(), lapCount);
    QString fault;
    LapTree::describeAll(p, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // Race control, flags, weather (tyres, pits and track limits: through their panels below).
    QCOMPARE(p.getRaceControlMessageKeys(), truth->getV2_Data(QStringLiteral("raceControl.messages"))->datas()->keys());
    QCOMPARE(p.getFlagKeys().size(), truth->getV2_Data(QStringLiteral("timing.session.flags"))->datas()->size());
    QVERIFY(p.getWeatherSampleKeys().size() >= 55 && p.getWeatherSampleKeys().size() <= 61);
    QVERIFY(p.getCurrentAmbientTemperature() != 0.0f);
}

void TestSimulatedRace::standingPanels()
{
    Panels& w = *m_panels;
    const QString base = QStringLiteral("timing.session.standings.overall.additional.");
    QTRY_COMPARE_WITH_TIMEOUT(w.fastest.model()->rowCount(), m_truth->getV2_Data(base + QStringLiteral("byFastestLap"))->datas()->size(), 20000);
    QTRY_COMPARE(w.combined.model()->rowCount(), kCars);
    QTRY_COMPARE(w.classes.shownClasses().size(), 3);
    QTRY_COMPARE(text(*w.fastest.model(), 0, ModelAdditionalStanding::Number), m_truth->getString(base + QStringLiteral("byFastestLap.1.participant")));
    QCOMPARE(text(*w.combined.model(), 0, ModelStandingCombined::Number), m_truth->getString(QStringLiteral("timing.combined.standings.overall.1.number")));
    QVERIFY(!w.combined.table()->isColumnHidden(ModelStandingCombined::FirstSession)); // best time over two sessions
    QTRY_COMPARE(text(*w.additional.model(WidgetAdditionalStandings::TopSpeedTable), 0, ModelAdditionalStanding::Number),
                 m_truth->getString(base + QStringLiteral("byTopSpeed.1.participant")));
    int classRows = 0;
    for (int i = 0; i < 3; ++i)
        classRows += w.classes.model(i)->rowCount();
    QCOMPARE(classRows, kCars);
}

void TestSimulatedRace::followPanels()
{
    V2DataProvider& p = *m_session->provider;
    const QString car = p.getEntryList().first();
    WidgetCarFollow* block = m_panels->follow.blocks().first();
    block->setParticipant(car);
    const V2_Data* laps = m_truth->getV2_Data(QStringLiteral("timing.analysis.laps.%1.laps").arg(car));
    QTRY_COMPARE(block->table()->model()->rowCount(), laps->datas()->size());
    // Its laps in order, with their lap times as published.
    const QAbstractItemModel* table = block->table()->model();
    for (int row = 0; row < table->rowCount(); ++row) {
        const QString lap = table->index(row, ModelSessionLap::Lap).data().toString();
        QCOMPARE(table->index(row, ModelSessionLap::Number).data().toString(), car);
        QCOMPARE(lap.toInt(), row + 1);
        const quint64 time = laps->getULongLong(lap + QStringLiteral(".time"));
        QVERIFY(time >= 60000 && time < 3600000);
        const QString written = QStringLiteral("%1:%2.%3").arg(time / 60000).arg(time / 1000 % 60, 2, 10, QLatin1Char('0')).arg(time % 1000, 3, 10, QLatin1Char('0'));
        QCOMPARE(table->index(row, ModelSessionLap::LapTime).data().toString(), written);
    }
    QTRY_COMPARE(m_panels->info.table(WidgetTimingInfo::Laps)->model()->rowCount(), p.getLapRows().size());
}

void TestSimulatedRace::eventPanels()
{
    V2DataProvider& p = *m_session->provider;
    Panels& w = *m_panels;
    const V2_Data* truth = m_truth;
    QVERIFY(pitCount(truth, QStringLiteral("pitIn")) > 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.pitIn.model()->rowCount() == pitCount(truth, QStringLiteral("pitIn")) && w.tyres.model()->rowCount() == kCars
                                 && w.stints.model()->rowCount() > 0,
                             20000);
    // Channels arrive on lines of their own.
    QTRY_COMPARE(w.pitOut.model()->rowCount(), pitCount(truth, QStringLiteral("pitOut")));
    QTRY_COMPARE(w.raceControl.model()->rowCount(), childCount(truth, QStringLiteral("raceControl.messages")));
    // Reconnected with "Keep" on: each message once. Counted exactly once
    // the whole login has been read (the tyres come last): waiting for the
    // count would pass the moment it went by on its way to twice as many.
    QSignalSpy tyresAgain(&p, &V2DataProvider::tyresDataReceived);
    p.setActive(false);
    p.setActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(tyresAgain.count() > 0, 20000);
    QCOMPARE(w.raceControl.model()->rowCount(), childCount(truth, QStringLiteral("raceControl.messages")));
    QTRY_COMPARE(w.trackLimits.model()->rowCount(), childCount(truth, QStringLiteral("timing.session.trackLimits")));
    const QString car = w.stints.carList()->currentText();
    QTRY_COMPARE(w.stints.model()->rowCount(), childCount(truth, QStringLiteral("timing.analysis.stints.%1.stints").arg(car)));
    // The first pit entry's time of day and car, as published.
    const ModelSessionPits* in = w.pitIn.model();
    const QString firstCar = in->index(0, 0).data().toString();
    const QString firstKey = truth->getV2_Data(QStringLiteral("timing.analysis.pitIn.%1.pits").arg(firstCar))->datas()->firstKey();
    QCOMPARE(in->index(0, 2).data().toString(), QDateTime::fromMSecsSinceEpoch(firstKey.toLongLong()).toString(QStringLiteral("HH:mm:ss.zzz")));
    // "<laps> Laps (<specification>)" of the published tyre of the first car in the list.
    const QString tyreCar = w.tyres.model()->index(0, 0).data().toString();
    const int laps = truth->getInt(QStringLiteral("tyres.session.data.%1.frontLeft.laps").arg(tyreCar));
    const QString specification = truth->getString(QStringLiteral("tyres.session.data.%1.frontLeft.specification").arg(tyreCar));
    QVERIFY(laps >= 2 && !specification.isEmpty());
    QTRY_COMPARE(w.tyres.model()->index(0, ModelTyresSessionData::FrontLeft).data().toString(),
                 QString::number(laps) + QStringLiteral(" Laps (") + specification + QLatin1Char(')'));
    // The simulator keeps the pit entry open (green); at the flag no safety car holds the exit.
    QTRY_COMPARE(w.lights.shownPictures(), QStringList({":/icons/Resources/light_green.svg", ":/icons/Resources/light_green.svg"}));
}

void TestSimulatedRace::raceControlLeavesEarlierSessionsOut()
{
    V2DataProvider& p = *m_session->provider;
    WidgetRaceControl& raceControl = m_panels->cleaning;
    QVERIFY(raceControl.model()->cleaning());
    const int published = childCount(m_truth, QStringLiteral("raceControl.messages"));
    QVERIFY(published > 0);
    QTRY_COMPARE_WITH_TIMEOUT(raceControl.model()->rowCount(), published, 20000);
    // The session start in the messages' milliseconds (it was in seconds).
    const qint64 start = m_truth->getLongLong(QStringLiteral("timing.session.info.date"));
    QCOMPARE(p.getSessionStartTime(), start);
    // A message of the session before is left out.
    V2_Data* old = mirrorNode(p, QStringLiteral("raceControl.messages.00000"));
    old->insertData(QStringLiteral("dayTime"), quint64(start - 60000));
    old->insertData(QStringLiteral("text"), QStringLiteral("previous session"));
    emit p.controller()->raceControlMessages();
    QCOMPARE(raceControl.model()->rowCount(), published);
    raceControl.keepAction()->setChecked(true);
    QCOMPARE(raceControl.model()->rowCount(), published + 1);
}

// Two more simulated minutes arrive lap by lap; the caches still match a rebuild.
void TestSimulatedRace::lapsArriveLive()
{
    V2DataProvider& p = *m_session->provider;
    const int before = p.getLapRows().size();
    QSignalSpy ends(p.controller(), &ClientV2Controller::analysisLapsEnd);
    for (qint64 at = 3610000; at <= 3720000; at += 10000)
        m_session->publisher->publishAt(at);
    QTRY_VERIFY_WITH_TIMEOUT(ends.count() > 0 && p.getLapRows().size() > before, 20000);
    QTest::qWait(200);
    QString fault;
    const QStringList live = LapTree::describeAll(p, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    emit p.controller()->analysisLaps();
    QCOMPARE(LapTree::describeAll(p, &fault), live);
}

QTEST_MAIN(TestSimulatedRace)
#include "tst_simulatedrace.moc"
