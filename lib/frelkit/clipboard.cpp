#include "clipboard.h"

#include "dataurl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

Clipboard::Clipboard(QObject *parent) : QObject(parent), clipboard(QGuiApplication::clipboard())
{
    connect(clipboard, &QClipboard::dataChanged, this, &Clipboard::onDataChanged);
}

void Clipboard::setText(const QString &text)
{
    clipboard->setText(text, QClipboard::Clipboard);
}

QString Clipboard::getText() const
{
    return clipboard->text(QClipboard::Clipboard);
}

void Clipboard::clear()
{
    clipboard->clear(QClipboard::Clipboard);
}

void Clipboard::copyBase64Image(const QString &base64Data)
{
    const QByteArray bytes = QByteArray::fromBase64(frelkit::dataUrlPayload(base64Data).toLatin1());
    QImage image;
    if (!image.loadFromData(bytes, "PNG")) {
        emit error(QStringLiteral("Failed to load image from base64 data"));
        return;
    }
    clipboard->setImage(image, QClipboard::Clipboard);
    emit imageCopied();
}

void Clipboard::onDataChanged()
{
    emit dataChanged();
}
