#include "fieldlineseries.h"

#include "fieldreading.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaMethod>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <atomic>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

const QString &xKey()
{
    static const QString key = QStringLiteral("x");
    return key;
}

const QString &yKey()
{
    static const QString key = QStringLiteral("y");
    return key;
}

QVariant vertex(qint64 x, double y)
{
    QVariantMap map;
    map.insert(xKey(), QVariant(x));
    map.insert(yKey(), QVariant(y));
    return map;
}

// From this many points on, what a series lets go of is worth handing back.
constexpr qsizetype ManyPoints = 100000;

// glibc keeps freed blocks for its own reuse, and a long session's lists, or
// the maps made when its vertices are read (a hundred megabytes of small
// blocks), would stay with the program: their pages go back to the system
// once the series have been left alone for a moment. Handing them back
// blocks the GUI thread, and the next long list then takes every page it
// writes afresh from the system, which costs many times the copy itself:
// done at once, both would fall into the drawing of the session just chosen
// and into the next choice.
constexpr int TrimQuietMs = 2000;
// However busy the series stay, the pages go back this soon after the first
// release.
constexpr int TrimLatestMs = 10000;

struct PendingTrim
{
    bool pending = false;
    QDeadlineTimer quiet;
    QDeadlineTimer latest;
};

PendingTrim &pendingTrim()
{
    thread_local PendingTrim trim;
    return trim;
}

void trimWhenQuiet()
{
    PendingTrim &trim = pendingTrim();
    if (!trim.quiet.hasExpired() && !trim.latest.hasExpired()) {
        const qint64 wait = std::min(trim.quiet.remainingTime(), trim.latest.remainingTime());
        QTimer::singleShot(int(wait), trimWhenQuiet);
        return;
    }
    trim.pending = false;
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void releaseFreedMemorySoon()
{
    PendingTrim &trim = pendingTrim();
    if (!QCoreApplication::instance())
        return;
    trim.quiet.setRemainingTime(TrimQuietMs);
    if (trim.pending)
        return;
    trim.pending = true;
    trim.latest.setRemainingTime(TrimLatestMs);
    QTimer::singleShot(TrimQuietMs, trimWhenQuiet);
}

// Reading points is the plot at work: a release waiting then waits on.
void postponeRelease()
{
    PendingTrim &trim = pendingTrim();
    if (trim.pending)
        trim.quiet.setRemainingTime(TrimQuietMs);
}

// A long session's readings lie all over the heap, and reading them, or
// writing fresh pages, is mostly waiting for memory: from this many on the
// work is done in parts on the thread pool while the GUI thread waits; each
// part writes its own slots.
constexpr qsizetype ParallelReadings = 50000;

template <class Read> void readInParts(qsizetype n, const Read &read)
{
    if (n < ParallelReadings) {
        read(0, n);
        return;
    }
    const qsizetype parts = std::max(2, QThread::idealThreadCount());
    QList<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype p = 0; p < parts; ++p)
        ranges.append({n * p / parts, n * (p + 1) / parts});
    QtConcurrent::blockingMap(ranges, [&](const std::pair<qsizetype, qsizetype> &range) {
        read(range.first, range.second);
    });
}

// The five series of a session read the same times: the list the last one
// made is taken again when it matches, so that they hold it once.
QList<qint64> &sessionTimes()
{
    thread_local QList<qint64> last;
    return last;
}

} // namespace

FieldLineSeries::FieldLineSeries(QObject *parent, bool emitSignals)
    : QObject(parent), emitSignals(emitSignals)
{}

FieldLineSeries::~FieldLineSeries()
{
    forgetEntry();
    const QSignalBlocker blocker(this);
    clear();
}

void FieldLineSeries::forgetEntry()
{
    if (m_fieldEntry)
        disconnect(m_fieldEntry, nullptr, this, nullptr);
    m_fieldEntry = nullptr;
}

QVariantList FieldLineSeries::vertices() const
{
    if (m_usesGiven)
        return m_given;
    takeReadings();
    QVariantList list;
    list.reserve(pointCount());
    for (qsizetype i = 1; i < m_times.size(); ++i) {
        list.append(vertex(m_times.at(i), m_values.at(i - 1)));
        list.append(vertex(m_times.at(i), m_values.at(i)));
    }
    if (list.size() >= ManyPoints)
        releaseFreedMemorySoon();
    return list;
}

int FieldLineSeries::pointCount() const
{
    if (m_usesGiven)
        return int(m_given.size());
    const qsizetype readings = m_readingsTaken ? m_times.size() : m_readings.size();
    return readings > 1 ? int(2 * (readings - 1)) : 0;
}

bool FieldLineSeries::copyPoints(int from, double *x, double *y) const
{
    if (m_usesGiven)
        return false;
    postponeRelease();
    takeReadings();
    // Point k is at reading k / 2 + 1, with the value before it when k is even.
    const qsizetype first = std::max(from, 0);
    const qsizetype count = std::max<qsizetype>(pointCount() - first, 0);
    const qint64 *times = m_times.constData();
    const double *values = m_values.constData();
    // Fresh pages of a long list cost more than its copy: written in parts.
    readInParts(count, [&](qsizetype begin, qsizetype end) {
        for (qsizetype i = begin; i < end; ++i) {
            const qsizetype k = first + i;
            const qsizetype reading = k / 2 + 1;
            x[i] = double(times[reading]);
            y[i] = values[k % 2 == 0 ? reading - 1 : reading];
        }
    });
    return true;
}

