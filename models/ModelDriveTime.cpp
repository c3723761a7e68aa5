#include "ModelDriveTime.h"

#include "AppSettings.h"
#include "StintRows.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include <iterator>

namespace {

using namespace ColumnTable;
using Row = DriveTimeRow;
constexpr int kClockMs = 1000;

QString minutesText(qint64 ms)
{
    return DriveTimeCalculator::hoursMinutes(ms, false);
}

QString remainingText(qint64 ms, bool has)
{
    if (!has)
        return QString();
    return ms < 0 ? QStringLiteral("+") + DriveTimeCalculator::hoursMinutes(-ms, true) + QStringLiteral(" over") : minutesText(ms);
}

constexpr ColumnSpec<Row> kColumns[] = {
    {ModelDriveTime::Car, QT_TR_NOOP("Car"), 45, Right, [](const Row& r) { return r.firstOfCar ? r.car : QString(); }},
    // The driver in the car is marked, not only coloured.
    {ModelDriveTime::Driver, QT_TR_NOOP("Driver"), 170, Left,
     [](const Row& r) {
         const QString name = r.time.name.isEmpty() ? QStringLiteral("Driver %1").arg(r.time.driver) : r.time.name;
         return r.time.inCar ? QStringLiteral("\u25B6 ") + name : name;
     }},
    {ModelDriveTime::Total, QT_TR_NOOP("Total"), 70, Right, [](const Row& r) { return minutesText(r.time.totalMs); }},
    {ModelDriveTime::ToMinimum, QT_TR_NOOP("To min"), 70, Right,
     [](const Row& r) { return r.time.toMinMs < 0 ? QString() : r.time.toMinMs == 0 ? QStringLiteral("done") : DriveTimeCalculator::hoursMinutes(r.time.toMinMs, true); }},
    {ModelDriveTime::ToMaximum, QT_TR_NOOP("To max"), 80, Right, [](const Row& r) { return remainingText(r.time.toMaxMs, r.time.hasMax); }},
    {ModelDriveTime::Stint, QT_TR_NOOP("Stint / limit"), 110, Centre,
     [](const Row& r) {
         if (!r.time.inCar)
             return QString();
         return r.continuousLimitMs > 0 ? QStringLiteral("%1 / %2").arg(minutesText(r.time.continuousMs), minutesText(r.continuousLimitMs))
                                        : minutesText(r.time.continuousMs);
     }},
    // A rest not yet complete says how long it must be.
    {ModelDriveTime::Rest, QT_TR_NOOP("Rest"), 110, Right,
     [](const Row& r) {
         if (r.time.restMs < 0)
             return QString();
         return r.time.restMs < r.restLimitMs ? QStringLiteral("%1 of %2").arg(minutesText(r.time.restMs), minutesText(r.restLimitMs))
                                              : minutesText(r.time.restMs);
     }},
    {ModelDriveTime::State, QT_TR_NOOP("State"), 190, Centre, [](const Row& r) { return ModelDriveTime::stateText(r.time); }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == ModelDriveTime::ColumnCount, "columns in id order");

// Background and text of a state, per skin: green, amber, red, each with a
// text of enough contrast.
QColor stateBackground(DriveState state, bool dark)
{
    switch (state) {
    case DriveState::Ok:
        return dark ? QColor(28, 92, 44) : QColor(186, 228, 192);
    case DriveState::Near:
        return dark ? QColor(168, 120, 0) : QColor(255, 214, 102);
    case DriveState::Over:
        return dark ? QColor(170, 30, 30) : QColor(236, 120, 120);
    }
    return QColor();
}

} // namespace

ModelDriveTime::ModelDriveTime(V2DataProvider* provider, const QString& skin, QObject* parent)
    : RowTableModel(kColumns, staticMetaObject.className(), parent)
    , m_provider(provider)
    , m_skin(skin)
    , m_rules(DriveTimeRules::load())
{
    connect(provider, &V2DataProvider::analysisStints, this, &ModelDriveTime::scheduleRefresh);
    connect(provider, &V2DataProvider::sessionEntry, this, &ModelDriveTime::scheduleRefresh);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelDriveTime::scheduleRefresh);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelDriveTime::scheduleRefresh);
    connect(&m_clock, &QTimer::timeout, this, &ModelDriveTime::processRefresh);
    m_clock.start(kClockMs);
    processRefresh();
}

ModelDriveTime::~ModelDriveTime() = default;

QString ModelDriveTime::stateText(const DriverDriveTime& time)
{
    const QString reason = time.reason.isEmpty() ? QString() : QStringLiteral(": ") + time.reason;
    switch (time.state) {
    case DriveState::Ok:
        return QStringLiteral("OK");
    case DriveState::Near:
        return QStringLiteral("NEAR") + reason;
    case DriveState::Over:
        return QStringLiteral("OVER") + reason;
    }
    return QString();
}

QVariant ModelDriveTime::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows().size())
        return QVariant();
    const Row& row = rows().at(index.row());
    const bool dark = AppSettings::isDarkSkin(m_skin);
    const bool stateCell = index.column() == State;
    switch (role) {
    case Qt::BackgroundRole:
        if (stateCell)
            return QBrush(stateBackground(row.time.state, dark));
        return QVariant();
    case Qt::ForegroundRole:
        if (stateCell)
            return QBrush(dark ? QColor(255, 255, 255) : QColor(16, 16, 16));
        return QVariant();
    case Qt::FontRole:
        if (stateCell || row.time.inCar) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return QVariant();
    default:
        return RowTableModel::data(index, role);
    }
}

void ModelDriveTime::setChosenCar(const QString& car)
{
    m_chosen = car;
    processRefresh();
}

void ModelDriveTime::setSkin(const QString& skin)
{
    m_skin = skin;
    ColumnTable::repaintRows(*this);
}

void ModelDriveTime::setRules(const DriveTimeRules& rules)
{
    m_rules = rules;
    processRefresh();
}

const DriveTimeRules& ModelDriveTime::rules() const
{
    return m_rules;
}

const QVector<ModelDriveTime::CarLine>& ModelDriveTime::carLines() const
{
    return m_lines;
}

qint64 ModelDriveTime::remainingMs() const
{
    return StintRows::remainingMs(m_rules);
}

void ModelDriveTime::heldChanged(bool held)
{
    // Out of sight the running times need no clock; they run on all the
    // same, so a refresh is owed for when the panel shows again.
    if (held) {
        m_clock.stop();
        deferWhileHeld();
    } else {
        m_clock.start();
    }
}

void ModelDriveTime::refreshRows()
{
    QStringList cars = m_provider->getFollowedCars();
    if (!m_chosen.isEmpty() && !cars.contains(m_chosen))
        cars.append(m_chosen);
    const qint64 remaining = remainingMs();
    QVector<Row> rows;
    QVector<CarLine> lines;
    for (const QString& car : cars) {
        const CarDriveCheck check = StintRows::driveTime(*m_provider, car, m_rules, remaining);
        bool first = true;
        for (const DriverDriveTime& time : check.times.drivers) {
            rows.append(Row{car, time, check.limits.maxContinuousMs, check.limits.minRestMs, first});
            first = false;
        }
        lines.append(CarLine{car, check.feasibility});
    }
    setRows(rows);
    m_lines = lines;
    emit carLinesChanged();
}
