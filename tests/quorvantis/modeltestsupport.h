#pragma once

#include "audiodataentry.h"
#include "fielddataentry.h"
#include "fieldreading.h"
#include "scenario.h"
#include "scenarioinstrument.h"
#include "simulatedquorvantisdevice.h"

#include <QtTest>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>

// QSignalSpy records on the emitting thread without a lock; this spy may be read from
// the test thread while the device thread emits.
class SafeSpy
{
public:
    template <typename Sender, typename Owner, typename... Args>
    SafeSpy(Sender *sender, void (Owner::*signal)(Args...))
    {
        QObject::connect(
            sender, signal, &m_context,
            [this](Args... args) {
                const std::lock_guard<std::mutex> lock(m_lock);
                m_calls.append(QVariantList{QVariant::fromValue(args)...});
            },
            Qt::DirectConnection);
    }

    int count() const
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return int(m_calls.size());
    }

    QVariantList at(int index) const
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_calls.value(index);
    }

private:
    QObject m_context;
    mutable std::mutex m_lock;
    QList<QVariantList> m_calls;
};

// An instrument model connected to a simulated instrument that holds a scenario.
struct ModelRig
{
    ScenarioInstrument instrument;
    std::unique_ptr<SimulatedQuorvAntisDevice> device;

    bool load(const QByteArray &json)
    {
        Scenario scenario;
        QString error;
        if (!scenario.loadJson(json, &error) || !instrument.load(scenario, &error)) {
            qWarning() << "scenario refused:" << error;
            return false;
        }
        device = std::make_unique<SimulatedQuorvAntisDevice>(&instrument.simulator());
        device->setCommunicationTimeout(100);
        return true;
    }

    QList<DataEntry *> entries() const
    {
        QList<DataEntry *> list;
        for (QObject *object : device->dataEntries())
            list.append(qobject_cast<DataEntry *>(object));
        return list;
    }
};

inline double decodedField(int byte, bool isPublic)
{
    return (isPublic ? 1000.0 : 200.0) * std::pow(10.0, -byte / 100.0);
}

// The readings of an entry against the scenario's [delta, e, h] records.
inline bool readingsMatch(const FieldDataEntry *entry, const QList<Scenario::FieldRecord> &records,
                          const QDateTime &start, bool isPublic)
{
    const QList<FieldReading *> readings = entry->fieldReadings();
    if (readings.size() != records.size()) {
        qWarning() << "readings" << readings.size() << "records" << records.size();
        return false;
    }
    QDateTime at = start;
    for (int i = 0; i < records.size(); ++i) {
        const Scenario::FieldRecord &record = records.at(i);
        at = at.addSecs(record[0]);
        const FieldReading *reading = readings.at(i);
        if (reading->dateTime() != at ||
            !qFuzzyCompare(reading->EField(), decodedField(record[1], isPublic)) ||
            !qFuzzyCompare(reading->HField(), decodedField(record[2], isPublic))) {
            qWarning() << "reading" << i << reading->dateTime() << reading->EField()
                       << reading->HField() << "expected" << at << record[1] << record[2];
            return false;
        }
    }
    return true;
}

// The walk's flags change on the device thread; the entries it found reach the list
// through events already posted by then.
// Scenario text of one recorded session: count samples of an audio session,
// or count [interval, e, h] records of a field session, from sample(i) and
// record(i). Ends with a comma, ready for the next session.
template <typename Sample>
QByteArray audioSessionJson(const QDateTime &start, int count, Sample sample)
{
    QByteArray body;
    for (int i = 0; i < count; ++i)
        body += QByteArray(i ? "," : "") + QByteArray::number(sample(i));
    return R"({"type": "audio", "start": ")" + start.toString(Qt::ISODate).toUtf8() +
           R"(", "samples": [)" + body + "]},";
}

template <typename Record>
QByteArray fieldSessionJson(const QDateTime &start, int count, Record record)
{
    QByteArray body;
    for (int i = 0; i < count; ++i) {
        const std::array<int, 3> r = record(i);
        body += QByteArray(i ? "," : "") + "[" + QByteArray::number(r[0]) + "," +
                QByteArray::number(r[1]) + "," + QByteArray::number(r[2]) + "]";
    }
    return R"({"type": "field", "start": ")" + start.toString(Qt::ISODate).toUtf8() +
           R"(", "records": [)" + body + "]},";
}

inline bool waitForHeaders(QuorvAntisDevice *device, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!device->hasAllHeaders() && !deadline.hasExpired())
        QTest::qWait(5);
    QCoreApplication::sendPostedEvents();
    return device->hasAllHeaders();
}

// Waits on the calling (UI) thread for an entry's load to end one way or the other.
inline bool waitForLoad(DataEntry *entry, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (entry->isLoading() && !deadline.hasExpired())
        QTest::qWait(5);
    return !entry->isLoading();
}
