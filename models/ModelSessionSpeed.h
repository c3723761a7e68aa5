#pragma once

#include "AnalysisRowsView.h"
#include "ModelAnalysisTable.h"
#include "SpeedRecord.h"

// Every lap's top speed for the whole field, in the order the laps ended.
class ModelSessionSpeed final : public ModelAnalysisTable
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionSpeed)

public:
    ModelSessionSpeed(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSessionSpeed() override;

public slots:
    void processAnalysisLap(int rowPos, bool isNewRow, bool removeRow);
    void onAnalysysSpeedUpdateByRowList(QList<int> list);
    void setUsaUnits(bool checked);
    void processUpdate();

protected:
    void takeCopies() override;
    void clearCopies() override;
    int recordCount() const override;
    Cell cellAt(int row) const override;
    QString valueHeader() const override;

private:
    AnalysisRowsView<SpeedRecord> m_copy;
    bool m_usaUnits = false;
};
