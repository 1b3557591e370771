#include "savename.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace wholefile {

QString SaveName::path() const
{
    return folder + QLatin1Char('/') + base + extension;
}

QString SaveName::numbered(int n) const
{
    return folder + QLatin1Char('/') + base + QLatin1Char('_') + QString::number(n) + extension;
}

QString unusableReason(const SaveName &name)
{
    if (name.path().contains(QChar::Null))
        return QStringLiteral("The file name holds a NUL character.");
    return QString();
}

QString localPathOf(const QString &fileNameOrUrl)
{
    if (fileNameOrUrl.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(fileNameOrUrl).toLocalFile();
    return fileNameOrUrl;
}

SaveName saveNameOf(const QString &fileNameOrUrl)
{
    const QFileInfo info(localPathOf(fileNameOrUrl));
    const QString suffix = info.completeSuffix();
    // Joined by hand: QDir::filePath("") would give the folder itself, and an
    // empty base then turns "reports/.csv" into "reports.csv" beside it.
    QString folder = QDir::cleanPath(info.absolutePath());
    if (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return {folder, info.baseName(), suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix};
}

QString pairedExtension(const QString &extension, const QString &wanted)
{
    QString paired = extension;
    const qsizetype lastDot = paired.lastIndexOf(QLatin1Char('.'));
    const QString last = paired.mid(lastDot + 1);
    if (lastDot >= 0 && (last.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 ||
                         last.compare(QLatin1String("tsv"), Qt::CaseInsensitive) == 0))
        paired.truncate(lastDot);
    return paired + QLatin1Char('.') + wanted;
}

} // namespace wholefile
