#include "plotsaver.h"

#include "dataurl.h"
#include "wholefile.h"

#include <QBuffer>
#include <QDebug>
#include <QFileInfo>
#include <QImage>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The bytes a data URL's payload stands for. Only well-formed escapes are
// decoded: an unencoded payload may hold a plain '%', as in a "50%" label.
QByteArray percentDecoded(const QString &payload)
{
    const QByteArray text = payload.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text.at(i) == '%' ? hexDigit(text.at(i + 1)) : -1;
        const int low = high >= 0 ? hexDigit(text.at(i + 2)) : -1;
        if (low < 0) {
            bytes.append(text.at(i));
            continue;
        }
        bytes.append(char(high * 16 + low));
        i += 2;
    }
    return bytes;
}

} // namespace

PlotSaver::PlotSaver(QObject *parent) : QObject(parent) {}

void PlotSaver::saveImageData(const QString &dataUrl, const QString &filePath)
{
    const QString path = wholefile::localPathOf(filePath);
    const QString suffix = QFileInfo(path).suffix().toUpper();
    const QString payload = frelkit::dataUrlPayload(dataUrl);

    // Written whole or not at all, so a failed save never leaves half a
    // picture where an older file stood.
    const auto save = [&path](const QByteArray &bytes) {
        const wholefile::Result result =
            wholefile::write(path, bytes, wholefile::Existing::Replace, wholefile::Links::Follow);
        if (!result.ok())
            qWarning().noquote() << "Plot image not saved to" << path << ':' << result.error;
        return result.ok();
    };

    if (suffix == QLatin1String("SVG")) {
        if (!save(percentDecoded(payload))) {
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
        QByteArray encoded;
        QBuffer buffer(&encoded);
        if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, jpeg ? "JPEG" : "PNG") ||
            !save(encoded)) {
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
