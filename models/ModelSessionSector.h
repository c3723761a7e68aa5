#pragma once

#include "AnalysisRowsView.h"
#include "ModelAnalysisTable.h"
#include "SectorRecord.h"

#include <QList>
#include <QMap>
#include <QVector>

// The times of one sector for the whole field, in the order they were set.
// A sector just completed shows at once from the car's details, until the
// lap's own record arrives.
class ModelSessionSector final : public ModelAnalysisTable
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionSector)

public:
    ModelSessionSector(V2DataProvider* provider, const QString& skin, int sector, QObject* parent = nullptr);
    ~ModelSessionSector() override;

    int sector() const;

public slots:
    void processAnalysisLap(int rowPos, bool isNewRow, int sectorNum, bool removeRow);
    void onAnalysysSectorUpdateByRowMap(QMap<int, QList<int>> map);
    void processParticipantDetailsUpdate(QString pNum);
    void processUpdate();

protected:
    void takeCopies() override;
    void clearCopies() override;
    int recordCount() const override;
    Cell cellAt(int row) const override;

private:
    // The row a live record takes among the provider's rows and the other live ones.
    int liveRow(int liveIndex) const;
    // Takes the live rows out again, announcing each.
    void dropLiveRows();

    int m_sector;
    AnalysisRowsView<SectorRecord> m_copy;
    // Sectors shown from participant details, in key order.
    QVector<SectorRecord> m_live;
};
