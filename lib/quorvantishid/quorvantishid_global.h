#pragma once

#include <QtCore/qglobal.h>

#if defined(QUORVANTISHID_LIBRARY)
#define QUORVANTISHID_EXPORT Q_DECL_EXPORT
#else
#define QUORVANTISHID_EXPORT Q_DECL_IMPORT
#endif
