#include "ModelSessionPitIn.h"

ModelSessionPitIn::ModelSessionPitIn(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelSessionPits(provider, skin, false, parent)
{
}

ModelSessionPitIn::~ModelSessionPitIn() = default;
