#pragma once

#include "quorvantisexport_global.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <vector>

namespace wholefile {
struct SaveName;
}

class DataEntry;
class Device;
class FieldReading;
class QEventLoop;

// Saves one recorded session: a field session as comma- and/or tab-separated
// text, an audio session as a WAVE file. The entry is reloaded from the
// instrument first; the GUI keeps running while it loads.
class QUORVANTISEXPORT_EXPORT FileExporter : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    // True while a write (or a bulk run) is under way; it waits in the event
    // loop, so a disconnection handler can tell whether to cancel.
    Q_PROPERTY(bool isBusy READ isBusy)

public:
    enum CharMode
    {
        CSV = 0,
        TSV = 1,
        BOTH = 2
    };
    Q_ENUM(CharMode)

    explicit FileExporter(QObject *parent = nullptr);
    ~FileExporter() override;

    bool isBusy() const { return m_busy > 0; }

    Q_INVOKABLE void setDataEntry(QObject *dataEntry);
    Q_INVOKABLE void setDevice(QObject *deviceObject);
    Q_INVOKABLE void write(const QString &fileName, FileExporter::CharMode charMode = CSV,
                           bool overwrite = false);
    Q_INVOKABLE QObject *dataEntry() const;
    // The file write(fileName, charMode, true) writes for an entry of
    // entryType (DataEntry::EntryType); a dialog asks about this one.
    Q_INVOKABLE static QString savedPath(const QString &fileName, int entryType);
    Q_INVOKABLE void requestCancel();
    Q_INVOKABLE void resetRequestCancel();

    // Each returns false when a file could not be written; the caller reports it.
    bool writeAudioFile(DataEntry *entry, const QString &fileName, bool overwrite);
    bool writeFieldFile(DataEntry *entry, bool isPublic, FileExporter::CharMode charMode,
                        const QString &fileName, bool overwrite);
    QByteArray writeFieldReading(FieldReading *reading, QByteArray data, const QString &separator);
    QByteArray writeFieldHeading(QByteArray data, const QString &separator, bool isPublic);

signals:
    void dataSaved();
    void noData();
    void error(QFile::FileError error);
    void error(const QString &message);
    void cancelled();

protected:
    enum class Outcome
    {
        Saved,       // written, or nothing to write
        Failed,      // nothing to export from, or a file could not be written
        Interrupted, // the entry could not load: instrument gone, entry or device destroyed
        Cancelled
    };

    // The whole single-session export without its signals; the bulk run reports once.
    Outcome exportCurrentEntry(const QString &fileName, CharMode charMode, bool overwrite);
    bool isCancelRequested() const { return m_cancelRequested; }

    // Marks the exporter busy for its lifetime; nested uses count.
    class BusyScope
    {
    public:
        explicit BusyScope(FileExporter *exporter) : m_exporter(exporter) { ++exporter->m_busy; }
        ~BusyScope()
        {
            if (m_exporter)
                --m_exporter->m_busy;
        }
        BusyScope(const BusyScope &) = delete;
        BusyScope &operator=(const BusyScope &) = delete;

    private:
        QPointer<FileExporter> m_exporter;
    };

    static const QString writeErrorText;

    // Bulk files, whose names anyone can foresee, are never written through a link.
    void neverWriteThroughLinks() { m_throughLinks = false; }

private:
    // Reloads the entry and waits; Saved means loaded, valid and both still there.
    Outcome loadEntry(QPointer<DataEntry> entry, QPointer<Device> device);
    bool saveAudioFile(DataEntry *entry, const wholefile::SaveName &name, bool overwrite);
    bool saveFieldFile(DataEntry *entry, bool isPublic, CharMode charMode,
                       const wholefile::SaveName &name, bool overwrite);
    bool save(const wholefile::SaveName &name, const std::vector<QByteArray> &parts,
              bool overwrite) const;

    QPointer<DataEntry> m_dataEntry;
    QPointer<Device> m_device;
    bool m_cancelRequested = false;
    bool m_throughLinks = true;
    int m_busy = 0;
    QList<QEventLoop *> m_waits;
};
