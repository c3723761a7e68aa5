#include "ModelSessionStints.h"

#include "AppSettings.h"
#include "ColumnTable.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <iterator>

namespace {

using namespace ColumnTable;
using Row = ModelSessionStints::Row;
using StintColumn = ColumnSpec<Row>;

const QColor kDarkColor(22, 22, 22);
const QColor kLightColor(220, 220, 220);
constexpr int kClockMs = 1000;

QString dateTimeText(quint64 milliseconds)
{
    return TimeOfDay::text(static_cast<qint64>(milliseconds), QStringLiteral("dd/MM/yyyy HH:mm:ss.zzz"));
}

constexpr StintColumn kColumns[] = {
    {ModelSessionStints::Participant, QT_TR_NOOP("Part."), 40, Right, [](const Row& r) { return r.participant; }},
    // Its header is "Driver" or "Rider", chosen in headerData.
    {ModelSessionStints::Driver, QT_TR_NOOP("Driver"), 110, Left, [](const Row& r) { return r.driverName; }},
    {ModelSessionStints::PitType, QT_TR_NOOP("Pit Info"), 60, Centre,
     [](const Row& r) {
         return r.pitInfo == StintRow::Penalty ? QStringLiteral("Penalty") : r.pitInfo == StintRow::SafetyCar ? QStringLiteral("SC") : QString();
     }},
    {ModelSessionStints::Type, QT_TR_NOOP("Type"), 45, Centre, [](const Row& r) { return r.isPit ? QStringLiteral("Pit") : QStringLiteral("Track"); }},
    {ModelSessionStints::StartTime, QT_TR_NOOP("Start"), 150, Right, [](const Row& r) { return dateTimeText(r.start); }},
    {ModelSessionStints::LapStart, QT_TR_NOOP("Lap Start"), 70, Centre, [](const Row& r) { return QString::number(r.openLap); }},
    {ModelSessionStints::FinishTime, QT_TR_NOOP("Finish"), 150, Right,
     [](const Row& r) {
         if (r.finish == 0)
             return r.running ? QStringLiteral("running") : QStringLiteral("not running");
         return dateTimeText(r.finish);
     }},
    {ModelSessionStints::LapFinish, QT_TR_NOOP("Lap Finish"), 75, Centre,
     [](const Row& r) { return r.finish == 0 ? QStringLiteral("--") : QString::number(r.closeLap); }},
    {ModelSessionStints::Time, QT_TR_NOOP("Time"), 80, Right, [](const Row& r) { return r.finish == 0 ? QString() : timeText(r.finish - r.start); }},
    {ModelSessionStints::AccumTime, QT_TR_NOOP("Acum."), 80, Right, [](const Row& r) { return timeText(r.accumulated); }},
    {ModelSessionStints::TrackAccumTime, QT_TR_NOOP("Acum. Track"), 90, Right,
     [](const Row& r) { return r.isPit ? QString() : timeText(r.accumulatedOnTrack); }},
    {ModelSessionStints::SessionAccumTime, QT_TR_NOOP("Sess. Acum."), 90, Right, [](const Row& r) { return timeText(r.sessionAccumulated); }},
    {ModelSessionStints::TrackSessionAccumTime, QT_TR_NOOP("Sess. Acum. Track"), 125, Right,
     [](const Row& r) { return r.isPit ? QString() : timeText(r.sessionAccumulatedOnTrack); }},
    {ModelSessionStints::SingleStintTime, QT_TR_NOOP("Single Stint Time"), 120, Right, [](const Row& r) { return timeText(r.singleStintTime); }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == ModelSessionStints::ColumnCount, "columns in id order");

} // namespace

ModelSessionStints::ModelSessionStints(V2DataProvider* provider, const QString& skin, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
    , m_skin(skin)
{
    connect(provider, &V2DataProvider::analysisStints, this, &ModelSessionStints::processRefresh);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelSessionStints::cleanAll);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelSessionStints::repaintAll);
    connect(&m_clock, &QTimer::timeout, this, &ModelSessionStints::processRefresh);
}

ModelSessionStints::~ModelSessionStints() = default;

int ModelSessionStints::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelSessionStints::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ModelSessionStints::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == Driver && role == Qt::DisplayRole)
        return m_bikes ? tr("Rider") : tr("Driver");
    return ColumnTable::headerData(kColumns, staticMetaObject.className(), section, orientation, role);
}

QVariant ModelSessionStints::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const Row& row = m_rows.at(index.row());
    const bool dark = AppSettings::isDarkSkin(m_skin);
    switch (role) {
    case Qt::DisplayRole:
        return kColumns[index.column()].text(row);
    case Qt::TextAlignmentRole:
        return kColumns[index.column()].alignment;
    case Qt::BackgroundRole: {
        if (!row.isPit)
            return QBrush(dark ? kDarkColor : kLightColor);
        const QColor highlight = m_provider->getFollowColor(row.participant);
        return highlight.isValid() ? QVariant(QBrush(highlight)) : QVariant();
    }
    case Qt::ForegroundRole:
        if (row.isPit && m_provider->getFollowColor(row.participant).isValid())
            return QBrush(kDarkColor);
        return QBrush(dark ? kLightColor : kDarkColor);
    default:
        return QVariant();
    }
}

void ModelSessionStints::setParticipant(const QString& pNum)
{
    m_participant = pNum;
    processRefresh();
}

QString ModelSessionStints::participant() const
{
    return m_participant;
}

void ModelSessionStints::setSkin(const QString& skin)
{
    m_skin = skin;
    processRefresh();
}

void ModelSessionStints::setBikeLayout(bool bikes)
{
    m_bikes = bikes;
    emit headerDataChanged(Qt::Horizontal, Driver, Driver);
}

const ModelSessionStints::Row& ModelSessionStints::row(int index) const
{
    return m_rows.at(index);
}

void ModelSessionStints::processRefresh()
{
    QVector<Row> rows = StintRows::read(*m_provider, m_participant);
    const bool counting = !rows.isEmpty() && rows.last().finish == 0 && rows.last().running;
    if (counting && !m_clock.isActive())
        m_clock.start(kClockMs);
    else if (!counting)
        m_clock.stop();
    // No car chosen, or none of its stints yet: the stints of other cars change nothing here.
    if (rows.isEmpty() && m_rows.isEmpty())
        return;
    if (rows.size() == m_rows.size()) {
        // The same stints: only those that changed are repainted (each second
        // the clock moves the open stint alone), none reset.
        int first = -1;
        int last = -1;
        for (int r = 0; r < rows.size(); ++r) {
            if (rows.at(r) == m_rows.at(r))
                continue;
            first = first < 0 ? r : first;
            last = r;
        }
        m_rows = rows;
        if (first >= 0)
            emit dataChanged(index(first, 0), index(last, columnCount() - 1));
        return;
    }
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void ModelSessionStints::repaintAll()
{
    ColumnTable::repaintRows(*this);
}

void ModelSessionStints::cleanAll()
{
    m_clock.stop();
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
