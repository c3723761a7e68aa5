#include "ModelAdditionalStanding.h"

#include "ColumnTable.h"
#include "TimingColours.h"
#include "SessionClock.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>

#include <iterator>

namespace {

using namespace ColumnTable;
using Model = ModelAdditionalStanding;

struct Cell {
    const Model::Row& row;
    int index;
    Model::Kind kind;
};

constexpr ColumnSpec<Cell> kColumns[] = {
    {Model::Position, QT_TR_NOOP("Pos"), 30, Right, [](const Cell& c) { return QString::number(c.index + 1); }},
    {Model::Number, QT_TR_NOOP("Nr"), 36, Right, [](const Cell& c) { return c.row.pNum; }},
    {Model::Name, QT_TR_NOOP("Name"), 90, Left, [](const Cell& c) { return c.row.name; }},
    {Model::Class, QT_TR_NOOP("Class"), 70, Centre, [](const Cell& c) { return c.row.className; }},
    {Model::Value, QT_TR_NOOP("Time"), 66, Right,
     [](const Cell& c) {
         if (c.kind == Model::TopSpeed)
             return c.row.speed > 0 ? QString::number(c.row.speed, 'f', 1) : QString();
         return timeText(c.row.time);
     }},
    {Model::Lap, QT_TR_NOOP("Lap"), 36, Right, [](const Cell& c) { return c.row.lap >= 1 ? QString::number(c.row.lap) : QString(); }},
    // The leader has no gap; a gap the server did not send stays empty. A
    // tie reads "+0.000", not a lone "+".
    {Model::Gap, QT_TR_NOOP("Gap"), 56, Right,
     [](const Cell& c) { return c.index == 0 || c.row.gap < 0 ? QString() : SessionClock::formatTime(static_cast<quint64>(c.row.gap), true, 3, true); }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == Model::ColumnCount, "columns in id order");

} // namespace

ModelAdditionalStanding::ModelAdditionalStanding(V2DataProvider* provider, Kind kind, int sector, QObject* parent)
    : CoalescedTableModel(parent)
    , m_provider(provider)
    , m_kind(kind)
    , m_sector(sector)
    , m_usaUnits(provider->usaUnits())
{
    connect(provider, &V2DataProvider::standingsOverall, this, &ModelAdditionalStanding::scheduleRefresh);
    connect(TimingColours::instance(), &TimingColours::changed, this, &ModelAdditionalStanding::repaintAll);
    connect(provider, &V2DataProvider::standingsOverallByPosition, this, &ModelAdditionalStanding::scheduleRefresh);
    connect(provider, &V2DataProvider::participantDetails, this, &ModelAdditionalStanding::scheduleRefresh);
    connect(provider, &V2DataProvider::participantDetailsByPnum, this, &ModelAdditionalStanding::scheduleRefresh);
    // A corrected name comes with the entry: the drivers looked up are read again.
    connect(provider, &V2DataProvider::sessionEntry, this, [this] {
        m_drivers.clear();
        scheduleRefresh();
    });
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelAdditionalStanding::repaintAll);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelAdditionalStanding::cleanAll);
    processRefresh();
}

ModelAdditionalStanding::~ModelAdditionalStanding() = default;

ModelAdditionalStanding::Kind ModelAdditionalStanding::kind() const
{
    return m_kind;
}

bool ModelAdditionalStanding::hasColumn(int column) const
{
    return m_kind == FastestLap || (column != Class && column != Lap && !(m_kind == TopSpeed && column == Gap));
}

int ModelAdditionalStanding::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelAdditionalStanding::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ModelAdditionalStanding::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The value's header names the unit or the sector.
    if (orientation == Qt::Horizontal && section == Value && role == Qt::DisplayRole && m_kind == TopSpeed)
        return m_usaUnits ? tr("mph") : tr("km/h");
    if (orientation == Qt::Horizontal && section == Value && role == Qt::DisplayRole && m_kind == SectorBest)
        return tr("S%1").arg(m_sector);
    return ColumnTable::headerData(kColumns, "ModelAdditionalStanding", section, orientation, role);
}

