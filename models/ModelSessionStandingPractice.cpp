#include "ModelSessionStandingPractice.h"

static_assert(ModelSessionStandingPractice::ColumnCount == int(ModelSessionStanding::SharedColumnCount), "the standings have 21 columns");
static_assert(ModelSessionStandingPractice::S1 == int(ModelSessionStanding::S1Column), "sectors start at column 10");

ModelSessionStandingPractice::ModelSessionStandingPractice(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelSessionStanding(provider,
                           skin,
                           true,
                           {tr("Pos"),
                            tr("Nr"),
                            tr("Name"),
                            tr("Class"),
                            tr("Team"),
                            tr("Lap"),
                            tr("Time"),
                            tr("Laps"),
                            tr("Gap"),
                            tr("Interval"),
                            tr("S1"),
                            tr("S2"),
                            tr("S3"),
                            tr("S4"),
                            tr("Last Lap"),
                            tr("Pit In Time"),
                            tr("Pit Out Time"),
                            tr("Last Pit In Lap"),
                            tr("Pit Time"),
                            tr("Fastest Lap"),
                            tr("Track Limits")},
                           parent)
{
}

ModelSessionStandingPractice::~ModelSessionStandingPractice() = default;
