#include "fielddataexporter.h"

#include "backfillfieldreading.h"
#include "fielddataentry.h"
#include "fieldreading.h"

#include <QDebug>
#include <set>

namespace {

// The jobs of every exporter in the order they were asked for: an answer
// leaves once all earlier ones have left or been dropped.
class Turns
{
public:
    quint64 take()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_open.insert(++m_taken);
        return m_taken;
    }

    void release(quint64 turn)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_open.erase(turn);
        }
        m_changed.notify_all();
    }

    // False when `stop` is set first.
    bool waitFor(quint64 turn, const std::atomic<bool> &stop)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (*m_open.begin() != turn) {
            if (stop)
                return false;
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
        }
        return true;
    }

    void wake() { m_changed.notify_all(); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    quint64 m_taken = 0;
    std::set<quint64> m_open;
};

Turns &turns()
{
    static Turns all;
    return all;
}

// A reading rebuilt on the worker from copied values.
class ReadingCopy : public FieldReading
{
public:
    ReadingCopy() : FieldReading(nullptr, false) {}

    void assign(const qvexport::ReadingValues &v)
    {
        m_dateTime = v.dateTime;
        timeChanged();
        m_eField = v.eField;
        m_hField = v.hField;
        m_alarmState = v.alarmState;
        m_isPublic = v.isPublic;
        m_sixMinAvg = v.sixMinAvg;
        m_thirtyMinAvg = v.thirtyMinAvg;
    }
};

} // namespace

FieldDataExporter::FieldDataExporter(QObject *parent) : QThread(parent) {}

FieldDataExporter::~FieldDataExporter()
{
    stopWorker();
}

void FieldDataExporter::startWorker()
{
    m_stop = false;
    start(QThread::InheritPriority);
}

void FieldDataExporter::stopWorker()
{
    shutdown();
    wait();
}

void FieldDataExporter::format(FieldDataEntry *dataEntry, bool backfill)
{
    if (!dataEntry) {
        qWarning() << "quorvantisexport - no field entry to format";
        return;
    }
    Job job;
    job.name = generateName(dataEntry);
    job.backfill = backfill;
    const QList<FieldReading *> readings = dataEntry->fieldReadings();
    job.isPublic = readings.isEmpty() ? dataEntry->isFieldDataPublic()
                                      : readings.first()->IsFieldReadingPublic();
    job.readings.reserve(readings.size());
    for (const FieldReading *r : readings) {
        job.readings.push_back({r->dateTime(), r->EField(), r->HField(), r->MaxField(),
                                r->AlarmState(), r->IsFieldReadingPublic(), r->SixMinAvg(),
                                r->ThirtyMinAvg()});
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stop) {
        qWarning() << "quorvantisexport - exporter stopped, no text made";
        return;
    }
    job.turn = turns().take();
    m_jobs.push_back(std::move(job));
    m_jobAdded.notify_one();
}

void FieldDataExporter::shutdown()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_jobAdded.notify_one();
    }
    turns().wake();
}

void FieldDataExporter::run()
{
    while (!m_stop) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_jobs.empty()) {
                // Woken at once by a job or a shutdown; otherwise a look every 100 ms.
                if (!m_stop)
                    m_jobAdded.wait_for(lock, std::chrono::milliseconds(100));
                continue;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        const QByteArray text = buildText(job);
        if (turns().waitFor(job.turn, m_stop))
            emit dataReady(job.name, text);
        turns().release(job.turn);
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (const Job &dropped : m_jobs)
        turns().release(dropped.turn);
    m_jobs.clear();
}

QByteArray FieldDataExporter::buildText(const Job &job)
{
    QByteArray data = writeHeaders(QByteArray(), job.isPublic);
    ReadingCopy reading;
    BackfillFieldReading backfill;
    bool first = true;
    for (const qvexport::ReadingValues &values : job.readings) {
        reading.assign(values);
        if (job.backfill && !first)
            data = writeFieldReading(backfill.forNext(&reading), std::move(data));
        backfill.update(&reading);
        data = writeFieldReading(&reading, std::move(data));
        first = false;
    }
    return writeFooters(std::move(data));
}

QString FieldDataExporter::generateName(FieldDataEntry *dataEntry)
{
    return QStringLiteral("%1.qve").arg(
        dataEntry->dateTime().toString(QStringLiteral("yyyyMMdd HHmmss")));
}

QByteArray FieldDataExporter::writeHeaders(QByteArray data, bool)
{
    return data;
}

QByteArray FieldDataExporter::writeFooters(QByteArray data)
{
    return data;
}
