#pragma once

#include "ModelSessionLap.h"

#include <QList>

// The laps of a followed car: the lap table with one more column per pair
// of timing loops, and the laps through the pit lane coloured. The block's
// car flashes while an alert names it.
class ModelSessionLapForCarFollow final : public ModelSessionLap
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelSessionLapForCarFollow)

public:
    ModelSessionLapForCarFollow(V2DataProvider* provider, const QString& skin, bool carFollowMode = true, QObject* parent = nullptr);
    ~ModelSessionLapForCarFollow() override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    int extraColumnCount() const override;
    QString extraHeader(int column) const override;
    QString extraText(const LapAnalysisRecord& record, int column) const override;
    QVariant lapNumberColour(const LapAnalysisRecord& record, int role) const override;
    void takeExtras() override;

private:
    void repaintFlash(const QString& car);

    QList<LapAnalysisRecord::LoopPair> m_loopPairs;
};
