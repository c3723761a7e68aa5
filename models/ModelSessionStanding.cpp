#include "ModelSessionStanding.h"

#include "CarFlash.h"
#include "ColumnTable.h"
#include "ModelSessionStandingBySector.h"
#include "ModelSessionStandingPractice.h"
#include "ProgramResources.h"
#include "SessionClock.h"
#include "TimingColours.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QTime>

#include <iterator>

namespace {

// A car in the pit lane shows its best sectors this long after entering.
constexpr qint64 kShowBestAfterMs = 15000;

const QColor kDarkText(22, 22, 22);

QString clockText(quint64 dayTime)
{
    return TimeOfDay::text(static_cast<qint64>(dayTime), QStringLiteral("HH:mm:ss"));
}

// The pit-out time counts only when it is later than the pit-in time.
quint64 countedPitOut(const StandingRow& row)
{
    return row.pitOutTime > row.pitInTime ? row.pitOutTime : 0;
}

bool inPitLane(const StandingRow& row)
{
    return row.pitInTime != 0 && countedPitOut(row) == 0;
}

// One cell being made: the model, the row's record and its index.
struct StandingCell {
    const ModelSessionStanding& model;
    const StandingRow& row;
    int rowIndex;
};
using StandingColumn = ColumnSpec<StandingCell>;

QString gapText(int position, int laps, double time)
{
    if (position == 1)
        return QString();
    if (laps != 0)
        return QString::number(laps) + (laps == 1 ? QStringLiteral(" Lap") : QStringLiteral(" Laps"));
    if (time >= 0)
        return ColumnTable::timeText(static_cast<quint64>(time));
    return QString();
}

QString lapsText(const StandingCell& c)
{
    return c.row.laps >= 1 ? QString::number(c.row.laps) : QString();
}

QString gapFirstText(const StandingCell& c)
{
    return c.row.standingStatus == QLatin1String("RETIRED") ? QStringLiteral("RETIRED") : gapText(c.rowIndex + 1, c.row.gapFirstLaps, c.row.gapFirstTime);
}

QString intervalText(const StandingCell& c)
{
    const bool classified = c.row.standingStatus.isEmpty() || c.row.standingStatus == QLatin1String("CLASSIFIED");
    return classified ? gapText(c.rowIndex + 1, c.row.gapPreviousLaps, c.row.gapPreviousTime) : QString();
}

QString fastestText(const StandingCell& c)
{
    return c.row.laps > 0 && c.row.bestLapTime != 0 ? ColumnTable::timeText(c.row.bestLapTime) : QString();
}

template <int Sector>
QString sectorText(const StandingCell& c)
{
    return ColumnTable::timeText(c.model.showsBestSectors(c.rowIndex) ? c.row.bestSector[Sector] : c.row.lastSector[Sector]);
}

using namespace ColumnTable;
using Shared = ModelSessionStanding;
using Race = ModelSessionStandingBySector;
using Practice = ModelSessionStandingPractice;

// The columns both models share.
constexpr StandingColumn kPos{Shared::PositionColumn, QT_TR_NOOP("Pos"), 34, Right, [](const StandingCell& c) { return QString::number(c.rowIndex + 1); }};
constexpr StandingColumn kNr{Shared::NumberColumn, QT_TR_NOOP("Nr"), 62, Right, [](const StandingCell& c) { return c.row.participant; }};
constexpr StandingColumn kName{Shared::NameColumn, QT_TR_NOOP("Name"), 110, Left, [](const StandingCell& c) { return c.row.driverName; }};
constexpr StandingColumn kClass{Shared::ClassColumn, QT_TR_NOOP("Class"), 76, Centre, [](const StandingCell& c) { return c.row.className; }};
constexpr StandingColumn kTeam{Shared::TeamColumn, QT_TR_NOOP("Team"), 130, Left, [](const StandingCell& c) { return c.row.team; }};
constexpr StandingColumn kS1{Shared::S1Column, QT_TR_NOOP("S1"), 58, Right, &sectorText<0>};
constexpr StandingColumn kS2{Shared::S1Column + 1, QT_TR_NOOP("S2"), 58, Right, &sectorText<1>};
constexpr StandingColumn kS3{Shared::S1Column + 2, QT_TR_NOOP("S3"), 58, Right, &sectorText<2>};
constexpr StandingColumn kS4{Shared::S4Column, QT_TR_NOOP("S4"), 58, Right, &sectorText<3>};
constexpr StandingColumn kLastLap{Shared::LastLapColumn, QT_TR_NOOP("Last Lap"), 70, Right,
                                  [](const StandingCell& c) { return c.row.laps >= 1 ? ColumnTable::timeText(c.row.lastLapTime) : QString(); }};
constexpr StandingColumn kPitIn{Shared::PitInTimeColumn, QT_TR_NOOP("Pit In Time"), 80, Right, [](const StandingCell& c) { return clockText(c.row.pitInTime); }};
constexpr StandingColumn kPitOut{Shared::PitOutTimeColumn, QT_TR_NOOP("Pit Out Time"), 88, Right,
                                 [](const StandingCell& c) { return clockText(countedPitOut(c.row)); }};
constexpr StandingColumn kLastPitInLap{Shared::LastPitInLapColumn, QT_TR_NOOP("Last Pit In Lap"), 96, Right, [](const StandingCell& c) {
                                           const StandingRow& r = c.row;
                                           return r.lastPitInLap >= 1 && r.pitInTime != 0 && countedPitOut(r) != 0 ? QString::number(r.lastPitInLap) : QString();
                                       }};
constexpr StandingColumn kPitTime{Shared::PitTimeColumn, QT_TR_NOOP("Pit Time"), 70, Right, [](const StandingCell& c) { return c.model.pitTimeText(c.row); }};
constexpr StandingColumn kFastest{Shared::FastestLapColumn, QT_TR_NOOP("Fastest Lap"), 78, Right, &fastestText};
constexpr StandingColumn kTrackLimits{Shared::TrackLimitsColumn, QT_TR_NOOP("Track Limits"), 84, Right, [](const StandingCell& c) {
                                          return c.row.trackLimitsInfractions != 0 ? QString::number(c.row.trackLimitsInfractions) : QString();
                                      }};

constexpr StandingColumn kRaceColumns[] = {
    kPos,
    kNr,
    kName,
    kClass,
    kTeam,
    {Race::Laps, QT_TR_NOOP("Laps"), 40, Right, &lapsText},
    {Race::S, QT_TR_NOOP("S"), 26, Centre, [](const StandingCell& c) { return c.row.currentSector >= 1 ? QString::number(c.row.currentSector) : QString(); }},
    {Race::Gap, QT_TR_NOOP("Gap"), 64, Right, &gapFirstText},
    {Race::Interval, QT_TR_NOOP("Interval"), 64, Right, &intervalText},
    {Race::Pit, QT_TR_NOOP("Pit"), 32, Centre, [](const StandingCell& c) { return c.row.pitStops >= 1 ? QString::number(c.row.pitStops) : QString(); }},
    kS1,
    kS2,
    kS3,
    kS4,
    kLastLap,
    kPitIn,
    kPitOut,
    kLastPitInLap,
    kPitTime,
    kFastest,
    kTrackLimits,
};

constexpr StandingColumn kPracticeColumns[] = {
    kPos,
    kNr,
    kName,
    kClass,
    kTeam,
    {Practice::Lap, QT_TR_NOOP("Lap"), 36, Right, [](const StandingCell& c) {
         return c.row.laps >= 1 && c.row.bestLapTime != 0 ? QString::number(c.row.bestLapNumber) : QString();
     }},
    {Practice::Time, QT_TR_NOOP("Time"), 70, Right, &fastestText},
    {Practice::Laps, QT_TR_NOOP("Laps"), 40, Right, &lapsText},
    {Practice::Gap, QT_TR_NOOP("Gap"), 64, Right, &gapFirstText},
    {Practice::Interval, QT_TR_NOOP("Interval"), 64, Right, &intervalText},
    kS1,
    kS2,
    kS3,
    kS4,
    kLastLap,
    kPitIn,
    kPitOut,
    kLastPitInLap,
    kPitTime,
    kFastest,
    kTrackLimits,
};

static_assert(inIdOrder(kRaceColumns) && std::size(kRaceColumns) == Shared::SharedColumnCount, "race columns in id order");
static_assert(inIdOrder(kPracticeColumns) && std::size(kPracticeColumns) == Shared::SharedColumnCount, "practice columns in id order");

} // namespace

