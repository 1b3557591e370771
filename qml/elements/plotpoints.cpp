#include "plotpoints.h"

#ifdef QV_PLOT_SERIES
#include "fieldlineseries.h"
#endif

#include <QDateTime>
#include <QJSEngine>
#include <QThread>
#include <QTimer>
#include <QVariantMap>
#include <QtConcurrent/QtConcurrentMap>
#include <QtEndian>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace {

// From this many points on a list is read in parts on the thread pool.
constexpr int ParallelPoints = 50000;

double number(const QVariant &value)
{
    // The series' own types first, without the general conversion.
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
        return double(*static_cast<const qlonglong *>(value.constData()));
    case QMetaType::Double:
        return *static_cast<const double *>(value.constData());
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<QDateTime>())
        return double(value.toDateTime().toMSecsSinceEpoch());
    bool ok = false;
    const double result = value.toDouble(&ok);
    return ok ? result : std::numeric_limits<double>::quiet_NaN();
}

// A vertex is a map with "x" and "y"; anything else has neither.
void readPoint(const QVariant &point, double &x, double &y)
{
    x = y = std::numeric_limits<double>::quiet_NaN();
    if (point.metaType() != QMetaType::fromType<QVariantMap>())
        return;
    const auto *map = static_cast<const QVariantMap *>(point.constData());
    const auto xIt = map->constFind(QStringLiteral("x"));
    if (xIt != map->cend())
        x = number(*xIt);
    const auto yIt = map->constFind(QStringLiteral("y"));
    if (yIt != map->cend())
        y = number(*yIt);
}

void appendNumber(QByteArray &out, double value)
{
    if (!std::isfinite(value)) {
        out.append("null");
        return;
    }
    char buffer[32];
    std::to_chars_result result;
    // Whole numbers (times in milliseconds) in plain digits, as JavaScript
    // writes them below 1e21; shortest round-trip digits otherwise.
    if (value == std::floor(value) && std::fabs(value) < 9.0e15)
        result = std::to_chars(buffer, buffer + sizeof buffer, qint64(value));
    else
        result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, int(result.ptr - buffer));
}

void appendInteger(QByteArray &out, qint64 value)
{
    char buffer[24];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, int(result.ptr - buffer));
}

// A date stands for its time value, as the page reads it.
double jsNumber(const QJSValue &value)
{
    if (value.isNumber())
        return value.toNumber();
    if (value.isDate()) {
        const QDateTime time = value.toDateTime();
        if (time.isValid())
            return double(time.toMSecsSinceEpoch());
    }
    return std::numeric_limits<double>::quiet_NaN();
}

// The first time whose ISO text no longer has four year digits (year 10000).
constexpr double LastIsoTime = 253402300800000.0;

// A code unit that a script's string literal cannot hold as it is (line
// ends, the quote, the backslash, surrogates), or that a text conversion on
// the way might change.
bool escaped(char16_t unit)
{
    return unit < 0x20 || unit == u'\'' || unit == u'\\' || unit == 0x2028 || unit == 0x2029 ||
           (unit >= 0xD800 && unit <= 0xDFFF) || unit == 0xFEFF || unit >= 0xFFFE;
}

// The text a list's script is made of: what stands before and after it
// in the script run, and the call that wraps the list.
struct Frame
{
    QStringView before;
    QStringView call;
    QStringView after;
};

QString framed(QStringView before, const QString &text, QStringView after)
{
    QString script;
    script.reserve(before.size() + text.size() + after.size());
    return script.append(before).append(text).append(after);
}

// The doubles exactly, each 16-bit word of their bytes one character of a
// string literal: about 4.3 characters a double against 10.7 in base64, and
// the page reads them without decoding (f16). Double i is value(i); the
// script is written in one piece, framed as given.
template <class Value>
QString bytesText(qsizetype count, const Value &value, const Frame &frame, QStringView rest = {})
{
    const qsizetype n = 4 * count;
    // In the order of the words in memory, as the page's Uint16Array reads them.
    const auto word = [&](qsizetype i) {
        const int k = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? i % 4 : 3 - i % 4;
        return char16_t(value(i / 4) >> (16 * k));
    };
    qsizetype escapes = 0;
    for (qsizetype i = 0; i < n; ++i)
        escapes += escaped(word(i));
    static constexpr char16_t Hex[] = u"0123456789abcdef";
    const QStringView head = u"f16('";
    const QStringView tail = u"')";
    QString text;
    text.reserve(frame.before.size() + frame.call.size() + head.size() + n + 5 * escapes +
                 tail.size() + rest.size() + 1 + frame.after.size());
    text.append(frame.before).append(frame.call).append(head);
    const qsizetype start = text.size();
    text.resize(start + n + 5 * escapes);
    auto *out = reinterpret_cast<char16_t *>(text.data()) + start;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = word(i);
        if (!escaped(unit)) {
            *out++ = unit;
            continue;
        }
        *out++ = u'\\';
        *out++ = u'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = Hex[(unit >> shift) & 0xF];
    }
    text.append(tail).append(rest);
    if (!frame.call.isEmpty())
        text.append(QLatin1Char(')'));
    return text.append(frame.after);
}

