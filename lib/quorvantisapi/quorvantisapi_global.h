#pragma once

#include <QtGlobal>

#if defined(QUORVANTISAPI_LIBRARY)
#define QUORVANTISAPI_EXPORT Q_DECL_EXPORT
#else
#define QUORVANTISAPI_EXPORT Q_DECL_IMPORT
#endif
