#pragma once

#include <QtCore/qglobal.h>

#if defined(FRELKIT_LIBRARY)
#define FRELKIT_EXPORT Q_DECL_EXPORT
#else
#define FRELKIT_EXPORT Q_DECL_IMPORT
#endif
