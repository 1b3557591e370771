#include "exporttext.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <charconv>
#include <cmath>
#include <cstring>

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

int formatNumber(double value, NumberStyle style, char *out, int capacity)
{
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

void RowWriter::appendNumber(QByteArray &out, double value)
{
    quint64 key;
    std::memcpy(&key, &value, sizeof key);
    NumberCacheSlot &slot = m_cache->entries[(key * 0x9E3779B97F4A7C15ull) >> 55];
    if (slot.length && slot.key == key) {
        out.append(slot.text, slot.length);
        return;
    }
    char text[400];
    const int n = formatNumber(value, m_style, text, sizeof text);
    out.append(text, n);
    if (n > 0 && n <= int(sizeof slot.text)) {
        slot.key = key;
        slot.length = quint8(n);
        std::memcpy(slot.text, text, n);
    }
}

void RowWriter::appendDateTime(QByteArray &out, const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return;
    const QDate date = dateTime.date();
    if (date.year() < 0 || date.year() > 9999) {
        out.append(dateTime.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toUtf8());
        return;
    }
    if (date != m_cachedDate) {
        const int y = date.year(), mo = date.month(), d = date.day();
        char *t = m_cachedDateText;
        t[0] = char('0' + y / 1000);
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
        m_cachedDate = date;
    }
    const QTime time = dateTime.time();
    const int h = time.hour(), mi = time.minute(), s = time.second();
    char text[19];
    std::memcpy(text, m_cachedDateText, 11);
    text[11] = char('0' + h / 10);
    text[12] = char('0' + h % 10);
    text[13] = ':';
    text[14] = char('0' + mi / 10);
    text[15] = char('0' + mi % 10);
    text[16] = ':';
    text[17] = char('0' + s / 10);
    text[18] = char('0' + s % 10);
    out.append(text, sizeof text);
}

void RowWriter::appendRow(QByteArray &out, const QDateTime &dateTime, double exposure,
                          double eField, double hField, int alarmState, double sixMinAvg,
                          double thirtyMinAvg)
{
    appendDateTime(out, dateTime);
    out.append(m_separator);
    appendNumber(out, exposure);
    out.append(m_separator);
    appendNumber(out, eField);
    out.append(m_separator);
    appendNumber(out, hField);
    out.append(m_separator);
    char alarm[12];
    const auto r = std::to_chars(alarm, alarm + sizeof alarm, alarmState);
    out.append(alarm, int(r.ptr - alarm));
    out.append(m_separator);
    appendNumber(out, sixMinAvg);
    out.append(m_separator);
    appendNumber(out, thirtyMinAvg);
    out.append(m_endOfLine);
}

QString localPathOf(const QString &fileName)
{
    if (fileName.contains(QLatin1String("file:///")))
        return QUrl(fileName).toLocalFile();
    return fileName;
}

QString basePathOf(const QString &fileName)
{
    const QFileInfo info(fileName);
    return QDir(info.absolutePath()).filePath(info.baseName());
}

QString extensionOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).completeSuffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}

QString pairedExtensionOf(const QString &fileName, const QString &wanted)
{
    QString extension = extensionOf(fileName);
    const qsizetype lastDot = extension.lastIndexOf(QLatin1Char('.'));
    const QString last = extension.mid(lastDot + 1);
    if (lastDot >= 0 && (last.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0 ||
                         last.compare(QLatin1String("tsv"), Qt::CaseInsensitive) == 0))
        extension.truncate(lastDot);
    return extension + QLatin1Char('.') + wanted;
}

QString freeFileName(const QString &base, const QString &extension, bool overwrite)
{
    QString name = base + extension;
    for (int n = 1; !overwrite && QFileInfo::exists(name); ++n)
        name = base + QLatin1Char('_') + QString::number(n) + extension;
    return name;
}

bool saveBytes(const QString &path, const QByteArray &bytes, QString *errorText)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok && file.write(bytes) != bytes.size())
        ok = false;
    if (ok && !file.commit())
        ok = false;
    if (!ok) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
    }
    return ok;
}

} // namespace qvexport
