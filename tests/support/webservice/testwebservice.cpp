#include "testwebservice.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QPointer>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

namespace {

constexpr int maxHeaderBytes = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    static const QHash<int, QByteArray> phrases{{200, "OK"},
                                                {301, "Moved Permanently"},
                                                {302, "Found"},
                                                {304, "Not Modified"},
                                                {307, "Temporary Redirect"},
                                                {400, "Bad Request"},
                                                {403, "Forbidden"},
                                                {404, "Not Found"},
                                                {405, "Method Not Allowed"},
                                                {413, "Payload Too Large"},
                                                {422, "Unprocessable Entity"},
                                                {500, "Internal Server Error"},
                                                {503, "Service Unavailable"}};
    return phrases.value(status, "Status");
}

TestWebService::Response json(int status, const QJsonObject &object)
{
    TestWebService::Response response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return response;
}

TestWebService::Response detail(int status, const QString &text)
{
    return json(status, QJsonObject{{QStringLiteral("detail"), text}});
}

// Deterministic bytes that are clearly not JSON.
QByteArray defaultInstaller()
{
    QByteArray bytes(200 * 1024, Qt::Uninitialized);
    quint32 state = 0x2545F491u;
    for (char &byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[2] = '\0';
    return bytes;
}

QString tlsFile(const char *name)
{
    return QStringLiteral(QV_TEST_WEBSERVICE_TLS_DIR "/") + QLatin1String(name);
}

} // namespace

// One client connection: reads one request, answers it, closes.
class TestWebService::Connection : public QObject
{
public:
    Connection(TestWebService *service, QTcpSocket *socket)
        : QObject(service), service(service), socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &Connection::onDisconnected);
        if (socket->bytesAvailable() > 0)
            QTimer::singleShot(0, this, &Connection::onReadyRead);
    }

private:
    void onReadyRead()
    {
        if (answered)
            return;
        buffer.append(socket->readAll());
        if (headerEnd < 0) {
            headerEnd = buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0) {
                if (buffer.size() > maxHeaderBytes)
                    socket->abort();
                return;
            }
            if (!parseHead())
                return;
        }
        if (buffer.size() - (headerEnd + 4) < contentLength)
            return;
        request.body = buffer.mid(headerEnd + 4, contentLength);
        answered = true;
        const Response response = service->answer(request);
        send(response);
    }

    bool parseHead()
    {
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3) {
            answered = true;
            send(detail(400, QStringLiteral("Malformed request line")));
            return false;
        }
        request.method = requestLine.at(0);
        request.target = requestLine.at(1);
        const int question = request.target.indexOf('?');
        const QByteArray rawPath = question < 0 ? request.target : request.target.left(question);
        request.query = question < 0 ? QByteArray() : request.target.mid(question + 1);
        request.path = QUrl::fromPercentEncoding(rawPath);
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const int colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            request.headers.insert(line.left(colon).trimmed().toLower(),
                                   line.mid(colon + 1).trimmed());
        }
        contentLength = request.headers.value("content-length", "0").toLongLong();
        return true;
    }

    void send(const Response &response)
    {
        if (response.stall)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                          reasonPhrase(response.status) + "\r\n";
        for (const auto &header : response.headers)
            head += header.first + ": " + header.second + "\r\n";
        if (response.endless)
            head += "Transfer-Encoding: chunked\r\n";
        else
            head += "Content-Length: " +
                    QByteArray::number(response.declaredLength >= 0 ? response.declaredLength
                                                                    : response.body.size()) +
                    "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head);

        pending = response.body;
        if (response.endless) {
            // Kept topped up until the client goes away.
            const QByteArray chunk = "4000\r\n" + QByteArray(0x4000, ' ') + "\r\n";
            const auto more = [this, chunk] {
                while (socket->state() == QAbstractSocket::ConnectedState &&
                       socket->bytesToWrite() < 256 * 1024)
                    socket->write(chunk);
            };
            connect(socket, &QTcpSocket::bytesWritten, this, more);
            more();
        } else if (response.trickleMs > 0 || (response.paced && service->m_chunkBytes > 0)) {
            const bool trickle = response.trickleMs > 0;
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, timer, trickle] {
                if (socket->state() != QAbstractSocket::ConnectedState) {
                    timer->stop();
                    return;
                }
                const int bytes = trickle ? 1 : service->m_chunkBytes;
                socket->write(pending.left(bytes));
                pending.remove(0, bytes);
                // The client may close as soon as it has the last byte.
                if (pending.isEmpty()) {
                    timer->stop();
                    finish();
                }
            });
            timer->start(trickle ? response.trickleMs : service->m_intervalMs);
        } else {
            socket->write(pending);
            pending.clear();
            finish();
        }
    }

    void finish()
    {
        if (Request *recorded = service->findRequest(request.id))
            recorded->completed = true;
        done = true;
        socket->disconnectFromHost();
    }

    void onDisconnected()
    {
        if (answered && !done)
            emit service->answerAborted(request.path);
        deleteLater();
    }

    TestWebService *service;
    QTcpSocket *socket;
    QByteArray buffer;
    qsizetype headerEnd = -1;
    qint64 contentLength = 0;
    Request request;
    QByteArray pending;
    bool answered = false;
    bool done = false;
};

