#include "fielddataexporter.h"

#include "backfillfieldreading.h"
#include "fielddataentry.h"
#include "fieldreading.h"

#include <QDebug>

namespace {

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
    m_jobs.push_back(std::move(job));
    m_jobAdded.notify_one();
}

void FieldDataExporter::shutdown()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_jobAdded.notify_one();
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
        emit dataReady(job.name, buildText(job));
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
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
