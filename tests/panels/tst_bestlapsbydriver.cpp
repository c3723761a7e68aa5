#include "LapTree.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "WidgetBestLapsByDriver.h"

#include <QTableView>
#include <QtTest>

class TestBestLapsByDriver final : public QObject
{
    Q_OBJECT

private slots:
    void driversOfEachCar();
};

void TestBestLapsByDriver::driversOfEachCar()
{
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    StartUp::setApplicationIdentity();
    auto provider = makeTestProvider();
    const char* drivers[][2] = {{"12", "1"}, {"7", "1"}, {"7", "2"}};
    for (const auto& d : drivers)
        mirrorNode(*provider, QStringLiteral("timing.session.entry.%1.drivers.%2").arg(d[0], d[1]))
            ->insertData(QStringLiteral("lastName"), QStringLiteral("D%1%2").arg(d[0], d[1]));
    const auto lap = [&provider](const char* car, int lap, int time, int driver, bool valid) {
        LapTree::LapSpec spec;
        spec.time = time;
        spec.driver = driver;
        spec.valid = valid;
        LapTree::writeLap(LapTree::root(*provider), QLatin1String(car), lap, spec);
    };
    lap("7", 1, 90000, 1, true);
    lap("7", 2, 88000, 1, false); // counted, but neither best nor average
    lap("7", 3, 91000, 2, true);
    lap("7", 4, 89500, 2, true);
    WidgetBestLapsByDriver panel(provider.get());
    const QAbstractItemModel& model = *panel.findChild<QTableView*>()->model();
    const auto row = [&model](int r) {
        QStringList texts;
        for (int c = 0; c < model.columnCount(); ++c)
            texts << model.data(model.index(r, c)).toString();
        return texts.join(QLatin1Char('|'));
    };
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(row(0), QStringLiteral("7|D71|2|1:30.000|1:30.000"));
    QCOMPARE(row(1), QStringLiteral("7|D72|2|1:29.500|1:30.250"));
    QCOMPARE(row(2), QStringLiteral("12|D121|0||"));
    // A new lap of one car: its rows read again, the table repainted, not reset.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    lap("12", 1, 95000, 1, true);
    emit provider->controller()->analysisLapsByPnum(QStringLiteral("12"));
    QTRY_COMPARE(row(2), QStringLiteral("12|D121|1|1:35.000|1:35.000"));
    QCOMPARE(resets.count(), 0);
}

QTEST_MAIN(TestBestLapsByDriver)
#include "tst_bestlapsbydriver.moc"
