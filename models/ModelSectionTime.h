#pragma once

#include "AnalysisRowsView.h"
#include "ModelAnalysisTable.h"
#include "SectionRecord.h"

// The times through one named section ("Porsche" or "Ford") for the whole field.
class ModelSectionTime final : public ModelAnalysisTable
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSectionTime)

public:
    ModelSectionTime(V2DataProvider* provider, const QString& skin, const QString& sectionName, QObject* parent = nullptr);
    ~ModelSectionTime() override;

public slots:
    void processAnalysisLap(int rowPos, bool isNewRow, QString sectionName, bool removeRow);
    void onAnalysisSectionUpdate(QList<int> list, QString sectionName);

protected:
    void takeCopies() override;
    void clearCopies() override;
    int recordCount() const override;
    Cell cellAt(int row) const override;

private:
    // Whether a signal's section is this model's: both name the same word.
    bool isMine(const QString& sectionName) const;

    bool m_porsche;
    AnalysisRowsView<SectionRecord> m_copy;
};
