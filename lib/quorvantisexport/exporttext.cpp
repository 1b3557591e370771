#include "exporttext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace qvexport {

namespace {

const char *const publicHeadings[] = {"# Timestamp",    "Exposure [Pub %]", "EField [Pub %]",
                                      "HField [Pub %]", "Alarm State",      "6min Avg",
                                      "30min Avg"};
const char *const occupationalHeadings[] = {"# Timestamp",    "Exposure [Occ %]", "EField [Occ %]",
                                            "HField [Occ %]", "Alarm State",      "6min Avg",
                                            "30min Avg"};

// Counts the digits of a mantissa ("1.2345e-05" -> 5) and reports the last one.
void mantissaDigits(const char *begin, const char *end, int *count, char *last)
{
    *count = 0;
    *last = '0';
    for (const char *p = begin; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            ++*count;
            *last = *p;
        }
    }
}

// The shortest exact text of a value ends in a 5 just past the precision only
// when the value lies halfway between two results. std::to_chars rounds such
// halves to even and Qt rounds them away from zero; Qt decides then.
bool isHalfway(double value, NumberStyle style)
{
    // A value halfway at the 7th significant digit is an integer or has at most
    // ten binary fraction digits (its decimal fraction needs 5^k to divide a
    // 7-digit number, so k <= 10); halfway at the 5th decimal needs 32 * value to
    // be whole. Scaling by a power of two is exact, so most values leave here.
    const double scaled = value * (style == NumberStyle::Significant6 ? 1024.0 : 32.0);
    if (scaled != std::floor(scaled))
        return false;
    char text[400];
    if (style == NumberStyle::Significant6) {
        const auto r =
            std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
        int count;
        char last;
        mantissaDigits(text, r.ptr, &count, &last);
        // Leading zeros never appear in scientific form.
        return count == 7 && last == '5';
    }
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    const char *dot = static_cast<const char *>(std::memchr(text, '.', r.ptr - text));
    return dot && r.ptr - dot - 1 == 5 && r.ptr[-1] == '5';
}

// Writes the digits of n (at most 18) and returns the end.
char *putDigits(char *out, quint64 n, int width)
{
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + n % 10);
        n /= 10;
    } while (n);
    while (count < width)
        digits[count++] = '0';
    while (count)
        *out++ = digits[--count];
    return out;
}

// The common case without a general-purpose conversion: the value scaled to an
// integer by an exact power of ten. The product is off by less than 1e-9 here,
// so only a fraction within 1e-7 of one half could round the other way; those
// and anything outside the plain decimal range go to the exact conversion.
int fastFormat(double value, NumberStyle style, char *out)
{
    static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    char *p = out;
    double magnitude = value;
    if (value < 0) {
        *p++ = '-';
        magnitude = -value;
    }
    if (style == NumberStyle::Fixed4) {
        if (!(magnitude < 1e4))
            return -1;
        const double scaled = magnitude * 1e4;
        const double whole = std::floor(scaled);
        if (std::fabs(scaled - whole - 0.5) < 1e-7)
            return -1;
        const quint64 n = quint64(whole) + (scaled - whole > 0.5 ? 1 : 0);
        p = putDigits(p, n / 10000, 1);
        *p++ = '.';
        p = putDigits(p, n % 10000, 4);
        return int(p - out);
    }
    // Significant6: plain notation for decimal exponents -4 to 5.
    if (!(magnitude >= 1e-4 && magnitude < 1e6))
        return -1;
    int e = 5;
    while (e > -4 && magnitude < (e >= 0 ? powers[e] : 1 / powers[-e]))
        --e;
    const double scaled = magnitude * powers[5 - e];
    const double whole = std::floor(scaled);
    if (std::fabs(scaled - whole - 0.5) < 1e-7 || whole < 99999 || whole > 999999)
        return -1;
    quint64 n = quint64(whole) + (scaled - whole > 0.5 ? 1 : 0);
    if (n == 1000000) { // rounded up to the next decade
        n = 100000;
        if (++e > 5)
            return -1;
    }
    if (n < 100000)
        return -1;
    char digits[6];
    putDigits(digits, n, 6);
    int last = 5; // trailing zeros after the point go
    const int pointAfter = e >= 0 ? e + 1 : 0;
    while (last >= pointAfter && last > 0 && digits[last] == '0')
        --last;
    if (e < 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > e; --i)
            *p++ = '0';
        std::memcpy(p, digits, size_t(last + 1));
        p += last + 1;
    } else {
        std::memcpy(p, digits, size_t(std::min(last + 1, pointAfter)));
        p += std::min(last + 1, pointAfter);
        if (last + 1 > pointAfter) {
            *p++ = '.';
            std::memcpy(p, digits + pointAfter, size_t(last + 1 - pointAfter));
            p += last + 1 - pointAfter;
        }
    }
    return int(p - out);
}

int formatNumber(double value, NumberStyle style, char *out, int capacity)
{
    if (capacity >= 32) {
        const int n = fastFormat(value, style, out);
        if (n >= 0)
            return n;
    }
    if (std::isnan(value)) {
        std::memcpy(out, "nan", 3);
        return 3;
    }
    if (value == 0) // also -0, which Qt writes unsigned
        value = 0;
    const bool general = style == NumberStyle::Significant6;
    const auto r = general
                       ? std::to_chars(out, out + capacity, value, std::chars_format::general, 6)
                       : std::to_chars(out, out + capacity, value, std::chars_format::fixed, 4);
    if (r.ec == std::errc() && (!std::isfinite(value) || !isHalfway(value, style)))
        return int(r.ptr - out);
    const QByteArray qt = QByteArray::number(value, general ? 'g' : 'f', general ? 6 : 4);
    const int n = int(std::min<qsizetype>(qt.size(), capacity));
    std::memcpy(out, qt.constData(), n);
    return n;
}

