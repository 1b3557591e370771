#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QSslCertificate>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A stand-in for the maker's web service on 127.0.0.1, over HTTP or HTTPS.
// It checks requests as the real service would (headers, app id, signature,
// clock skew, reused nonces), answers the calibration, version and installer
// endpoints, and records every request it sees.
class TestWebService : public QObject
{
    Q_OBJECT

public:
    enum class HashMode
    {
        Correct,
        Wrong,
        Missing,
        UpperCase
    };

    struct Response
    {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        bool paced = false;         // sent with the installer pacing
        bool stall = false;         // never answered; the connection stays open
        bool endless = false;       // a chunked body that never ends, sent as fast as it goes
        int trickleMs = 0;          // the body one byte at a time, this far apart
        qint64 declaredLength = -1; // a Content-Length other than the body's, then a hang-up
    };

    struct Request
    {
        int id = 0;
        QByteArray method;
        QByteArray target;                     // the request target exactly as sent
        QString path;                          // percent-decoded path
        QByteArray query;                      // as sent, without the '?'
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        int status = 0;         // status of the answer
        QByteArray detail;      // "detail" of an error answer
        bool completed = false; // the whole answer went out
    };

    explicit TestWebService(QObject *parent = nullptr);
    ~TestWebService() override;

    // Plain HTTP on 127.0.0.1; port 0 picks a free one.
    bool listen(quint16 port = 0);
    // HTTPS with the bundled certificate for 127.0.0.1 (see trustCertificate).
    bool listenTls(quint16 port = 0);
    void close();
    quint16 port() const;
    bool isTls() const { return m_tls; }
    // scheme://127.0.0.1:port, and the same followed by the path prefix.
    QString rootUrl() const;
    QString baseUrl() const;

    // Makes the bundled certificate trusted by this process's TLS clients.
    static void trustCertificate();
    static QSslCertificate certificate();

    static QString defaultAppId();
    static QString defaultSecret();

    void setAppId(const QString &appId) { m_appId = appId; }
    void setSecret(const QString &secret) { m_secret = secret.toUtf8(); }
    void setPrefix(const QString &prefix) { m_prefix = prefix; }
    void setMaxClockSkew(int seconds) { m_maxSkew = seconds; }

    void addBarcode(const QString &barcode, const QString &calExpiry);
    void setVersion(const QString &version) { m_version = version; }
    void setInstaller(const QByteArray &bytes) { m_installer = bytes; }
    QByteArray installer() const { return m_installer; }
    void setHashMode(HashMode mode) { m_hashMode = mode; }
    // Sends the installer body in chunks of chunkBytes every intervalMs;
    // chunkBytes 0 sends it at once.
    void setInstallerPacing(int chunkBytes, int intervalMs);

    // Answers the decoded path (prefix included) with a fixed response, after
    // the authentication checks or, with checkAuth false, instead of them.
    void setOverride(const QString &path, const Response &response, bool checkAuth = true);
    void clearOverrides();

    // Answers the signed request for path with hops redirects in a row (302
    // or 307, the later hops unsigned) before its answer, which then comes
    // unsigned from a mirror of this service, as from a download host; with a
    // target the last hop points there instead.
    void setRedirects(const QString &path, int hops, int status = 302,
                      const QByteArray &target = QByteArray());

    QList<Request> requests() const { return m_requests; }
    int requestCount() const { return m_requests.size(); }
    void clearRequests() { m_requests.clear(); }

    static QByteArray sha256Hex(const QByteArray &data);

signals:
    void requestReceived(const TestWebService::Request &request);
    // An answer was cut short because the client went away.
    void answerAborted(const QString &path);

private:
    class Connection;
    friend class Connection;

    bool startListening(QTcpServer *server, quint16 port, bool tls);
    void acceptPending();
    struct Redirect
    {
        int hops = 1;
        int status = 302;
        QByteArray target;
    };

    Response answer(Request &request);
    Response respond(const Request &request);
    Response redirect(const Request &request, const QString &path, int hopsLeft) const;
    Response authenticate(const Request &request, bool *ok);
    Response route(const Request &request) const;
    Request *findRequest(int id);

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QString m_appId;
    QByteArray m_secret;
    QString m_prefix = QStringLiteral("/cal");
    int m_maxSkew = 300;
    QMap<QString, QString> m_barcodes;
    QString m_version = QStringLiteral("1.0.0");
    QByteArray m_installer;
    HashMode m_hashMode = HashMode::Correct;
    int m_chunkBytes = 0;
    int m_intervalMs = 0;
    QHash<QString, QPair<Response, bool>> m_overrides;
    QHash<QString, Redirect> m_redirects;
    QSet<QByteArray> m_nonces;
    QList<Request> m_requests;
    int m_nextId = 1;
};

Q_DECLARE_METATYPE(TestWebService::Request)
