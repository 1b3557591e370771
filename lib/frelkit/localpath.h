#pragma once

#include <QString>
#include <QUrl>

namespace frelkit {

// File dialogs in QML hand out "file:" URLs while C++ callers pass plain paths;
// both must name the same file.
inline QString localPath(const QString &fileNameOrUrl)
{
    if (fileNameOrUrl.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(fileNameOrUrl).toLocalFile();
    return fileNameOrUrl;
}

} // namespace frelkit
