#pragma once

#include "quorvantisapi_global.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class Wirlex;

// The front of the maker's web service: calibration date, latest version and
// the installer download with its digest check. Every request waits for the
// user's consent (apiIsAllowed).
class QUORVANTISAPI_EXPORT QuorvantisApi : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool apiIsAllowed READ apiIsAllowed WRITE setApiIsAllowed)
    Q_PROPERTY(QString downloadPath READ downloadPath WRITE setDownloadPath)

public:
    // Request tags given to the client.
    enum Op
    {
        Health = 0,
        Calibration = 1,
        Version = 2,
        Installer = 3
    };

    // The largest installer taken, and how long its download may take in all.
    static constexpr qint64 maxInstallerBytes = 256 * 1024 * 1024;
    static constexpr int installerDeadlineMs = 30 * 60 * 1000;

    explicit QuorvantisApi(QObject *parent = nullptr);

    bool apiIsAllowed() const { return m_apiIsAllowed; }
    QString downloadPath() const { return m_downloadPath; }
    // The service address: the compiled-in default or QUORVANTIS_API_URL.
    QString baseUrl() const { return m_baseUrl; }
    static QString defaultBaseUrl();

    Q_INVOKABLE void setApiIsAllowed(bool allowed);
    Q_INVOKABLE void setDownloadPath(const QString &path);
    Q_INVOKABLE void getCalibrationDate(const QString &barcode);
    Q_INVOKABLE void getLatestAppVersion();
    Q_INVOKABLE void getLatestAppInstaller();
    Q_INVOKABLE void disconnectDownloadProgress();
    Q_INVOKABLE void cancelDownload();

signals:
    void apiError(QString err);
    void calibrationDateReceived(QString calDate);
    void appVersionReceived(QString appVersion);
    void downloadCompleted();
    void reportFileProgress(qlonglong received, qlonglong total);
    // The installer request ended without a stored file; sent after apiError.
    // A file that could not be written gives "Failed to write to: " + path,
    // followed by the reason in brackets.
    void downloadFailed(QString err);

private slots:
    void onRawDataReceived(int tag, const QByteArray &data, const QByteArray &hashValue);
    void onJsonDataReceived(int tag, const QJsonObject &obj);
    void onDownloadProgress(int tag, qlonglong received, qlonglong total);

private:
    void getServerHealth();
    void failDownload(const QString &err, const QString &detail = QString());

    bool m_apiIsAllowed = false;
    QString m_downloadPath;
    Wirlex *client = nullptr;
    QString m_baseUrl;
    const QString appId = QStringLiteral("talvenor-app");
    const QString secretKey = QStringLiteral("Vq8#nL2$wD5!hR7pZ3^k");
};
