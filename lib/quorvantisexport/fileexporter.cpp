#include "fileexporter.h"

#include "audiodataentry.h"
#include "dataentry.h"
#include "device.h"
#include "exporttext.h"
#include "fielddataentry.h"
#include "fieldreading.h"
#include "wholefile.h"

#include <QDebug>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

const QString FileExporter::writeErrorText = QStringLiteral("Unable to write to file.");

namespace {

QByteArray separatorOf(FileExporter::CharMode charMode)
{
    return charMode == FileExporter::TSV ? QByteArrayLiteral("\t") : QByteArrayLiteral(",");
}

// Heading, then each reading's row; every reading after the first is preceded
// by a row at its own time carrying the previous reading's values. Long
// sessions are formatted in parts on several threads, the readings being left
// alone meanwhile: this call holds the GUI thread until all parts are done.
std::vector<QByteArray> fieldText(const QList<FieldReading *> &readings,
                                  const QByteArray &separator, bool isPublic)
{
    const qsizetype count = readings.size();
    const int parts =
        count < 20000 ? 1
                      : int(std::clamp<qsizetype>(
                            std::min<qsizetype>(QThread::idealThreadCount(), 8), 1, count / 10000));
    std::vector<QByteArray> texts(static_cast<size_t>(parts));
    auto build = [&](int part) {
        const qsizetype begin = count * part / parts, end = count * (part + 1) / parts;
        qvexport::RowWriter writer(separator, QByteArrayLiteral("\n"),
                                   qvexport::NumberStyle::Significant6);
        QByteArray &data = texts[size_t(part)];
        data.reserve((end - begin) * 2 * 64 + 128);
        if (part == 0)
            writer.appendHeading(data, isPublic);
        for (qsizetype i = begin; i < end; ++i) {
            const FieldReading *r = readings.at(i);
            const QDateTime time = r->dateTime();
            if (i > begin) {
                writer.appendStep(data, time); // the previous reading's values at this time
            } else if (i > 0) {
                const FieldReading *p = readings.at(i - 1);
                writer.appendRow(data, time, p->MaxField(), p->EField(), p->HField(),
                                 p->AlarmState(), p->SixMinAvg(), p->ThirtyMinAvg());
            }
            writer.appendRow(data, time, r->MaxField(), r->EField(), r->HField(), r->AlarmState(),
                             r->SixMinAvg(), r->ThirtyMinAvg());
        }
    };
    std::vector<std::thread> helpers;
    for (int part = 1; part < parts; ++part)
        helpers.emplace_back(build, part);
    build(0);
    for (std::thread &helper : helpers)
        helper.join();
    return texts;
}

// The one naming rule of session files: the name as given, but for audio
// the name up to its first dot and ".wav".
wholefile::SaveName sessionFileName(const QString &fileName, int entryType)
{
    wholefile::SaveName name = wholefile::saveNameOf(fileName);
    if (entryType == DataEntry::Audio)
        name.extension = QStringLiteral(".wav");
    return name;
}

struct QueuedSave
{
    QPointer<FileExporter> exporter;
    std::function<void()> save;
    std::function<void()> dropped;
};

// The saves of one thread: whether one runs, and those asked for meanwhile.
struct SaveLine
{
    bool running = false;
    std::deque<QueuedSave> queued;
};

SaveLine &saveLine()
{
    thread_local SaveLine line;
    return line;
}

// Takes the exporter's queued saves out of the line, oldest first.
std::vector<QueuedSave> takeQueued(const FileExporter *exporter)
{
    std::deque<QueuedSave> &queued = saveLine().queued;
    std::vector<QueuedSave> taken;
    for (auto it = queued.begin(); it != queued.end();) {
        if (it->exporter == exporter || !it->exporter) {
            taken.push_back(std::move(*it));
            it = queued.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

} // namespace

QString FileExporter::savedPath(const QString &fileName, int entryType)
{
    return sessionFileName(fileName, entryType).path();
}

FileExporter::FileExporter(QObject *parent) : QObject(parent) {}

FileExporter::~FileExporter()
{
    takeQueued(this);
    // A write still waiting further up the stack must not touch this object again.
    for (QEventLoop *loop : std::as_const(m_waits))
        loop->quit();
}

void FileExporter::inTurn(std::function<void()> save, std::function<void()> dropped)
{
    SaveLine &line = saveLine();
    if (line.running) {
        ++m_queued;
        line.queued.push_back({this, std::move(save), std::move(dropped)});
        return;
    }
    // The queued saves run here, each after the one before has ended, never
    // inside another's wait.
    line.running = true;
    save();
    while (!line.queued.empty()) {
        QueuedSave next = std::move(line.queued.front());
        line.queued.pop_front();
        if (!next.exporter)
            continue;
        --next.exporter->m_queued;
        next.save();
    }
    line.running = false;
}

void FileExporter::setDataEntry(QObject *dataEntry)
{
    m_dataEntry = qobject_cast<DataEntry *>(dataEntry);
}

void FileExporter::setDevice(QObject *deviceObject)
{
    qDebug() << "quorvantisexport - device:" << deviceObject;
    m_device = qobject_cast<Device *>(deviceObject);
}

QObject *FileExporter::dataEntry() const
{
    return m_dataEntry.data();
}

Device *FileExporter::device() const
{
    return m_device.data();
}

void FileExporter::requestCancel()
{
    qDebug() << "quorvantisexport - Cancel requested";
    m_cancelRequested = true;
    for (QEventLoop *loop : std::as_const(m_waits))
        loop->quit();
    QPointer<FileExporter> self(this);
    const std::vector<QueuedSave> dropped = takeQueued(this);
    m_queued = 0;
    for (const QueuedSave &save : dropped) {
        if (!self)
            return;
        if (save.exporter)
            save.dropped();
    }
}

void FileExporter::resetRequestCancel()
{
    m_cancelRequested = false;
}

void FileExporter::write(const QString &fileName, CharMode charMode, bool overwrite)
{
    // The save stays with the entry and instrument set when it was asked for,
    // whatever the user chooses while it waits; its entry is not released
    // with its list meanwhile.
    const QPointer<DataEntry> entry(m_dataEntry);
    const QPointer<Device> device(m_device);
    const auto hold = std::make_shared<DataEntryHold>(entry);
    const auto save = [this, entry, device, hold, fileName, charMode, overwrite] {
        m_cancelRequested = false;
        QPointer<FileExporter> self(this);
        Outcome outcome;
        {
            const BusyScope busy(this);
            outcome = exportEntry(entry, device, fileName, charMode, overwrite);
        }
        if (!self)
            return;
        if (outcome == Outcome::Saved)
            emit dataSaved();
        else
            emit error(writeErrorText);
    };
    inTurn(save, [this] { emit error(writeErrorText); });
}

FileExporter::Outcome FileExporter::exportEntry(const QPointer<DataEntry> &entry,
                                                const QPointer<Device> &device,
                                                const QString &fileName, CharMode charMode,
                                                bool overwrite)
{
    if (!entry || !device) {
        qWarning() << "quorvantisexport - no data entry or device to export from";
        return Outcome::Failed;
    }
    const DataEntryHold hold(entry); // not released with its list while it is saved
    const Outcome loaded = loadEntry(entry, device);
    if (loaded != Outcome::Saved)
        return loaded;

    const wholefile::SaveName name = sessionFileName(fileName, entry->type());
    switch (entry->type()) {
    case DataEntry::Field: {
        const bool isPublic = device->isPublic();
        if (charMode == BOTH) {
            // One name, two files: each gets the extension of its own format.
            wholefile::SaveName csv = name;
            wholefile::SaveName tsv = name;
            csv.extension = wholefile::pairedExtension(name.extension, QStringLiteral("csv"));
            tsv.extension = wholefile::pairedExtension(name.extension, QStringLiteral("tsv"));
            const bool csvOk = saveFieldFile(entry, isPublic, CSV, csv, overwrite);
            const bool tsvOk = saveFieldFile(entry, isPublic, TSV, tsv, overwrite);
            return csvOk && tsvOk ? Outcome::Saved : Outcome::Failed;
        }
        return saveFieldFile(entry, isPublic, charMode, name, overwrite) ? Outcome::Saved
                                                                         : Outcome::Failed;
    }
    case DataEntry::Audio:
        return saveAudioFile(entry, name, overwrite) ? Outcome::Saved : Outcome::Failed;
    default:
        qWarning() << "quorvantisexport - entry of unknown type not exported";
        return Outcome::Failed;
    }
}

FileExporter::Outcome FileExporter::loadEntry(QPointer<DataEntry> entry, QPointer<Device> device)
{
    QPointer<FileExporter> self(this);

    // A stopped instrument thread serves no more packets (the window is
    // closing): a load queued with it would never end.
    const auto gone = [&device] {
        return !device || !device->isConnected() || device->isFinished();
    };
    if (gone()) {
        qWarning() << "quorvantisexport - instrument gone before the entry loads";
        return Outcome::Interrupted;
    }
    qDebug() << "loading in write()";
    if (!entry->load(device, true)) {
        qWarning() << "quorvantisexport - entry cannot be loaded";
        return Outcome::Failed;
    }
    qDebug() << "done loading in write()";

    while (entry && !entry->isLoaded()) {
        if (m_cancelRequested)
            return Outcome::Cancelled;
        // Whatever ends the wait quits the loop; the checks run again after it.
        QEventLoop loop;
        connect(entry, &DataEntry::loadedChanged, &loop, &QEventLoop::quit);
        connect(entry, &DataEntry::loadingChanged, &loop, &QEventLoop::quit);
        connect(entry, &QObject::destroyed, &loop, &QEventLoop::quit);
        if (device) {
            connect(device, &QObject::destroyed, &loop, &QEventLoop::quit);
            connect(device, &Device::connectedChanged, &loop, &QEventLoop::quit);
            connect(device, &QThread::finished, &loop, &QEventLoop::quit);
        }
        if (gone()) {
            qWarning() << "quorvantisexport - instrument gone while the entry loads";
            return Outcome::Interrupted;
        }
        if (entry->isLoaded())
            break;
        if (!entry->isLoading()) {
            qWarning() << "quorvantisexport - the entry's data could not be read";
            return Outcome::Failed;
        }
        qDebug() << "waiting for isLoaded()";
        m_waits.append(&loop);
        loop.exec();
        if (!self)
            return Outcome::Interrupted;
        m_waits.removeOne(&loop);
    }
    if (!entry || !device)
        return Outcome::Interrupted;
    if (!entry->isValid()) {
        qWarning() << "quorvantisexport - entry data could not be read";
        return Outcome::Failed;
    }
    return Outcome::Saved;
}

bool FileExporter::writeAudioFile(DataEntry *entry, const QString &fileName, bool overwrite)
{
    return saveAudioFile(entry, sessionFileName(fileName, DataEntry::Audio), overwrite);
}

bool FileExporter::writeFieldFile(DataEntry *entry, bool isPublic, CharMode charMode,
                                  const QString &fileName, bool overwrite)
{
    return saveFieldFile(entry, isPublic, charMode, wholefile::saveNameOf(fileName), overwrite);
}

bool FileExporter::saveAudioFile(DataEntry *entry, const wholefile::SaveName &name, bool overwrite)
{
    auto *audio = qobject_cast<AudioDataEntry *>(entry);
    if (!audio)
        return false;
    return save(name, {audio->wavData()}, overwrite);
}

bool FileExporter::saveFieldFile(DataEntry *entry, bool isPublic, CharMode charMode,
                                 const wholefile::SaveName &name, bool overwrite)
{
    auto *field = qobject_cast<FieldDataEntry *>(entry);
    if (!field)
        return false;
    const QList<FieldReading *> readings = field->fieldReadings();
    if (readings.size() < 2)
        return true;
    return save(name, fieldText(readings, separatorOf(charMode), isPublic), overwrite);
}

bool FileExporter::save(const wholefile::SaveName &name, const std::vector<QByteArray> &parts,
                        bool overwrite) const
{
    const wholefile::Result result = wholefile::write(
        name, parts, overwrite ? wholefile::Existing::Replace : wholefile::Existing::Keep,
        m_throughLinks ? wholefile::Links::Follow : wholefile::Links::Never);
    if (!result.ok())
        qDebug() << "Failed to open file:" << name.path() << result.error;
    return result.ok();
}

QByteArray FileExporter::writeFieldReading(FieldReading *reading, QByteArray data,
                                           const QString &separator)
{
    if (!reading)
        return data;
    qvexport::RowWriter writer(separator.toUtf8(), QByteArrayLiteral("\n"),
                               qvexport::NumberStyle::Significant6);
    writer.appendRow(data, reading->dateTime(), reading->MaxField(), reading->EField(),
                     reading->HField(), reading->AlarmState(), reading->SixMinAvg(),
                     reading->ThirtyMinAvg());
    return data;
}

QByteArray FileExporter::writeFieldHeading(QByteArray data, const QString &separator, bool isPublic)
{
    qvexport::RowWriter writer(separator.toUtf8(), QByteArrayLiteral("\n"),
                               qvexport::NumberStyle::Significant6);
    writer.appendHeading(data, isPublic);
    return data;
}
