#include "ProgramResources.h"

#include <QtGlobal>

// Outside any namespace, as the resource initialiser requires.
static void initLanterraResources()
{
    Q_INIT_RESOURCE(lanterra);
}

namespace ProgramResources {

void init()
{
    static const bool done = (initLanterraResources(), true);
    Q_UNUSED(done)
}

} // namespace ProgramResources
