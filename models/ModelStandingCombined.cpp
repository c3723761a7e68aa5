#include "ModelStandingCombined.h"

#include "ColumnTable.h"
#include "TimingColours.h"
#include "SessionClock.h"
#include "SharedTables.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QColor>

namespace {

using namespace ColumnTable;


struct Header {
    const char* text;
    int width;
    int alignment;
};
const Header kHeaders[ModelStandingCombined::FirstSession] = {
    {QT_TR_NOOP("Pos"), 34, Right},         {QT_TR_NOOP("Nr"), 40, Right},     {QT_TR_NOOP("Status"), 80, Centre},
    {QT_TR_NOOP("Name"), 120, Left},        {QT_TR_NOOP("Class"), 70, Centre}, {QT_TR_NOOP("Time"), 75, Right},
    {QT_TR_NOOP("Gap"), 65, Right},         {QT_TR_NOOP("Interval"), 65, Right}, {QT_TR_NOOP("Fastest Lap"), 80, Right},
    {QT_TR_NOOP("S1"), 60, Right},          {QT_TR_NOOP("S2"), 60, Right},     {QT_TR_NOOP("S3"), 60, Right},
    {QT_TR_NOOP("S4"), 60, Right},
};

// Empty for 0 and for no time.
QString gapText(double milliseconds)
{
    return milliseconds <= 0 ? QString() : QStringLiteral("+") + timeText(static_cast<quint64>(milliseconds));
}

} // namespace

ModelStandingCombined::ModelStandingCombined(V2DataProvider* provider, QObject* parent)
    : QAbstractTableModel(parent)
    , m_provider(provider)
{
    connect(provider, &V2DataProvider::standingsCombinedOverall, this, &ModelStandingCombined::processRefresh);
    connect(provider, &V2DataProvider::standingsCombinedOverallByPosition, this, &ModelStandingCombined::processUpdateByPosition);
    connect(provider, &V2DataProvider::combinedParticipantDetails, this, &ModelStandingCombined::processRefresh);
    connect(provider, &V2DataProvider::combinedParticipantDetailsByPnum, this, &ModelStandingCombined::processParticipant);
    connect(provider, &V2DataProvider::combinedInfo, this, &ModelStandingCombined::processRefresh);
    connect(provider, &V2DataProvider::onCarToFollowChanged, this, &ModelStandingCombined::repaintAll);
    connect(TimingColours::instance(), &TimingColours::changed, this, &ModelStandingCombined::repaintAll);
    connect(provider, &V2DataProvider::cleanAll, this, &ModelStandingCombined::cleanAll);
    processRefresh();
}

ModelStandingCombined::~ModelStandingCombined() = default;

int ModelStandingCombined::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModelStandingCombined::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FirstSession + m_sessions;
}

int ModelStandingCombined::sessionCount() const
{
    return m_sessions;
}

bool ModelStandingCombined::showsSessionTimes() const
{
    return m_sessions > 1 && SharedTables::timeRankingTypes().contains(m_provider->getCombinedType());
}

QVariant ModelStandingCombined::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(QString::number(section + 1)) : QVariant();
    if (section < 0 || section >= columnCount())
        return QVariant();
    if (section >= FirstSession) {
        if (role == DefaultWidthRole)
            return 80;
        const QString name = m_provider->getCombinedSessionName(section - FirstSession + 1);
        return role == Qt::DisplayRole ? QVariant(name.isEmpty() ? tr("Session %1").arg(section - FirstSession + 1) : name) : QVariant();
    }
    if (role == DefaultWidthRole)
        return kHeaders[section].width;
    return role == Qt::DisplayRole ? QVariant(tr(kHeaders[section].text)) : QVariant();
}

QString ModelStandingCombined::text(const Row& row, int rowIndex, int column) const
{
    switch (column) {
    case Position:
        return QString::number(rowIndex + 1);
    case Number:
        return row.pNum;
    case Status:
        return row.status;
    case Name:
        return row.name;
    case Class:
        return row.className;
    case Time:
        return timeText(row.time);
    case GapFirst:
        return gapText(row.gapFirst);
    case GapPrevious:
        return gapText(row.gapPrevious);
    case FastestLap:
        return timeText(row.fastestLap);
    default:
        break;
    }
    if (column >= S1 && column <= S4)
        return timeText(row.sectors[column - S1]);
    const int session = column - FirstSession;
    return session < row.sessionTimes.size() ? timeText(row.sessionTimes.at(session)) : QString();
}

