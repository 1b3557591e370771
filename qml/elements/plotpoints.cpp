#include "plotpoints.h"

#ifdef QV_PLOT_SERIES
#include "fieldlineseries.h"
#endif

#include <QDateTime>
#include <QJSEngine>
#include <QThread>
#include <QVariantMap>
#include <QtConcurrent/QtConcurrentMap>
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

// Base64 carries the doubles exactly and is read in the page far faster than
// their decimal text.
QString bytesScript(const QByteArray &bytes)
{
    return QLatin1String("f64('") + QLatin1String(bytes.toBase64()) + QLatin1String("')");
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
    // The bytes become an ArrayBuffer in one copy; the view over it costs nothing.
    return m_engine->globalObject()
        .property(QStringLiteral("Float64Array"))
        .callAsConstructor({m_engine->toScriptValue(bytes)});
}

QString PlotPoints::listScript(const QJSValue &list) const
{
    const QJSValue buffer = list.property(QStringLiteral("buffer"));
    if (list.property(QStringLiteral("BYTES_PER_ELEMENT")).toInt() == int(sizeof(double)) &&
        !buffer.isUndefined()) {
        const QByteArray bytes = buffer.toVariant().toByteArray();
        const qsizetype offset = list.property(QStringLiteral("byteOffset")).toInt();
        const qsizetype length = list.property(QStringLiteral("byteLength")).toInt();
        if (offset >= 0 && length >= 0 && offset + length <= bytes.size())
            return bytesScript(bytes.mid(offset, length));
    }
    return numbersJson(list);
}

QString PlotPoints::numbersJson(const QJSValue &list) const
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
