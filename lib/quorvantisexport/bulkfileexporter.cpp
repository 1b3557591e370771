#include "bulkfileexporter.h"

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
    for (QObject *entry : dataEntries)
        m_dataEntries.append(entry);
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

QString BulkFileExporter::fileNameFor(const DataEntry *entry, DataEntry::EntryType dataType,
                                      CharMode charMode) const
{
    QString name = m_folder.absolutePath() + QLatin1Char('/') +
                   entry->dateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (dataType == DataEntry::Field)
        name += charMode == CSV ? QStringLiteral("_data.csv") : QStringLiteral("_data.tsv");
    else
        name += QStringLiteral("_voice.wav");
    return name;
}

void BulkFileExporter::writeAll(DataEntry::EntryType dataType, CharMode charMode)
{
    QPointer<BulkFileExporter> self(this);
    std::optional<BusyScope> busy(std::in_place, this);
    resetRequestCancel();
    int count = 0;
    int failed = 0;
    bool cancelled = false;

    // The list is walked from a copy: a handler run during a wait may set another one.
    const QList<QPointer<QObject>> entries = m_dataEntries;
    for (const QPointer<QObject> &object : entries) {
        if (isCancelRequested()) {
            cancelled = true;
            break;
        }
        auto *entry = qobject_cast<DataEntry *>(object.data());
        if (!entry || entry->type() != dataType)
            continue;
        setDataEntry(entry);
        const QString name = fileNameFor(entry, dataType, charMode);
        const Outcome outcome = exportCurrentEntry(name, charMode, false);
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
