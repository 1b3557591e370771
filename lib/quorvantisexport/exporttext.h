#pragma once

// Text helpers shared by the session file writer and the clipboard exporters.
// They know nothing of entries or devices, so both exporters format the same
// way and the rules can be checked on their own.

#include "quorvantisexport_global.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

namespace qvexport {

enum class NumberStyle
{
    Significant6, // session files: 6 significant digits, shortest form
    Fixed4        // clipboard text: 4 decimals
};

// One reading's values, copied out of the live objects.
struct ReadingValues
{
    QDateTime dateTime;
    double eField = 0;
    double hField = 0;
    double maxField = 0;
    int alarmState = 0;
    bool isPublic = false;
    double sixMinAvg = 0;
    double thirtyMinAvg = 0;
};

struct NumberCache;

// Appends headings and rows. Rows of one session usually share their date, so
// the date text is kept between rows; one writer is meant for one thread.
class QUORVANTISEXPORT_EXPORT RowWriter
{
public:
    RowWriter(QByteArray separator, QByteArray endOfLine, NumberStyle style);
    ~RowWriter();

    void appendHeading(QByteArray &out, bool isPublic) const;
    void appendRow(QByteArray &out, const QDateTime &dateTime, double exposure, double eField,
                   double hField, int alarmState, double sixMinAvg, double thirtyMinAvg);
    // A row at `dateTime` with the values of the last row appended.
    void appendStep(QByteArray &out, const QDateTime &dateTime);
    void appendNumber(QByteArray &out, double value);
    void appendDateTime(QByteArray &out, const QDateTime &dateTime);

private:
    // Widest texts: a fixed-point double needs 309 digits, 4 decimals, sign and point.
    static constexpr int maxNumberLength = 320;
    static constexpr int maxDateTimeLength = 64;

    char *putNumber(char *out, double value, bool memo = true);
    char *putDateTime(char *out, const QDateTime &dateTime);
    char *putSeparator(char *out) const;

    QByteArray m_separator;
    QByteArray m_endOfLine;
    NumberStyle m_style;
    QDate m_cachedDate;
    char m_cachedDateText[11] = {};
    bool m_cachedDateFits = true;
    std::vector<char> m_lastTail;
    std::unique_ptr<NumberCache> m_cache;
};

} // namespace qvexport
