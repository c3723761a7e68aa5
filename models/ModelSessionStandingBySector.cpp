#include "ModelSessionStandingBySector.h"

static_assert(ModelSessionStandingBySector::ColumnCount == int(ModelSessionStanding::SharedColumnCount), "the standings have 21 columns");
static_assert(ModelSessionStandingBySector::S1 == int(ModelSessionStanding::S1Column), "sectors start at column 10");

ModelSessionStandingBySector::ModelSessionStandingBySector(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelSessionStanding(provider,
                           skin,
                           false,
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
