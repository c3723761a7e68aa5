#pragma once

#include "CoalescedTableModel.h"
#include "TeamAlert.h"

#include <QIcon>
#include <QString>
#include <QVector>

class TeamAlertEngine;
class V2DataProvider;

// The session's team alerts, newest first: track time, car, rule and text.
// Each row shows its severity by an icon of its own shape and a tint of the
// skin; a row not yet acknowledged is bold, an acknowledged one plain and
// dimmed. A new alert is one row inserted at the top; an acknowledgement
// repaints the rows it changed.
class ModelTeamAlerts final : public CoalescedTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelTeamAlerts)

public:
    enum Column {
        Time,
        Car,
        Rule,
        Text,
        ColumnCount,
    };

    ModelTeamAlerts(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelTeamAlerts() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The alert a row shows, as the model last announced it.
    const TeamAlert& alertAt(int row) const;
    void acknowledge(int row);
    void acknowledgeAll();

    static QString severityText(AlertSeverity severity);

public slots:
    void updateSkin(QString skin);

private:
    void refreshRows() override;
    void appendAlert(int index);
    // Repaints the rows whose acknowledgement changed, a range at a time.
    void readAcknowledged();
    // A row's place in m_alerts (oldest first).
    int entry(int row) const;
    QVariant background(const TeamAlert& alert) const;
    QVariant foreground(const TeamAlert& alert) const;

    TeamAlertEngine* m_engine;
    QVector<TeamAlert> m_alerts;
    QString m_skin;
    QIcon m_icons[3];
};
