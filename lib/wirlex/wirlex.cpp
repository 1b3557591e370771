#include "wirlex.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonParseError>
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
// The limits a reply was given, which a follow-up after a redirect keeps.
const char maxBodyProperty[] = "maxBody";
const char deadlineProperty[] = "deadline";
const char redirectsProperty[] = "redirects";
// When a POST and its follow-ups end without a word.
const char silentDeadlineProperty[] = "silentDeadline";
// Set on a GET whose progress the client relays, and on its follow-ups.
const char relayProgressProperty[] = "relayProgress";
// More than any service needs to point at where an answer lies.
constexpr int maxRedirects = 5;
// What Qt's network thread may hold that the client has not taken yet.
constexpr qint64 readBufferBytes = 256 * 1024;

QString httpMessage(int status, const QString &text)
{
    return QStringLiteral("HTTP %1: %2").arg(status).arg(text);
}

// Why a redirect from `from` to `to` is not followed; empty when it is. Only
// the web's own schemes: a local file or inline data is no service's answer.
QString refusedRedirect(const QUrl &from, const QUrl &to)
{
    const QString scheme = to.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return QStringLiteral("Unsupported redirect");
    if (from.scheme().toLower() == QLatin1String("https") && scheme != QLatin1String("https"))
        return QStringLiteral("Insecure redirect");
    return QString();
}

// Whether a document that did not parse ran out inside its last token: what
// follows the point of failure is at most the start of a literal, a number or
// an escape, with nothing that would end it.
bool endsInsideToken(const QByteArray &body, int offset)
{
    for (qsizetype i = offset; i < body.size(); ++i) {
        if (QByteArrayView(",:{}[]\" \t\r\n").contains(body.at(i)))
            return false;
    }
    return true;
}

} // namespace

Wirlex::Wirlex(const QString &appId, QObject *parent) : QObject(parent), appId(appId)
{
    // Redirects are followed here, unsigned and within the first request's
    // limits; Qt would follow them itself and send the signature again.
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
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
    const Limits limits = limitsFor(tag);
    enforceLimits(reply, limits.maxBodyBytes,
                  limits.deadlineMs > 0 ? QDeadlineTimer(limits.deadlineMs) : QDeadlineTimer());
    reply->setProperty(relayProgressProperty, true);
    relayProgress(reply);
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
    enforceLimits(reply, limitsFor(tag).maxBodyBytes, QDeadlineTimer::Forever);
    reply->setProperty(tagProperty, tag);
    reply->setProperty(expectJsonProperty, true);

    abortSilentlyAt(reply, QDeadlineTimer(postTimeoutMs));
}

void Wirlex::abortSilentlyAt(QNetworkReply *reply, QDeadlineTimer deadline) const
{
    // The time-out belongs to this request alone: a later one must not be
    // aborted in its place.
    reply->setProperty(silentDeadlineProperty, deadline.deadline());
    QTimer::singleShot(qMax<qint64>(0, deadline.remainingTime()), reply, [reply] {
        if (reply->isRunning())
            reply->abort();
    });
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

void Wirlex::relayProgress(QNetworkReply *reply)
{
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) {
                // A redirect's own body is not the answer's progress.
                if (reply->attribute(QNetworkRequest::RedirectionTargetAttribute).isNull())
                    emit downloadProgress(reply->property(tagProperty).toInt(), received, total);
            });
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

void Wirlex::enforceLimits(QNetworkReply *reply, qint64 maxBytes, QDeadlineTimer deadline)
{
    reply->setProperty(maxBodyProperty, maxBytes);
    reply->setProperty(deadlineProperty, deadline.deadline());
    const auto end = [reply](const char *why) {
        if (!reply->isRunning())
            return;
        reply->setProperty(why, true);
        reply->abort();
    };
    if (!deadline.isForever())
        QTimer::singleShot(qMax<qint64>(0, deadline.remainingTime()), reply,
                           [end] { end(timedOutProperty); });

    // A declared length says it at once; an endless chunked body only as it grows.
    // The room for the body is what the answer declares, or grows as it comes:
    // the cap set aside up front would be taken by every answer, however small.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply, maxBytes, end] {
        const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        const auto body = bodies.find(reply);
        if (declared > maxBytes)
            end(tooLargeProperty);
        else if (declared > 0 && body != bodies.end())
            body->reserve(declared);
    });
    // Qt's network thread reads on without bound unless its buffer has one,
    // and keeps what it read in chunks that take far more room than they hold:
    // the body is taken out as it comes.
    reply->setReadBufferSize(readBufferBytes);
    bodies.insert(reply, QByteArray());
    connect(reply, &QNetworkReply::readyRead, this, [this, reply, maxBytes, end] {
        QByteArray &body = bodies[reply];
        const qint64 available = reply->bytesAvailable();
        if (body.size() + available > maxBytes) {
            end(tooLargeProperty);
            return;
        }
        const qsizetype had = body.size();
        // Doubled, not rounded up past the cap as the array's own growth would.
        if (had + available > body.capacity())
            body.reserve(qMin(maxBytes, qMax<qint64>(had + available, 2 * body.capacity())));
        body.resize(had + available);
        body.resize(had + qMax<qint64>(0, reply->read(body.data() + had, available)));
    });
}

