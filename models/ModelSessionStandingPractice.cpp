#include "ModelSessionStandingPractice.h"

static_assert(ModelSessionStandingPractice::ColumnCount == int(ModelSessionStanding::SharedColumnCount), "the standings have 21 columns");
static_assert(ModelSessionStandingPractice::S1 == int(ModelSessionStanding::S1Column), "sectors start at column 10");

ModelSessionStandingPractice::ModelSessionStandingPractice(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelSessionStanding(provider,
                           skin,
                           true,
                           parent)
{
}

ModelSessionStandingPractice::~ModelSessionStandingPractice() = default;
