#include "clipboard.h"
#include "fulldisk.h"
#include "plotsaver.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage picture()
{
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 10));
    image.setPixelColor(0, 0, Qt::white);
    return image;
}

// Too large for a full disk, small enough for a write buffer.
QImage noisyPicture()
{
    QImage image(40, 40, QImage::Format_RGB32);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(image.bits()), image.sizeInBytes() / 4);
    return image;
}

QString dataUrl(const QImage &image, const char *format, const QString &mediaType)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return "data:" + mediaType + ";base64," + QString::fromLatin1(bytes.toBase64());
}

const QString svgText =
    QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\">"
                   "<text x=\"1\" y=\"9\">E-field 50% \u00b5T \u65e5, a,b</text></svg>");

QString svgDataUrl()
{
    return "data:image/svg+xml;charset=utf-8," +
           QString::fromLatin1(QUrl::toPercentEncoding(svgText));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestImageExport : public QObject
{
    Q_OBJECT

private slots:
    void savesEachFormat_data();
    void savesEachFormat();
    void replacesAnExistingSvg();
    void acceptsFileUrls();
    void reportsFailures_data();
    void reportsFailures();
    void triggerErrorPassesTheText();

    void clipboardText();
    void clipboardImage();
    void clipboardRejectsWhatIsNotPng_data();
    void clipboardRejectsWhatIsNotPng();

private:
    QTemporaryDir dir;
};

void TestImageExport::savesEachFormat_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("png") << dataUrl(picture(), "PNG", "image/png") << "plot.png"
                         << QByteArray("png");
    QTest::newRow("jpeg") << dataUrl(picture(), "JPEG", "image/jpeg") << "plot.jpeg"
                          << QByteArray("jpeg");
    QTest::newRow("jpg") << dataUrl(picture(), "JPEG", "image/jpeg") << "plot.jpg"
                         << QByteArray("jpeg");
    QTest::newRow("upper-case jpg")
        << dataUrl(picture(), "JPEG", "image/jpeg") << "PLOT.JPG" << QByteArray("jpeg");
    QTest::newRow("upper-case suffix")
        << dataUrl(picture(), "PNG", "image/png") << "PLOT.PNG" << QByteArray("png");
    // The media type is not looked at; the suffix alone decides.
    QTest::newRow("media type ignored")
        << dataUrl(picture(), "PNG", "image/jpeg") << "other.png" << QByteArray("png");
    QTest::newRow("svg") << svgDataUrl() << "plot.svg" << QByteArray("svg");
    QTest::newRow("mixed-case svg") << svgDataUrl() << "plot.Svg" << QByteArray("svg");
    QTest::newRow("svg text not encoded")
        << "data:image/svg+xml;charset=utf-8," + svgText << "raw.svg" << QByteArray("svg");
}

void TestImageExport::savesEachFormat()
{
    QFETCH(QString, url);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, format);

    PlotSaver saver;
    QSignalSpy saved(&saver, &PlotSaver::imageSaved);
    QSignalSpy failed(&saver, &PlotSaver::error);
    const QString path = dir.filePath(fileName);
    saver.saveImageData(url, path);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(saved.count(), 1);

    if (format == "svg") {
        QCOMPARE(QString::fromUtf8(contents(path)), svgText);
        return;
    }
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(6, 4));
    if (format == "png")
        QCOMPARE(image.convertToFormat(QImage::Format_RGB32), picture());
}

void TestImageExport::replacesAnExistingSvg()
{
    const QString path = dir.filePath("again.svg");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'z'));
    }
    PlotSaver saver;
    saver.saveImageData(svgDataUrl(), path);
    QCOMPARE(QString::fromUtf8(contents(path)), svgText);
}

void TestImageExport::acceptsFileUrls()
{
    PlotSaver saver;
    QSignalSpy saved(&saver, &PlotSaver::imageSaved);
    const QString png = dir.filePath("url plot.png");
    const QString svg = dir.filePath("url plot.svg");
    saver.saveImageData(dataUrl(picture(), "PNG", "image/png"),
                        QUrl::fromLocalFile(png).toString());
    saver.saveImageData(svgDataUrl(), QUrl::fromLocalFile(svg).toString());
    QCOMPARE(saved.count(), 2);
    QVERIFY(QImage(png).size() == QSize(6, 4));
    QCOMPARE(QString::fromUtf8(contents(svg)), svgText);
}

