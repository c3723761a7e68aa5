#pragma once

#include "AccSectionRecord.h"
#include "AnalysisRowsView.h"
#include "ModelAnalysisTable.h"

// The accumulated time through the sections T6 and T7 for the whole field.
class ModelSectionTimeAcc final : public ModelAnalysisTable
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSectionTimeAcc)

public:
    ModelSectionTimeAcc(V2DataProvider* provider, const QString& skin, QObject* parent = nullptr);
    ~ModelSectionTimeAcc() override;

public slots:
    void processAnalysisLap(int rowPos, bool isNewRow, bool removeRow);
    void onAnalysysAccUpdateByRowList(QList<int> list);

protected:
    void takeCopies() override;
    void clearCopies() override;
    int recordCount() const override;
    Cell cellAt(int row) const override;

private:
    AnalysisRowsView<AccSectionRecord> m_copy;
};
