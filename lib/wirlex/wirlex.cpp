#include "wirlex.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

namespace {

constexpr int postTimeoutMs = 15000;
const char tagProperty[] = "op";
const char expectJsonProperty[] = "expectJson";
const char timedOutProperty[] = "timedOut";
const char tooLargeProperty[] = "tooLarge";

QString httpMessage(int status, const QString &text)
{
    return QStringLiteral("HTTP %1: %2").arg(status).arg(text);
}

} // namespace

Wirlex::Wirlex(const QString &appId, QObject *parent) : QObject(parent), appId(appId)
{
    connect(&manager, &QNetworkAccessManager::finished, this, &Wirlex::onFinished);
}

Wirlex::~Wirlex()
{
    // Replies still alive die with the manager; none of them may call back into
    // a client that is half gone.
    manager.disconnect(this);
    for (const QPointer<QNetworkReply> &reply : std::as_const(running)) {
        if (reply)
            reply->disconnect(this);
    }
}

void Wirlex::setSecretKey(const QString &key)
{
    secretKey = key.toUtf8();
}

QString Wirlex::secret() const
{
    return QString::fromUtf8(secretKey);
}

void Wirlex::get(const QString &endpoint, bool expectJson)
{
    get(endpoint, QMap<QString, QString>(), 0, expectJson);
}

void Wirlex::get(const QString &endpoint, int tag, bool expectJson)
{
    get(endpoint, QMap<QString, QString>(), tag, expectJson);
}

void Wirlex::get(const QString &endpoint, const QMap<QString, QString> &params, int tag,
                 bool expectJson)
{
    QUrl url(endpoint, QUrl::TolerantMode);
    if (params.isEmpty()) {
        // A null query, so the request line carries no bare "?".
        url.setQuery(QString());
    } else {
        QUrlQuery query;
        for (auto it = params.cbegin(); it != params.cend(); ++it)
            query.addQueryItem(it.key(), it.value());
        url.setQuery(query);
    }

    QNetworkRequest request(url);
    signRequest(request, QStringLiteral("GET"), url.path(QUrl::FullyDecoded),
                url.query(QUrl::FullyEncoded), QByteArray());

    QNetworkReply *reply = manager.get(request);
    lastReply = reply;
    track(reply);
    watchIdle(reply);
    enforceLimits(reply, limitsFor(tag));
    connect(reply, &QNetworkReply::downloadProgress, this, &Wirlex::downloadProgress);
    reply->setProperty(tagProperty, tag);
    if (expectJson)
        reply->setProperty(expectJsonProperty, true);
}

void Wirlex::post(const QString &endpoint, const QByteArray &data, int tag)
{
    const QUrl url(endpoint, QUrl::TolerantMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    signRequest(request, QStringLiteral("POST"), url.path(QUrl::FullyDecoded), url.query(), data);

    QNetworkReply *reply = manager.post(request, data);
    lastReply = reply;
    track(reply);
    // The POST keeps its own, silent time-out below.
    Limits limits = limitsFor(tag);
    limits.deadlineMs = 0;
    enforceLimits(reply, limits);
    reply->setProperty(tagProperty, tag);
    reply->setProperty(expectJsonProperty, true);

    // The time-out belongs to this reply alone: a later request must not be
    // aborted in its place.
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply] {
        if (reply->isRunning())
            reply->abort();
    });
    timer->start(postTimeoutMs);
}

void Wirlex::cancelLastRequest()
{
    if (lastReply && lastReply->isRunning())
        lastReply->abort();
}

void Wirlex::cancelRequests(int tag)
{
    // Aborting finishes the reply at once, which edits the running list.
    const QList<QPointer<QNetworkReply>> snapshot = running;
    for (const QPointer<QNetworkReply> &reply : snapshot) {
        if (reply && reply->isRunning() && reply->property(tagProperty).isValid() &&
            reply->property(tagProperty).toInt() == tag)
            reply->abort();
    }
}

QByteArray Wirlex::signature(const QString &appId, const QByteArray &secretKey,
                             const QString &timestamp, const QString &nonce, const QString &method,
                             const QString &path, const QString &query, const QByteArray &body)
{
    const QChar lf(QLatin1Char('\n'));
    QByteArray message =
        (appId + lf + timestamp + lf + nonce + lf + method.toUpper() + lf + path + lf + query + lf)
            .toUtf8();
    message.append(body);
    return QByteArrayLiteral("v1=") +
           QMessageAuthenticationCode::hash(message, secretKey, QCryptographicHash::Sha256).toHex();
}

