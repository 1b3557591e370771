#pragma once

#include <QtCore/qglobal.h>

#if defined(QUORVANTISEXPORT_LIBRARY)
#define QUORVANTISEXPORT_EXPORT Q_DECL_EXPORT
#else
#define QUORVANTISEXPORT_EXPORT Q_DECL_IMPORT
#endif
