#include "datetimeconverter.h"

#include <QDate>
#include <QTime>

DeviceDateTime DeviceDateTime::fromBytes(const uchar *bytes)
{
    return DeviceDateTime{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5]};
}

void DeviceDateTime::toBytes(uchar *bytes) const
{
    bytes[0] = year;
    bytes[1] = month;
    bytes[2] = day;
    bytes[3] = hour;
    bytes[4] = minute;
    bytes[5] = second;
}

uchar DateTimeConverter::decodeComponent(uchar bcd, uchar minimum)
{
    const uchar value = uchar(10 * (bcd >> 4) + (bcd & 0x0F));
    return value < minimum ? minimum : value;
}

uchar DateTimeConverter::encodeComponent(int value)
{
    return uchar(((value % 100) / 10) * 16 + value % 10);
}

QDateTime DateTimeConverter::fromDevice(const DeviceDateTime *d)
{
    if (!d)
        return QDateTime();
    const int day = decodeComponent(d->day & 0x3F, 1);
    const int month = decodeComponent(d->month & 0x1F, 1);
    const int century = (QDate::currentDate().year() / 100) * 100;
    const int year = decodeComponent(d->year, 0) + century;

    int hour;
    if (d->hour & 0x40) {
        hour = decodeComponent(d->hour & 0x1F, 0);
        if (!(d->hour & 0x20))
            hour += 12;
    } else {
        hour = decodeComponent(d->hour & 0x3F, 0);
    }
    const int minute = decodeComponent(d->minute & 0x7F, 0);
    const int second = decodeComponent(d->second & 0x7F, 0);

    // QDateTime would quietly turn an invalid time of a valid date into midnight.
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return QDateTime();
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

DeviceDateTime DateTimeConverter::fromQDateTime(const QDateTime *dateTime)
{
    if (!dateTime || !dateTime->isValid())
        return DeviceDateTime{};
    const QDateTime utc = dateTime->toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    return DeviceDateTime{
        encodeComponent(date.year()),   encodeComponent(date.month()),
        encodeComponent(date.day()),    encodeComponent(time.hour()),
        encodeComponent(time.minute()), uchar(encodeComponent(time.second()) | 0x80)};
}

bool DateTimeConverter::equal(const DeviceDateTime *a, const DeviceDateTime *b)
{
    if (!a || !b)
        return a == b;
    return a->year == b->year && a->month == b->month && a->day == b->day && a->hour == b->hour &&
           a->minute == b->minute && a->second == b->second;
}
