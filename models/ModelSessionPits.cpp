#include "ModelSessionPits.h"

#include "ColumnTable.h"
#include "TimingColours.h"
#include "ModelSessionPitIn.h"
#include "ModelSessionPitOut.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QMultiMap>
#include <QTime>

#include <iterator>

namespace {

using namespace ColumnTable;
using Row = ModelSessionPits::Row;
using PitColumn = ColumnSpec<Row>;


QString clockText(const Row& row)
{
    return TimeOfDay::text(static_cast<qint64>(row.time), QStringLiteral("HH:mm:ss.zzz"));
}

// A stop's length; a stop of an hour or more (repairs) keeps its hours.
QString durationText(const Row& row)
{
    if (row.duration == 0)
        return QString();
    const QTime length = QTime(0, 0).addMSecs(static_cast<int>(qMin<quint64>(row.duration, 86399999)));
    return length.toString(row.duration >= 3600000 ? QStringLiteral("h:mm:ss.zzz") : QStringLiteral("mm:ss.zzz"));
}

constexpr PitColumn kNumber{0, QT_TR_NOOP("Nr"), 40, Right, [](const Row& r) { return r.pNum; }};
constexpr PitColumn kName{1, QT_TR_NOOP("Name"), 110, Right, [](const Row& r) { return r.driverName; }};
constexpr PitColumn kTime{2, QT_TR_NOOP("Time"), 90, Right, &clockText};

constexpr PitColumn kPitInColumns[] = {kNumber, kName, kTime};
constexpr PitColumn kPitOutColumns[] = {
    kNumber,
    kName,
    kTime,
    {ModelSessionPitOut::Duration, QT_TR_NOOP("Duration"), 80, Right, &durationText},
    // The server sends no fuel figure.
    {ModelSessionPitOut::Fuel, QT_TR_NOOP("Fuel"), 50, Right, [](const Row&) { return QString(); }},
};
static_assert(inIdOrder(kPitInColumns) && std::size(kPitInColumns) == ModelSessionPitIn::ColumnCount, "pit-in columns in id order");
static_assert(inIdOrder(kPitOutColumns) && std::size(kPitOutColumns) == ModelSessionPitOut::ColumnCount, "pit-out columns in id order");

} // namespace

ModelSessionPits::ModelSessionPits(V2DataProvider* provider, const QString& skin, bool pitOut, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
    , m_skin(skin)
    , m_pitOut(pitOut)
{
    connect(provider, pitOut ? &V2DataProvider::analysisPitOut : &V2DataProvider::analysisPitIn, this, &ModelSessionPits::processRefresh);
    connect(provider, &V2DataProvider::sessionEntry, this, &ModelSessionPits::processRefresh);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelSessionPits::repaintAll);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelSessionPits::cleanAll);
    processRefresh();
}

ModelSessionPits::~ModelSessionPits() = default;

int ModelSessionPits::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelSessionPits::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return m_pitOut ? int(ModelSessionPitOut::ColumnCount) : int(ModelSessionPitIn::ColumnCount);
}

QVariant ModelSessionPits::headerData(int section, Qt::Orientation orientation, int role) const
{
    const char* context = staticMetaObject.className();
    return m_pitOut ? ColumnTable::headerData(kPitOutColumns, context, section, orientation, role)
                    : ColumnTable::headerData(kPitInColumns, context, section, orientation, role);
}

QVariant ModelSessionPits::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= columnCount())
        return QVariant();
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return (m_pitOut ? kPitOutColumns : kPitInColumns)[index.column()].text(row);
    case Qt::TextAlignmentRole:
        return Right;
    case Qt::BackgroundRole:
        return TimingColours::background(TimingColours::NoMark, m_provider->getFollowColor(row.pNum));
    case Qt::ForegroundRole:
        return TimingColours::foreground(TimingColours::NoMark, m_provider->getFollowColor(row.pNum), m_skin);
    default:
        return QVariant();
    }
}

void ModelSessionPits::processRefresh()
{
    // In time order; stops at the same moment are all kept.
    QMultiMap<quint64, Row> byTime;
    // A car's drivers are few and its stops many: each name is looked up once.
    QHash<int, QString> names;
    const QStringList participants = m_pitOut ? m_provider->getPitOutParticipants() : m_provider->getPitInParticipants();
    for (const QString& pNum : participants) {
        names.clear();
        const QStringList keys = m_pitOut ? m_provider->getPitOutKeys(pNum) : m_provider->getPitInKeys(pNum);
        for (const QString& key : keys) {
            Row row;
            row.pNum = pNum;
            const int driver = m_pitOut ? m_provider->getPitOutDriver(pNum, key) : m_provider->getPitInDriver(pNum, key);
            auto name = names.constFind(driver);
            if (name == names.cend())
                name = names.insert(driver, m_provider->getDriverName(pNum, driver));
            row.driverName = name.value();
            row.time = key.toULongLong();
            if (m_pitOut)
                row.duration = m_provider->getPitTime(pNum, key);
            byTime.insert(row.time, row);
        }
    }
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(byTime.size());
    for (auto it = byTime.cbegin(); it != byTime.cend(); ++it)
        m_rows.append(it.value());
    endResetModel();
}

void ModelSessionPits::updateSkin(QString skin)
{
    m_skin = skin;
    repaintAll();
}

void ModelSessionPits::repaintAll()
{
    ColumnTable::repaintRows(*this);
}

void ModelSessionPits::cleanAll()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
