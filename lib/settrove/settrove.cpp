#include "settrove.h"

#include "datafolder.h"
#include "wholefile.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringList>

namespace {

// Returns obj with value stored under the path parts[index..]; members on the
// way that are missing or not objects become objects.
QJsonObject withValue(QJsonObject obj, const QStringList &parts, int index, const QJsonValue &value)
{
    const QString &name = parts.at(index);
    if (index == parts.size() - 1) {
        obj.insert(name, value);
        return obj;
    }
    const QJsonValue member = obj.value(name);
    obj.insert(name, withValue(member.isObject() ? member.toObject() : QJsonObject(), parts,
                               index + 1, value));
    return obj;
}

} // namespace

Settrove::Settrove(QObject *parent) : QObject(parent) {}

QString Settrove::getConfigDirectory() const
{
    return settrove::dataFolder() + QLatin1Char('/');
}

QString Settrove::filePath() const
{
    return getConfigDirectory() + m_fileName;
}

bool Settrove::load()
{
    QFile file(filePath());
    if (!file.exists()) {
        qWarning().noquote() << "Config file does not exist:" << m_fileName;
        m_lastError = QStringLiteral("Config file not found");
        return recover();
    }
    // A pipe would block the start for good and a device never ends: only a
    // regular file of a sane size is read.
    const QFileInfo info(file.fileName());
    QByteArray bytes;
    const bool readable = info.isFile() && info.size() <= maxFileSize &&
                          file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (readable) {
        bytes = file.read(maxFileSize + 1);
        file.close();
    }
    if (!readable || bytes.size() > maxFileSize) {
        qWarning().noquote() << "Failed to open config file for reading:" << m_fileName;
        m_lastError = QStringLiteral("Failed to open config file for reading");
        return recover();
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        qWarning().noquote() << "JSON parse error:" << parseError.errorString();
        m_lastError = QStringLiteral("JSON parse error:") + parseError.errorString();
        return recover();
    }
    if (!document.isObject()) {
        m_lastError = QStringLiteral("Config file does not contain a valid JSON object.");
        qWarning().noquote() << m_lastError;
        return recover();
    }

    m_config = document;
    m_dirty = false;
    m_loaded = true;
    emit loadedChanged(true);
    return true;
}

bool Settrove::recover()
{
    createDefaultConfig();
    emit configError(m_lastError);
    return m_loaded;
}

void Settrove::createDefaultConfig()
{
    QJsonObject defaults;
    defaults.insert(QStringLiteral("firstTimeRun"), true);
    defaults.insert(QStringLiteral("optInForAutoCalCheck"), true);
    m_config = QJsonDocument(defaults);
    m_loaded = true;
    m_dirty = true;
    save();
}

void Settrove::save()
{
    if (!m_dirty)
        return;

    QByteArray json = m_config.toJson(QJsonDocument::Indented);
#ifdef Q_OS_WIN
    json.replace("\n", "\r\n");
#endif
    // A link to the file may be kept on purpose: it is written through.
    const wholefile::Result written =
        wholefile::write(filePath(), json, wholefile::Existing::Replace, wholefile::Links::Follow);
    if (!written.ok()) {
        qWarning().noquote() << "Failed to open config file for writing:" << m_fileName << '('
                             << written.error << ')';
        emit configError(QStringLiteral("Failed to open config file for writing: ") + m_fileName);
        return;
    }
    m_dirty = false;
}

QVariant Settrove::getValue(const QString &key, const QVariant &defaultValue) const
{
    if (!m_config.isObject()) {
        qWarning().noquote() << "Config document is not a valid JSON object.";
        return defaultValue;
    }
    const QStringList parts = key.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    QJsonObject current = m_config.object();
    for (int i = 0; i < parts.size(); ++i) {
        const auto member = current.constFind(parts.at(i));
        if (i == parts.size() - 1)
            return member == current.constEnd() ? defaultValue : member->toVariant();
        if (member == current.constEnd() || !member->isObject())
            return defaultValue;
        current = member->toObject();
    }
    return defaultValue;
}

QVariant Settrove::getValue(const QString &key) const
{
    return getValue(key, QVariant());
}

void Settrove::setValue(const QString &key, const QVariant &value)
{
    const QJsonObject top = m_config.isObject() ? m_config.object() : QJsonObject();
    m_dirty = true;
    const QStringList parts = key.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    m_config = QJsonDocument(withValue(top, parts, 0, QJsonValue::fromVariant(value)));
    save();
}
