#pragma once

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

    // Pit stays that do not end a fuel stint.
    enum PitInfo {
        NoPitInfo = 0,
        Penalty = 1,
        SafetyCar = 2,
    };

    struct Row {
        QString participant;
        QString driverName;
        int driver = 0;
        QString type;
        quint64 start = 0;
        quint64 finish = 0; // 0 while the stint runs
        // Where its time stops counting: the finish, else now while the
        // car runs, else the end of its last lap.
        quint64 end = 0;
        quint64 accumulated = 0;
        quint64 accumulatedOnTrack = 0;
        quint64 sessionAccumulated = 0;
        quint64 sessionAccumulatedOnTrack = 0;
        int openLap = 0;
        int closeLap = 0;
        bool isPit = false;
        bool running = false;
        quint64 singleStintTime = 0;
        int pitInfo = NoPitInfo;
    };

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
    // A car's stints as the table shows them, read now (the drive-time
    // panel counts from them too).
    static QVector<Row> readRows(const V2DataProvider& provider, const QString& pNum);

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
