#include "fielddataentry.h"

#include "fieldreading.h"

#include <algorithm>

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

    // A reading depends only on its own bytes and those before it: the readings whose
    // bytes (and the byte that ended them) are unchanged keep their values and
    // averages, so a long live session costs only its new records.
    const uint n = uint(payload.size()) & ~1u;
    const bool sameDecoding = noiseFloor() == m_decodedNoiseFloor && dateTime() == m_decodedStart;
    // Nothing new: the listeners (five plot series of a long session) need not rebuild.
    if (sameDecoding && !m_readingEnds.isEmpty() &&
        QByteArrayView(payload).first(n) == m_decodedPayload) {
        setLoaded(true);
        return;
    }
    qsizetype kept = 0;
    if (sameDecoding) {
        const auto *begin = payload.cbegin();
        const qsizetype same =
            std::mismatch(begin, begin + n, m_decodedPayload.cbegin(), m_decodedPayload.cend())
                .first -
            begin;
        kept = std::lower_bound(m_readingEnds.cbegin(), m_readingEnds.cend(), uint(same)) -
               m_readingEnds.cbegin();
    }
    m_fieldReadings = previous.first(kept);
    m_readingEnds.resize(kept);

    const auto *data = reinterpret_cast<const uint8_t *>(payload.constData());
    QDateTime last = kept > 0 ? m_fieldReadings.last()->dateTime() : dateTime();
    uint index = kept > 0 ? m_readingEnds.last() : 0;
    while (index < n && data[index] != 0xFF) {
        FieldReading *reading = m_fieldReadings.size() < previous.size()
                                    ? previous.at(m_fieldReadings.size())
                                    : new FieldReading(this, m_isPublic);
        reading->loadFromData(last, data, index, n);
        last = reading->dateTime();
        m_fieldReadings.append(reading);
        m_readingEnds.append(index);
        updateLatestReadingSixMinAvg();
        updateLatestReadingThirtyMinAvg();
    }
    // Readings no longer listed may still be in a reader's hands until control returns.
    for (qsizetype i = m_fieldReadings.size(); i < previous.size(); ++i)
        previous.at(i)->deleteLater();
    m_decodedPayload = payload.first(n);
    m_decodedNoiseFloor = noiseFloor();
    m_decodedStart = dateTime();

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
