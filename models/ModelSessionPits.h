#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVector>

class V2DataProvider;

// The pit entries or the pit exits of every car, in time order: what the
// pit-in and pit-out models share. Followed cars are painted in their colour.
class ModelSessionPits : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionPits)

public:
    struct Row {
        QString pNum;
        QString driverName;
        quint64 time = 0;
        quint64 duration = 0;
    };

    ~ModelSessionPits() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    void processRefresh();
    void updateSkin(QString skin);

protected:
    // pitOut: the exits (with the stop's length) instead of the entries.
    ModelSessionPits(V2DataProvider* provider, const QString& skin, bool pitOut, QObject* parent);

private slots:
    void repaintAll();
    void cleanAll();

private:
    V2DataProvider* m_provider;
    QVector<Row> m_rows;
    QString m_skin;
    bool m_pitOut;
};
