#include "commaseparatedexporter.h"

#include "fielddataentry.h"

CommaSeparatedExporter::CommaSeparatedExporter(QObject *parent)
    : CharacterSeparatedExporter(',', '\n', parent)
{
    startWorker();
}

CommaSeparatedExporter::~CommaSeparatedExporter()
{
    stopWorker();
}

QString CommaSeparatedExporter::generateName(FieldDataEntry *dataEntry)
{
    return QStringLiteral("%1.csv").arg(
        dataEntry->dateTime().toString(QStringLiteral("yyyyMMdd HHmmss")));
}
