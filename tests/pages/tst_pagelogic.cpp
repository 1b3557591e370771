// The pages' pure helpers, run by the QML engine as the pages run them: file
// URLs for the terms document and the save dialog's filters.
#include "contentscript.h"

#include <QDir>
#include <QJSValue>
#include <QTest>
#include <QUrl>

class TestPageLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void termsDocumentUrl_data();
    void termsDocumentUrl();
    void pathSurvivesTheRoundTrip();
    void installerFilters();

private:
    ContentScript m_script;
    ContentScript m_fileUrl;
};

void TestPageLogic::initTestCase()
{
    QVERIFY2(m_script.load(QStringLiteral("PageLogic.mjs")), qPrintable(m_script.error()));
    QVERIFY2(m_fileUrl.load(QStringLiteral("FileUrl.mjs")), qPrintable(m_fileUrl.error()));
}

void TestPageLogic::termsDocumentUrl_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");
    QTest::newRow("linux") << "/home/ann/tools"
                           << "file:///home/ann/tools/T%26Cs.pdf";
    QTest::newRow("windows") << "C:/Program Files/Q"
                             << "file:///C:/Program%20Files/Q/T%26Cs.pdf";
    QTest::newRow("backslashes") << "C:\\Tools"
                                 << "file:///C:/Tools/T%26Cs.pdf";
    QTest::newRow("trailing slash") << "/opt/q/"
                                    << "file:///opt/q/T%26Cs.pdf";
    QTest::newRow("root") << "/"
                          << "file:///T%26Cs.pdf";
    QTest::newRow("share") << "//server/docs"
                           << "file://server/docs/T%26Cs.pdf";
    QTest::newRow("odd characters") << "/tmp/a#b?c&d"
                                    << "file:///tmp/a%23b%3Fc%26d/T%26Cs.pdf";
}

void TestPageLogic::termsDocumentUrl()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    const QString url = m_script.call(QStringLiteral("termsDocumentUrl"), {folder}).toString();
    QCOMPARE(url, expected);
    // Whatever the folder, the URL names T&Cs.pdf inside it.
    const QUrl parsed(url, QUrl::StrictMode);
    QVERIFY(parsed.isValid());
    QVERIFY(parsed.isLocalFile());
    QCOMPARE(parsed.fileName(), QStringLiteral("T&Cs.pdf"));
}

void TestPageLogic::pathSurvivesTheRoundTrip()
{
    // A path with awkward characters comes back unchanged from its URL.
    const QString path = QDir::tempPath() + QStringLiteral("/dl 100%/ä b&c#1.exe");
    QCOMPARE(
        QUrl(m_fileUrl.call(QStringLiteral("fileUrlFromPath"), {path}).toString()).toLocalFile(),
        path);
}

void TestPageLogic::installerFilters()
{
    // The download is the same installer wherever the program runs.
    QCOMPARE(m_script.call(QStringLiteral("installerNameFilters"), {}).toVariant().toStringList(),
             QStringList{QStringLiteral("Installer (*.exe)")});
}

QTEST_GUILESS_MAIN(TestPageLogic)
#include "tst_pagelogic.moc"
