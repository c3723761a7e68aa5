#include "ModelAnalysisTable.h"

#include "ColumnTable.h"
#include "TimingColours.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>

namespace {

const int kDefaultWidths[ModelAnalysisTable::ColumnCount] = {90, 40, 80};

} // namespace

ModelAnalysisTable::ModelAnalysisTable(V2DataProvider* provider, const QString& skin, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
    , m_skin(skin)
{
    connect(provider, &V2DataProvider::analysisProcessed, this, &ModelAnalysisTable::processAnalysis);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelAnalysisTable::refreshAll);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelAnalysisTable::cleanAll);
    connect(TimingColours::instance(), &TimingColours::changed, this, &ModelAnalysisTable::refreshAll);
}

ModelAnalysisTable::~ModelAnalysisTable() = default;

V2DataProvider* ModelAnalysisTable::provider() const
{
    return m_provider;
}

int ModelAnalysisTable::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : recordCount();
}

int ModelAnalysisTable::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ModelAnalysisTable::valueHeader() const
{
    return tr("Time");
}

QVariant ModelAnalysisTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(QString::number(section + 1)) : QVariant();
    if (section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == ColumnTable::DefaultWidthRole)
        return kDefaultWidths[section];
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case DayTime:
        return tr("Day Time");
    case Number:
        return tr("Nr");
    default:
        return valueHeader();
    }
}

QVariant ModelAnalysisTable::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= recordCount() || index.column() >= ColumnCount)
        return QVariant();
    const Cell cell = cellAt(index.row());
    const QColor highlight = m_provider->getFollowColor(cell.pNum);
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == DayTime)
            return TimeOfDay::text(static_cast<qint64>(cell.dayTime), QStringLiteral("HH:mm:ss.zzz"));
        return index.column() == Number ? cell.pNum : cell.value;
    case Qt::TextAlignmentRole:
        return ColumnTable::Right;
    case Qt::BackgroundRole:
        return TimingColours::background(TimingColours::NoMark, highlight);
    case Qt::ForegroundRole:
        return TimingColours::foreground(index.column() == Value && !cell.valid ? TimingColours::Invalid : TimingColours::NoMark, highlight, m_skin);
    case Qt::FontRole:
        return TimingColours::font(index.column() == Value && !cell.valid ? TimingColours::Invalid : TimingColours::NoMark, highlight.isValid());
    default:
        return QVariant();
    }
}

void ModelAnalysisTable::processAnalysis()
{
    beginResetModel();
    takeCopies();
    endResetModel();
}

void ModelAnalysisTable::refreshAll()
{
    if (recordCount() > 0)
        emit dataChanged(index(0, 0), index(recordCount() - 1, ColumnCount - 1));
}

void ModelAnalysisTable::cleanAll()
{
    beginResetModel();
    clearCopies();
    endResetModel();
}

void ModelAnalysisTable::updateSkin(QString skinType)
{
    m_skin = skinType;
    refreshAll();
}

void ModelAnalysisTable::applyRow(int rowPos, bool isNewRow, bool removeRow)
{
    const int count = recordCount();
    if (!isNewRow && !removeRow && rowPos >= count)
        return;
    if (rowPos < 0 || (isNewRow && rowPos > count) || (removeRow && rowPos >= count)) {
        // Out of step with the provider: start again from its caches.
        processAnalysis();
        return;
    }
    if (removeRow) {
        beginRemoveRows(QModelIndex(), rowPos, rowPos);
        takeCopies();
        endRemoveRows();
    } else if (isNewRow) {
        beginInsertRows(QModelIndex(), rowPos, rowPos);
        takeCopies();
        endInsertRows();
    } else {
        takeCopies();
        emit dataChanged(index(rowPos, 0), index(rowPos, ColumnCount - 1));
    }
}

void ModelAnalysisTable::applyRowList(const QList<int>& rows)
{
    if (rows.isEmpty())
        return;
    takeCopies();
    const auto range = std::minmax_element(rows.cbegin(), rows.cend());
    const int last = qMin(*range.second, recordCount() - 1);
    if (last >= 0 && *range.first <= last)
        emit dataChanged(index(qMax(0, *range.first), 0), index(last, ColumnCount - 1));
}
