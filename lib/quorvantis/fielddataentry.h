#pragma once

#include "dataentry.h"
#include "fieldreading.h"
#include "quorvantis_global.h"

#include <QList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// A session of field readings.
class QUORVANTIS_EXPORT FieldDataEntry : public DataEntry
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("DataEntries cannot be instantiated, they will be provided by the "
                    "FetchDataEntries packet type.")
    Q_PROPERTY(QList<FieldReading *> fieldReadings READ fieldReadings NOTIFY fieldReadingsChanged)

public:
    FieldDataEntry(QDateTime dateTime, ulong absoluteAddress, bool isPublic,
                   QObject *parent = nullptr);

    QList<FieldReading *> fieldReadings() const { return m_fieldReadings; }
    QVariantList fieldReadingsVariantList() const;
    bool isFieldDataPublic() const { return m_isPublic; }

    void updateLatestReadingSixMinAvg();
    void updateLatestReadingThirtyMinAvg();

signals:
    void fieldReadingsChanged();

protected:
    void onDataAvailable(QByteArray payload, bool finished) override;

private:
    QList<FieldReading *> m_fieldReadings;
    // What the readings were decoded from, and where each reading's bytes end.
    QByteArray m_decodedPayload;
    QList<uint> m_readingEnds;
    double m_decodedNoiseFloor = 0.0;
    QDateTime m_decodedStart;
    bool m_isPublic = false;
};
