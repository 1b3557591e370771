#pragma once

#include "settrove_global.h"

#include <QJsonDocument>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

// The application's settings: one JSON object in "config.json" in the data
// folder, addressed by dotted keys. A missing or broken file is replaced by the
// defaults and reported through configError.
class SETTROVE_EXPORT Settrove : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString lastError READ lastError NOTIFY configError)
    Q_PROPERTY(bool loaded READ isLoaded NOTIFY loadedChanged)

public:
    explicit Settrove(QObject *parent = nullptr);

    QString lastError() const { return m_lastError; }
    bool isLoaded() const { return m_loaded; }
    bool isDirty() const { return m_dirty; }
    // The full path of the configuration file, as load and save use it.
    QString filePath() const;

    Q_INVOKABLE bool load();
    Q_INVOKABLE void save();
    Q_INVOKABLE QVariant getValue(const QString &key, const QVariant &defaultValue) const;
    Q_INVOKABLE QVariant getValue(const QString &key) const;
    Q_INVOKABLE void setValue(const QString &key, const QVariant &value);

signals:
    void configError(QString errMsg);
    void loadedChanged(bool loaded);

private:
    QString getConfigDirectory() const;
    void createDefaultConfig();
    bool recover();

    // Far above any real configuration; anything larger is not one.
    static constexpr qint64 maxFileSize = 1024 * 1024;

    const QString m_fileName = QStringLiteral("config.json");
    bool m_loaded = false;
    bool m_dirty = false;
    QJsonDocument m_config;
    QString m_lastError;
};
