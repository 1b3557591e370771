#pragma once

#include "wirlex_global.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QNetworkRequest;
class QUrl;

// A small HTTP client that signs every request (HMAC-SHA256 over app id,
// timestamp, nonce, method, path, query and body) and reports answers by
// signals carrying the caller's tag.
class WIRLEX_EXPORT Wirlex : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Wirlex needs an application id; it is created by its owner")
    Q_PROPERTY(QString secret READ secret WRITE setSecretKey)

public:
    Wirlex(const QString &appId, QObject *parent);
    ~Wirlex() override;

    Q_INVOKABLE void setSecretKey(const QString &key);
    Q_INVOKABLE QString secret() const;

    Q_INVOKABLE void get(const QString &endpoint, bool expectJson = true);
    Q_INVOKABLE void get(const QString &endpoint, int tag, bool expectJson = true);
    Q_INVOKABLE void get(const QString &endpoint, const QMap<QString, QString> &params, int tag,
                         bool expectJson = true);
    Q_INVOKABLE void post(const QString &endpoint, const QByteArray &data, int tag = 0);

    // Aborts the most recent request when it still runs.
    void cancelLastRequest();
    // Aborts every running request started with tag, whichever came later.
    void cancelRequests(int tag);

    // A GET that moves no bytes for this long ends with an error instead of
    // hanging; tests shorten it.
    static constexpr int defaultIdleTimeoutMs = 30000;
    void setIdleTimeout(int ms) { idleTimeoutMs = ms; }

    // No answer is kept in memory past its largest body, and no GET runs past
    // its deadline, however slowly the bytes come: both end in an error.
    // Requests started with `tag` get their own limits; tests shorten them.
    static constexpr qint64 defaultMaxBodyBytes = 64 * 1024;
    static constexpr int defaultDeadlineMs = 60000;
    void setRequestLimits(int tag, qint64 maxBodyBytes, int deadlineMs);

    // The "x-signature" value for the given string-to-sign parts.
    static QByteArray signature(const QString &appId, const QByteArray &secretKey,
                                const QString &timestamp, const QString &nonce,
                                const QString &method, const QString &path, const QString &query,
                                const QByteArray &body);

signals:
    void dataReceived(int tag, QByteArray data, QByteArray hash);
    void jsonReceived(int tag, QJsonObject obj);
    // Of every GET, with its tag: several may run at once.
    void downloadProgress(int tag, qlonglong bytesReceived, qlonglong bytesTotal);
    void errorOccurred(QString error);
    // The same failure as errorOccurred, sent right after it, with the tag of
    // the request it ended, so that a caller can tell its requests apart.
    void requestFailed(int tag, QString error);

private slots:
    void onFinished(QNetworkReply *reply);

private:
    void signRequest(QNetworkRequest &request, const QString &method, const QString &path,
                     const QString &query, const QByteArray &body) const;
    struct Limits
    {
        qint64 maxBodyBytes = defaultMaxBodyBytes;
        int deadlineMs = defaultDeadlineMs;
    };

    void track(QNetworkReply *reply);
    void relayProgress(QNetworkReply *reply);
    // Goes on with the caller's request at the target of reply's redirect.
    void follow(const QNetworkReply *reply, const QUrl &target, int redirects, bool wasLast);
    void watchIdle(QNetworkReply *reply) const;
    void abortSilentlyAt(QNetworkReply *reply, QDeadlineTimer deadline) const;
    // Bounds the body and, unless the deadline is forever, the time it may take.
    void enforceLimits(QNetworkReply *reply, qint64 maxBodyBytes, QDeadlineTimer deadline);
    Limits limitsFor(int tag) const { return requestLimits.value(tag); }
    void fail(const QNetworkReply *reply, const QString &message);

    QNetworkAccessManager manager;
    QPointer<QNetworkReply> lastReply;
    QString appId;
    QByteArray secretKey;
    QList<QPointer<QNetworkReply>> running;
    // What each running reply's body holds so far.
    QHash<QNetworkReply *, QByteArray> bodies;
    int idleTimeoutMs = defaultIdleTimeoutMs;
    QHash<int, Limits> requestLimits;
};
