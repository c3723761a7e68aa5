#pragma once

#include <QtCore/qglobal.h>

// Classes marked with this macro form the library's interface; everything
// else is built with hidden visibility.
#if defined(PEXJSONV2_LIBRARY)
#define PEXJSONV2_EXPORT Q_DECL_EXPORT
#else
#define PEXJSONV2_EXPORT Q_DECL_IMPORT
#endif
