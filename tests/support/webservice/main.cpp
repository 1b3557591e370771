// Stand-alone local web service for end-to-end runs:
//   qv-test-webservice [--port N] [--tls] [--barcode CODE=DATE]... [--version V]
//                      [--installer-file PATH | --installer-size BYTES]
//                      [--hash correct|wrong|missing|upper] [--pace CHUNK:MS]
//                      [--redirects HOPS[:STATUS]] [--log]
// Prints "Listening on <base url>" once ready; point QUORVANTIS_API_URL at it.

#include "testwebservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local test web service"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port (0: any free)."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption tls(QStringLiteral("tls"), QStringLiteral("Serve HTTPS."));
    const QCommandLineOption barcode(QStringLiteral("barcode"),
                                     QStringLiteral("Known barcode and its expiry date."),
                                     QStringLiteral("CODE=DATE"));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Latest application version."),
                                     QStringLiteral("V"));
    const QCommandLineOption installerFile(QStringLiteral("installer-file"),
                                           QStringLiteral("Serve this file as the installer."),
                                           QStringLiteral("PATH"));
    const QCommandLineOption installerSize(QStringLiteral("installer-size"),
                                           QStringLiteral("Size of a generated installer."),
                                           QStringLiteral("BYTES"));
    const QCommandLineOption hash(QStringLiteral("hash"),
                                  QStringLiteral("Installer digest header: correct, wrong, "
                                                 "missing or upper."),
                                  QStringLiteral("MODE"), QStringLiteral("correct"));
    const QCommandLineOption pace(QStringLiteral("pace"),
                                  QStringLiteral("Send the installer in chunks every MS."),
                                  QStringLiteral("CHUNK:MS"));
    const QCommandLineOption redirects(QStringLiteral("redirects"),
                                       QStringLiteral("Answer the endpoints behind HOPS "
                                                      "redirects (302 or 307)."),
                                       QStringLiteral("HOPS[:STATUS]"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Print every request."));
    parser.addOptions(
        {port, tls, barcode, version, installerFile, installerSize, hash, pace, redirects, log});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    TestWebService service;
    for (const QString &entry : parser.values(barcode)) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            err << "--barcode needs CODE=DATE\n";
            return 2;
        }
        service.addBarcode(entry.left(equals), entry.mid(equals + 1));
    }
    if (parser.isSet(version))
        service.setVersion(parser.value(version));
    if (parser.isSet(installerFile)) {
        QFile file(parser.value(installerFile));
        if (!file.open(QIODevice::ReadOnly)) {
            err << "Cannot read " << file.fileName() << '\n';
            return 2;
        }
        service.setInstaller(file.readAll());
    } else if (parser.isSet(installerSize)) {
        QByteArray bytes = service.installer();
        bytes.resize(parser.value(installerSize).toLongLong());
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 131 + 7) & 0xff);
        service.setInstaller(bytes);
    }
    const QString hashMode = parser.value(hash);
    if (hashMode == QLatin1String("wrong"))
        service.setHashMode(TestWebService::HashMode::Wrong);
    else if (hashMode == QLatin1String("missing"))
        service.setHashMode(TestWebService::HashMode::Missing);
    else if (hashMode == QLatin1String("upper"))
        service.setHashMode(TestWebService::HashMode::UpperCase);
    else if (hashMode != QLatin1String("correct")) {
        err << "Unknown --hash mode " << hashMode << '\n';
        return 2;
    }
    if (parser.isSet(pace)) {
        const QStringList parts = parser.value(pace).split(QLatin1Char(':'));
        service.setInstallerPacing(parts.value(0).toInt(), parts.value(1).toInt());
    }
    if (parser.isSet(redirects)) {
        const QStringList parts = parser.value(redirects).split(QLatin1Char(':'));
        const int hops = parts.value(0).toInt();
        const int status = parts.value(1, QStringLiteral("302")).toInt();
        if (hops < 1 || (status != 302 && status != 307)) {
            err << "--redirects needs HOPS[:302|307]\n";
            return 2;
        }
        for (const char *endpoint : {"/get_calibration", "/installer/version", "/installer"})
            service.setRedirects(QStringLiteral("/cal") + QLatin1String(endpoint), hops, status);
    }
    if (parser.isSet(log)) {
        QObject::connect(&service, &TestWebService::requestReceived, &service,
                         [&out](const TestWebService::Request &request) {
                             out << request.status << ' ' << request.method << ' '
                                 << request.target;
                             if (!request.detail.isEmpty())
                                 out << " (" << request.detail << ')';
                             out << Qt::endl;
                         });
    }

    const quint16 requested = quint16(parser.value(port).toUInt());
    const bool listening =
        parser.isSet(tls) ? service.listenTls(requested) : service.listen(requested);
    if (!listening) {
        err << "Cannot listen on port " << requested << '\n';
        return 1;
    }
    out << "Listening on " << service.baseUrl() << Qt::endl;
    return app.exec();
}