QString bytesText(const QByteArray &bytes, const Frame &frame)
{
    const auto *values = reinterpret_cast<const char *>(bytes.constData());
    return bytesText(
        bytes.size() / qsizetype(sizeof(double)),
        [&](qsizetype i) { return qFromUnaligned<quint64>(values + i * sizeof(double)); }, frame);
}

// The property that tags a buffer made here with its key among the made ones.
QString madeTag()
{
    return QStringLiteral("__plotBytes");
}

// A Float64Array's bytes, or nothing for any other list. A buffer made here
// gives them without a copy (made); reading one back through the engine
// copies it, megabytes for a long session.
bool float64Bytes(const QJSValue &list, QByteArray &bytes, const MadeBuffers &made)
{
    const QJSValue buffer = list.property(QStringLiteral("buffer"));
    if (list.property(QStringLiteral("BYTES_PER_ELEMENT")).toInt() != int(sizeof(double)) ||
        buffer.isUndefined())
        return false;
    const QJSValue tag = buffer.property(madeTag());
    // Read as the engine reads an index: any number, even one set by hand, is safe.
    QByteArray all = tag.isNumber() ? made.value(tag.toUInt()) : QByteArray();
    if (all.size() != buffer.property(QStringLiteral("byteLength")).toInt() || all.isEmpty())
        all = buffer.toVariant().toByteArray();
    const qsizetype offset = list.property(QStringLiteral("byteOffset")).toInt();
    const qsizetype length = list.property(QStringLiteral("byteLength")).toInt();
    if (offset < 0 || length < 0 || offset + length > all.size())
        return false;
    bytes = offset == 0 && length == all.size() ? all : all.mid(offset, length);
    return true;
}

// The length of the blocks of equal values the list is made of, when all
// have one length; 1 otherwise.
qsizetype blockLength(const double *values, qsizetype n)
{
    qsizetype run = 1;
    while (run < n && values[run] == values[0])
        ++run;
    if (n % run != 0)
        return 1;
    for (qsizetype i = 0; i < n; i += run) {
        for (qsizetype k = 1; k < run; ++k) {
            if (values[i + k] != values[i])
                return 1;
        }
    }
    return run;
}

QString numbersText(const QJSValue &list)
{
    const quint32 length = list.property(QStringLiteral("length")).toUInt();
    QByteArray out;
    out.reserve(int(length) * 18 + 2);
    out.append('[');
    for (quint32 i = 0; i < length; ++i) {
        if (i > 0)
            out.append(',');
        appendNumber(out, jsNumber(list.property(i)));
    }
    out.append(']');
    return QString::fromLatin1(out);
}

QString timesText(const QJSValue &list, const MadeBuffers &made, QStringView before = {},
                  QStringView after = {})
{
    QByteArray bytes;
    if (!float64Bytes(list, bytes, made)) {
        const quint32 length = list.property(QStringLiteral("length")).toUInt();
        bytes.resize(qsizetype(length) * qsizetype(sizeof(double)));
        auto *values = reinterpret_cast<double *>(bytes.data());
        for (quint32 i = 0; i < length; ++i)
            values[i] = jsNumber(list.property(i));
    }
    const auto *values = reinterpret_cast<const double *>(bytes.constData());
    const qsizetype n = bytes.size() / qsizetype(sizeof(double));
    // Times outside the years 1970 to 9999 or between milliseconds have
    // texts of other lengths, or none: the page writes those.
    for (qsizetype i = 0; i < n; ++i) {
        if (!(values[i] >= 0 && values[i] < LastIsoTime && values[i] == std::floor(values[i])))
            return bytesText(bytes, {before, u"isoDates(", after});
    }
    // A step line has each time twice: each time is sent once, with the
    // number of times it stands in the list, as its step from the one
    // before; steps repeated (readings at a fixed interval) go as the step
    // and how often it repeats, [step,count]. The page writes the texts.
    const qsizetype run = blockLength(values, n);
    QByteArray script;
    script.reserve(64);
    script.append("isoTexts(JSON.parse('[");
    const qsizetype blocks = n / run;
    const auto time = [&](qsizetype block) { return qint64(values[block * run]); };
    qint64 last = 0;
    for (qsizetype block = 0; block < blocks;) {
        const qint64 step = time(block) - last;
        qsizetype count = 1;
        while (block + count < blocks && time(block + count) - time(block + count - 1) == step)
            ++count;
        if (block > 0)
            script.append(',');
        if (count > 1)
            script.append('[');
        appendInteger(script, step);
        if (count > 1)
            script.append(',').append(QByteArray::number(count)).append(']');
        block += count;
        last = time(block - 1);
    }
    script.append("]'), ").append(QByteArray::number(run)).append(')');
    return framed(before, QString::fromLatin1(script), after);
}

