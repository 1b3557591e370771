#pragma once

#include "frelkit_global.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

class QClipboard;

// The system clipboard for QML: text both ways, and plot pictures given as
// PNG data URLs.
class FRELKIT_EXPORT Clipboard : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ getText WRITE setText RESET clear NOTIFY dataChanged)

public:
    explicit Clipboard(QObject *parent = nullptr);

    Q_INVOKABLE void setText(const QString &text);
    Q_INVOKABLE QString getText() const;
    Q_INVOKABLE void clear();
    Q_INVOKABLE void copyBase64Image(const QString &base64Data);

signals:
    void dataChanged();
    void imageCopied();
    void error(const QString &error);

private slots:
    void onDataChanged();

private:
    QClipboard *clipboard;
};
