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
        m_fieldReadings.last()->setSixMinAvg(latestReadingAverage(360));
}

void FieldDataEntry::updateLatestReadingThirtyMinAvg()
{
    if (!m_fieldReadings.isEmpty())
        m_fieldReadings.last()->setThirtyMinAvg(latestReadingAverage(1800));
}

// Time-weighted average over the window ending at the newest reading; each reading's
// value holds until the next one, and time before the first reading counts as noise floor.
double FieldDataEntry::latestReadingAverage(qint64 window) const
{
    const double floor = noiseFloor();
    const qsizetype newest = m_fieldReadings.size() - 1;
    if (newest < 1)
        return floor;
    const QDateTime end = m_fieldReadings.at(newest)->dateTime();
    double sum = 0.0;
    for (qsizetype i = newest - 1; i >= 0; --i) {
        const FieldReading *reading = m_fieldReadings.at(i);
        const qint64 age = reading->dateTime().secsTo(end);
        const double value = reading->MaxField();
        sum += value * double(reading->dateTime().secsTo(m_fieldReadings.at(i + 1)->dateTime()));
        if (age < window && i == 0) {
            sum += floor * double(window - age);
            return sum / double(window);
        }
        if (age >= window) {
            sum -= value * double(age - window);
            return sum / double(window);
        }
    }
    return floor;
}
