#pragma once

#include <QtGlobal>

#if defined(SETTROVE_LIBRARY)
#define SETTROVE_EXPORT Q_DECL_EXPORT
#else
#define SETTROVE_EXPORT Q_DECL_IMPORT
#endif