ModelSessionStanding::ModelSessionStanding(V2DataProvider* provider, const QString& skin, bool practice, QObject* parent)
    : CoalescedTableModel(parent)
    , m_provider(provider)
    , m_skin(skin)
    , m_practice(practice)
{
    ProgramResources::init();
    m_pitIcon = QIcon(QStringLiteral(":/icons/statusPit"));
    m_outIcon = QIcon(QStringLiteral(":/icons/statusOut"));
    m_stopIcon = QIcon(QStringLiteral(":/icons/statusStop"));
    m_checkeredIcon = QIcon(QStringLiteral(":/icons/Resources/bullet_square_checkered.png"));
    m_trackLimitsIcon = QIcon(QStringLiteral(":/icons/trackLimits")).pixmap(14, 14);
    connect(provider, &V2DataProvider::standingsOverall, this, &ModelSessionStanding::processRefresh);
    connect(provider, &V2DataProvider::standingsByClass, this, &ModelSessionStanding::processRefresh);
    connect(provider, &V2DataProvider::standingsOverallByPosition, this, &ModelSessionStanding::processUpdateOverall);
    connect(provider, &V2DataProvider::standingsByClassByPosition, this, &ModelSessionStanding::processUpdateByClass);
    connect(provider, &V2DataProvider::participantDetails, this, &ModelSessionStanding::scheduleRefresh);
    connect(provider, &V2DataProvider::participantDetailsByPnum, this, &ModelSessionStanding::processParticipantDetailsUpdate);
    // Pit records arrive on their own channel, often while a car's details
    // stand still in the pit lane; without these the pit columns would wait.
    connect(provider, &V2DataProvider::analysisPitIn, this, &ModelSessionStanding::scheduleRefresh);
    connect(provider, &V2DataProvider::analysisPitOut, this, &ModelSessionStanding::scheduleRefresh);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelSessionStanding::refreshAll);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelSessionStanding::cleanAll);
    connect(provider->carFlash(), &CarFlash::changed, this, &ModelSessionStanding::repaintCar);
    connect(TimingColours::instance(), &TimingColours::changed, this, &ModelSessionStanding::refreshAll);
    connect(&m_timer, &QTimer::timeout, this, &ModelSessionStanding::refreshPitTimeColumn);
    m_timer.start(practice ? 1000 : 300);
}

