#pragma once

#include "CoalescedTableModel.h"

#include <QHash>

class V2DataProvider;

struct DriverLapsRow {
    QString pNum;
    QString driver;
    int laps = 0;
    quint64 best = 0; // of the valid laps; 0 for none
    quint64 validSum = 0;
    int validLaps = 0;
};

// Every driver of every car with his laps, his best lap and the average of
// his valid laps; only a car whose laps changed is read again.
class ModelBestLapsByDriver final : public RowTableModel<DriverLapsRow>
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelBestLapsByDriver)

public:
    enum Column { Number, Driver, Laps, Best, Average, ColumnCount };

    explicit ModelBestLapsByDriver(V2DataProvider* provider, QObject* parent = nullptr);

private:
    void refreshRows() override;

    V2DataProvider* m_provider;
    // Each car's rows as last read; a car missing here is read again.
    QHash<QString, QVector<DriverLapsRow>> m_cars;
};
