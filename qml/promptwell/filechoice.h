#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

// What a file or folder dialog hands back, made into what a save needs: a
// local path, the suffix a bare name gets, whether the target is there
// already, and a start folder that exists.
class FileChoice : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit FileChoice(QObject *parent = nullptr);

    // The local path of an answer: a file URL or a bare absolute path; ""
    // for anything else, and for a name no file system holds (a NUL).
    Q_INVOKABLE static QString localPath(const QVariant &answer);

    // path with "." and suffix added when its name has no suffix.
    Q_INVOKABLE static QString withSuffix(const QString &path, const QString &suffix);

    // The first extension a name filter names ("csv" of "Text files
    // (*.csv)"), else fallback ("All files (*)" names none).
    Q_INVOKABLE static QString suffixOf(const QString &nameFilter, const QString &fallback);

    Q_INVOKABLE static bool exists(const QString &path);
    Q_INVOKABLE static bool isFolder(const QString &path);
    Q_INVOKABLE static QString fileName(const QString &path);
    Q_INVOKABLE static QUrl folderOf(const QString &path);
    // The file URL of name inside folder (a URL).
    Q_INVOKABLE static QUrl fileIn(const QUrl &folder, const QString &name);

    // folder (a URL or a path) when it is a folder that exists, else the
    // home folder; always as an absolute file URL.
    Q_INVOKABLE static QUrl existingFolder(const QVariant &folder);
};