ModelSessionStanding::~ModelSessionStanding() = default;

int ModelSessionStanding::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelSessionStanding::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : SharedColumnCount;
}

static const StandingColumn& columnSpec(bool practice, int column)
{
    return practice ? kPracticeColumns[column] : kRaceColumns[column];
}

QVariant ModelSessionStanding::headerData(int section, Qt::Orientation orientation, int role) const
{
    const char* context = staticMetaObject.className();
    return m_practice ? ColumnTable::headerData(kPracticeColumns, context, section, orientation, role)
                      : ColumnTable::headerData(kRaceColumns, context, section, orientation, role);
}

void ModelSessionStanding::setClassType(const QString& classType)
{
    m_classType = classType;
    processRefresh();
}

int ModelSessionStanding::rowOfCar(const QString& pNum) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).participant == pNum)
            return row;
    }
    return -1;
}

QString ModelSessionStanding::classType() const
{
    return m_classType;
}

bool ModelSessionStanding::isOverall() const
{
    return m_classType.isEmpty() || m_classType.compare(QLatin1String("Overall"), Qt::CaseInsensitive) == 0;
}

QString ModelSessionStanding::standingsClass() const
{
    return isOverall() ? QString() : m_classType;
}

// ---------------------------------------------------------------------------
// Filling the rows

