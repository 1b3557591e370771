#pragma once

// Helpers of the in-process shell tests: finding items of the running main
// window and reading or writing the configuration file it uses.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickItem>
#include <QString>
#include <QWindow>

namespace ShellTest {

inline QObject *findByName(QObject *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    if (auto *item = qobject_cast<QQuickItem *>(root)) {
        const QList<QQuickItem *> items = item->childItems();
        for (QQuickItem *child : items) {
            if (QObject *found = findByName(child, name))
                return found;
        }
    }
    const QObjectList children = root->children();
    for (QObject *child : children) {
        if (QObject *found = findByName(child, name))
            return found;
    }
    return nullptr;
}

// Objects below root whose QML type is typeName (e.g. "YesNoDialog").
inline QList<QObject *> findByType(QObject *root, const char *typeName)
{
    QList<QObject *> found;
    const QList<QObject *> all = root->findChildren<QObject *>();
    for (QObject *object : all) {
        const QByteArray className = object->metaObject()->className();
        if (className == typeName || className.startsWith(QByteArray(typeName) + "_QMLTYPE_"))
            found.append(object);
    }
    return found;
}

inline QString dataFolder(const QString &programData)
{
    return QDir(programData).filePath(QStringLiteral("QuorvANTIS Talvenor"));
}

inline QString configPath(const QString &programData)
{
    return dataFolder(programData) + QStringLiteral("/config.json");
}

inline bool writeConfig(const QString &programData, const QByteArray &content)
{
    QDir().mkpath(dataFolder(programData));
    QFile file(configPath(programData));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) >= 0;
}

inline QJsonObject readConfig(const QString &programData)
{
    QFile file(configPath(programData));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace ShellTest
