#include "quorvantisapi.h"

#include "wirlex.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QMap>
#include <QSaveFile>

namespace {

const char baseUrlVariable[] = "QUORVANTIS_API_URL";

} // namespace

QString QuorvantisApi::defaultBaseUrl()
{
    return QStringLiteral("https://api.quorvantis.example:1001/cal");
}

QuorvantisApi::QuorvantisApi(QObject *parent) : QObject(parent), m_baseUrl(defaultBaseUrl())
{
    // Created here, not in the initialiser list: appId is declared after client.
    client = new Wirlex(appId, this);

    QString override = qEnvironmentVariable(baseUrlVariable).trimmed();
    while (override.endsWith(QLatin1Char('/')))
        override.chop(1);
    if (!override.isEmpty())
        m_baseUrl = override;

    connect(client, &Wirlex::dataReceived, this, &QuorvantisApi::onRawDataReceived);
    connect(client, &Wirlex::jsonReceived, this, &QuorvantisApi::onJsonDataReceived);
    connect(client, &Wirlex::errorOccurred, this, &QuorvantisApi::apiError);
    client->setSecretKey(secretKey);
}

void QuorvantisApi::setApiIsAllowed(bool allowed)
{
    m_apiIsAllowed = allowed;
}

void QuorvantisApi::setDownloadPath(const QString &path)
{
    m_downloadPath = path;
}

void QuorvantisApi::getCalibrationDate(const QString &barcode)
{
    if (!m_apiIsAllowed)
        return;
    QMap<QString, QString> params;
    params.insert(QStringLiteral("barcode"), barcode);
    client->get(m_baseUrl + QStringLiteral("/get_calibration"), params, Calibration);
}

void QuorvantisApi::getLatestAppVersion()
{
    if (!m_apiIsAllowed)
        return;
    client->get(m_baseUrl + QStringLiteral("/installer/version"), Version);
}

void QuorvantisApi::getLatestAppInstaller()
{
    if (!m_apiIsAllowed)
        return;
    client->get(m_baseUrl + QStringLiteral("/installer"), Installer);
    connect(client, &Wirlex::downloadProgress, this, &QuorvantisApi::reportFileProgress);
}

void QuorvantisApi::getServerHealth()
{
    if (!m_apiIsAllowed)
        return;
    client->get(m_baseUrl + QStringLiteral("/health"), Health);
}

void QuorvantisApi::disconnectDownloadProgress()
{
    disconnect(client, &Wirlex::downloadProgress, this, &QuorvantisApi::reportFileProgress);
}

void QuorvantisApi::cancelDownload()
{
    // The download itself, even when a later request has started since.
    client->cancelRequests(Installer);
}

void QuorvantisApi::onJsonDataReceived(int tag, const QJsonObject &obj)
{
    switch (tag) {
    case Calibration:
        emit calibrationDateReceived(obj.value(QLatin1String("cal_expiry")).toString());
        break;
    case Version:
        emit appVersionReceived(obj.value(QLatin1String("version")).toString());
        break;
    default:
        qDebug() << "None Op received";
        break;
    }
}

void QuorvantisApi::onRawDataReceived(int tag, const QByteArray &data, const QByteArray &hashValue)
{
    if (tag != Installer) {
        qDebug() << "None Op received";
        return;
    }

    const QByteArray digest = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
    if (hashValue.isEmpty() || digest.compare(hashValue, Qt::CaseInsensitive) != 0) {
        emit apiError(QStringLiteral("Hash values did not match"));
        return;
    }

    // Written whole or not at all: a failed write leaves no partial installer
    // and keeps whatever file was there before.
    QSaveFile file(m_downloadPath);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
    if (!written) {
        emit apiError(QStringLiteral("Failed to write to: ") + m_downloadPath);
        return;
    }
    emit downloadCompleted();
}
