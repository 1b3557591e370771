#include "fielddataentry.h"

#include "fieldreading.h"

FieldDataEntry::FieldDataEntry(QDateTime dateTime, ulong absoluteAddress, bool isPublic,
                               QObject *parent)
    : DataEntry(Field, dateTime, absoluteAddress, parent), m_isPublic(isPublic)
{}

QVariantList FieldDataEntry::fieldReadingsVariantList() const
{
    QVariantList list;
    list.reserve(m_fieldReadings.size());
    for (FieldReading *reading : m_fieldReadings)
        list.append(QVariant::fromValue(reading));
    return list;
}

void FieldDataEntry::onDataAvailable(QByteArray payload, bool)
{
    // The live session is decoded again every second with all its bytes: reuse the
    // reading objects of the last pass instead of piling up new ones. A reused reading
    // is the same record decoded again, so whoever holds it still sees the right values.
    const QList<FieldReading *> previous = m_fieldReadings;
    m_fieldReadings.clear();

    const uint n = uint(payload.size()) & ~1u;
    const auto *data = reinterpret_cast<const uint8_t *>(payload.constData());
    QDateTime last = dateTime();
    uint index = 0;
    while (index < n && data[index] != 0xFF) {
        FieldReading *reading = m_fieldReadings.size() < previous.size()
                                    ? previous.at(m_fieldReadings.size())
                                    : new FieldReading(this, m_isPublic);
        reading->loadFromData(last, data, index, n);
        last = reading->dateTime();
        m_fieldReadings.append(reading);
        updateLatestReadingSixMinAvg();
        updateLatestReadingThirtyMinAvg();
    }
    // Readings no longer listed may still be in a reader's hands until control returns.
    for (qsizetype i = m_fieldReadings.size(); i < previous.size(); ++i)
        previous.at(i)->deleteLater();

    setLoaded(true);
    emit fieldReadingsChanged();
}

void FieldDataEntry::updateLatestReadingSixMinAvg()
{
    if (!m_fieldReadings.isEmpty())
        m_fieldReadings.last()->setSixMinAvg(
            FieldReading::timeWeightedAverage(m_fieldReadings, 360, noiseFloor()));
}

void FieldDataEntry::updateLatestReadingThirtyMinAvg()
{
    if (!m_fieldReadings.isEmpty())
        m_fieldReadings.last()->setThirtyMinAvg(
            FieldReading::timeWeightedAverage(m_fieldReadings, 1800, noiseFloor()));
}
