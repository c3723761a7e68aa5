#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

class V2DataProvider;

// The tyres each car of the entry runs on: laps and specification per wheel.
class ModelTyresSessionData final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelTyresSessionData)

public:
    enum Column {
        Number,
        Name,
        FrontLeft,
        FrontRight,
        RearLeft,
        RearRight,
        ColumnCount,
    };

    struct Row {
        QString pNum;
        QString driverName;
        QString tyres[4]; // front left, front right, rear left, rear right
    };

    explicit ModelTyresSessionData(V2DataProvider* provider, QObject* parent = nullptr);
    ~ModelTyresSessionData() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    void processRefresh();

private slots:
    void cleanAll();

private:
    V2DataProvider* m_provider;
    QVector<Row> m_rows;
};
