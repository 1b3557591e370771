#include "filechoice.h"

#include <QDir>
#include <QFileInfo>

FileChoice::FileChoice(QObject *parent) : QObject(parent) {}

QString FileChoice::localPath(const QVariant &answer)
{
    const QUrl url =
        answer.userType() == QMetaType::QUrl ? answer.toUrl() : QUrl(answer.toString());
    QString path;
    if (url.isLocalFile()) {
        path = url.toLocalFile();
    } else if (url.scheme().isEmpty()) {
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
    // The system call would end the name at the NUL: another file.
    if (path.contains(QChar::Null) || !QDir::isAbsolutePath(path))
        return QString();
    return QDir::cleanPath(path);
}

QString FileChoice::withSuffix(const QString &path, const QString &suffix)
{
    if (suffix.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QLatin1Char('.') + suffix;
}

QString FileChoice::suffixOf(const QString &nameFilter, const QString &fallback)
{
    // The patterns stand in the last parentheses, or make the whole filter.
    const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = nameFilter.lastIndexOf(QLatin1Char(')'));
    const QString patterns =
        open >= 0 && close > open ? nameFilter.mid(open + 1, close - open - 1) : nameFilter;
    for (const QString &pattern : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString extension =
            pattern.startsWith(QLatin1String("*.")) ? pattern.mid(2) : QString();
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

QUrl FileChoice::fileIn(const QUrl &folder, const QString &name)
{
    return QUrl::fromLocalFile(QDir(folder.toLocalFile()).filePath(name));
}

QUrl FileChoice::existingFolder(const QVariant &folder)
{
    const QString path = localPath(folder);
    if (isFolder(path))
        return QUrl::fromLocalFile(path);
    return QUrl::fromLocalFile(QDir::homePath());
}
