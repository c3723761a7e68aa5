#include "ModelSessionLap.h"

#include "ColumnTable.h"
#include "ProgramResources.h"
#include "SessionClock.h"
#include "TimeOfDay.h"
#include "TimingConstants.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QIcon>

#include <algorithm>
#include <iterator>

namespace {

using namespace ColumnTable;

const QString kNoParticipant = QStringLiteral("---");

// One cell being made: the record and the notes.
struct LapCell {
    const LapAnalysisRecord& record;
    const QMap<QString, QString>& notes;
};

// Notes belong to a lap, not to a row: rows move when laps arrive.
QString lapId(const LapAnalysisRecord& record)
{
    return record.pNum + QLatin1Char('-') + QString::number(record.lapNumber);
}
using LapColumn = ColumnSpec<LapCell>;

template <int Sector>
QString sectorText(const LapCell& c)
{
    return timeText(c.record.sectorTime[Sector]);
}

template <int Section>
QString sectionText(const LapCell& c)
{
    return timeText(c.record.sectionTime[Section]);
}

QString blank(const LapCell&)
{
    return QString();
}

constexpr LapColumn kColumns[] = {
    {ModelSessionLap::DayTime, QT_TR_NOOP("Day Time"), 70, Right,
     [](const LapCell& c) { return TimeOfDay::text(static_cast<qint64>(c.record.startTime), QStringLiteral("HH:mm:ss")); }},
    {ModelSessionLap::Number, QT_TR_NOOP("Nr"), 40, Right, [](const LapCell& c) { return c.record.pNum; }},
    {ModelSessionLap::Spacer1, "", 0, Right, &blank},
    {ModelSessionLap::Lap, QT_TR_NOOP("Lap"), 40, Right, [](const LapCell& c) { return c.record.lapNumber >= 1 ? QString::number(c.record.lapNumber) : QString(); }},
    {ModelSessionLap::Spacer2, "", 0, Right, &blank},
    {ModelSessionLap::LapTime, QT_TR_NOOP("Lap Time"), 75, Right, [](const LapCell& c) { return timeText(c.record.lapTime); }},
    {ModelSessionLap::S1, QT_TR_NOOP("S1"), 60, Right, &sectorText<0>},
    {ModelSessionLap::S1 + 1, QT_TR_NOOP("S2"), 60, Right, &sectorText<1>},
    {ModelSessionLap::S1 + 2, QT_TR_NOOP("S3"), 60, Right, &sectorText<2>},
    {ModelSessionLap::S4, QT_TR_NOOP("S4"), 60, Right, &sectorText<3>},
    {ModelSessionLap::Speed, QT_TR_NOOP("Speed"), 85, Right,
     [](const LapCell& c) { return c.record.topSpeed > 0 ? QString::number(c.record.topSpeed, 'f', 1) : QString(); }},
    {ModelSessionLap::Porsche, QT_TR_NOOP("Porsche"), 65, Right, &sectionText<0>},
    {ModelSessionLap::Ford, QT_TR_NOOP("Ford"), 65, Right, &sectionText<1>},
    {ModelSessionLap::T6, QT_TR_NOOP("T6"), 65, Right, &sectionText<2>},
    {ModelSessionLap::T7, QT_TR_NOOP("T7"), 65, Right, &sectionText<3>},
    {ModelSessionLap::Position, QT_TR_NOOP("Pos"), 40, Right, [](const LapCell& c) { return c.record.position >= 1 ? QString::number(c.record.position) : QString(); }},
    {ModelSessionLap::Driver, QT_TR_NOOP("Driver"), 110, Right, [](const LapCell& c) { return c.record.driverName; }},
    {ModelSessionLap::Notes, QT_TR_NOOP("Notes"), 150, Left, [](const LapCell& c) { return c.notes.value(lapId(c.record)); }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == ModelSessionLap::ColumnCount, "columns in id order");

bool isSector(int column)
{
    return column >= ModelSessionLap::S1 && column <= ModelSessionLap::S4;
}

// "No time" equals "no best": neither may paint a best.
bool hasTime(quint64 time)
{
    return time != 0 && time != TimingConstants::NO_TIME;
}

} // namespace

ModelSessionLap::ModelSessionLap(V2DataProvider* provider, const QString& skin, bool carFollowMode, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
    , m_followed(kNoParticipant)
    , m_carFollowMode(carFollowMode)
    , m_skin(skin)
{
    ProgramResources::init();
    m_trackLimitsIcon = QIcon(QStringLiteral(":/icons/trackLimits")).pixmap(14, 14);
    connect(provider, &V2DataProvider::analysisProcessed, this, &ModelSessionLap::processAnalysis);
    connect(provider, &V2DataProvider::analysysLapsUpdateByRow, this, &ModelSessionLap::processAnalysisLap);
    connect(provider, &V2DataProvider::analysysLapsUpdateByRowList, this, &ModelSessionLap::processAnalysisLapByRowList);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelSessionLap::repaintAll);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelSessionLap::cleanAll);
    connect(provider, &V2DataProvider::speedUnitsChanged, this, &ModelSessionLap::repaintSpeeds);
    connect(TimingColours::instance(), &TimingColours::changed, this, &ModelSessionLap::repaintAll);
}

