#pragma once

#include "ModelSessionPits.h"

// Every pit entry of the session: number, driver and time of day.
class ModelSessionPitIn final : public ModelSessionPits
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionPitIn)

public:
    enum Column {
        Number,
        Name,
        Time,
        ColumnCount,
    };

    ModelSessionPitIn(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSessionPitIn() override;
};