TestWebService::TestWebService(QObject *parent)
    : QObject(parent), m_appId(defaultAppId()), m_secret(defaultSecret().toUtf8()),
      m_installer(defaultInstaller())
{
    qRegisterMetaType<TestWebService::Request>();
    addBarcode(QStringLiteral("123456"), QStringLiteral("2027-05-31"));
}

TestWebService::~TestWebService() = default;

QString TestWebService::defaultAppId()
{
    return QStringLiteral("talvenor-app");
}

QString TestWebService::defaultSecret()
{
    return QStringLiteral("Vq8#nL2$wD5!hR7pZ3^k");
}

bool TestWebService::listen(quint16 port)
{
    return startListening(new QTcpServer(this), port, false);
}

bool TestWebService::listenTls(quint16 port)
{
    QFile keyFile(tlsFile("localhost.key"));
    if (!keyFile.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(certificate());
    configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto *server = new QSslServer(this);
    server->setSslConfiguration(configuration);
    return startListening(server, port, true);
}

bool TestWebService::startListening(QTcpServer *server, quint16 port, bool tls)
{
    close();
    m_server = server;
    m_tls = tls;
    connect(server, &QTcpServer::pendingConnectionAvailable, this, &TestWebService::acceptPending);
    connect(server, &QTcpServer::newConnection, this, &TestWebService::acceptPending);
    return server->listen(QHostAddress::LocalHost, port);
}

void TestWebService::acceptPending()
{
    while (m_server && m_server->hasPendingConnections())
        new Connection(this, m_server->nextPendingConnection());
}

void TestWebService::close()
{
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
}

quint16 TestWebService::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString TestWebService::rootUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? "https" : "http").arg(port());
}

QString TestWebService::baseUrl() const
{
    return rootUrl() + m_prefix;
}

QSslCertificate TestWebService::certificate()
{
    return QSslCertificate::fromPath(tlsFile("localhost.crt")).value(0);
}

void TestWebService::trustCertificate()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(certificate());
    QSslConfiguration::setDefaultConfiguration(configuration);
}

void TestWebService::addBarcode(const QString &barcode, const QString &calExpiry)
{
    m_barcodes.insert(barcode, calExpiry);
}

void TestWebService::setInstallerPacing(int chunkBytes, int intervalMs)
{
    m_chunkBytes = qMax(0, chunkBytes);
    m_intervalMs = qMax(0, intervalMs);
}

void TestWebService::setOverride(const QString &path, const Response &response, bool checkAuth)
{
    m_overrides.insert(path, {response, checkAuth});
}

void TestWebService::clearOverrides()
{
    m_overrides.clear();
    m_redirects.clear();
}

void TestWebService::setRedirects(const QString &path, int hops, int status,
                                  const QByteArray &target)
{
    m_redirects.insert(path, {qMax(1, hops), status, target});
}

QByteArray TestWebService::sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

TestWebService::Request *TestWebService::findRequest(int id)
{
    for (Request &request : m_requests)
        if (request.id == id)
            return &request;
    return nullptr;
}

TestWebService::Response TestWebService::answer(Request &request)
{
    request.id = m_nextId++;
    const Response response = respond(request);
    request.status = response.status;
    if (response.status >= 400)
        request.detail = QJsonDocument::fromJson(response.body)
                             .object()
                             .value(QLatin1String("detail"))
                             .toString()
                             .toUtf8();
    m_requests.append(request);
    emit requestReceived(request);
    return response;
}

TestWebService::Response TestWebService::respond(const Request &request)
{
    // The hops after the first and the mirror are asked for unsigned, as a
    // client that follows a redirect asks.
    static const QRegularExpression hop(QStringLiteral("^/redirect/(\\d+)(/.*)$"));
    const QRegularExpressionMatch hopMatch = hop.match(request.path);
    if (hopMatch.hasMatch())
        return redirect(request, hopMatch.captured(2), hopMatch.captured(1).toInt());
    const QString mirror = QStringLiteral("/mirror");
    const bool mirrored = request.path.startsWith(mirror + QLatin1Char('/'));
    const QString path = mirrored ? request.path.mid(mirror.size()) : request.path;

    const auto override = m_overrides.constFind(path);
    if (!mirrored && (override == m_overrides.constEnd() || override->second)) {
        bool authenticated = false;
        const Response refusal = authenticate(request, &authenticated);
        if (!authenticated)
            return refusal;
    }
    if (!mirrored && m_redirects.contains(path))
        return redirect(request, path, m_redirects.value(path).hops);
    if (override != m_overrides.constEnd())
        return override->first;
    Request routed = request;
    routed.path = path;
    return route(routed);
}

