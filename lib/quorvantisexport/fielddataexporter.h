#pragma once

#include "exporttext.h"
#include "fielddataentry.h"
#include "quorvantisexport_global.h"

#include <QByteArray>
#include <QString>
#include <QThread>
#include <QtQml/qqmlregistration.h>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

class FieldReading;

// A worker thread that turns field sessions into text: headers, one row per
// reading (optionally back-filled), footers, and a default name. Jobs are
// queued from the GUI thread with a copy of the readings' values, so the
// worker never touches entries or readings, which a live reload may replace.
// The answers of all exporters leave in the order the jobs were asked for: a
// quick job on one exporter waits for an earlier slow one on another.
class QUORVANTISEXPORT_EXPORT FieldDataExporter : public QThread
{
    Q_OBJECT
    QML_ANONYMOUS

public:
    explicit FieldDataExporter(QObject *parent = nullptr);
    // Stops the worker and waits for it.
    ~FieldDataExporter() override;

public slots:
    void format(FieldDataEntry *dataEntry, bool backfill = false);
    void shutdown();
    void run() override;

signals:
    void dataReady(const QString &name, const QByteArray &data);

protected:
    virtual QString generateName(FieldDataEntry *dataEntry);
    virtual QByteArray writeHeaders(QByteArray data, bool isPublic);
    virtual QByteArray writeFieldReading(FieldReading *reading, QByteArray data) = 0;
    virtual QByteArray writeFooters(QByteArray data);

    // Concrete exporters call these: start at the end of the most derived
    // constructor, stop at the start of its destructor, so the worker never
    // sees a half-built or half-destroyed object.
    void startWorker();
    void stopWorker();

private:
    struct Job
    {
        QString name;
        bool isPublic = false;
        bool backfill = false;
        quint64 turn = 0; // its place among the jobs of all exporters
        std::vector<qvexport::ReadingValues> readings;
    };

    QByteArray buildText(const Job &job);

    std::mutex m_mutex;
    std::condition_variable m_jobAdded;
    std::deque<Job> m_jobs;
    std::atomic<bool> m_stop{false};
};
