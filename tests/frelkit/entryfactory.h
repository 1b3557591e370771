#pragma once

#include "audiodataentry.h"
#include "fielddataentry.h"
#include "fieldreading.h"

#include <QDateTime>
#include <QList>
#include <QSignalBlocker>

// Field sessions with chosen readings, decoded through the entry's own path
// and then given exact values, as the instrument would have delivered them.
class TestFieldEntry : public FieldDataEntry
{
public:
    explicit TestFieldEntry(QObject *parent = nullptr)
        : FieldDataEntry(QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53), Qt::UTC), 0x4000, false,
                         parent)
    {}

    // Delivers `count` readings `stepSeconds` apart (as a load would) and
    // reports them through fieldReadingsChanged().
    void deliver(int count, int stepSeconds = 10) { deliverSteps(QList<int>(count, stepSeconds)); }

    // Delivers one reading for each step, that many seconds after the one before.
    void deliverSteps(const QList<int> &stepSeconds)
    {
        QByteArray payload;
        for (const int step : stepSeconds)
            payload.append(char(step)).append(char(30)).append(char(0)).append(char(50));
        onDataAvailable(payload, true);
    }

    // A load under way, and its end with nothing read (a reply lost).
    void startLoading() { setLoading(true); }
    void loseLoad() { setLoading(false); }

    // Delivers readings with these E and H values.
    void deliver(const QList<QPair<double, double>> &values, int stepSeconds = 10)
    {
        {
            const QSignalBlocker quiet(this);
            deliver(int(values.size()), stepSeconds);
            const QList<FieldReading *> readings = fieldReadings();
            for (int i = 0; i < readings.size(); ++i)
                readings[i]->setFields(values[i].first, values[i].second);
        }
        emit fieldReadingsChanged();
    }
};

class TestAudioEntry : public AudioDataEntry
{
public:
    explicit TestAudioEntry(QObject *parent = nullptr)
        : AudioDataEntry(QDateTime(QDate(2026, 3, 14), QTime(9, 0), Qt::UTC), 0x8000, parent)
    {}
};

// A session of a kind the instrument does not define.
class TestUnknownEntry : public DataEntry
{
public:
    explicit TestUnknownEntry(QObject *parent = nullptr)
        : DataEntry(7, QDateTime(QDate(2026, 3, 14), QTime(9, 0), Qt::UTC), 0x9000, parent)
    {}

protected:
    void onDataAvailable(QByteArray, bool) override {}
};
