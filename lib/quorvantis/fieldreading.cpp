#include "fieldreading.h"

#include <cmath>

FieldReading::FieldReading(QObject *parent, bool isPublic) : QObject(parent), m_isPublic(isPublic)
{}

FieldReading::FieldReading(QDateTime dateTime, double eField, double hField, QObject *parent)
    : FieldReading(dateTime, eField, hField, false, parent)
{}

FieldReading::FieldReading(QDateTime dateTime, double eField, double hField, bool isPublic,
                           QObject *parent)
    : QObject(parent), m_dateTime(dateTime), m_eField(eField), m_hField(hField),
      m_isPublic(isPublic)
{
    timeChanged();
}

double FieldReading::decodeValue(uint8_t value, bool isPublic)
{
    const double scale = isPublic ? 1000.0 : 200.0;
    return scale * std::pow(10.0, -double(value) / 100.0);
}

int FieldReading::alarmStateFor(double maxField, bool isPublic)
{
    const double high = isPublic ? 500.0 : 200.0;
    const double warning = isPublic ? 80.0 : 50.0;
    if (maxField >= high)
        return 3;
    if (maxField >= 100.0)
        return 2;
    if (maxField >= warning)
        return 1;
    return 0;
}

void FieldReading::loadFromData(QDateTime lastTime, const uint8_t *data, uint &index, uint size)
{
    if (index >= size)
        return;
    m_dateTime = lastTime.addSecs(data[index]);
    timeChanged();
    ++index;

    // Value bytes are chained by 0 separators; the first non-zero byte after a
    // value starts the next record.
    uint8_t values[2] = {0, 0};
    int count = 0;
    while (index < size) {
        if (count < 2)
            values[count] = data[index];
        ++count;
        ++index;
        if (index >= size || data[index] != 0)
            break;
        ++index; // separator
    }

    m_eField = count > 0 ? decodeValue(values[0], m_isPublic) : 0.0;
    m_hField = count > 1 ? decodeValue(values[1], m_isPublic) : 0.0;
    setAlarmState();
    emit readingChanged();
}

void FieldReading::setAlarmState()
{
    m_alarmState = alarmStateFor(MaxField(), m_isPublic);
}

void FieldReading::setDateTime(QDateTime dateTime)
{
    m_dateTime = dateTime;
    timeChanged();
}

void FieldReading::timeChanged()
{
    m_msecsSinceEpoch = m_dateTime.isValid() ? m_dateTime.toMSecsSinceEpoch() : 0;
}

void FieldReading::setFields(double eField, double hField)
{
    m_eField = eField;
    m_hField = hField;
}

double FieldReading::timeWeightedAverage(const QList<FieldReading *> &readings, int windowSeconds,
                                         double noiseFloor)
{
    const qsizetype last = readings.size() - 1;
    if (last <= 0)
        return noiseFloor;

    // Whole seconds from one reading to another, as QDateTime::secsTo counts.
    const auto secondsBetween = [](const FieldReading *from, const FieldReading *to) {
        return (to->msecsSinceEpoch() - from->msecsSinceEpoch()) / 1000;
    };
    const FieldReading *newest = readings.at(last);
    double sum = 0.0;
    for (qsizetype i = last - 1; i >= 0; --i) {
        const FieldReading *reading = readings.at(i);
        const qint64 age = secondsBetween(reading, newest);
        sum += reading->MaxField() * double(secondsBetween(reading, readings.at(i + 1)));
        if (age >= windowSeconds) {
            sum -= reading->MaxField() * double(age - windowSeconds);
            return sum / windowSeconds;
        }
        if (i == 0) {
            sum += noiseFloor * double(windowSeconds - age);
            return sum / windowSeconds;
        }
    }
    return noiseFloor;
}

void FieldReading::writeDateTime(const QDateTime &dateTime)
{
    if (m_dateTime == dateTime)
        return;
    m_dateTime = dateTime;
    timeChanged();
    emit readingChanged();
}

void FieldReading::writeEField(double value)
{
    if (m_eField == value)
        return;
    m_eField = value;
    emit readingChanged();
}

void FieldReading::writeHField(double value)
{
    if (m_hField == value)
        return;
    m_hField = value;
    emit readingChanged();
}
