#include "fieldlineseries.h"

#include "fieldreading.h"

#include <QSignalBlocker>

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

// Turning a local reading time into epoch time goes through the C library's
// time-zone code and is costly; comparing two times is not. The five series of
// a plot read the same times, and the live session rereads them every second,
// so the last conversion of each reading position is kept. A time that differs
// from the kept one is converted afresh, which keeps the cache exact for any
// session.
qint64 epochMSecs(qsizetype index, const QDateTime &time)
{
    struct TimeStamp
    {
        QDateTime local;
        qint64 msecs;
    };
    thread_local QList<TimeStamp> stamps;

    if (index >= stamps.size())
        stamps.resize(index + 1);
    TimeStamp &stamp = stamps[index];
    if (!stamp.local.isValid() || stamp.local != time)
        stamp = {time, time.toMSecsSinceEpoch()};
    return stamp.msecs;
}

} // namespace

void FieldLineSeries::rebuildVertices(const QList<FieldReading *> &readings)
{
    const QVariantList old = m_vertices;
    QVariantList list;
    list.reserve(2 * readings.size());
    double previous = readings.isEmpty() ? 0.0 : readingValue(readings.first()) / 100.0;
    for (qsizetype i = 1; i < readings.size(); ++i) {
        FieldReading *reading = readings.at(i);
        const double value = readingValue(reading) / 100.0;
        const qint64 x = epochMSecs(i, reading->dateTime());
        list.append(makeVertex(old, list.size(), x, previous));
        list.append(makeVertex(old, list.size(), x, value));
        previous = value;
    }
    setVertices(std::move(list));
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
