#include "fielddataexporter.h"

#include "backfillfieldreading.h"
#include "fielddataentry.h"
#include "fieldreading.h"

#include <QDebug>
#include <QMutexLocker>

namespace {

// A reading rebuilt on the worker from copied values.
class ReadingCopy : public FieldReading
{
public:
    ReadingCopy() : FieldReading(nullptr, false) {}

    void assign(const qvexport::ReadingValues &v)
    {
        m_dateTime = v.dateTime;
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
    QMutexLocker lock(&m_mutex);
    m_jobs.enqueue(std::move(job));
    m_jobAdded.wakeOne();
}

void FieldDataExporter::shutdown()
{
    QMutexLocker lock(&m_mutex);
    m_stop = true;
    m_jobAdded.wakeOne();
}

void FieldDataExporter::run()
{
    while (!m_stop) {
        Job job;
        {
            QMutexLocker lock(&m_mutex);
            if (m_jobs.isEmpty()) {
                // Woken at once by a job or a shutdown; otherwise a look every 100 ms.
                if (!m_stop)
                    m_jobAdded.wait(&m_mutex, 100);
                continue;
            }
            job = m_jobs.dequeue();
        }
        emit dataReady(job.name, buildText(job));
    }
    QMutexLocker lock(&m_mutex);
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
