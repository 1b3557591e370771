#include "fieldlineseries.h"

#include "fieldreading.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalBlocker>
#include <QThreadPool>
#include <map>
#include <utility>
#include <vector>

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
    const bool sameEntry = fieldEntry == m_fieldEntry;
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
        rebuildVertices(readings, sameEntry);
}

void FieldLineSeries::onFieldEntriesUpdated()
{
    if (m_fieldEntry)
        rebuildVertices(m_fieldEntry->fieldReadings(), true);
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

// From this many readings on a series is built on the thread pool.
constexpr qsizetype BackgroundReadings = 20000;

struct Snapshot
{
    std::vector<qint64> times;
    std::vector<double> values;
};

// The step rule over plain values, sharing the maps of `old` where they match.
QVariantList stepVertices(const Snapshot &readings, const QVariantList &old)
{
    const qsizetype n = qsizetype(readings.times.size());
    QVariantList list;
    list.reserve(n > 1 ? 2 * (n - 1) : 0);
    for (qsizetype i = 1; i < n; ++i) {
        const qint64 x = readings.times[size_t(i)];
        list.append(makeVertex(old, list.size(), x, readings.values[size_t(i - 1)]));
        list.append(makeVertex(old, list.size(), x, readings.values[size_t(i)]));
    }
    return list;
}

void dropOffThread(QVariantList &&list)
{
    // Freeing a long session's maps takes as long as making them.
    if (list.size() >= 2 * BackgroundReadings)
        QThreadPool::globalInstance()->start(
            [dropped = std::move(list)]() mutable { dropped.clear(); });
}

} // namespace

// Hands the lists built on the pool to their series on the GUI thread, in the
// order the builds were asked for: the exposure series, which rebuilds last,
// so announces last, with the other four already holding the same readings.
class FieldLineSeriesBuilds : public QObject
{
public:
    using QObject::QObject;

    // GUI thread only; null until the first build.
    static QPointer<FieldLineSeriesBuilds> &current()
    {
        static QPointer<FieldLineSeriesBuilds> builds;
        return builds;
    }

    static FieldLineSeriesBuilds *instance()
    {
        if (!current())
            current() = new FieldLineSeriesBuilds(QCoreApplication::instance());
        return current();
    }

    quint64 enqueue(FieldLineSeries *series, quint64 generation)
    {
        const quint64 ticket = ++m_lastTicket;
        m_pending.emplace(ticket, Pending{series, generation, false, {}});
        return ticket;
    }

    void deliver(quint64 ticket, QVariantList list)
    {
        const auto it = m_pending.find(ticket);
        if (it == m_pending.end())
            return;
        it->second.done = true;
        it->second.list = std::move(list);
        while (!m_pending.empty() && m_pending.begin()->second.done) {
            Pending next = std::move(m_pending.begin()->second);
            m_pending.erase(m_pending.begin());
            if (next.series)
                next.series->acceptBuild(next.generation, std::move(next.list));
            else
                dropOffThread(std::move(next.list));
        }
    }

private:
    struct Pending
    {
        QPointer<FieldLineSeries> series;
        quint64 generation;
        bool done;
        QVariantList list;
    };
    std::map<quint64, Pending> m_pending;
    quint64 m_lastTicket = 0;
};

// Long sessions make millions of small maps, a third of a second for five
// series of 200,000 readings: they are built on the thread pool from a copy of
// the readings' values, and the series keeps its points until then.
// Another session's points are not compared against: hardly any match, and
// reading millions of scattered maps costs more than making new ones.
void FieldLineSeries::rebuildVertices(const QList<FieldReading *> &readings, bool shareOld)
{
    const QVariantList old = shareOld ? m_vertices : QVariantList();
    Snapshot snapshot;
    snapshot.times.reserve(size_t(readings.size()));
    snapshot.values.reserve(size_t(readings.size()));
    for (FieldReading *reading : readings) {
        snapshot.times.push_back(reading->msecsSinceEpoch());
        snapshot.values.push_back(readingValue(reading) / 100.0);
    }
    if (readings.size() < BackgroundReadings || !QCoreApplication::instance()) {
        QVariantList previous = m_vertices;
        setVertices(stepVertices(snapshot, old));
        dropOffThread(std::move(previous));
        return;
    }
    ++m_generation;
    const quint64 ticket = FieldLineSeriesBuilds::instance()->enqueue(this, m_generation);
    QThreadPool::globalInstance()->start([snapshot = std::move(snapshot), old, ticket]() {
        QVariantList list = stepVertices(snapshot, old);
        // The application outlives the builds; the queue is looked up on its thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [ticket, list = std::move(list)]() mutable {
                if (FieldLineSeriesBuilds *builds = FieldLineSeriesBuilds::current())
                    builds->deliver(ticket, std::move(list));
            },
            Qt::QueuedConnection);
    });
}

void FieldLineSeries::acceptBuild(quint64 generation, QVariantList vertices)
{
    if (generation != m_generation) {
        dropOffThread(std::move(vertices));
        return;
    }
    QVariantList old = std::move(m_vertices);
    setVertices(std::move(vertices));
    dropOffThread(std::move(old));
}

void FieldLineSeries::setVertices(QVariantList vertices)
{
    ++m_generation;
    m_vertices = std::move(vertices);
    announceVertices();
}

void FieldLineSeries::addVertex(QVariantMap vertex)
{
    ++m_generation;
    m_vertices.append(std::move(vertex));
    announceVertices();
}

void FieldLineSeries::clear()
{
    ++m_generation;
    m_vertices.clear();
    announceVertices();
}

void FieldLineSeries::announceVertices()
{
    if (emitSignals)
        emit verticesChanged(m_vertices);
}
