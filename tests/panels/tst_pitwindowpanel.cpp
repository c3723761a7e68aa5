#include "AppSettings.h"
#include "ModelPitWindow.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "WidgetPitWindow.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QtTest>

namespace {

// Three cars a lap of 100 s apart by 10 s, each with five laps of 100 s.
void fillField(V2DataProvider& provider)
{
    const QStringList cars = {QStringLiteral("7"), QStringLiteral("12"), QStringLiteral("31")};
    for (int i = 0; i < cars.size(); ++i) {
        mirrorNode(provider, QStringLiteral("timing.session.entry.%1").arg(cars.at(i)))->insertData(QStringLiteral("class"), QStringLiteral("GT3"));
        V2_Data* row = mirrorNode(provider, QStringLiteral("timing.session.standings.overall.active.%1").arg(i + 1));
        row->insertData(QStringLiteral("participant"), cars.at(i));
        row->insertData(QStringLiteral("gapFirstTime"), 10000.0 * i);
        row->insertData(QStringLiteral("gapFirstLaps"), 0);
        V2_Data* details = mirrorNode(provider, QStringLiteral("timing.session.standings.overall.participantDetails.%1").arg(cars.at(i)));
        details->insertData(QStringLiteral("elapsedLaps"), 5);
        details->insertData(QStringLiteral("currentLap"), 6);
        for (int lap = 1; lap <= 5; ++lap)
            mirrorNode(provider, QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(cars.at(i)).arg(lap))->insertData(QStringLiteral("time"), 100000);
    }
}

} // namespace

class TestPitWindowPanel final : public QObject
{
    Q_OBJECT

private slots:
    void predictsForTheFollowedCar();
    void choicesKeptAcrossRecreation();

private:
    TestSettings m_config;
};

void TestPitWindowPanel::predictsForTheFollowedCar()
{
    auto provider = makeTestProvider();
    fillField(*provider);
    provider->setCarToFollow(0, QStringLiteral("12"));
    WidgetPitWindow panel(provider.get());
    QCOMPARE(panel.groupName(), QStringLiteral("view_pitwindow"));
    QCOMPARE(panel.carList()->currentText(), QStringLiteral("12"));
    panel.lapsAhead()->setValue(2);
    ModelPitWindow* model = panel.model();
    QCOMPARE(model->rowCount(), 3);
    // A tyre stop at its default 40 s: car 12 (10 s behind) drops behind car 31 (20 s behind).
    QCOMPARE(model->currentPositions(), qMakePair(2, 2));
    QCOMPARE(model->index(0, ModelPitWindow::Stop).data().toString(), QStringLiteral("6"));
    QCOMPARE(model->index(2, ModelPitWindow::Stop).data().toString(), QStringLiteral("8"));
    QCOMPARE(model->index(0, ModelPitWindow::Loss).data().toString(), QStringLiteral("40.0"));
    QCOMPARE(model->index(0, ModelPitWindow::Position).data().toString(), QStringLiteral("3"));
    QCOMPARE(model->index(0, ModelPitWindow::Ahead).data().toString(), QStringLiteral("31"));
    QCOMPARE(model->index(0, ModelPitWindow::GapAhead).data().toString(), QStringLiteral("30.0"));
    QCOMPARE(model->index(0, ModelPitWindow::Behind).data().toString(), QString());
    QCOMPARE(panel.lossLabel(PitLossLearner::Tyres, false)->text(), QStringLiteral("40.0 s (default; 0 stops)"));
    QCOMPARE(panel.lossLabel(PitLossLearner::Tyres, true)->text(), QStringLiteral("20.0 s (default; 0 stops)"));
    // An override of 5 s keeps the car in second place, 5 s behind car 7.
    panel.overrideBox(PitLossLearner::Tyres)->setValue(5.0);
    QCOMPARE(model->index(0, ModelPitWindow::Position).data().toString(), QStringLiteral("2"));
    QCOMPARE(model->index(0, ModelPitWindow::GapAhead).data().toString(), QStringLiteral("15.0"));
    QCOMPARE(panel.lossLabel(PitLossLearner::Tyres, false)->text(), QStringLiteral("5.0 s (set; 0 stops)"));
    QVERIFY(WidgetPitWindow::assumptions().contains(QStringLiteral("no one else stops")));
}

void TestPitWindowPanel::choicesKeptAcrossRecreation()
{
    auto provider = makeTestProvider();
    fillField(*provider);
    // A value in the file that is no loss reads as the default.
    AppSettings::open()->setValue(QStringLiteral("view_pitwindow/user_loss_%1").arg(int(PitLossLearner::DriverChange)), 0);
    {
        WidgetPitWindow panel(provider.get());
        QCOMPARE(panel.userValueBox(PitLossLearner::DriverChange)->value(), 55.0);
        // The user's own value until enough stops exist, set in the panel.
        panel.userValueBox(PitLossLearner::ShortStop)->setValue(33.5);
        QCOMPARE(panel.lossLabel(PitLossLearner::ShortStop, false)->text(), QStringLiteral("33.5 s (default; 0 stops)"));
        panel.lapsAhead()->setValue(6);
        panel.overrideBox(PitLossLearner::DriveThrough)->setValue(22.5);
        panel.overrideBox(PitLossLearner::Tyres)->setValue(0.0); // the first test's override removed
    }
    WidgetPitWindow panel(provider.get());
    QCOMPARE(panel.lapsAhead()->value(), 6);
    QCOMPARE(panel.model()->rowCount(), 7);
    QCOMPARE(panel.overrideBox(PitLossLearner::DriveThrough)->value(), 22.5);
    QCOMPARE(panel.model()->learner().overrideValue(PitLossLearner::DriveThrough), qint64(22500));
    QCOMPARE(panel.model()->learner().overrideValue(PitLossLearner::Tyres), qint64(-1));
    QCOMPARE(panel.userValueBox(PitLossLearner::ShortStop)->value(), 33.5);
    QCOMPARE(panel.model()->learner().userValue(PitLossLearner::ShortStop), qint64(33500));
}

QTEST_MAIN(TestPitWindowPanel)
#include "tst_pitwindowpanel.moc"
