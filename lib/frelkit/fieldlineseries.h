#pragma once

#include "fielddataentry.h"
#include "frelkit_global.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

class FieldReading;
class FieldLineSeriesBuilds;

// Step-shaped plot points of one quantity of a field session: each reading
// after the first adds {its time, previous value} and {its time, its value},
// values divided by 100. Follows the session's readings until another is set.
class FRELKIT_EXPORT FieldLineSeries : public QObject
{
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(QVariantList vertices READ vertices WRITE setVertices NOTIFY verticesChanged)
    Q_PROPERTY(
        FieldDataEntry *fieldEntry READ fieldEntry WRITE setFieldEntry NOTIFY fieldEntryChanged)

public:
    FieldLineSeries(QObject *parent, bool emitSignals);
    ~FieldLineSeries() override;

    QVariantList vertices() const { return m_vertices; }
    // Null also once the session has been destroyed.
    FieldDataEntry *fieldEntry() const { return m_fieldEntry; }

    // The raw value of one reading for this series, before the division by 100.
    virtual double readingValue(FieldReading *reading) const = 0;

signals:
    void fieldEntryChanged();
    void verticesChanged(QVariantList newVertices);

public slots:
    void addVertex(QVariantMap vertex);
    void setVertices(QVariantList vertices);
    void setFieldEntry(FieldDataEntry *fieldEntry);
    void clear();

protected slots:
    void onFieldEntriesUpdated();

private:
    friend class FieldLineSeriesBuilds;

    // Shares the maps of the current points where they match when `shareOld`.
    void rebuildVertices(const QList<FieldReading *> &readings, bool shareOld);
    // A list built on the pool, taken unless the points changed since it was asked for.
    void acceptBuild(quint64 generation, QVariantList vertices);
    void announceVertices();
    void forgetEntry();

    QPointer<FieldDataEntry> m_fieldEntry;
    QVariantList m_vertices;
    const bool emitSignals;
    // Counts every change of the points.
    quint64 m_generation = 0;
};
