#include "filechoice.h"

#include <QDir>
#include <QFileInfo>

FileChoice::FileChoice(QObject *parent) : QObject(parent) {}

QString FileChoice::localPath(const QVariant &answer)
{
    const QUrl url =
        answer.userType() == QMetaType::QUrl ? answer.toUrl() : QUrl(answer.toString());
    if (url.isLocalFile())
        return url.toLocalFile();
    QString path;
    if (url.scheme().isEmpty()) {
        // A typed name is made into a URL as it was typed: '#' and '?' start
        // no fragment or query of a file name, and '%' stands for itself.
        path = url.path(QUrl::FullyDecoded);
        if (url.hasQuery())
            path += QLatin1Char('?') + url.query(QUrl::FullyDecoded);
        if (url.hasFragment())
            path += QLatin1Char('#') + url.fragment(QUrl::FullyDecoded);
    } else if (url.scheme().size() == 1) {
        path = answer.toString(); // a drive letter
    }
    path = QDir::fromNativeSeparators(path);
    return QDir::isAbsolutePath(path) ? QDir::cleanPath(path) : QString();
}

QString FileChoice::withSuffix(const QString &path, const QString &suffix)
{
    if (suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + suffix;
}

QString FileChoice::suffixOf(const QStringList &extensions, const QString &fallback)
{
    for (const QString &extension : extensions) {
        if (!extension.isEmpty() && !extension.contains(QLatin1Char('*')) &&
            !extension.contains(QLatin1Char('?')))
            return extension;
    }
    return fallback;
}

bool FileChoice::exists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool FileChoice::isFolder(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString FileChoice::fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QUrl FileChoice::folderOf(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absolutePath());
}

QUrl FileChoice::existingFolder(const QVariant &folder)
{
    const QString path = localPath(folder);
    if (isFolder(path))
        return QUrl::fromLocalFile(path);
    return QUrl::fromLocalFile(QDir::homePath());
}