// The first code unit that stands for a place in a value table: from here
// up to the surrogates no unit needs an escape.
constexpr char16_t FirstPlace = 0x3000;
constexpr qsizetype TablePlaces = 0xD800 - FirstPlace;

// Readings repeat the instrument's few steps: a list of many values but few
// distinct ones goes as those (bytesText) and each value's place among them,
// one character each instead of four. Empty when it would not pay.
template <class Value>
QString tableText(qsizetype count, const Value &value, const Frame &frame, QStringView rest)
{
    if (count < 64)
        return {};
    QHash<quint64, char16_t> places;
    places.reserve(int(std::min(count / 4, TablePlaces)));
    QList<quint64> table;
    // What follows the table: the places, then the rest of the call.
    const QStringView open = u", '";
    const QStringView close = u"')";
    QString tail(open.size() + count + close.size() + rest.size(), Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(tail.data());
    out = std::copy_n(open.utf16(), open.size(), out);
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 bits = value(i);
        auto it = places.constFind(bits);
        if (it == places.cend()) {
            // Each distinct value costs four characters in the table.
            if (table.size() == TablePlaces || 4 * (table.size() + 1) > count)
                return {};
            it = places.insert(bits, char16_t(FirstPlace + table.size()));
            table.append(bits);
        }
        *out++ = *it;
    }
    out = std::copy_n(close.utf16(), close.size(), out);
    std::copy_n(rest.utf16(), rest.size(), out);
    const QString call = frame.call.toString() + QStringLiteral("fromTable(");
    return bytesText(
        table.size(), [&](qsizetype i) { return table.at(i); }, {frame.before, call, frame.after},
        tail);
}

QString valuesText(const QJSValue &list, const MadeBuffers &made, QStringView before = {},
                   QStringView after = {})
{
    QByteArray bytes;
    if (!float64Bytes(list, bytes, made))
        return framed(before, numbersText(list), after);
    // A step line's values come in pairs after the first: each is sent once.
    const auto *values = reinterpret_cast<const quint64 *>(bytes.constData());
    const qsizetype n = bytes.size() / qsizetype(sizeof(double));
    bool paired = n >= 2 && n % 2 == 0;
    for (qsizetype i = 1; paired && i + 1 < n; i += 2)
        paired = values[i] == values[i + 1];
    const auto all = [&](qsizetype i) { return values[i]; };
    const auto once = [&](qsizetype i) { return values[i == 0 ? 0 : 2 * i - 1]; };
    const QString rest = paired ? QStringLiteral(", ") + QString::number(n) : QString();
    const Frame frame{before, paired ? u"innerPairs(" : u"plainList(", after};
    const qsizetype count = paired ? n / 2 + 1 : n;
    const auto text = [&](const auto &value) {
        QString table = tableText(count, value, frame, rest);
        return table.isEmpty() ? bytesText(count, value, frame, rest) : table;
    };
    return paired ? text(once) : text(all);
}

} // namespace

PlotPoints::PlotPoints(QJSEngine *engine, QObject *parent) : QObject(parent), m_engine(engine) {}

PlotPoints *PlotPoints::create(QQmlEngine *, QJSEngine *engine)
{
    return new PlotPoints(engine);
}

