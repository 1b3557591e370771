#include "quorvantisapi.h"

#include "wholefile.h"
#include "wirlex.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QHostAddress>
#include <QMap>
#include <QUrl>

namespace {

const char baseUrlVariable[] = "QUORVANTIS_API_URL";

// The signed requests and the installer may go over https anywhere, but over
// plain http only to this machine (a local stand-in of the service).
bool isAcceptableBaseUrl(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host().toLower();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

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
    if (isAcceptableBaseUrl(override))
        m_baseUrl = override;
    else if (!override.isEmpty())
        qWarning().noquote() << baseUrlVariable
                             << "refused (https, or http to this machine only):" << override;

    connect(client, &Wirlex::dataReceived, this, &QuorvantisApi::onRawDataReceived);
    connect(client, &Wirlex::jsonReceived, this, &QuorvantisApi::onJsonDataReceived);
    connect(client, &Wirlex::errorOccurred, this, &QuorvantisApi::apiError);
    connect(client, &Wirlex::requestFailed, this, [this](int tag, const QString &err) {
        if (tag == Installer)
            emit downloadFailed(err);
    });
    client->setSecretKey(secretKey);
    client->setRequestLimits(Installer, maxInstallerBytes, installerDeadlineMs);
}

void QuorvantisApi::setApiIsAllowed(bool allowed)
{
    m_apiIsAllowed = allowed;
    if (allowed)
        return;
    // Answers to checks asked for before must not show once the user said no.
    // The installer is not a check: only its own cancel ends it.
    client->cancelRequests(Calibration);
    client->cancelRequests(Version);
}

void QuorvantisApi::setDownloadPath(const QString &path)
{
    m_downloadPath = path;
}

void QuorvantisApi::getCalibrationDate(const QString &barcode)
{
    if (!m_apiIsAllowed)
        return;
    // Only the instrument asked for last may get a date: an answer still on
    // its way for one unplugged meanwhile would land under the new barcode.
    client->cancelRequests(Calibration);
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
    connect(client, &Wirlex::downloadProgress, this, &QuorvantisApi::onDownloadProgress);
}

void QuorvantisApi::getServerHealth()
{
    if (!m_apiIsAllowed)
        return;
    client->get(m_baseUrl + QStringLiteral("/health"), Health);
}

void QuorvantisApi::disconnectDownloadProgress()
{
    disconnect(client, &Wirlex::downloadProgress, this, &QuorvantisApi::onDownloadProgress);
}

void QuorvantisApi::onDownloadProgress(int tag, qlonglong received, qlonglong total)
{
    // A check answered meanwhile is no part of the installer's bar.
    if (tag == Installer)
        emit reportFileProgress(received, total);
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
    case Version: {
        // Shown to the user as it comes: nothing that moves, hides or turns text.
        QString version = obj.value(QLatin1String("version")).toString();
        version.removeIf([](QChar c) {
            const QChar::Category category = c.category();
            return category == QChar::Other_Control || category == QChar::Other_Format ||
                   category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
        });
        emit appVersionReceived(version);
        break;
    }
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
        failDownload(QStringLiteral("Hash values did not match"));
        return;
    }

    // Written whole or not at all: a failed write leaves no partial installer
    // and keeps whatever file was there before.
    const wholefile::Result written = wholefile::write(
        m_downloadPath, data, wholefile::Existing::Replace, wholefile::Links::Follow);
    if (!written.ok()) {
        const QString err = QStringLiteral("Failed to write to: ") + m_downloadPath;
        failDownload(err, err + QStringLiteral(" (") + written.error + QLatin1Char(')'));
        return;
    }
    emit downloadCompleted();
}

void QuorvantisApi::failDownload(const QString &err, const QString &detail)
{
    emit apiError(err);
    emit downloadFailed(detail.isEmpty() ? err : detail);
}