void Wirlex::onFinished(QNetworkReply *reply)
{
    running.removeAll(reply);
    QByteArray body = bodies.take(reply);
    if (reply->isOpen())
        body.append(reply->readAll());
    const bool wasLast = lastReply == reply;
    if (wasLast)
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
        const QString refused = refusedRedirect(reply->request().url(), resolved);
        if (!refused.isEmpty()) {
            fail(reply,
                 httpMessage(status, reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                              : refused));
            return;
        }
        if (reply->error() == QNetworkReply::NoError) {
            const int redirects = reply->property(redirectsProperty).toInt() + 1;
            if (redirects > maxRedirects) {
                fail(reply, httpMessage(status, QStringLiteral("Too many redirects")));
                return;
            }
            // The redirect's own body is no part of the answer: its room goes
            // before the follow-up takes room of its own.
            body = QByteArray();
            follow(reply, resolved, redirects, wasLast);
            return;
        }
    }

    if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299) {
        const int tag = reply->property(tagProperty).toInt();
        const QByteArray hash = reply->rawHeader("x-file-hash");
        if (reply->property(expectJsonProperty).toBool()) {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
            // What begins as a document and does not parse is neither bytes
            // nor an answer: cut short (by a Content-Length too small for
            // it, even inside a literal or an escape) or broken.
            const QByteArray start = body.trimmed().left(1);
            if (document.isNull() && (start == "{" || start == "["))
                fail(reply, httpMessage(status, endsInsideToken(body, parseError.offset)
                                                    ? QStringLiteral("Answer cut short")
                                                    : QStringLiteral("Answer not valid JSON")));
            else if (document.isNull())
                emit dataReceived(tag, body, hash);
            else
                emit jsonReceived(tag, document.object());
        } else {
            emit dataReceived(tag, body, hash);
        }
        return;
    }

    QString text;
    if (body.isEmpty())
        text = reply->errorString();
    else
        text = QJsonDocument::fromJson(body).object().value(QLatin1String("detail")).toString();
    fail(reply, httpMessage(status, text));
}

void Wirlex::follow(const QNetworkReply *reply, const QUrl &target, int redirects, bool wasLast)
{
    // Still the caller's request: its tag, the kind of answer it waits for,
    // its progress, its cancel and its limits move to the new reply.
    QNetworkReply *followUp = manager.get(QNetworkRequest(target));
    for (const char *name : {tagProperty, expectJsonProperty, relayProgressProperty})
        followUp->setProperty(name, reply->property(name));
    followUp->setProperty(redirectsProperty, redirects);
    if (wasLast)
        lastReply = followUp;
    track(followUp);
    watchIdle(followUp);
    QDeadlineTimer deadline;
    deadline.setDeadline(reply->property(deadlineProperty).toLongLong());
    enforceLimits(followUp, reply->property(maxBodyProperty).toLongLong(), deadline);
    if (followUp->property(relayProgressProperty).toBool())
        relayProgress(followUp);
    const QVariant silentDeadline = reply->property(silentDeadlineProperty);
    if (silentDeadline.isValid()) {
        QDeadlineTimer end;
        end.setDeadline(silentDeadline.toLongLong());
        abortSilentlyAt(followUp, end);
    }
}

void Wirlex::fail(const QNetworkReply *reply, const QString &message)
{
    const int tag = reply->property(tagProperty).toInt();
    const QPointer<Wirlex> alive(this);
    emit errorOccurred(message);
    if (alive)
        emit requestFailed(tag, message);
}
