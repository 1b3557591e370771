#pragma once

#include "dataentry.h"
#include "fileexporter.h"
#include "quorvantisexport_global.h"

#include <QDir>
#include <QList>
#include <QPointer>
#include <QUrl>
#include <memory>
#include <vector>

// Writes every session of one kind into a folder, each named after its start
// time, and reports once at the end. The entries handed over are held from
// then until the run that uses them ends: a newer list meanwhile (a refresh,
// a reboot) does not take them away.
class QUORVANTISEXPORT_EXPORT BulkFileExporter : public FileExporter
{
    Q_OBJECT
    QML_ELEMENT

public:
    // The entry types, declared here as well so that QML can name them through
    // this type (BulkFileExporter.Field); the values are those of DataEntry.
    enum EntryType
    {
        Undefined = DataEntry::Undefined,
        Field = DataEntry::Field,
        Audio = DataEntry::Audio
    };
    Q_ENUM(EntryType)

    explicit BulkFileExporter(QObject *parent = nullptr);

    Q_INVOKABLE void setFolder(const QUrl &folder);
    Q_INVOKABLE void setDataEntries(const QList<QObject *> &dataEntries);
    Q_INVOKABLE QList<QObject *> dataEntries() const;
    Q_INVOKABLE void writeAll(DataEntry::EntryType dataType = DataEntry::Field,
                              FileExporter::CharMode charMode = CSV);
    Q_INVOKABLE void writeAllConcurrent(DataEntry::EntryType dataType = DataEntry::Field,
                                        FileExporter::CharMode charMode = CSV);

    QDir folder() const { return m_folder; }

private:
    using Holds = std::vector<std::shared_ptr<DataEntryHold>>;

    static QString fileNameFor(const QDir &folder, const DataEntry *entry,
                               DataEntry::EntryType dataType, CharMode charMode);
    void run(const QList<QPointer<QObject>> &entries, const QDir &folder,
             const QPointer<Device> &device, DataEntry::EntryType dataType, CharMode charMode);

    QDir m_folder;
    QList<QPointer<QObject>> m_dataEntries;
    Holds m_holds;
};
