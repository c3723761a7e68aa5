#pragma once

#include "CoalescedTableModel.h"

#include <QHash>
#include <QPair>
#include <QString>
#include <QVector>

class V2DataProvider;

// One of the session's additional classifications: by fastest lap, by the
// best time in one sector, or by top speed. Refreshed a moment after the
// standings or the cars' details change (one refresh for a burst), in place
// while the number of rows stays the same.
class ModelAdditionalStanding final : public CoalescedTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelAdditionalStanding)

public:
    enum Kind {
        FastestLap,
        SectorBest,
        TopSpeed,
    };
    // Fastest lap: every column; sector and top speed: Position, Number, Name, Value, Gap.
    enum Column {
        Position,
        Number,
        Name,
        Class,
        Value,
        Lap,
        Gap,
        ColumnCount,
    };

    struct Row
    {
        QString pNum;
        QString name;
        QString className;
        quint64 time = 0;
        double speed = 0.0;
        int lap = -1;
        double gap = -1.0;

        bool operator==(const Row& other) const
        {
            return pNum == other.pNum && name == other.name && className == other.className && time == other.time && speed == other.speed
                && lap == other.lap && gap == other.gap;
        }
    };

    // sector: 1 to 4 for SectorBest.
    ModelAdditionalStanding(V2DataProvider* provider, Kind kind, int sector = 0, QObject* parent = nullptr);
    ~ModelAdditionalStanding() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    Kind kind() const;
    // Whether a column belongs to this kind of classification.
    bool hasColumn(int column) const;

public slots:
    void updateSkin(QString skin);
    void setUsaUnits(bool on);

private slots:
    void repaintAll();
    void cleanAll();

private:
    void refreshRows() override;
    Row readRow(int position) const;
    QString driverOf(const Row& row) const;

    V2DataProvider* m_provider;
    Kind m_kind;
    int m_sector;
    QVector<Row> m_rows;
    QString m_skin = QStringLiteral("Dark");
    bool m_usaUnits = false;
    // Per car, the value last looked up (the fastest lap's number, the best
    // sector time or the top speed), the car's lap count then and the driver
    // of the lap that set it, empty when none did: finding that lap reads the
    // car's laps, so it is looked for again only when the value or the laps
    // change.
    struct DriverLookup {
        double value;
        int laps;
        QString name;
    };
    mutable QHash<QString, DriverLookup> m_drivers;
};
