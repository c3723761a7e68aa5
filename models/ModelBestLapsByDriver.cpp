#include "ModelBestLapsByDriver.h"

#include "CarNumberOrder.h"
#include "V2DataProvider.h"

#include <algorithm>
#include <iterator>

namespace {

using namespace ColumnTable;
using Model = ModelBestLapsByDriver;
using Row = DriverLapsRow;

constexpr ColumnSpec<Row> kColumns[] = {
    {Model::Number, QT_TR_NOOP("Nr"), 36, Right, [](const Row& r) { return r.pNum; }},
    {Model::Driver, QT_TR_NOOP("Driver"), 120, Left, [](const Row& r) { return r.driver; }},
    {Model::Laps, QT_TR_NOOP("Laps"), 40, Right, [](const Row& r) { return QString::number(r.laps); }},
    {Model::Best, QT_TR_NOOP("Best"), 70, Right, [](const Row& r) { return timeText(r.best); }},
    {Model::Average, QT_TR_NOOP("Average"), 70, Right, [](const Row& r) { return r.validLaps > 0 ? timeText(r.validSum / r.validLaps) : QString(); }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == Model::ColumnCount, "columns in id order");

QVector<Row> readCar(const V2DataProvider& provider, const QString& pNum)
{
    const QList<int> numbers = provider.getDriverNumbers(pNum);
    QVector<Row> drivers;
    for (int number : numbers)
        drivers.append({pNum, provider.getDriverName(pNum, number)});
    for (const QString& lapKey : provider.getLapKeys(pNum)) {
        const V2DataProvider::LapSummary lap = provider.getLap(pNum, lapKey);
        const int i = numbers.indexOf(lap.driver);
        if (i < 0)
            continue;
        ++drivers[i].laps;
        if (lap.valid && lap.time != 0 && lap.time != TimingConstants::NO_TIME) {
            drivers[i].best = drivers[i].best == 0 ? lap.time : qMin(drivers[i].best, lap.time);
            drivers[i].validSum += lap.time;
            ++drivers[i].validLaps;
        }
    }
    return drivers;
}

} // namespace

ModelBestLapsByDriver::ModelBestLapsByDriver(V2DataProvider* provider, QObject* parent)
    : RowTableModel(kColumns, "ModelBestLapsByDriver", parent)
    , m_provider(provider)
{
    const auto carChanged = [this](const QString& pNum) {
        m_cars.remove(pNum);
        scheduleRefresh();
    };
    connect(provider, &V2DataProvider::analysisLapsByPnum, this, carChanged);
    connect(provider, &V2DataProvider::analysisLapDeleted, this, carChanged);
    // After a whole collection of laps, a new entry list or a new session.
    connect(provider, &V2DataProvider::analysisProcessed, this, [this] {
        m_cars.clear();
        scheduleRefresh();
    });
    processRefresh();
}

void ModelBestLapsByDriver::refreshRows()
{
    QStringList cars = m_provider->getEntryList();
    std::sort(cars.begin(), cars.end(), CarNumberOrder::less);
    QVector<Row> rows;
    for (const QString& pNum : qAsConst(cars)) {
        if (!m_cars.contains(pNum))
            m_cars.insert(pNum, readCar(*m_provider, pNum));
        rows += m_cars.value(pNum);
    }
    setRows(std::move(rows));
}
