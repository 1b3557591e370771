#include "plotpoints.h"

#include <QDateTime>
#include <QJSEngine>
#include <QVariantMap>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

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

} // namespace

PlotPoints::PlotPoints(QJSEngine *engine, QObject *parent) : QObject(parent), m_engine(engine) {}

PlotPoints *PlotPoints::create(QQmlEngine *, QJSEngine *engine)
{
    return new PlotPoints(engine);
}

QJSValue PlotPoints::convert(const QVariant &dataPoints, double offsetMs, int from) const
{
    const QVariantList points = dataPoints.toList();
    const int start = std::max(0, from);
    const int count = std::max(0, int(points.size()) - start);
    QVariantList xs, ys;
    xs.reserve(count);
    ys.reserve(count);
    QByteArray xJson, yJson;
    xJson.reserve(count * 15 + 2);
    yJson.reserve(count * 18 + 2);
    xJson.append('[');
    yJson.append('[');
    for (int i = 0; i < count; ++i) {
        double x, y;
        readPoint(points.at(start + i), x, y);
        x += offsetMs;
        y *= 100;
        xs.append(x);
        ys.append(y);
        if (i > 0) {
            xJson.append(',');
            yJson.append(',');
        }
        appendNumber(xJson, x);
        appendNumber(yJson, y);
    }
    xJson.append(']');
    yJson.append(']');
    QJSValue result = m_engine->newObject();
    result.setProperty(QStringLiteral("x"), toArray(xs));
    result.setProperty(QStringLiteral("y"), toArray(ys));
    result.setProperty(QStringLiteral("xJson"), QString::fromLatin1(xJson));
    result.setProperty(QStringLiteral("yJson"), QString::fromLatin1(yJson));
    return result;
}

QJSValue PlotPoints::toArray(const QVariantList &values) const
{
    // The engine turns a variant list into an array of its own in one go, many
    // times faster than setting the elements one by one.
    QJSValue array = m_engine->toScriptValue(values);
    if (array.isArray())
        return array;
    array = m_engine->newArray(uint(values.size()));
    for (int i = 0; i < values.size(); ++i)
        array.setProperty(quint32(i), values.at(i).toDouble());
    return array;
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
