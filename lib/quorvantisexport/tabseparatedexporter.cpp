#include "tabseparatedexporter.h"

#include "fielddataentry.h"

TabSeparatedExporter::TabSeparatedExporter(QObject *parent)
    : CharacterSeparatedExporter('\t', '\n', parent)
{
    startWorker();
}

TabSeparatedExporter::~TabSeparatedExporter()
{
    stopWorker();
}

QString TabSeparatedExporter::generateName(FieldDataEntry *dataEntry)
{
    return QStringLiteral("%1.tsv").arg(
        dataEntry->dateTime().toString(QStringLiteral("yyyyMMdd HHmmss")));
}