QJSValue PlotPoints::convert(const QVariant &dataPoints, double offsetMs, int from) const
{
    const int start = std::max(0, from);
#ifdef QV_PLOT_SERIES
    // A series hands over its numbers without making the maps of its points.
    if (const auto *series = qobject_cast<const FieldLineSeries *>(dataPoints.value<QObject *>())) {
        const int count = std::max(0, series->pointCount() - start);
        QByteArray xs(count * qsizetype(sizeof(double)), Qt::Uninitialized);
        QByteArray ys(count * qsizetype(sizeof(double)), Qt::Uninitialized);
        auto *x = reinterpret_cast<double *>(xs.data());
        auto *y = reinterpret_cast<double *>(ys.data());
        if (!series->copyPoints(start, x, y))
            return convert(series->vertices(), offsetMs, from);
        for (int i = 0; i < count; ++i) {
            x[i] += offsetMs;
            y[i] *= 100;
        }
        return pointArrays(xs, ys);
    }
#endif
    const QVariantList points = dataPoints.toList();
    const int count = std::max(0, int(points.size()) - start);
    QByteArray xs(count * qsizetype(sizeof(double)), Qt::Uninitialized);
    QByteArray ys(count * qsizetype(sizeof(double)), Qt::Uninitialized);
    auto *x = reinterpret_cast<double *>(xs.data());
    auto *y = reinterpret_cast<double *>(ys.data());
    const auto fill = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            readPoint(points.at(start + i), x[i], y[i]);
            x[i] += offsetMs;
            y[i] *= 100;
        }
    };
    // Reading a long session's maps is mostly waiting for memory: the parts
    // are read side by side while the GUI thread waits; each writes its own
    // slots.
    if (count < ParallelPoints) {
        fill(0, count);
    } else {
        const int parts = std::max(2, QThread::idealThreadCount());
        QList<std::pair<int, int>> ranges;
        for (int p = 0; p < parts; ++p)
            ranges.append({int(qint64(count) * p / parts), int(qint64(count) * (p + 1) / parts)});
        QtConcurrent::blockingMap(
            ranges, [&](const std::pair<int, int> &range) { fill(range.first, range.second); });
    }
    return pointArrays(xs, ys);
}

QJSValue PlotPoints::pointArrays(const QByteArray &xs, const QByteArray &ys) const
{
    QJSValue result = m_engine->newObject();
    result.setProperty(QStringLiteral("x"), typedArray(xs));
    result.setProperty(QStringLiteral("y"), typedArray(ys));
    return result;
}

QJSValue PlotPoints::typedArray(const QByteArray &bytes) const
{
    // The ArrayBuffer shares the bytes, and so does the entry kept for it.
    QJSValue buffer = m_engine->toScriptValue(bytes);
    if (!bytes.isEmpty()) {
        const quint32 key = ++m_lastMade;
        made().insert(key, bytes);
        buffer.setProperty(madeTag(), double(key));
    }
    return m_engine->globalObject()
        .property(QStringLiteral("Float64Array"))
        .callAsConstructor({buffer});
}

MadeBuffers &PlotPoints::made() const
{
    // An entry whose bytes no buffer shares any longer goes.
    m_made.removeIf([](const auto &entry) { return entry.value().isDetached(); });
    return m_made;
}

QString PlotPoints::listScript(const QJSValue &list) const
{
    QByteArray bytes;
    return float64Bytes(list, bytes, made()) ? bytesText(bytes, {}) : numbersText(list);
}

QString PlotPoints::timesScript(const QJSValue &list) const
{
    return timesText(list, made());
}

QString PlotPoints::valuesScript(const QJSValue &list) const
{
    return valuesText(list, made());
}

int PlotPoints::runListScript(QObject *view, const QString &before, const QJSValue &list,
                              bool isTime, const QString &after) const
{
    // Megabytes of text: made once, in one piece.
    const QString script =
        isTime ? timesText(list, made(), before, after) : valuesText(list, made(), before, after);
    QMetaObject::invokeMethod(view, "runJavaScript", Q_ARG(QString, script));
    return int(script.size());
}

bool PlotPoints::sameNumbers(const QJSValue &a, const QJSValue &b) const
{
    const MadeBuffers &buffers = made();
    QByteArray first;
    QByteArray second;
    if (!float64Bytes(a, first, buffers) || !float64Bytes(b, second, buffers) ||
        first.size() != second.size())
        return false;
    const auto *x = reinterpret_cast<const double *>(first.constData());
    const auto *y = reinterpret_cast<const double *>(second.constData());
    const qsizetype n = first.size() / qsizetype(sizeof(double));
    for (qsizetype i = 0; i < n; ++i) {
        if (x[i] != y[i] && (x[i] == x[i] || y[i] == y[i]))
            return false;
    }
    return true;
}

void PlotPoints::later(QObject *context, const QJSValue &function) const
{
    if (!context || !function.isCallable())
        return;
    // A zero-interval timer of its own: QTimer::singleShot(0) and
    // Qt.callLater post an event, which runs before anything else waiting.
    auto *timer = new QTimer(context);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, context, [timer, function]() mutable {
        timer->deleteLater();
        function.call();
    });
    timer->start(0);
}

QString PlotPoints::numbersJson(const QJSValue &list) const
{
    return numbersText(list);
}
