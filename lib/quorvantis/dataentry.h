#pragma once

#include "quorvantis_global.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

class Device;
Q_MOC_INCLUDE("device.h")
class ReadHeaderMemory;

// One recorded session, known by its header until loaded from the instrument's memory.
class QUORVANTIS_EXPORT DataEntry : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("DataEntries cannot be instantiated, they will be provided by the "
                    "FetchDataEntries packet type.")
    Q_PROPERTY(EntryType type READ type NOTIFY headerChanged)
    Q_PROPERTY(QDateTime dateTime READ dateTime NOTIFY headerChanged)
    Q_PROPERTY(QString dateString READ dateString NOTIFY headerChanged)
    Q_PROPERTY(QString timeString READ timeString NOTIFY headerChanged)
    Q_PROPERTY(ulong absoluteAddress READ absoluteAddress NOTIFY headerChanged)
    Q_PROPERTY(bool loaded READ isLoaded NOTIFY loadedChanged)
    Q_PROPERTY(bool valid READ isValid NOTIFY validChanged)
    Q_PROPERTY(bool loading READ isLoading NOTIFY loadingChanged)

public:
    enum EntryType
    {
        Undefined = -1,
        Field = 1,
        Audio = 2
    };
    Q_ENUM(EntryType)

    DataEntry(uchar type, QDateTime dateTime, ulong absoluteAddress, QObject *parent = nullptr);

    EntryType type() const { return m_type; }
    bool isLoaded() const { return m_loaded; }
    bool isLoading() const { return m_loading; }
    bool isValid() const { return m_valid; }
    QDateTime dateTime() const;
    QString dateString() const;
    QString timeString() const;
    ulong absoluteAddress() const { return m_absoluteAddress; }
    qint64 sortOrder() const;
    double noiseFloor() const { return m_noiseFloor; }
    // Held by a page or an export through DataEntryHold: the entry, and the
    // list it came with, outlive a newer list meanwhile.
    bool isHeld() const { return m_holds > 0; }

signals:
    void headerChanged();
    void loadedChanged();
    void loadingChanged();
    void validChanged();
    void loaded();
    void heldChanged();

public slots:
    bool load(Device *device, bool force);
    bool load(Device *device);

protected:
    virtual void onDataAvailable(QByteArray payload, bool finished) = 0;

    void setValid(bool valid);
    void setLoaded(bool loaded);
    void setLoading(bool loading);

private slots:
    void onMemoryRead(Device *device, QByteArray data);
    void onReadFailed(uchar result);

private:
    friend class DataEntryHold;

    double m_noiseFloor = 0.0;
    ReadHeaderMemory *m_memoryReader = nullptr;
    EntryType m_type = Undefined;
    quint32 m_absoluteAddress = 0;
    QDateTime m_dateTime;
    bool m_loading = false;
    bool m_loaded = false;
    bool m_valid = true;
    int m_holds = 0; // the entry's thread
};

// One hold on an entry while it is shown or exported, dropped on reset or
// destruction. Used on the entry's thread.
class QUORVANTIS_EXPORT DataEntryHold
{
public:
    DataEntryHold() = default;
    explicit DataEntryHold(DataEntry *entry) { reset(entry); }
    ~DataEntryHold() { reset(); }
    DataEntryHold(const DataEntryHold &) = delete;
    DataEntryHold &operator=(const DataEntryHold &) = delete;

    void reset(DataEntry *entry = nullptr);
    DataEntry *entry() const { return m_entry; }

private:
    QPointer<DataEntry> m_entry;
};
