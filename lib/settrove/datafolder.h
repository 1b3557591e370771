#pragma once

// The per-machine data folder, shared by the configuration file and the
// start-up's single-instance lock. Header-only on purpose: the executable
// includes it without linking the store's library.

#include <QDir>
#include <QStandardPaths>
#include <QString>
#include <QtGlobal>

namespace settrove {

inline constexpr const char *dataFolderName = "QuorvANTIS Talvenor";

// The folder path without a trailing separator, created with missing parents
// when it does not exist yet. "ProgramData" wins when set and not empty, which
// also lets tests point every user of the folder at a scratch directory.
inline QString dataFolder()
{
    QString base = qEnvironmentVariable("ProgramData");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Without any base the folder sits in the current directory rather than at
    // the file-system root.
    const QString path =
        base.isEmpty() ? QLatin1String(dataFolderName)
                       : QDir::cleanPath(base + QLatin1Char('/') + QLatin1String(dataFolderName));
    QDir().mkpath(path);
    return path;
}

} // namespace settrove