bool ModelSessionStanding::readBests()
{
    bool changed = false;
    for (int s = 0; s < 4; ++s) {
        const quint64 best = m_provider->getSessionBestSectorTime(s + 1);
        changed = changed || best != m_sessionBestSector[s];
        m_sessionBestSector[s] = best;
    }
    const quint64 bestLap = m_provider->getSessionBestLapTime();
    const bool closed = m_provider->isSessionClosed();
    changed = changed || bestLap != m_sessionBestLap || closed != m_sessionClosed;
    m_sessionBestLap = bestLap;
    m_sessionClosed = closed;
    return changed;
}

StandingRow ModelSessionStanding::buildRow(int position) const
{
    const V2DataProvider& p = *m_provider;
    StandingRow row;
    row.participant = p.getParticipantAtPosition(position, standingsClass());
    const QString& pNum = row.participant;
    row.driverName = p.getCurrentDriverName(pNum);
    row.className = p.getParticipantClass(pNum);
    row.team = p.getParticipantTeam(pNum);
    row.laps = p.getElapsedLaps(pNum);
    row.gapFirstTime = p.getGapFirstTime(position, standingsClass());
    row.gapFirstLaps = p.getGapFirstLaps(position, standingsClass());
    row.gapPreviousTime = p.getGapPreviousTime(position, standingsClass());
    row.gapPreviousLaps = p.getGapPreviousLaps(position, standingsClass());
    if (!m_practice)
        row.currentSector = p.getCurrentSector(pNum);
    row.pitStops = p.getPitStops(pNum);
    row.lastPitInLap = p.getLastPitInLap(pNum);
    row.pitInTime = p.getLastPitInKey(pNum);
    row.pitOutTime = p.getLastPitOutKey(pNum);
    for (int s = 0; s < 4; ++s) {
        row.lastSector[s] = p.getLastSectorTime(pNum, s + 1);
        row.bestSector[s] = p.getBestSectorTime(pNum, s + 1);
        row.sectorTrackLimits[s] = p.hasLapSectorTrackLimits(pNum, s + 1);
    }
    row.standingStatus = p.getStandingStatus(position, standingsClass());
    row.participantStatus = p.getParticipantStatus(pNum);
    row.lastLapTime = p.getLastLapTime(pNum);
    row.bestLapTime = p.getBestLapTime(pNum);
    if (m_practice)
        row.bestLapNumber = p.getBestLapNumber(pNum);
    row.lastLapValid = p.isLastLapValid(pNum);
    for (int s = 0; s < 4; ++s)
        row.lastSectorValid[s] = p.isLastSectorValid(pNum, s + 1);
    row.trackLimitsInfractions = p.getTrackLimitsInfractions(pNum);
    return row;
}

void ModelSessionStanding::refreshRows()
{
    // New session bests recolour every row; else only changed rows repaint.
    const bool bestsChanged = readBests();
    const int count = m_provider->getStandingsCount(standingsClass());
    QVector<StandingRow> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.append(buildRow(i + 1));
    replaceRows(m_rows, std::move(rows), bestsChanged || m_repaintAll);
    m_repaintAll = false;
}

void ModelSessionStanding::processUpdateOverall(int pos)
{
    if (isOverall())
        updatePosition(pos);
}

void ModelSessionStanding::processUpdateByClass(int pos)
{
    if (!isOverall())
        updatePosition(pos);
}