QVariant ModelAdditionalStanding::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= ColumnCount)
        return QVariant();
    const Row& row = m_rows.at(index.row());
    const QColor highlight = m_provider->getFollowColor(row.pNum);
    // The best of the session: the first row.
    const bool best = index.row() == 0 && index.column() == Value && m_kind != TopSpeed && row.time != 0;
    switch (role) {
    case Qt::DisplayRole:
        return kColumns[index.column()].text({row, index.row(), m_kind});
    case Qt::TextAlignmentRole:
        return kColumns[index.column()].alignment;
    case Qt::BackgroundRole:
        return TimingColours::background(best ? TimingColours::SessionBest : TimingColours::NoMark, highlight);
    case Qt::ForegroundRole:
        return TimingColours::foreground(best ? TimingColours::SessionBest : TimingColours::NoMark, highlight, m_skin);
    case Qt::FontRole:
        return TimingColours::font(best ? TimingColours::SessionBest : TimingColours::NoMark);
    default:
        return QVariant();
    }
}

ModelAdditionalStanding::Row ModelAdditionalStanding::readRow(int position) const
{
    const V2DataProvider& p = *m_provider;
    Row row;
    switch (m_kind) {
    case FastestLap:
        row.pNum = p.getFastestLapStandingParticipant(position);
        row.time = p.getFastestLapStandingTime(position);
        row.lap = p.getFastestLapStandingLap(position);
        row.gap = p.getFastestLapStandingGap(position);
        break;
    case SectorBest:
        row.pNum = p.getSectorStandingParticipant(position, m_sector);
        row.time = p.getSectorStandingTime(position, m_sector);
        row.gap = p.getSectorStandingGap(position, m_sector);
        break;
    case TopSpeed:
        row.pNum = p.getTopSpeedStandingParticipant(position);
        row.speed = p.getTopSpeedStandingSpeed(position);
        break;
    }
    row.name = driverOf(row);
    if (row.name.isEmpty())
        row.name = p.getCurrentDriverName(row.pNum);
    if (row.name.isEmpty())
        row.name = p.getDriverName(row.pNum, 1);
    row.className = p.getParticipantClass(row.pNum);
    return row;
}

QString ModelAdditionalStanding::driverOf(const Row& row) const
{
    // Who drove the lap that set the value, not who drives now: the car may
    // have changed drivers since. Empty when the lap is not known.
    const V2DataProvider& p = *m_provider;
    if (m_kind == FastestLap && row.lap < 0)
        return QString();
    const double value = m_kind == FastestLap ? double(row.lap) : m_kind == SectorBest ? double(row.time) : row.speed;
    const int laps = p.getLapCount(row.pNum);
    const auto known = m_drivers.constFind(row.pNum);
    if (known != m_drivers.cend() && known->value == value && known->laps == laps)
        return known->name;
    int driver = -1;
    switch (m_kind) {
    case FastestLap:
        driver = p.getLapDriver(row.pNum, QString::number(row.lap));
        break;
    case SectorBest:
        driver = p.getSectorTimeDriver(row.pNum, m_sector, row.time);
        break;
    case TopSpeed:
        driver = p.getTopSpeedDriver(row.pNum, row.speed);
        break;
    }
    const QString name = driver < 0 ? QString() : p.getDriverName(row.pNum, driver);
    m_drivers.insert(row.pNum, {value, laps, name});
    return name;
}

void ModelAdditionalStanding::refreshRows()
{
    int count = 0;
    switch (m_kind) {
    case FastestLap:
        count = m_provider->getFastestLapStandingsCount();
        break;
    case SectorBest:
        count = m_provider->getSectorStandingsCount(m_sector);
        break;
    case TopSpeed:
        count = m_provider->getTopSpeedStandingsCount();
        break;
    }
    QVector<Row> rows;
    rows.reserve(count);
    for (int position = 1; position <= count; ++position)
        rows.append(readRow(position));
    replaceRows(m_rows, std::move(rows));
}

void ModelAdditionalStanding::updateSkin(QString skin)
{
    m_skin = skin;
    repaintAll();
}

void ModelAdditionalStanding::setUsaUnits(bool on)
{
    // The provider gives speeds in the unit in force.
    m_usaUnits = on;
    emit headerDataChanged(Qt::Horizontal, Value, Value);
    processRefresh();
}

void ModelAdditionalStanding::repaintAll()
{
    ColumnTable::repaintRows(*this);
}

void ModelAdditionalStanding::cleanAll()
{
    m_drivers.clear();
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
