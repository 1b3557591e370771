#include "characterseparatedexporter.h"

#include "fieldreading.h"

CharacterSeparatedExporter::CharacterSeparatedExporter(char separator, char endOfLine,
                                                       QObject *parent)
    : FieldDataExporter(parent), m_separator(separator), m_endOfLine(endOfLine),
      m_writer(QByteArray(1, separator), QByteArray(1, endOfLine), qvexport::NumberStyle::Fixed4)
{}

QByteArray CharacterSeparatedExporter::writeHeaders(QByteArray data, bool isPublic)
{
    m_writer.appendHeading(data, isPublic);
    return data;
}

QByteArray CharacterSeparatedExporter::writeFieldReading(FieldReading *reading, QByteArray data)
{
    m_writer.appendRow(data, reading->dateTime(), reading->MaxField(), reading->EField(),
                       reading->HField(), reading->AlarmState(), reading->SixMinAvg(),
                       reading->ThirtyMinAvg());
    return data;
}