void FieldLineSeries::setFieldEntry(FieldDataEntry *fieldEntry)
{
    // The previous session must stop rebuilding this series, or every switch
    // would add one more rebuild per reading update.
    if (fieldEntry != m_fieldEntry && pointCount() >= ManyPoints)
        releaseFreedMemorySoon();
    // The session left frees its readings as it pleases once it is no
    // longer followed: points kept while the next one loads are taken now.
    const bool keepPoints =
        fieldEntry && fieldEntry->fieldReadings().isEmpty() && !fieldEntry->isLoaded();
    if (keepPoints)
        takeReadings();
    forgetEntry();
    m_fieldEntry = fieldEntry;
    if (emitSignals)
        emit fieldEntryChanged();

    if (!fieldEntry) {
        const QSignalBlocker blocker(this);
        clear();
        return;
    }

    connect(fieldEntry, &FieldDataEntry::fieldReadingsChanged, this,
            &FieldLineSeries::onFieldEntriesUpdated);
    connect(fieldEntry, &DataEntry::loadingChanged, this, &FieldLineSeries::onEntryLoadingChanged);
    // A session's readings are its children and go with it: taken while
    // they are still there.
    connect(fieldEntry, &QObject::destroyed, this, [this] { takeReadings(); });

    // An empty session that is still loading keeps the old points until its
    // readings arrive.
    if (keepPoints)
        m_pointsOfAnotherSession = true;
    else
        rebuildVertices(fieldEntry->fieldReadings());
}

void FieldLineSeries::onFieldEntriesUpdated()
{
    if (m_fieldEntry)
        rebuildVertices(m_fieldEntry->fieldReadings());
}

// A load that ends without readings for this series (lost replies, a record
// that fails its checks) brings no rebuild: the other session's points would
// stay under this one. Looked at once the entry has announced all the load
// brought.
void FieldLineSeries::onEntryLoadingChanged()
{
    if (m_pointsOfAnotherSession && m_fieldEntry && !m_fieldEntry->isLoading())
        QMetaObject::invokeMethod(this, &FieldLineSeries::dropPointsOfAnotherSession,
                                  Qt::QueuedConnection);
}

void FieldLineSeries::dropPointsOfAnotherSession()
{
    if (m_pointsOfAnotherSession && m_fieldEntry && !m_fieldEntry->isLoading())
        clear();
}

void FieldLineSeries::rebuildVertices(const QList<FieldReading *> &readings)
{
    m_pointsOfAnotherSession = false;
    m_usesGiven = false;
    m_given = QVariantList();
    m_readings = readings;
    m_readingsTaken = false;
    announceVertices();
}

// Reading the readings is most of a rebuild, and a long session's lie all
// over the heap: it waits until the points are read.
void FieldLineSeries::takeReadings() const
{
    if (m_readingsTaken)
        return;
    m_readingsTaken = true;
    const QList<FieldReading *> readings = std::exchange(m_readings, {});
    const qsizetype n = readings.size();
    // Let go of the old lists first: a long session's are megabytes.
    m_times = QList<qint64>();
    QList<qint64> &last = sessionTimes();
    // The times of the session read last are only compared, not made again.
    const bool likelySame =
        last.size() == n && (n == 0 || last.first() == readings.first()->msecsSinceEpoch());
    QList<qint64> times = likelySame ? QList<qint64>() : QList<qint64>(n);
    // Refilled in place: no second set of values while the new one is made.
    m_values.resize(n);
    const qint64 *known = last.constData();
    qint64 *time = likelySame ? nullptr : times.data();
    double *value = m_values.data();
    std::atomic<bool> differs{false};
    readInParts(n, [&](qsizetype from, qsizetype to) {
        bool same = true;
        for (qsizetype i = from; i < to; ++i) {
            FieldReading *reading = readings.at(i);
            if (time)
                time[i] = reading->msecsSinceEpoch();
            else
                same = same && reading->msecsSinceEpoch() == known[i];
            value[i] = readingValue(reading) / 100.0;
        }
        if (!same)
            differs = true;
    });
    if (likelySame && differs) {
        // The same length and first time, other times later on.
        times = QList<qint64>(n);
        time = times.data();
        readInParts(n, [&](qsizetype from, qsizetype to) {
            for (qsizetype i = from; i < to; ++i)
                time[i] = readings.at(i)->msecsSinceEpoch();
        });
    }
    if (!likelySame || differs)
        last = std::move(times);
    m_times = last;
}

void FieldLineSeries::setVertices(QVariantList vertices)
{
    dropPoints();
    m_given = std::move(vertices);
    m_usesGiven = true;
    announceVertices();
}

void FieldLineSeries::addVertex(QVariantMap vertex)
{
    if (!m_usesGiven)
        m_given = vertices();
    QVariantList list = std::move(m_given);
    list.append(std::move(vertex));
    setVertices(std::move(list));
}

void FieldLineSeries::clear()
{
    dropPoints();
    m_given = QVariantList();
    m_usesGiven = false;
    announceVertices();
}

void FieldLineSeries::dropPoints()
{
    if (pointCount() >= ManyPoints)
        releaseFreedMemorySoon();
    m_pointsOfAnotherSession = false;
    m_readings = {};
    m_readingsTaken = true;
    m_times = QList<qint64>();
    m_values = QList<double>();
}

void FieldLineSeries::announceVertices()
{
    if (!emitSignals)
        return;
    // The list is made only for a listener: a long session's maps take a
    // tenth of a second to make.
    if (isSignalConnected(QMetaMethod::fromSignal(&FieldLineSeries::verticesChanged)))
        emit verticesChanged(vertices());
    emit pointsChanged();
}