TestWebService::Response TestWebService::redirect(const Request &request, const QString &path,
                                                  int hopsLeft) const
{
    const Redirect how = m_redirects.value(path);
    const QByteArray encodedPath = QUrl::toPercentEncoding(path, "/");
    QByteArray location = how.target;
    if (hopsLeft > 1 || location.isEmpty()) {
        // Relative on the way, absolute at the end, as servers write either.
        location = hopsLeft > 1 ? "/redirect/" + QByteArray::number(hopsLeft - 1) + encodedPath
                                : rootUrl().toUtf8() + "/mirror" + encodedPath;
        if (!request.query.isEmpty())
            location += '?' + request.query;
    }

    Response response;
    response.status = how.status;
    response.headers = {{"Location", location}, {"Content-Type", "text/html"}};
    // A body of its own, which is not the answer's.
    response.body = "<html><body>Moved</body></html>";
    return response;
}

TestWebService::Response TestWebService::authenticate(const Request &request, bool *ok)
{
    *ok = false;
    for (const char *name : {"x-app-id", "x-timestamp", "x-nonce", "x-signature"})
        if (!request.headers.contains(name))
            return detail(403, QStringLiteral("Missing header: ") + QLatin1String(name));
    const QByteArray appId = request.headers.value("x-app-id");
    if (appId != m_appId.toUtf8())
        return detail(403, QStringLiteral("Unknown app id"));

    const QByteArray timestampText = request.headers.value("x-timestamp");
    bool numeric = false;
    const qint64 timestamp = timestampText.toLongLong(&numeric);
    if (!numeric || qAbs(QDateTime::currentSecsSinceEpoch() - timestamp) > m_maxSkew)
        return detail(403, QStringLiteral("Timestamp outside the accepted window"));

    const QByteArray nonce = request.headers.value("x-nonce");
    if (m_nonces.contains(nonce))
        return detail(403, QStringLiteral("Nonce already used"));

    // A GET signs its query fully encoded, as it goes over the wire; a POST
    // signs the query in its default, pretty-decoded form.
    const QByteArray query =
        request.method == "POST"
            ? QUrl::fromEncoded(request.target).query(QUrl::PrettyDecoded).toUtf8()
            : request.query;
    QByteArray message = appId + '\n' + timestampText + '\n' + nonce + '\n' + request.method +
                         '\n' + request.path.toUtf8() + '\n' + query + '\n';
    message += request.body;
    const QByteArray expected =
        "v1=" +
        QMessageAuthenticationCode::hash(message, m_secret, QCryptographicHash::Sha256).toHex();
    if (request.headers.value("x-signature") != expected)
        return detail(403, QStringLiteral("Invalid signature"));

    m_nonces.insert(nonce);
    *ok = true;
    return {};
}

TestWebService::Response TestWebService::route(const Request &request) const
{
    const QString calibration = m_prefix + QStringLiteral("/get_calibration");
    const QString version = m_prefix + QStringLiteral("/installer/version");
    const QString installer = m_prefix + QStringLiteral("/installer");
    const QString health = m_prefix + QStringLiteral("/health");
    const QStringList known{calibration, version, installer, health};
    if (!known.contains(request.path))
        return detail(404, QStringLiteral("Not Found"));
    if (request.method != "GET")
        return detail(405, QStringLiteral("Method Not Allowed"));

    if (request.path == calibration) {
        const QUrlQuery query(QString::fromUtf8(request.query));
        if (!query.hasQueryItem(QStringLiteral("barcode")))
            return detail(422, QStringLiteral("Missing barcode"));
        const QString barcode = query.queryItemValue(QStringLiteral("barcode"), QUrl::FullyDecoded);
        if (!m_barcodes.contains(barcode))
            return detail(404, QStringLiteral("Barcode not found"));
        return json(200, QJsonObject{{QStringLiteral("cal_expiry"), m_barcodes.value(barcode)}});
    }
    if (request.path == version)
        return json(200, QJsonObject{{QStringLiteral("version"), m_version}});
    if (request.path == health)
        return json(200, QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}});

    Response response;
    response.headers = {{"Content-Type", "application/octet-stream"}};
    QByteArray hash = sha256Hex(m_installer);
    if (m_hashMode == HashMode::UpperCase)
        hash = hash.toUpper();
    else if (m_hashMode == HashMode::Wrong)
        hash[0] = hash.at(0) == '0' ? '1' : '0';
    if (m_hashMode != HashMode::Missing)
        response.headers.append({"x-file-hash", hash});
    response.body = m_installer;
    response.paced = true;
    return response;
}
