#include "bulkfileexporter.h"

#include "device.h"

#include <QDebug>
#include <QMetaObject>
#include <optional>

BulkFileExporter::BulkFileExporter(QObject *parent) : FileExporter(parent)
{
    neverWriteThroughLinks();
}

void BulkFileExporter::setFolder(const QUrl &folder)
{
    m_folder.setPath(folder.toLocalFile());
}

void BulkFileExporter::setDataEntries(const QList<QObject *> &dataEntries)
{
    m_dataEntries.clear();
    m_holds.clear();
    for (QObject *object : dataEntries) {
        m_dataEntries.append(object);
        if (auto *entry = qobject_cast<DataEntry *>(object))
            m_holds.push_back(std::make_shared<DataEntryHold>(entry));
    }
}

QList<QObject *> BulkFileExporter::dataEntries() const
{
    QList<QObject *> entries;
    for (const QPointer<QObject> &entry : m_dataEntries) {
        if (entry)
            entries.append(entry);
    }
    return entries;
}

QString BulkFileExporter::fileNameFor(const QDir &folder, const DataEntry *entry,
                                      DataEntry::EntryType dataType, CharMode charMode)
{
    QString name = folder.absolutePath() + QLatin1Char('/') +
                   entry->dateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (dataType == DataEntry::Field)
        name += charMode == CSV ? QStringLiteral("_data.csv") : QStringLiteral("_data.tsv");
    else
        name += QStringLiteral("_voice.wav");
    return name;
}

void BulkFileExporter::writeAll(DataEntry::EntryType dataType, CharMode charMode)
{
    // The run takes the list, folder and holds as they are now: a handler run
    // while it waits may set others.
    const auto holds = std::make_shared<Holds>(std::move(m_holds));
    m_holds.clear();
    const QList<QPointer<QObject>> entries = m_dataEntries;
    const QDir folder = m_folder;
    const QPointer<Device> device(this->device());
    inTurn(
        [this, holds, entries, folder, device, dataType, charMode] {
            run(entries, folder, device, dataType, charMode);
            holds->clear();
        },
        [this] { emit cancelled(); });
}

void BulkFileExporter::run(const QList<QPointer<QObject>> &entries, const QDir &folder,
                           const QPointer<Device> &device, DataEntry::EntryType dataType,
                           CharMode charMode)
{
    QPointer<BulkFileExporter> self(this);
    std::optional<BusyScope> busy(std::in_place, this);
    resetRequestCancel();
    int count = 0;
    int failed = 0;
    bool cancelled = false;

    for (const QPointer<QObject> &object : entries) {
        if (isCancelRequested()) {
            cancelled = true;
            break;
        }
        auto *entry = qobject_cast<DataEntry *>(object.data());
        if (!entry || entry->type() != dataType)
            continue;
        setDataEntry(entry);
        const QString name = fileNameFor(folder, entry, dataType, charMode);
        const Outcome outcome = exportEntry(entry, device, name, charMode, false);
        if (!self)
            return;
        ++count;
        if (outcome == Outcome::Failed) {
            qWarning() << "quorvantisexport - not written:" << name;
            ++failed;
        } else if (outcome != Outcome::Saved) {
            cancelled = true;
            break;
        }
    }

    busy.reset(); // not busy any more when the outcome is reported
    if (cancelled || isCancelRequested()) {
        resetRequestCancel();
        emit this->cancelled();
    } else if (count == 0) {
        emit noData();
    } else if (failed > 0) {
        emit error(writeErrorText);
    } else {
        emit dataSaved();
    }
}

void BulkFileExporter::writeAllConcurrent(DataEntry::EntryType dataType, CharMode charMode)
{
    // Entries, device and this object all live on this object's thread, and
    // loading needs that thread's events: the run is queued there, not on a pool.
    QMetaObject::invokeMethod(
        this, [this, dataType, charMode] { writeAll(dataType, charMode); }, Qt::QueuedConnection);
}
