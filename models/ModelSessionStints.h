#pragma once

#include "StintRows.h"

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <QVector>

class V2DataProvider;

// Every stint of one car: who drove, on track or in the pit, when, and the
// running totals a team watches for driving-time rules and fuel planning.
class ModelSessionStints final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionStints)

public:
    enum GroupStintsColumnType {
        Participant,
        Driver,
        PitType,
        Type,
        StartTime,
        LapStart,
        FinishTime,
        LapFinish,
        Time,
        AccumTime,
        TrackAccumTime,
        SessionAccumTime,
        TrackSessionAccumTime,
        SingleStintTime,
        ColumnCount,
    };

    // Read by StintRows, which the drive-time panel and alerts share.
    using Row = StintRow;

    ModelSessionStints(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSessionStints() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setParticipant(const QString& pNum);
    QString participant() const;
    void setSkin(const QString& skin);
    void setBikeLayout(bool bikes);
    const Row& row(int index) const;

public slots:
    void processRefresh();

private slots:
    void repaintAll();
    void cleanAll();

private:
    V2DataProvider* m_provider;
    QVector<Row> m_rows;
    QString m_participant;
    QString m_skin;
    bool m_bikes = false;
    // A running stint's totals follow the clock.
    QTimer m_clock;
};
