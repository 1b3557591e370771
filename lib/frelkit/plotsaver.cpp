#include "plotsaver.h"

#include "dataurl.h"
#include "localpath.h"

#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QUrl>

PlotSaver::PlotSaver(QObject *parent) : QObject(parent) {}

void PlotSaver::saveImageData(const QString &dataUrl, const QString &filePath)
{
    const QString path = frelkit::localPath(filePath);
    const QString suffix = QFileInfo(path).suffix().toUpper();
    const QString payload = frelkit::dataUrlPayload(dataUrl);

    if (suffix == QLatin1String("SVG")) {
        // Written through a temporary file so that a failed write never leaves
        // half a picture where an older file stood.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QUrl::fromPercentEncoding(payload.toLatin1()).toUtf8()) < 0 ||
            !file.commit()) {
            emit error(QStringLiteral("Error saving SVG image"));
            return;
        }
        emit imageSaved();
        return;
    }

    // "jpg" is the usual spelling of a JPEG file's suffix.
    const bool jpeg = suffix == QLatin1String("JPEG") || suffix == QLatin1String("JPG");
    if (suffix == QLatin1String("PNG") || jpeg) {
        QImage image;
        if (!image.loadFromData(QByteArray::fromBase64(payload.toLatin1()),
                                jpeg ? "JPEG" : "PNG")) {
            emit error(QStringLiteral("Failed to load image from base64 data"));
            return;
        }
        if (!image.save(path)) {
            emit error(QStringLiteral("Failed to save image to ") + path);
            return;
        }
        emit imageSaved();
        return;
    }

    emit error(suffix + QStringLiteral(" is not a supported file type"));
}

void PlotSaver::triggerError(const QString &err)
{
    emit error(err);
}
