#pragma once

#include "ModelSessionPits.h"

// Every pit exit of the session: number, driver, time of day and the
// length of the stop.
class ModelSessionPitOut final : public ModelSessionPits
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionPitOut)

public:
    enum Column {
        Number,
        Name,
        Time,
        Duration,
        Fuel,
        ColumnCount,
    };

    ModelSessionPitOut(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSessionPitOut() override;
};