ModelSessionLap::~ModelSessionLap() = default;

QList<int> ModelSessionLap::absentColumns(const QStringList& trackSections, int sectors)
{
    QList<int> absent = {Spacer1, Spacer2};
    if (sectors == 3)
        absent.append(S4);
    for (int i = 0; i < 4; ++i) {
        if (!trackSections.contains(TimingConstants::NAMED_SECTIONS[i]))
            absent.append(Porsche + i);
    }
    return absent;
}

V2DataProvider* ModelSessionLap::provider() const
{
    return m_provider;
}

int ModelSessionLap::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_copy.count();
}

int ModelSessionLap::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount + extraColumnCount();
}

int ModelSessionLap::extraColumnCount() const
{
    return 0;
}

QString ModelSessionLap::extraHeader(int) const
{
    return QString();
}

QString ModelSessionLap::extraText(const LapAnalysisRecord&, int) const
{
    return QString();
}

QVariant ModelSessionLap::lapNumberColour(const LapAnalysisRecord&, int) const
{
    return QVariant();
}

void ModelSessionLap::takeExtras()
{
}

QVariant ModelSessionLap::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section >= ColumnCount && section < columnCount()) {
        if (role == Qt::DisplayRole)
            return extraHeader(section - ColumnCount);
        return role == ColumnTable::DefaultWidthRole ? QVariant(70) : QVariant();
    }
    // The speeds' unit: the user may switch it at any time.
    if (orientation == Qt::Horizontal && section == Speed && role == Qt::DisplayRole)
        return m_provider->usaUnits() ? tr("Speed (mph)") : tr("Speed (km/h)");
    return ColumnTable::headerData(kColumns, "ModelSessionLap", section, orientation, role);
}

const LapAnalysisRecord* ModelSessionLap::recordAt(int row) const
{
    return m_copy.at(row);
}

QString ModelSessionLap::cellText(int row, int column) const
{
    const LapAnalysisRecord* record = m_copy.at(row);
    if (!record || column < 0 || column >= columnCount())
        return QString();
    if (column >= ColumnCount)
        return extraText(*record, column - ColumnCount);
    return kColumns[column].text({*record, m_notes});
}

QVariant ModelSessionLap::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_copy.count() || index.column() >= columnCount())
        return QVariant();
    const LapAnalysisRecord* record = m_copy.at(index.row());
    if (!record)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), column);
    case Qt::TextAlignmentRole:
        return column == Notes ? Left : Right;
    case Qt::DecorationRole:
        return isSector(column) && record->sectorTrackLimits[column - S1] ? QVariant(m_trackLimitsIcon) : QVariant();
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        if (column == Lap) {
            const QVariant pit = lapNumberColour(*record, role);
            if (pit.isValid())
                return pit;
        }
        if (role == Qt::BackgroundRole)
            return TimingColours::background(mark(*record, column), highlight(*record));
        return TimingColours::foreground(mark(*record, column), highlight(*record), m_skin);
    }
    case Qt::FontRole:
        return TimingColours::font(mark(*record, column), highlight(*record).isValid());
    default:
        return QVariant();
    }
}

TimingColours::Mark ModelSessionLap::mark(const LapAnalysisRecord& record, int column) const
{
    if (column == LapTime) {
        if (!record.isValid)
            return TimingColours::Invalid;
        if (hasTime(record.lapTime) && record.lapTime == m_sessionBests[4])
            return TimingColours::SessionBest;
        if (hasTime(record.lapTime) && record.lapTime == m_followedBests[4])
            return TimingColours::PersonalBest;
        return TimingColours::NoMark;
    }
    if (isSector(column)) {
        const int s = column - S1;
        const quint64 time = record.sectorTime[s];
        if (!record.sectorValid[s] || record.sectorTrackLimits[s])
            return TimingColours::Invalid;
        if (hasTime(time) && time == m_sessionBests[s])
            return TimingColours::SessionBest;
        if (hasTime(time) && time == m_followedBests[s])
            return TimingColours::PersonalBest;
    }
    return TimingColours::NoMark;
}

