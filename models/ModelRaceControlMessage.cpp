#include "ModelRaceControlMessage.h"

#include "ColumnTable.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QDateTime>

#include <algorithm>

namespace {

using namespace ColumnTable;
using RaceControlColumn = ColumnSpec<ModelRaceControlMessage::Row>;

constexpr RaceControlColumn kColumns[] = {
    {ModelRaceControlMessage::Time, QT_TR_NOOP("Time"), 90, Right,
     [](const ModelRaceControlMessage::Row& r) {
         return TimeOfDay::text(static_cast<qint64>(r.dayTime), QStringLiteral("HH:mm:ss.zzz"));
     }},
    {ModelRaceControlMessage::Group, QT_TR_NOOP("Group"), 90, Left, [](const ModelRaceControlMessage::Row& r) { return r.group; }},
    {ModelRaceControlMessage::Message, QT_TR_NOOP("Message"), 400, Left, [](const ModelRaceControlMessage::Row& r) { return r.text; }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == ModelRaceControlMessage::ColumnCount, "columns in id order");

} // namespace

ModelRaceControlMessage::ModelRaceControlMessage(V2DataProvider* provider, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
{
    connect(provider, &V2DataProvider::raceControlMessages, this, &ModelRaceControlMessage::processRefresh);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelRaceControlMessage::cleanAll);
    processRefresh();
}

ModelRaceControlMessage::~ModelRaceControlMessage() = default;

int ModelRaceControlMessage::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelRaceControlMessage::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ModelRaceControlMessage::headerData(int section, Qt::Orientation orientation, int role) const
{
    return ColumnTable::headerData(kColumns, staticMetaObject.className(), section, orientation, role);
}

QVariant ModelRaceControlMessage::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const int entry = m_newestFirst ? m_rows.size() - index.row() - 1 : index.row();
    if (role == Qt::DisplayRole)
        return kColumns[index.column()].text(m_rows.at(entry));
    if (role == Qt::TextAlignmentRole)
        return kColumns[index.column()].alignment;
    return QVariant();
}

void ModelRaceControlMessage::setCleaning(bool on)
{
    m_cleaning = on;
    if (on)
        m_earlier.clear();
    processRefresh();
}

bool ModelRaceControlMessage::cleaning() const
{
    return m_cleaning;
}

void ModelRaceControlMessage::setNewestFirst(bool on)
{
    m_newestFirst = on;
    processRefresh();
}

bool ModelRaceControlMessage::newestFirst() const
{
    return m_newestFirst;
}

void ModelRaceControlMessage::processRefresh()
{
    beginResetModel();
    // Messages of earlier sessions, kept when cleaning is off, come first.
    m_rows = m_cleaning ? QVector<Row>() : m_earlier;
    const qint64 limit = m_cleaning ? m_provider->getSessionStartTime() : -1;
    for (const QString& key : m_provider->getRaceControlMessageKeys()) {
        Row row;
        row.dayTime = m_provider->getRaceControlDayTime(key);
        if (static_cast<qint64>(row.dayTime) < limit)
            continue;
        row.group = m_provider->getRaceControlGroupText(key);
        row.text = m_provider->getRaceControlText(key);
        // A kept message the tree still holds (it was kept while the same
        // messages came again) is listed once.
        if (!m_cleaning && isKept(row))
            continue;
        m_rows.append(row);
    }
    endResetModel();
}

bool ModelRaceControlMessage::isKept(const Row& row) const
{
    return std::any_of(m_earlier.cbegin(), m_earlier.cend(), [&row](const Row& kept) {
        return kept.dayTime == row.dayTime && kept.text == row.text && kept.group == row.group;
    });
}

void ModelRaceControlMessage::cleanAll()
{
    // The tree of the new session no longer holds the old messages: keeping
    // them means keeping them here.
    if (!m_cleaning) {
        m_earlier = m_rows;
        return;
    }
    m_earlier.clear();
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
