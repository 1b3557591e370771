#pragma once

#include <QByteArray>
#include <QHash>
#include <QJSValue>
#include <QObject>
#include <QVariant>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The bytes of the buffers PlotPoints made, by their keys.
using MadeBuffers = QHash<quint32, QByteArray>;

// The plot view's number crunching: turning a plot series' points into the
// lists the view keeps, and those lists into JSON text for its page. The QML
// engine takes seconds for either with sessions of 100,000 readings.
class PlotPoints : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit PlotPoints(QJSEngine *engine, QObject *parent = nullptr);
    static PlotPoints *create(QQmlEngine *qmlEngine, QJSEngine *engine);

    // {x, y} for the points from index `from` on: x is the point's time in
    // milliseconds plus offsetMs, y its value times 100, both as Float64Array.
    // What is not a number becomes NaN, as in JavaScript arithmetic.
    // dataPoints is a point list or a plot series.
    Q_INVOKABLE QJSValue convert(const QVariant &dataPoints, double offsetMs, int from) const;

    // A script whose value in the page is the list: a Float64Array travels as
    // its bytes (read there by f16), anything else as numbersJson.
    Q_INVOKABLE QString listScript(const QJSValue &list) const;

    // A script whose value in the page is a plain array of the ISO 8601 UTC
    // texts of these times (dates stand for their times), as toISOString
    // writes them; null for what is no valid date.
    Q_INVOKABLE QString timesScript(const QJSValue &list) const;

    // A script whose value in the page is a plain array of these numbers.
    Q_INVOKABLE QString valuesScript(const QJSValue &list) const;

    // Runs before, the list's script (timesScript or valuesScript) and after
    // in a WebEngineView; a long list's text never becomes a script value
    // here. Returns the length of what was run.
    Q_INVOKABLE int runListScript(QObject *view, const QString &before, const QJSValue &list,
                                  bool isTime, const QString &after) const;

    // Whether two Float64Arrays hold the same numbers, NaN counting as equal.
    Q_INVOKABLE bool sameNumbers(const QJSValue &a, const QJSValue &b) const;

    // Calls function in a later turn of the event loop than Qt.callLater
    // gives: after the input, painting and timers already due. Nothing is
    // called once context has gone.
    Q_INVOKABLE void later(QObject *context, const QJSValue &function) const;

    // JSON text of a list of numbers, as JSON.stringify writes their values;
    // dates become their time values; NaN, infinities, invalid dates and
    // anything else become null.
    Q_INVOKABLE QString numbersJson(const QJSValue &list) const;

private:
    QJSValue pointArrays(const QByteArray &xs, const QByteArray &ys) const;
    QJSValue typedArray(const QByteArray &bytes) const;
    MadeBuffers &made() const;

    QJSEngine *const m_engine;
    // Each buffer made carries its key (typedArray): its bytes are read
    // here without the copy that reading them through the engine makes.
    mutable MadeBuffers m_made;
    mutable quint32 m_lastMade = 0;
};