void ModelSessionStanding::updatePosition(int pos)
{
    if (deferWhileHeld())
        return;
    const int r = pos - 1;
    // The by-class signal does not name the class: a position this model's
    // own standings do not hold belongs to another class.
    if (r < 0 || m_provider->getParticipantAtPosition(pos, standingsClass()).isEmpty())
        return;
    if (r > m_rows.size()) {
        // Rows missing before it: rebuilding keeps the views' row count right.
        processRefresh();
        return;
    }
    const bool repaintAll = readBests();
    if (r == m_rows.size()) {
        beginInsertRows(QModelIndex(), r, r);
        m_rows.append(buildRow(pos));
        endInsertRows();
    } else {
        StandingRow fresh = buildRow(pos);
        // A position announced with nothing of its row changed repaints nothing.
        if (!repaintAll && fresh == m_rows.at(r))
            return;
        // Another car in the row: every cell takes that car's follow colour
        // and flash, so the whole row is painted again.
        if (!repaintAll && fresh.participant == m_rows.at(r).participant) {
            // Only the cells that look different are laid out and painted again
            // (most updates move the gaps alone).
            const QVector<CellLook> before = looks(r);
            m_rows[r] = std::move(fresh);
            const QVector<CellLook> after = looks(r);
            int first = -1;
            int last = -1;
            for (int column = 0; column < SharedColumnCount; ++column) {
                if (before.at(column) == after.at(column))
                    continue;
                first = first < 0 ? column : first;
                last = column;
            }
            if (first >= 0)
                emit dataChanged(index(r, first), index(r, last));
            return;
        }
        m_rows[r] = std::move(fresh);
    }
    if (repaintAll)
        refreshAll();
    else
        emit dataChanged(index(r, 0), index(r, SharedColumnCount - 1));
}

void ModelSessionStanding::processParticipantDetailsUpdate(QString pNum)
{
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows.at(r).participant == pNum) {
            updatePosition(r + 1);
            return;
        }
    }
}

void ModelSessionStanding::updateSkin(QString skin)
{
    m_skin = skin;
    // The colours change with the skin: every row repaints.
    m_repaintAll = true;
    processRefresh();
}

void ModelSessionStanding::heldChanged(bool held)
{
    if (held)
        m_timer.stop();
    else
        m_timer.start();
}

void ModelSessionStanding::refreshPitTimeColumn()
{
    // Only cars in the pit lane have cells that follow the clock: the pit
    // time counting up and the switch to best sectors.
    for (int r = 0; r < m_rows.size(); ++r) {
        if (inPitLane(m_rows.at(r)))
            emit dataChanged(index(r, S1Column), index(r, PitTimeColumn));
    }
}

void ModelSessionStanding::refreshAll()
{
    if (deferWhileHeld())
        return;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, SharedColumnCount - 1));
}

void ModelSessionStanding::repaintCar(const QString& pNum)
{
    if (isHeld())
        return;
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows.at(r).participant == pNum) {
            emit dataChanged(index(r, 0), index(r, SharedColumnCount - 1), {Qt::BackgroundRole, Qt::ForegroundRole, ColumnTable::FlashRole});
            return;
        }
    }
}

void ModelSessionStanding::cleanAll()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

// ---------------------------------------------------------------------------
// What a cell shows

bool ModelSessionStanding::showsBestSectors(int row) const
{
    const StandingRow& r = m_rows.at(row);
    if (!inPitLane(r))
        return false;
    return m_sessionClosed || SessionClock::serverNowMs() - static_cast<qint64>(r.pitInTime) > kShowBestAfterMs;
}

QVariant ModelSessionStanding::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= SharedColumnCount)
        return QVariant();
    const StandingRow& row = m_rows.at(index.row());
    // A car an alert names flashes over every other colour of its row.
    if ((role == Qt::BackgroundRole || role == Qt::ForegroundRole) && m_provider->carFlash()->isLit(row.participant))
        return QBrush(role == Qt::BackgroundRole ? ColumnTable::flashColour() : kDarkText);
    switch (role) {
    case ColumnTable::FlashRole:
        return m_provider->carFlash()->isFlashing(row.participant);
    case Qt::DisplayRole:
        // Painting asks for every cell: each text is made only for its own column.
        return columnSpec(m_practice, index.column()).text({*this, row, index.row()});
    case Qt::TextAlignmentRole:
        return columnSpec(m_practice, index.column()).alignment;
    case Qt::DecorationRole:
        return decoration(row, index.column());
    case Qt::BackgroundRole: {
        const TimingColours::Mark cellMark = mark(row, index.row(), index.column());
        // Best sectors shown in the pit lane stand on no ground at all.
        if (cellMark == TimingColours::BestInPit)
            return QVariant();
        return TimingColours::background(cellMark, m_provider->getFollowColor(row.participant));
    }
    case Qt::ForegroundRole:
        return TimingColours::foreground(mark(row, index.row(), index.column()), m_provider->getFollowColor(row.participant), m_skin);
    case Qt::FontRole:
        return TimingColours::font(mark(row, index.row(), index.column()), m_provider->getFollowColor(row.participant).isValid());
    default:
        return QVariant();
    }
}