QColor ModelSessionLap::highlight(const LapAnalysisRecord& record) const
{
    return m_carFollowMode ? QColor() : m_provider->getFollowColor(record.pNum);
}

bool ModelSessionLap::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const LapAnalysisRecord* record = index.isValid() ? m_copy.at(index.row()) : nullptr;
    if (!record || index.column() != Notes || role != Qt::EditRole)
        return false;
    m_notes.insert(lapId(*record), value.toString());
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags ModelSessionLap::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.isValid() && index.column() == Notes ? flags | Qt::ItemIsEditable : flags;
}

void ModelSessionLap::setFollowedParticipant(const QString& pNum)
{
    m_followed = pNum.isEmpty() ? kNoParticipant : pNum;
    if (readBests())
        repaintAll();
}

QString ModelSessionLap::followedParticipant() const
{
    return m_followed;
}

bool ModelSessionLap::readBests()
{
    quint64 session[5];
    quint64 followed[5];
    for (int s = 0; s < 4; ++s) {
        session[s] = m_provider->getSessionBestSectorTime(s + 1);
        followed[s] = m_followed == kNoParticipant ? 0 : m_provider->getBestSectorTimeOrNone(m_followed, s + 1);
    }
    session[4] = m_provider->getSessionBestLapTime();
    followed[4] = m_followed == kNoParticipant ? 0 : m_provider->getBestLapTimeOrNone(m_followed);
    const bool changed = !std::equal(std::begin(session), std::end(session), std::begin(m_sessionBests))
        || !std::equal(std::begin(followed), std::end(followed), std::begin(m_followedBests));
    std::copy(std::begin(session), std::end(session), std::begin(m_sessionBests));
    std::copy(std::begin(followed), std::end(followed), std::begin(m_followedBests));
    return changed;
}

void ModelSessionLap::processAnalysis()
{
    readBests();
    beginResetModel();
    m_copy.take(m_provider->getLapRows(), m_provider->getLapRowPositions());
    takeExtras();
    endResetModel();
}

void ModelSessionLap::processAnalysisLap(int rowPos, bool isNewRow, bool removeRow)
{
    const int count = m_copy.count();
    if (!isNewRow && !removeRow && rowPos >= count)
        return;
    if (rowPos < 0 || (isNewRow && rowPos > count) || (removeRow && rowPos >= count)) {
        // Out of step with the provider: start again from its caches.
        processAnalysis();
        return;
    }
    // A new lap may be a new best: every colour is checked again then.
    const bool repaint = readBests();
    if (removeRow) {
        beginRemoveRows(QModelIndex(), rowPos, rowPos);
        m_copy.take(m_provider->getLapRows(), m_provider->getLapRowPositions());
        endRemoveRows();
    } else if (isNewRow) {
        beginInsertRows(QModelIndex(), rowPos, rowPos);
        m_copy.take(m_provider->getLapRows(), m_provider->getLapRowPositions());
        endInsertRows();
    } else {
        m_copy.take(m_provider->getLapRows(), m_provider->getLapRowPositions());
        emit dataChanged(index(rowPos, 0), index(rowPos, columnCount() - 1));
    }
    if (repaint)
        repaintAll();
}

void ModelSessionLap::processAnalysisLapByRowList(QList<int> list)
{
    if (list.isEmpty())
        return;
    const bool repaint = readBests();
    m_copy.take(m_provider->getLapRows(), m_provider->getLapRowPositions());
    const auto range = std::minmax_element(list.cbegin(), list.cend());
    const int last = qMin(*range.second, m_copy.count() - 1);
    if (repaint)
        repaintAll();
    else if (last >= 0 && *range.first <= last)
        emit dataChanged(index(qMax(0, *range.first), 0), index(last, columnCount() - 1));
}

void ModelSessionLap::processUpdate()
{
    readBests();
    repaintAll();
}

void ModelSessionLap::updateSkin(QString skinType)
{
    m_skin = skinType;
    repaintAll();
}

void ModelSessionLap::repaintSpeeds()
{
    // The provider converted the speeds in place, where the rows are read.
    emit headerDataChanged(Qt::Horizontal, Speed, Speed);
    if (m_copy.count() > 0)
        emit dataChanged(index(0, Speed), index(m_copy.count() - 1, Speed));
}

void ModelSessionLap::repaintAll()
{
    ColumnTable::repaintRows(*this);
}

void ModelSessionLap::cleanAll()
{
    beginResetModel();
    m_copy.clear();
    m_notes.clear();
    endResetModel();
}
