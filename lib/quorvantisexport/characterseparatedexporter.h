#pragma once

#include "fielddataexporter.h"
#include "quorvantisexport_global.h"

#include <QtQml/qqmlregistration.h>

// Session text with one separator character between fields and one line-end
// character after each line.
class QUORVANTISEXPORT_EXPORT CharacterSeparatedExporter : public FieldDataExporter
{
    Q_OBJECT
    QML_ANONYMOUS

public:
    CharacterSeparatedExporter(char separator, char endOfLine, QObject *parent = nullptr);

protected:
    QString generateName(FieldDataEntry *dataEntry) override = 0;
    QByteArray writeHeaders(QByteArray data, bool isPublic) override;
    QByteArray writeFieldReading(FieldReading *reading, QByteArray data) override;

    char m_separator;
    char m_endOfLine;

private:
    // Used by the worker only.
    qvexport::RowWriter m_writer;
};