QString ModelSessionStanding::pitTimeText(const StandingRow& row) const
{
    if (m_sessionClosed || row.pitInTime == 0)
        return QString();
    const quint64 out = countedPitOut(row);
    // Day times count from the epoch on the server's clock; the track's utc
    // offset would add hours to a running stop.
    const qint64 end = out != 0 ? static_cast<qint64>(out) : SessionClock::serverNowMs();
    const qint64 duration = qMax<qint64>(0, end - static_cast<qint64>(row.pitInTime));
    const QTime clock = QTime(0, 0).addMSecs(static_cast<int>(qMin<qint64>(duration, 86399999)));
    return clock.toString(duration >= 3600000 ? QStringLiteral("hh:mm:ss") : QStringLiteral("mm:ss.zzz"));
}

QVector<ModelSessionStanding::CellLook> ModelSessionStanding::looks(int rowIndex) const
{
    const StandingRow& row = m_rows.at(rowIndex);
    QVector<CellLook> cells(SharedColumnCount);
    for (int column = 0; column < SharedColumnCount; ++column) {
        CellLook& cell = cells[column];
        cell.text = columnSpec(m_practice, column).text({*this, row, rowIndex});
        cell.mark = int(mark(row, rowIndex, column));
        // The icons follow the status and a sector's track limits.
        if (column == NumberColumn)
            cell.decoration = row.participantStatus;
        else if (column >= S1Column && column <= S4Column && row.sectorTrackLimits[column - S1Column])
            cell.decoration = QStringLiteral("trackLimits");
    }
    return cells;
}

QVariant ModelSessionStanding::decoration(const StandingRow& row, int column) const
{
    if (column == NumberColumn) {
        const QString& status = row.participantStatus;
        if (status == QLatin1String("BOX"))
            return m_pitIcon;
        if (status == QLatin1String("OUT_LAP"))
            return m_outIcon;
        if (status == QLatin1String("STOPPED"))
            return m_stopIcon;
        if (status == QLatin1String("CHECKERED"))
            return m_checkeredIcon;
        return QVariant();
    }
    if (column >= S1Column && column <= S4Column && row.sectorTrackLimits[column - S1Column])
        return m_trackLimitsIcon;
    return QVariant();
}

TimingColours::Mark ModelSessionStanding::mark(const StandingRow& row, int rowIndex, int column) const
{
    if (column >= S1Column && column <= S4Column) {
        const int s = column - S1Column;
        if (showsBestSectors(rowIndex))
            return row.bestSector[s] != 0 ? TimingColours::BestInPit : TimingColours::NoMark;
        const quint64 last = row.lastSector[s];
        if (!row.lastSectorValid[s])
            return TimingColours::Invalid;
        // In practice a sector over the track limits is no best, whatever its time.
        if (last == 0 || (m_practice && row.sectorTrackLimits[s]))
            return TimingColours::NoMark;
        if (last == m_sessionBestSector[s])
            return TimingColours::SessionBest;
        return last == row.bestSector[s] ? TimingColours::PersonalBest : TimingColours::NoMark;
    }
    if (column == LastLapColumn && row.laps > 0) {
        if (!row.lastLapValid)
            return TimingColours::Invalid;
        if (row.lastLapTime == m_sessionBestLap)
            return TimingColours::SessionBest;
        return row.lastLapTime == row.bestLapTime ? TimingColours::PersonalBest : TimingColours::NoMark;
    }
    return TimingColours::NoMark;
}
