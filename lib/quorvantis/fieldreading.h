#pragma once

#include "quorvantis_global.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <cstdint>

// One sample of a field-reading entry: time, E and H values (percent of the
// exposure limit), the alarm state they give and the averages ending at it.
class QUORVANTIS_EXPORT FieldReading : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QDateTime dateTime READ dateTime WRITE writeDateTime NOTIFY readingChanged)
    Q_PROPERTY(double EField READ EField WRITE writeEField NOTIFY readingChanged)
    Q_PROPERTY(double HField READ HField WRITE writeHField NOTIFY readingChanged)

public:
    FieldReading(QObject *parent, bool isPublic);
    FieldReading(QDateTime dateTime, double eField, double hField, QObject *parent);
    FieldReading(QDateTime dateTime, double eField, double hField, bool isPublic, QObject *parent);

    QDateTime dateTime() const { return m_dateTime; }
    // The same instant as a plain number, kept beside dateTime: comparing
    // local date-times costs a time-zone lookup each time.
    qint64 msecsSinceEpoch() const { return m_msecsSinceEpoch; }
    double EField() const { return m_eField; }
    double HField() const { return m_hField; }
    double MaxField() const { return m_eField > m_hField ? m_eField : m_hField; }
    int AlarmState() const { return m_alarmState; }
    bool IsFieldReadingPublic() const { return m_isPublic; }
    double SixMinAvg() const { return m_sixMinAvg; }
    double ThirtyMinAvg() const { return m_thirtyMinAvg; }

    // Value of one stored byte: 0.01 decade per step down from 200 (1000 public).
    static double decodeValue(uint8_t value, bool isPublic);
    static int alarmStateFor(double maxField, bool isPublic);

    // Time-weighted average over `windowSeconds` ending at the newest reading
    // (the last one); each reading's value holds until the next one, and the
    // part of the window before the first reading is padded with `noiseFloor`.
    static double timeWeightedAverage(const QList<FieldReading *> &readings, int windowSeconds,
                                      double noiseFloor);

public slots:
    // Decodes the record at `index` of `data` (`size` bytes) and leaves
    // `index` on the first byte of the next record; never reads past `size`.
    void loadFromData(QDateTime lastTime, const uint8_t *data, uint &index, uint size);
    void setAlarmState();
    void setSixMinAvg(double average) { m_sixMinAvg = average; }
    void setThirtyMinAvg(double average) { m_thirtyMinAvg = average; }
    void setDateTime(QDateTime dateTime);
    void setFields(double eField, double hField);

signals:
    void readingChanged();

protected:
    QDateTime m_dateTime;
    double m_eField = 0.0;
    double m_hField = 0.0;
    int m_alarmState = 0;
    bool m_isPublic = false;
    double m_sixMinAvg = 0.0;
    double m_thirtyMinAvg = 0.0;

    // For subclasses that assign m_dateTime themselves.
    void timeChanged();

private:
    qint64 m_msecsSinceEpoch = 0;

    void writeDateTime(const QDateTime &dateTime);
    void writeEField(double value);
    void writeHField(double value);
};
