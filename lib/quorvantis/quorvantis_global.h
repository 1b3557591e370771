#pragma once

#include <QtCore/qglobal.h>

#if defined(QUORVANTIS_LIBRARY)
#define QUORVANTIS_EXPORT Q_DECL_EXPORT
#else
#define QUORVANTIS_EXPORT Q_DECL_IMPORT
#endif