void TestImageExport::reportsFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");

    const QString png = dataUrl(picture(), "PNG", "image/png");
    const QString missing = dir.filePath("no/such/folder/");
    QTest::newRow("jpe") << png << dir.filePath("plot.jpe") << "JPE is not a supported file type";
    QTest::newRow("no suffix") << png << dir.filePath("plot") << " is not a supported file type";
    QTest::newRow("gif") << png << dir.filePath("plot.gif") << "GIF is not a supported file type";
    QTest::newRow("broken base64")
        << "data:image/png;base64,@@@not-base64@@@" << dir.filePath("broken.png")
        << "Failed to load image from base64 data";
    QTest::newRow("no comma") << "data:image/png" << dir.filePath("nocomma.png")
                              << "Failed to load image from base64 data";
    QTest::newRow("png into jpeg")
        << png << dir.filePath("mismatch.jpeg") << "Failed to load image from base64 data";
    QTest::newRow("png into jpg") << png << dir.filePath("mismatch.jpg")
                                  << "Failed to load image from base64 data";
    QTest::newRow("png folder missing") << png << missing + "plot.png"
                                        << "Failed to save image to " + missing + "plot.png";
    QTest::newRow("svg folder missing") << svgDataUrl() << missing + "plot.svg"
                                        << "Error saving SVG image";
    // "full:" puts an earlier file on a full disk, which a refused save leaves as it was.
    QTest::newRow("png on a full disk")
        << dataUrl(noisyPicture(), "PNG", "image/png") << "full:plot.png"
        << "Failed to save image to %path";
    QTest::newRow("svg on a full disk")
        << "data:image/svg+xml," + svgText + QString(3000, ' ') << "full:plot.svg"
        << "Error saving SVG image";
}

void TestImageExport::reportsFailures()
{
    QFETCH(QString, url);
    QFETCH(QString, path);
    QFETCH(QString, message);
    QTemporaryDir scratch;
    FullDisk disk(scratch.path());
    const QByteArray earlier = "an earlier picture";
    if (path.startsWith("full:")) {
        path = disk.path() + '/' + path.mid(5);
        message.replace("%path", path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size());
        file.close();
        if (!disk.fill())
            QSKIP("Neither a small tmpfs nor a file-size limit could be set up");
    }

    PlotSaver saver;
    QSignalSpy saved(&saver, &PlotSaver::imageSaved);
    QSignalSpy failed(&saver, &PlotSaver::error);
    if (message.startsWith("Failed to save") || message.startsWith("Error saving"))
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Plot image not saved to "));
    saver.saveImageData(url, path);
    disk.release();
    QCOMPARE(saved.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), message);
    // Nothing half-written: an earlier file whole, else no file at all.
    const bool hadEarlier = path.startsWith(disk.path());
    QCOMPARE(contents(path), hadEarlier ? earlier : QByteArray());
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), hadEarlier ? 1 : 0);
    QCOMPARE(QFile::exists(path), hadEarlier);
}

void TestImageExport::triggerErrorPassesTheText()
{
    PlotSaver saver;
    QSignalSpy failed(&saver, &PlotSaver::error);
    saver.triggerError("Image generation timed out after 1000 attempts.");
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(),
             QStringLiteral("Image generation timed out after 1000 attempts."));
}

void TestImageExport::clipboardText()
{
    Clipboard clipboard;
    QSignalSpy changed(&clipboard, &Clipboard::dataChanged);

    clipboard.setText("a,b\n1,2\n");
    QTRY_VERIFY(changed.count() >= 1);
    QCOMPARE(clipboard.getText(), QStringLiteral("a,b\n1,2\n"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a,b\n1,2\n"));

    // Changes made by anyone else notify as well.
    changed.clear();
    QGuiApplication::clipboard()->setText("from elsewhere");
    QTRY_VERIFY(changed.count() >= 1);
    QCOMPARE(clipboard.property("text").toString(), QStringLiteral("from elsewhere"));

    clipboard.setProperty("text", "through the property");
    QCOMPARE(clipboard.getText(), QStringLiteral("through the property"));
    clipboard.clear();
    QVERIFY(clipboard.getText().isEmpty());
}

void TestImageExport::clipboardImage()
{
    Clipboard clipboard;
    QSignalSpy copied(&clipboard, &Clipboard::imageCopied);
    QSignalSpy failed(&clipboard, &Clipboard::error);
    clipboard.copyBase64Image(dataUrl(picture(), "PNG", "image/png"));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(copied.count(), 1);
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             picture());
}

void TestImageExport::clipboardRejectsWhatIsNotPng_data()
{
    QTest::addColumn<QString>("url");
    QTest::newRow("jpeg") << dataUrl(picture(), "JPEG", "image/jpeg");
    QTest::newRow("svg") << svgDataUrl();
    QTest::newRow("garbage") << QStringLiteral("data:image/png;base64,AAAA");
    QTest::newRow("empty") << QString();
}

void TestImageExport::clipboardRejectsWhatIsNotPng()
{
    QFETCH(QString, url);
    Clipboard clipboard;
    clipboard.setText("kept");
    QSignalSpy copied(&clipboard, &Clipboard::imageCopied);
    QSignalSpy failed(&clipboard, &Clipboard::error);
    clipboard.copyBase64Image(url);
    QCOMPARE(copied.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(),
             QStringLiteral("Failed to load image from base64 data"));
    QCOMPARE(clipboard.getText(), QStringLiteral("kept"));
}

QTEST_MAIN(TestImageExport)
#include "tst_imageexport.moc"
