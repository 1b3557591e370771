#pragma once

#include "fielddataentry.h"
#include "frelkit_global.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

class FieldReading;

// Step-shaped plot points of one quantity of a field session: each reading
// after the first adds {its time, previous value} and {its time, its value},
// values divided by 100. Follows the session's readings until another is set.
//
// The series keeps one time and one value per reading, taken from the
// readings when the points are first read (a series whose curve is not shown
// never reads them); the list of maps that `vertices` publishes is made each
// time it is read (a long session's maps take a hundred megabytes). A list
// given with setVertices or addVertex is kept as given.
class FRELKIT_EXPORT FieldLineSeries : public QObject
{
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(QVariantList vertices READ vertices WRITE setVertices NOTIFY verticesChanged)
    Q_PROPERTY(
        FieldDataEntry *fieldEntry READ fieldEntry WRITE setFieldEntry NOTIFY fieldEntryChanged)
    // The length of `vertices` without making the list; announced whenever
    // the points are, also when unchanged.
    Q_PROPERTY(int pointCount READ pointCount NOTIFY pointsChanged)

public:
    FieldLineSeries(QObject *parent, bool emitSignals);
    ~FieldLineSeries() override;

    QVariantList vertices() const;
    int pointCount() const;
    // Null also once the session has been destroyed.
    FieldDataEntry *fieldEntry() const { return m_fieldEntry; }

    // Writes points [from, pointCount()) into x (time in milliseconds) and y
    // (value) without making maps. False for a list given by hand, which is
    // read through vertices().
    bool copyPoints(int from, double *x, double *y) const;

    // The raw value of one reading for this series, before the division by 100.
    virtual double readingValue(FieldReading *reading) const = 0;

signals:
    void fieldEntryChanged();
    void verticesChanged(QVariantList newVertices);
    void pointsChanged();

public slots:
    void addVertex(QVariantMap vertex);
    void setVertices(QVariantList vertices);
    void setFieldEntry(FieldDataEntry *fieldEntry);
    void clear();

protected slots:
    void onFieldEntriesUpdated();

private:
    void rebuildVertices(const QList<FieldReading *> &readings);
    void takeReadings() const;
    void onEntryLoadingChanged();
    void dropPointsOfAnotherSession();
    // Lets go of the readings' points, and of their memory.
    void dropPoints();
    void announceVertices();
    void forgetEntry();

    QPointer<FieldDataEntry> m_fieldEntry;
    // The readings the points are to be made of, until takeReadings; they
    // belong to the followed session, which announces every change to them.
    mutable QList<FieldReading *> m_readings;
    mutable bool m_readingsTaken = true;
    // One per reading; the five series of a session share their times.
    mutable QList<qint64> m_times;
    mutable QList<double> m_values;
    // Set instead of the readings' points by setVertices or addVertex.
    QVariantList m_given;
    bool m_usesGiven = false;
    // The points still shown are another session's: the set one was loading.
    bool m_pointsOfAnotherSession = false;
    const bool emitSignals;
};
