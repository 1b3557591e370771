#pragma once

#include "quorvantis_global.h"

#include <QDateTime>
#include <cstdint>

// The instrument's clock format: six BCD bytes in UTC.
struct DeviceDateTime
{
    uchar year = 0;   // within the century
    uchar month = 0;  // masked with 0x1F
    uchar day = 0;    // masked with 0x3F
    uchar hour = 0;   // bit 6: 12-hour form, bit 5: half-day flag in that form
    uchar minute = 0; // masked with 0x7F
    uchar second = 0; // bit 7 set when the host writes the time

    static DeviceDateTime fromBytes(const uchar *bytes);
    void toBytes(uchar *bytes) const;
};
static_assert(sizeof(DeviceDateTime) == 6, "DeviceDateTime is six packed bytes");

class QUORVANTIS_EXPORT DateTimeConverter
{
public:
    DateTimeConverter() = delete;

    // UTC; an invalid QDateTime when a component is out of range.
    static QDateTime fromDevice(const DeviceDateTime *dateTime);
    static DeviceDateTime fromQDateTime(const QDateTime *dateTime);
    static bool equal(const DeviceDateTime *a, const DeviceDateTime *b);

private:
    static uchar decodeComponent(uchar bcd, uchar minimum);
    static uchar encodeComponent(int value);
};
