#pragma once

#include "frelkit_global.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

// Writes a plot picture, given as a data URL, to a PNG, JPEG or SVG file; the
// file's suffix (png, jpeg or jpg, svg) picks the format.
class FRELKIT_EXPORT PlotSaver : public QObject
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit PlotSaver(QObject *parent = nullptr);

    // filePath may be a local path or a "file:" URL.
    Q_INVOKABLE void saveImageData(const QString &dataUrl, const QString &filePath);
    Q_INVOKABLE void triggerError(const QString &err);

signals:
    void imageSaved();
    void error(const QString &error);
};
