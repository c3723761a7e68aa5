#include "ModelTeamAlerts.h"

#include "AppSettings.h"
#include "ColumnTable.h"
#include "ProgramResources.h"
#include "SessionClock.h"
#include "TeamAlertEngine.h"
#include "TimeOfDay.h"
#include "V2DataProvider.h"

#include <QBrush>
#include <QDateTime>
#include <QFont>

#include <iterator>

namespace {

using namespace ColumnTable;
using AlertColumn = ColumnSpec<TeamAlert>;

// A rule's key as words: "pitExit" and "pit_exit" read "Pit exit".
QString ruleText(const QString& ruleId)
{
    QString text;
    for (const QChar c : ruleId) {
        if (c == QLatin1Char('_') || c == QLatin1Char('-')) {
            text += QLatin1Char(' ');
            continue;
        }
        if (c.isUpper() && !text.isEmpty() && !text.endsWith(QLatin1Char(' ')))
            text += QLatin1Char(' ');
        text += text.isEmpty() ? c.toUpper() : c.toLower();
    }
    return text;
}

constexpr AlertColumn kColumns[] = {
    // Raised on the track's clock: less the track's offset, it is the moment
    // every other table writes, on the clock the user chose.
    {ModelTeamAlerts::Time, QT_TR_NOOP("Time"), 92, Left,
     [](const TeamAlert& a) { return TimeOfDay::text(a.trackTimeMs - SessionClock::utcOffset(), QStringLiteral("HH:mm:ss")); }},
    {ModelTeamAlerts::Car, QT_TR_NOOP("Car"), 45, Right, [](const TeamAlert& a) { return a.carNumber; }},
    {ModelTeamAlerts::Rule, QT_TR_NOOP("Rule"), 110, Left, [](const TeamAlert& a) { return ruleText(a.ruleId); }},
    {ModelTeamAlerts::Text, QT_TR_NOOP("Alert"), 320, Left, [](const TeamAlert& a) { return a.text; }},
};
static_assert(inIdOrder(kColumns) && std::size(kColumns) == ModelTeamAlerts::ColumnCount, "columns in id order");


// Tints of alerts not yet acknowledged, by severity, on the dark and the light skin.
const QColor kDarkTints[] = {{31, 58, 86}, {90, 71, 18}, {110, 30, 36}};
const QColor kLightTints[] = {{219, 233, 247}, {251, 233, 181}, {248, 204, 204}};

int severityIndex(AlertSeverity severity)
{
    return qBound(0, static_cast<int>(severity), 2);
}

} // namespace

ModelTeamAlerts::ModelTeamAlerts(V2DataProvider* provider, const QString& skin, QObject* parent)
    : CoalescedTableModel(parent)
    , m_engine(provider->teamAlerts())
    , m_skin(skin)
{
    ProgramResources::init();
    m_icons[0] = QIcon(QStringLiteral(":/icons/alertInfo"));
    m_icons[1] = QIcon(QStringLiteral(":/icons/alertWarning"));
    m_icons[2] = QIcon(QStringLiteral(":/icons/alertCritical"));
    connect(m_engine, &TeamAlertEngine::alertRaised, this, &ModelTeamAlerts::appendAlert);
    connect(m_engine, &TeamAlertEngine::acknowledgedChanged, this, &ModelTeamAlerts::readAcknowledged);
    connect(m_engine, &TeamAlertEngine::cleared, this, &ModelTeamAlerts::processRefresh);
    processRefresh();
}

ModelTeamAlerts::~ModelTeamAlerts() = default;

int ModelTeamAlerts::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_alerts.size();
}

int ModelTeamAlerts::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ModelTeamAlerts::headerData(int section, Qt::Orientation orientation, int role) const
{
    return ColumnTable::headerData(kColumns, staticMetaObject.className(), section, orientation, role);
}

int ModelTeamAlerts::entry(int row) const
{
    return m_alerts.size() - 1 - row;
}

