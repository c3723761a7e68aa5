#include "ModelSessionPitOut.h"

ModelSessionPitOut::ModelSessionPitOut(V2DataProvider* provider, const QString& skin, QObject* parent)
    : ModelSessionPits(provider, skin, true, parent)
{
}

ModelSessionPitOut::~ModelSessionPitOut() = default;