void Wirlex::signRequest(QNetworkRequest &request, const QString &method, const QString &path,
                         const QString &query, const QByteArray &body) const
{
    const QString timestamp = QString::number(QDateTime::currentSecsSinceEpoch());
    const QString nonce = QUuid::createUuid().toString(QUuid::WithoutBraces);
    request.setRawHeader("x-app-id", appId.toUtf8());
    request.setRawHeader("x-timestamp", timestamp.toUtf8());
    request.setRawHeader("x-nonce", nonce.toUtf8());
    request.setRawHeader("x-signature",
                         signature(appId, secretKey, timestamp, nonce, method, path, query, body));
}

void Wirlex::setRequestLimits(int tag, qint64 maxBodyBytes, int deadlineMs)
{
    requestLimits.insert(tag, {maxBodyBytes, deadlineMs});
}

void Wirlex::track(QNetworkReply *reply)
{
    running.append(reply);
}

void Wirlex::watchIdle(QNetworkReply *reply) const
{
    // Some malformed answers (a broken chunked body, then the server hangs up)
    // leave the reply running for good; without this the caller would never
    // hear of the request again.
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    const auto restart = [timer] { timer->start(); };
    connect(reply, &QNetworkReply::metaDataChanged, timer, restart);
    connect(reply, &QNetworkReply::downloadProgress, timer, restart);
    connect(reply, &QNetworkReply::uploadProgress, timer, restart);
    connect(timer, &QTimer::timeout, reply, [reply] {
        if (!reply->isRunning())
            return;
        reply->setProperty(timedOutProperty, true);
        reply->abort();
    });
    timer->start(idleTimeoutMs);
}

void Wirlex::enforceLimits(QNetworkReply *reply, const Limits &limits) const
{
    const auto end = [reply](const char *why) {
        if (!reply->isRunning())
            return;
        reply->setProperty(why, true);
        reply->abort();
    };
    if (limits.deadlineMs > 0)
        QTimer::singleShot(limits.deadlineMs, reply, [end] { end(timedOutProperty); });

    // A declared length says it at once; an endless chunked body only as it grows.
    const qint64 maxBytes = limits.maxBodyBytes;
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maxBytes, end] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxBytes)
            end(tooLargeProperty);
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, maxBytes, end] {
        if (reply->bytesAvailable() > maxBytes)
            end(tooLargeProperty);
    });
}

void Wirlex::onFinished(QNetworkReply *reply)
{
    running.removeAll(reply);
    if (lastReply == reply)
        lastReply = nullptr;
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->property(timedOutProperty).toBool()) {
        fail(reply, httpMessage(status, QStringLiteral("Operation timed out")));
        return;
    }
    if (reply->property(tooLargeProperty).toBool()) {
        fail(reply, httpMessage(status, QStringLiteral("Answer too large")));
        return;
    }
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return;

    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();

    if (target.isValid()) {
        const QUrl resolved = reply->request().url().resolved(target);
        const bool lessSecure =
            reply->request().url().scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) ==
                0 &&
            resolved.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0;
        if (lessSecure) {
            fail(reply, httpMessage(status, reply->error() != QNetworkReply::NoError
                                                ? reply->errorString()
                                                : QStringLiteral("Insecure redirect")));
            return;
        }
        if (reply->error() == QNetworkReply::NoError) {
            QNetworkReply *followUp = manager.get(QNetworkRequest(resolved));
            track(followUp);
            watchIdle(followUp);
            enforceLimits(followUp, limitsFor(reply->property(tagProperty).toInt()));
            return;
        }
    }

    if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299) {
        const QByteArray body = reply->readAll();
        const int tag = reply->property(tagProperty).toInt();
        const QByteArray hash = reply->rawHeader("x-file-hash");
        if (reply->property(expectJsonProperty).toBool()) {
            const QJsonDocument document = QJsonDocument::fromJson(body);
            if (document.isNull())
                emit dataReceived(tag, body, hash);
            else
                emit jsonReceived(tag, document.object());
        } else {
            emit dataReceived(tag, body, hash);
        }
        return;
    }

    const QByteArray body = reply->readAll();
    QString text;
    if (body.isEmpty())
        text = reply->errorString();
    else
        text = QJsonDocument::fromJson(body).object().value(QLatin1String("detail")).toString();
    fail(reply, httpMessage(status, text));
}

void Wirlex::fail(const QNetworkReply *reply, const QString &message)
{
    const int tag = reply->property(tagProperty).toInt();
    const QPointer<Wirlex> alive(this);
    emit errorOccurred(message);
    if (alive)
        emit requestFailed(tag, message);
}