QVariant ModelStandingCombined::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= columnCount())
        return QVariant();
    const Row& row = m_rows.at(index.row());
    const int column = index.column();
    const bool best = (column == FastestLap && row.fastestLap != 0 && row.fastestLap == m_bestLap)
        || (column >= S1 && column <= S4 && row.sectors[column - S1] != 0 && row.sectors[column - S1] == m_bestSectors[column - S1]);
    const QColor highlight = m_provider->getFollowColor(row.pNum);
    switch (role) {
    case Qt::DisplayRole:
        return text(row, index.row(), column);
    case Qt::TextAlignmentRole:
        return column < FirstSession ? kHeaders[column].alignment : Right;
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

ModelStandingCombined::Row ModelStandingCombined::readRow(int position) const
{
    const V2DataProvider& p = *m_provider;
    Row row;
    row.pNum = p.getCombinedParticipantAtPosition(position);
    row.status = p.getCombinedStatus(position);
    row.name = p.getCombinedParticipantName(row.pNum);
    row.className = p.getCombinedParticipantClass(row.pNum);
    row.time = p.getCombinedTime(position);
    row.gapFirst = p.getCombinedGapFirst(position);
    row.gapPrevious = p.getCombinedGapPrevious(position);
    row.fastestLap = p.getCombinedFastestLapTime(row.pNum);
    for (int s = 0; s < 4; ++s)
        row.sectors[s] = p.getCombinedFastestSectorTime(row.pNum, s + 1);
    for (int session = 1; session <= m_sessions; ++session)
        row.sessionTimes.append(p.getCombinedSessionResultTime(row.pNum, quint64(session)));
    return row;
}

bool ModelStandingCombined::readBests()
{
    bool changed = false;
    const quint64 lap = m_provider->getCombinedBestLapTime();
    changed |= lap != m_bestLap;
    m_bestLap = lap;
    for (int s = 0; s < 4; ++s) {
        const quint64 sector = m_provider->getCombinedBestSectorTime(s + 1);
        changed |= sector != m_bestSectors[s];
        m_bestSectors[s] = sector;
    }
    return changed;
}

void ModelStandingCombined::processRefresh()
{
    readBests();
    const int sessions = m_provider->getCombinedSessionsCount();
    const int count = m_provider->getCombinedStandingsCount();
    if (sessions == m_sessions && count == m_rows.size() && count > 0) {
        for (int i = 0; i < count; ++i)
            m_rows[i] = readRow(i + 1);
        repaintAll();
        return;
    }
    beginResetModel();
    m_sessions = sessions;
    m_rows.clear();
    for (int i = 0; i < count; ++i)
        m_rows.append(readRow(i + 1));
    endResetModel();
}

void ModelStandingCombined::processUpdateByPosition(int pos)
{
    const int r = pos - 1;
    if (r < 0 || pos > m_provider->getCombinedStandingsCount())
        return;
    if (r >= m_rows.size()) {
        processRefresh();
        return;
    }
    const bool newBest = readBests();
    m_rows[r] = readRow(pos);
    // A new best takes the colour from the rows that held the old one.
    if (newBest)
        repaintAll();
    else
        emit dataChanged(index(r, 0), index(r, columnCount() - 1));
}

void ModelStandingCombined::processParticipant(QString pNum)
{
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows.at(r).pNum == pNum) {
            processUpdateByPosition(r + 1);
            return;
        }
    }
}

void ModelStandingCombined::updateSkin(QString skin)
{
    m_skin = skin;
    repaintAll();
}

void ModelStandingCombined::repaintAll()
{
    ColumnTable::repaintRows(*this);
}

void ModelStandingCombined::cleanAll()
{
    beginResetModel();
    m_rows.clear();
    m_sessions = 0;
    endResetModel();
}