const TeamAlert& ModelTeamAlerts::alertAt(int row) const
{
    return m_alerts.at(entry(row));
}

QString ModelTeamAlerts::severityText(AlertSeverity severity)
{
    switch (severity) {
    case AlertSeverity::Warning:
        return tr("Warning");
    case AlertSeverity::Critical:
        return tr("Critical");
    case AlertSeverity::Info:
        break;
    }
    return tr("Info");
}

QVariant ModelTeamAlerts::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_alerts.size() || index.column() >= ColumnCount)
        return QVariant();
    const TeamAlert& alert = alertAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return kColumns[index.column()].text(alert);
    case Qt::TextAlignmentRole:
        return kColumns[index.column()].alignment;
    case Qt::DecorationRole:
        // The severity by shape as well as by colour: circle, triangle, octagon.
        return index.column() == Time ? QVariant(m_icons[severityIndex(alert.severity)]) : QVariant();
    case Qt::ToolTipRole:
        // The cells' tooltips cover the table's own, so they carry its hint.
        return alert.acknowledged ? tr("%1 (acknowledged)").arg(severityText(alert.severity))
                                  : tr("%1: double-click to acknowledge").arg(severityText(alert.severity));
    case Qt::BackgroundRole:
        return background(alert);
    case Qt::ForegroundRole:
        return foreground(alert);
    case Qt::FontRole: {
        QFont font;
        font.setBold(!alert.acknowledged);
        return font;
    }
    default:
        return QVariant();
    }
}

QVariant ModelTeamAlerts::background(const TeamAlert& alert) const
{
    if (alert.acknowledged)
        return QVariant();
    const QColor* tints = AppSettings::isDarkSkin(m_skin) ? kDarkTints : kLightTints;
    return QBrush(tints[severityIndex(alert.severity)]);
}

QVariant ModelTeamAlerts::foreground(const TeamAlert& alert) const
{
    const bool dark = AppSettings::isDarkSkin(m_skin);
    if (alert.acknowledged)
        return QBrush(dark ? QColor(130, 136, 145) : QColor(128, 128, 128));
    return QBrush(dark ? QColor(235, 235, 235) : QColor(22, 22, 22));
}

void ModelTeamAlerts::acknowledge(int row)
{
    if (row >= 0 && row < m_alerts.size())
        m_engine->acknowledge(entry(row));
}

void ModelTeamAlerts::acknowledgeAll()
{
    m_engine->acknowledgeAll();
}

void ModelTeamAlerts::updateSkin(QString skin)
{
    m_skin = skin;
    ColumnTable::repaintRows(*this);
}

void ModelTeamAlerts::refreshRows()
{
    replaceRows(m_alerts, m_engine->alerts());
}

void ModelTeamAlerts::appendAlert(int index)
{
    // The engine only appends; anything else means this copy is behind.
    if (index != m_alerts.size()) {
        processRefresh();
        return;
    }
    beginInsertRows(QModelIndex(), 0, 0);
    m_alerts.append(m_engine->alerts().at(index));
    endInsertRows();
}

void ModelTeamAlerts::readAcknowledged()
{
    const QVector<TeamAlert>& current = m_engine->alerts();
    if (current.size() != m_alerts.size()) {
        processRefresh();
        return;
    }
    // Rows run newest first; a range is a run of changed rows.
    int first = -1;
    for (int row = 0; row <= m_alerts.size(); ++row) {
        bool changed = false;
        if (row < m_alerts.size()) {
            const int i = entry(row);
            changed = m_alerts.at(i).acknowledged != current.at(i).acknowledged;
            if (changed)
                m_alerts[i].acknowledged = current.at(i).acknowledged;
        }
        if (changed && first < 0)
            first = row;
        if (!changed && first >= 0) {
            emit dataChanged(index(first, 0), index(row - 1, ColumnCount - 1));
            first = -1;
        }
    }
}
