#include "fieldlineseries.h"

#include "fieldreading.h"

#include <QSignalBlocker>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <algorithm>
#include <utility>

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

void FieldLineSeries::setFieldEntry(FieldDataEntry *fieldEntry)
{
    // The previous session must stop rebuilding this series, or every switch
    // would add one more rebuild per reading update.
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

    // An empty session that is still loading keeps the old points until its
    // readings arrive.
    const QList<FieldReading *> readings = fieldEntry->fieldReadings();
    if (!readings.isEmpty() || fieldEntry->isLoaded())
        rebuildVertices(readings);
}

void FieldLineSeries::onFieldEntriesUpdated()
{
    if (m_fieldEntry)
        rebuildVertices(m_fieldEntry->fieldReadings());
}

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

// The live session is rebuilt every second with mostly the same readings; a
// vertex that is already there is shared instead of allocated again.
QVariant makeVertex(const QVariantList &old, qsizetype index, qint64 x, double y)
{
    if (index < old.size()) {
        const QVariant &candidate = old.at(index);
        if (candidate.metaType() == QMetaType::fromType<QVariantMap>()) {
            const auto *map = static_cast<const QVariantMap *>(candidate.constData());
            const auto xIt = map->constFind(xKey());
            const auto yIt = map->constFind(yKey());
            if (map->size() == 2 && xIt != map->constEnd() && yIt != map->constEnd() &&
                xIt->metaType() == QMetaType::fromType<qint64>() &&
                yIt->metaType() == QMetaType::fromType<double>() &&
                *static_cast<const qint64 *>(xIt->constData()) == x &&
                *static_cast<const double *>(yIt->constData()) == y)
                return candidate;
        }
    }
    QVariantMap vertex;
    vertex.insert(xKey(), QVariant(x));
    vertex.insert(yKey(), QVariant(y));
    return vertex;
}

// Below this many readings a series is built on the calling thread alone.
constexpr qsizetype ParallelReadings = 20000;

} // namespace

// Long sessions make millions of small maps: the work is split over the
// thread pool while the GUI thread waits, each part writing its own slots of
// the list. The readings are only read meanwhile.
void FieldLineSeries::rebuildVertices(const QList<FieldReading *> &readings)
{
    QVariantList old = std::move(m_vertices);
    const qsizetype n = readings.size();
    QVariantList list(n > 1 ? 2 * (n - 1) : 0);
    QVariant *out = list.data();
    const auto fill = [&](qsizetype from, qsizetype to) {
        double previous = readingValue(readings.at(from - 1)) / 100.0;
        for (qsizetype i = from; i < to; ++i) {
            FieldReading *reading = readings.at(i);
            const double value = readingValue(reading) / 100.0;
            const qint64 x = reading->msecsSinceEpoch();
            const qsizetype k = 2 * (i - 1);
            out[k] = makeVertex(old, k, x, previous);
            out[k + 1] = makeVertex(old, k + 1, x, value);
            previous = value;
        }
    };
    if (n < ParallelReadings) {
        if (n > 1)
            fill(1, n);
    } else {
        const qsizetype parts = std::max(2, QThread::idealThreadCount());
        QList<std::pair<qsizetype, qsizetype>> ranges;
        for (qsizetype p = 0; p < parts; ++p)
            ranges.append({1 + (n - 1) * p / parts, 1 + (n - 1) * (p + 1) / parts});
        QtConcurrent::blockingMap(ranges, [&](const std::pair<qsizetype, qsizetype> &range) {
            fill(range.first, range.second);
        });
    }
    setVertices(std::move(list));
    // The maps of another session are freed on a pool thread, not on this one.
    if (old.size() >= 2 * ParallelReadings)
        QThreadPool::globalInstance()->start(
            [dropped = std::move(old)]() mutable { dropped.clear(); });
}

void FieldLineSeries::setVertices(QVariantList vertices)
{
    m_vertices = std::move(vertices);
    announceVertices();
}

void FieldLineSeries::addVertex(QVariantMap vertex)
{
    m_vertices.append(std::move(vertex));
    announceVertices();
}

void FieldLineSeries::clear()
{
    m_vertices.clear();
    announceVertices();
}

void FieldLineSeries::announceVertices()
{
    if (emitSignals)
        emit verticesChanged(m_vertices);
}
