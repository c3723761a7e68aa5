#pragma once

#include "CoalescedTableModel.h"
#include "PitLossLearner.h"
#include "PitWindowPredictor.h"

class V2DataProvider;

// One row of the Pit Window table: a stop on one lap and where it rejoins.
struct PitWindowRow {
    int lap = 0; // the lap the car would stop on
    PitWindowPredictor::Prediction prediction;
};

// The predictions for the chosen car stopping this lap and each of the next
// laps, with the pit loss of the chosen kind of stop learnt from the
// session's stops (its own value under a safety car or full-course yellow).
class ModelPitWindow final : public RowTableModel<PitWindowRow>
{
    Q_OBJECT
    Q_DISABLE_COPY(ModelPitWindow)

public:
    enum Column { Stop, Loss, Position, ClassPosition, Ahead, GapAhead, Behind, GapBehind, ClassAhead, GapClassAhead, ClassBehind, GapClassBehind, ColumnCount };

    ModelPitWindow(V2DataProvider* provider, QObject* parent);
    ~ModelPitWindow() override;

    void setCar(const QString& pNum);
    QString car() const;
    void setLapsAhead(int laps);
    int lapsAhead() const;
    void setStopKind(PitLossLearner::Kind kind);
    PitLossLearner::Kind stopKind() const;
    // The user's values and overrides are set here; a refresh follows.
    PitLossLearner& learner();
    // Whether a safety car or a full-course yellow runs (its losses apply).
    bool neutralised() const;
    // The chosen car's place now, overall and in class; 0 when not in the standings.
    QPair<int, int> currentPositions() const;

signals:
    // The learnt losses were read again.
    void lossesChanged();

protected:
    void refreshRows() override;

private:
    V2DataProvider* m_provider;
    PitLossLearner m_learner;
    PitWindowPredictor m_predictor;
    QString m_car;
    int m_lapsAhead = 3;
    PitLossLearner::Kind m_kind = PitLossLearner::Tyres;
    bool m_neutralised = false;
    // The losses are learnt again only after news of stops or laps (a
    // whole learning reads every stop; standings refresh far more often).
    bool m_learnStale = true;
};
