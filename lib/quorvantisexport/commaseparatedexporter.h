#pragma once

#include "characterseparatedexporter.h"
#include "quorvantisexport_global.h"

#include <QtQml/qqmlregistration.h>

// Field sessions as CSV text for the clipboard; the worker runs from construction.
class QUORVANTISEXPORT_EXPORT CommaSeparatedExporter : public CharacterSeparatedExporter
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit CommaSeparatedExporter(QObject *parent = nullptr);
    ~CommaSeparatedExporter() override;

protected:
    QString generateName(FieldDataEntry *dataEntry) override;
};
