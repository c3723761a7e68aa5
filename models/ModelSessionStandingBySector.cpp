#include "ModelSessionStandingBySector.h"

static_assert(ModelSessionStandingBySector::ColumnCount == int(ModelSessionStanding::SharedColumnCount), "the standings have 21 columns");
static_assert(ModelSessionStandingBySector::S1 == int(ModelSessionStanding::S1Column), "sectors start at column 10");

ModelSessionStandingBySector::ModelSessionStandingBySector(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelSessionStanding(provider,
                           skin,
                           false,
                           {tr("Pos"),
                            tr("Nr"),
                            tr("Name"),
                            tr("Class"),
                            tr("Team"),
                            tr("Laps"),
                            tr("S"),
                            tr("Gap"),
                            tr("Interval"),
                            tr("Pit"),
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

ModelSessionStandingBySector::~ModelSessionStandingBySector() = default;

void ModelSessionStandingBySector::processSessionStandingUpdated()
{
    if (classType().isEmpty())
        processRefresh();
}

void ModelSessionStandingBySector::processSessionStandingUpdated(QString classType)
{
    if (classType == this->classType())
        processRefresh();
}
