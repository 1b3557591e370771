#pragma once

#include "characterseparatedexporter.h"
#include "quorvantisexport_global.h"

#include <QtQml/qqmlregistration.h>

// Field sessions as TSV text for the clipboard; the worker runs from construction.
class QUORVANTISEXPORT_EXPORT TabSeparatedExporter : public CharacterSeparatedExporter
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit TabSeparatedExporter(QObject *parent = nullptr);
    ~TabSeparatedExporter() override;

protected:
    QString generateName(FieldDataEntry *dataEntry) override;
};