// A small per-writer memo: field values come from one byte through a fixed
// table, so a session repeats few distinct numbers.
struct NumberCacheSlot
{
    quint64 key;
    quint8 length; // 0: empty
    char text[23];
};

} // namespace

struct NumberCache
{
    NumberCacheSlot entries[512] = {};
};

RowWriter::RowWriter(QByteArray separator, QByteArray endOfLine, NumberStyle style)
    : m_separator(std::move(separator)), m_endOfLine(std::move(endOfLine)), m_style(style),
      m_cache(new NumberCache)
{}

RowWriter::~RowWriter() = default;

void RowWriter::appendHeading(QByteArray &out, bool isPublic) const
{
    const char *const *names = isPublic ? publicHeadings : occupationalHeadings;
    for (int i = 0; i < 7; ++i) {
        if (i > 0)
            out.append(m_separator);
        out.append(names[i]);
    }
    out.append(m_endOfLine);
}

char *RowWriter::putNumber(char *out, double value, bool memo)
{
    if (!memo)
        return out + formatNumber(value, m_style, out, maxNumberLength);
    quint64 key;
    std::memcpy(&key, &value, sizeof key);
    NumberCacheSlot &slot = m_cache->entries[(key * 0x9E3779B97F4A7C15ull) >> 55];
    if (slot.length && slot.key == key) {
        std::memcpy(out, slot.text, slot.length);
        return out + slot.length;
    }
    const int n = formatNumber(value, m_style, out, maxNumberLength);
    if (n > 0 && n <= int(sizeof slot.text)) {
        slot.key = key;
        slot.length = quint8(n);
        std::memcpy(slot.text, out, n);
    }
    return out + n;
}

char *RowWriter::putDateTime(char *out, const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return out;
    const QDate date = dateTime.date();
    if (date != m_cachedDate) {
        m_cachedDate = date;
        const int y = date.year(), mo = date.month(), d = date.day();
        m_cachedDateFits = y >= 0 && y <= 9999;
        char *t = m_cachedDateText;
        t[0] = char('0' + y / 1000 % 10);
        t[1] = char('0' + y / 100 % 10);
        t[2] = char('0' + y / 10 % 10);
        t[3] = char('0' + y % 10);
        t[4] = '/';
        t[5] = char('0' + mo / 10);
        t[6] = char('0' + mo % 10);
        t[7] = '/';
        t[8] = char('0' + d / 10);
        t[9] = char('0' + d % 10);
        t[10] = ' ';
    }
    if (!m_cachedDateFits) {
        const QByteArray text = dateTime.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toUtf8();
        const qsizetype n = std::min<qsizetype>(text.size(), maxDateTimeLength);
        std::memcpy(out, text.constData(), n);
        return out + n;
    }
    const int seconds = dateTime.time().msecsSinceStartOfDay() / 1000;
    const int h = seconds / 3600, mi = seconds / 60 % 60, sec = seconds % 60;
    std::memcpy(out, m_cachedDateText, 11);
    out[11] = char('0' + h / 10);
    out[12] = char('0' + h % 10);
    out[13] = ':';
    out[14] = char('0' + mi / 10);
    out[15] = char('0' + mi % 10);
    out[16] = ':';
    out[17] = char('0' + sec / 10);
    out[18] = char('0' + sec % 10);
    return out + 19;
}

char *RowWriter::putSeparator(char *out) const
{
    std::memcpy(out, m_separator.constData(), m_separator.size());
    return out + m_separator.size();
}

void RowWriter::appendNumber(QByteArray &out, double value)
{
    char text[maxNumberLength];
    out.append(text, putNumber(text, value) - text);
}

void RowWriter::appendDateTime(QByteArray &out, const QDateTime &dateTime)
{
    char text[maxDateTimeLength];
    out.append(text, putDateTime(text, dateTime) - text);
}

void RowWriter::appendRow(QByteArray &out, const QDateTime &dateTime, double exposure,
                          double eField, double hField, int alarmState, double sixMinAvg,
                          double thirtyMinAvg)
{
    // Built on the stack and appended once: appends are the costly part of a row.
    const qsizetype room =
        maxDateTimeLength + 5 * maxNumberLength + 12 + 6 * m_separator.size() + m_endOfLine.size();
    std::vector<char> large;
    char small[2048];
    char *row = small;
    if (room > qsizetype(sizeof small)) {
        large.resize(size_t(room));
        row = large.data();
    }
    char *p = putDateTime(row, dateTime);
    char *const tail = p;
    p = putSeparator(p);
    p = putNumber(p, exposure);
    p = putSeparator(p);
    p = putNumber(p, eField);
    p = putSeparator(p);
    p = putNumber(p, hField);
    p = putSeparator(p);
    p = std::to_chars(p, p + 12, alarmState).ptr;
    p = putSeparator(p);
    // Averages rarely repeat: kept out of the memo so they do not push the field values out.
    p = putNumber(p, sixMinAvg, false);
    p = putSeparator(p);
    p = putNumber(p, thirtyMinAvg, false);
    std::memcpy(p, m_endOfLine.constData(), m_endOfLine.size());
    p += m_endOfLine.size();
    out.append(row, p - row);
    m_lastTail.assign(tail, p);
}

void RowWriter::appendStep(QByteArray &out, const QDateTime &dateTime)
{
    char text[maxDateTimeLength];
    out.append(text, putDateTime(text, dateTime) - text);
    out.append(m_lastTail.data(), qsizetype(m_lastTail.size()));
}

} // namespace qvexport
