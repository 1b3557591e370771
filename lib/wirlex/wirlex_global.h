#pragma once

#include <QtGlobal>

#if defined(WIRLEX_LIBRARY)
#define WIRLEX_EXPORT Q_DECL_EXPORT
#else
#define WIRLEX_EXPORT Q_DECL_IMPORT
#endif
