#include "ModelTyresSessionData.h"

#include "CarNumberOrder.h"
#include "ColumnTable.h"
#include "V2DataProvider.h"

#include <algorithm>
#include <iterator>

namespace {

using namespace ColumnTable;
using Row = ModelTyresSessionData::Row;
using TyreColumn = ColumnSpec<Row>;

template <int Wheel>
QString tyreText(const Row& row)
{
    return row.tyres[Wheel];
}

constexpr TyreColumn kColumns[] = {
    {ModelTyresSessionData::Number, QT_TR_NOOP("Number"), 55, Right, [](const Row& r) { return r.pNum; }},
    {ModelTyresSessionData::Name, QT_TR_NOOP("Name"), 130, Left, [](const Row& r) { return r.driverName; }},
    {ModelTyresSessionData::FrontLeft, QT_TR_NOOP("Front Left"), 110, Right, &tyreText<0>},
    {ModelTyresSessionData::FrontRight, QT_TR_NOOP("Front Right"), 110, Right, &tyreText<1>},
    {ModelTyresSessionData::RearLeft, QT_TR_NOOP("Rear Left"), 110, Right, &tyreText<2>},
    {ModelTyresSessionData::RearRight, QT_TR_NOOP("Rear Right"), 110, Right, &tyreText<3>},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == ModelTyresSessionData::ColumnCount, "columns in id order");

} // namespace

ModelTyresSessionData::ModelTyresSessionData(V2DataProvider* provider, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
{
    connect(provider, &V2DataProvider::tyresDataReceived, this, &ModelTyresSessionData::processRefresh);
    connect(provider, &V2DataProvider::sessionEntry, this, &ModelTyresSessionData::processRefresh);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelTyresSessionData::cleanAll);
    processRefresh();
}

ModelTyresSessionData::~ModelTyresSessionData() = default;

int ModelTyresSessionData::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelTyresSessionData::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ModelTyresSessionData::headerData(int section, Qt::Orientation orientation, int role) const
{
    return ColumnTable::headerData(kColumns, staticMetaObject.className(), section, orientation, role);
}

QVariant ModelTyresSessionData::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return kColumns[index.column()].text(m_rows.at(index.row()));
    if (role == Qt::TextAlignmentRole)
        return kColumns[index.column()].alignment;
    return QVariant();
}

void ModelTyresSessionData::processRefresh()
{
    QStringList participants = m_provider->getEntryList();
    std::sort(participants.begin(), participants.end(), &CarNumberOrder::less);
    QVector<Row> rows;
    rows.reserve(participants.size());
    for (const QString& pNum : qAsConst(participants)) {
        const TyresRecord tyres = m_provider->getTyresData(pNum);
        rows.append({pNum, m_provider->getCurrentDriverName(pNum), {tyres.frontLeft, tyres.frontRight, tyres.rearLeft, tyres.rearRight}});
    }
    if (rows.size() == m_rows.size() && !rows.isEmpty()) {
        // The same cars: one repaint instead of a reset on every tyre change.
        m_rows = rows;
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, ColumnCount - 1));
        return;
    }
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void ModelTyresSessionData::cleanAll()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
