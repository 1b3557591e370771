#pragma once

#include <QString>

namespace frelkit {

// What follows the first comma of a data URL; nothing when there is no comma.
inline QString dataUrlPayload(const QString &dataUrl)
{
    return dataUrl.section(QLatin1Char(','), 1, -1);
}

} // namespace frelkit
