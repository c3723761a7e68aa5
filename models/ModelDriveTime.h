#pragma once

#include "CoalescedTableModel.h"
#include "DriveTimeCalculator.h"
#include "DriveTimeRules.h"

#include <QStringList>
#include <QTimer>

class V2DataProvider;

struct DriveTimeRow {
    QString car;
    DriverDriveTime time;
    qint64 continuousLimitMs = 0;
    qint64 restLimitMs = 0;
    bool firstOfCar = false;

    bool operator==(const DriveTimeRow& other) const
    {
        return car == other.car && time == other.time && continuousLimitMs == other.continuousLimitMs && restLimitMs == other.restLimitMs
            && firstOfCar == other.firstOfCar;
    }
};

// One row per listed driver of each car shown (the followed cars, then the
// one chosen): the driver's totals against the drive-time rules, and per
// car whether every minimum can still be reached. Counts from the stints as
// the stint table and the drive-time alerts read them (StintRows); follows
// the clock once a second. The alerts run without it, in the provider.
class ModelDriveTime final : public RowTableModel<DriveTimeRow>
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelDriveTime)

public:
    enum Column {
        Car,
        Driver,
        Total,
        ToMinimum,
        ToMaximum,
        Stint,
        Rest,
        State,
        ColumnCount,
    };

    struct CarLine {
        QString car;
        DriveFeasibility feasibility;
    };

    ModelDriveTime(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelDriveTime() override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The car chosen besides the followed ones; empty for none.
    void setChosenCar(const QString& car);
    void setSkin(const QString& skin);
    void setRules(const DriveTimeRules& rules);
    const DriveTimeRules& rules() const;
    const QVector<CarLine>& carLines() const;
    // The race time left as the panel counts it: from the session when it
    // ends by time, else from the end the user typed; -1 when unknown.
    qint64 remainingMs() const;

    static QString stateText(const DriverDriveTime& time);

signals:
    void carLinesChanged();

protected:
    void refreshRows() override;
    void heldChanged(bool held) override;

private:
    V2DataProvider* m_provider;
    QString m_skin;
    QString m_chosen;
    DriveTimeRules m_rules;
    QVector<CarLine> m_lines;
    QTimer m_clock;
};
