#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

class V2DataProvider;

// The standings over several sessions: position, car, status, name (the
// team in endurance championships), class, time and gaps, the fastest lap
// and sectors, then one result time per combined session. Best combined
// lap and sectors in magenta; followed cars in their colour.
class ModelStandingCombined final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelStandingCombined)

public:
    enum Column {
        Position,
        Number,
        Status,
        Name,
        Class,
        Time,
        GapFirst,
        GapPrevious,
        FastestLap,
        S1,
        S2,
        S3,
        S4,
        FirstSession, // one column per combined session from here
    };

    struct Row {
        QString pNum;
        QString status;
        QString name;
        QString className;
        quint64 time = 0;
        double gapFirst = -1.0;
        double gapPrevious = -1.0;
        quint64 fastestLap = 0;
        quint64 sectors[4] = {0, 0, 0, 0};
        QVector<quint64> sessionTimes;
    };

    explicit ModelStandingCombined(V2DataProvider* provider, QObject* parent = nullptr);
    ~ModelStandingCombined() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Whether the session result columns are shown: a time-based ranking over more than one session.
    bool showsSessionTimes() const;
    int sessionCount() const;

public slots:
    void processRefresh();
    void processUpdateByPosition(int pos);
    void processParticipant(QString pNum);
    void updateSkin(QString skin);

private slots:
    void repaintAll();
    void cleanAll();

private:
    Row readRow(int position) const;
    // True when a best changed.
    bool readBests();
    QString text(const Row& row, int rowIndex, int column) const;

    V2DataProvider* m_provider;
    QVector<Row> m_rows;
    int m_sessions = 0;
    quint64 m_bestLap = 0;
    quint64 m_bestSectors[4] = {0, 0, 0, 0};
    QString m_skin = QStringLiteral("Dark");
};
