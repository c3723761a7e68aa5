#pragma once

#include <QAbstractTableModel>
#include <QString>

class V2DataProvider;

// What the three-column lap analysis tables share (sector, speed, named
// section, accumulated sections): day time, number and one value per row,
// a full load on the provider's analysisProcessed, one row announced for a
// single-row signal, one range for a batch-end list, and the followed cars'
// colours.
class ModelAnalysisTable : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelAnalysisTable)

public:
    enum Column {
        DayTime,
        Number,
        Value,
        ColumnCount,
    };

    ~ModelAnalysisTable() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    void processAnalysis();
    void refreshAll();
    void cleanAll();
    void updateSkin(QString skinType);

protected:
    // What one row shows.
    struct Cell {
        quint64 dayTime = 0;
        QString pNum;
        QString value;
        bool valid = true;
    };

    ModelAnalysisTable(V2DataProvider* provider, const QString& skin, QObject* parent);

    // Takes fresh copies of the provider's cache (or empties them).
    virtual void takeCopies() = 0;
    virtual void clearCopies() = 0;
    virtual int recordCount() const = 0;
    virtual Cell cellAt(int row) const = 0;
    // "Time", or "Speed" for the speed table.
    virtual QString valueHeader() const;

    // One row of the provider's cache was filed, changed or removed.
    void applyRow(int rowPos, bool isNewRow, bool removeRow);
    // Rows changed in place during a batch: the range they span is repainted.
    void applyRowList(const QList<int>& rows);

    V2DataProvider* provider() const;

private:
    V2DataProvider* m_provider;
    QString m_skin;
};
