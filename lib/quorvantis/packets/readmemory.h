#pragma once

#include "device.h"
#include "message.h"
#include "quorvantis_global.h"

#include <QByteArray>
#include <QMutex>
#include <atomic>

// Command 7: reads a stretch of the instrument's memory, one chunk per
// exchange, queuing itself again until the stretch ends, then hands on all the
// bytes collected. Where the stretch lies and where it ends is up to the
// subclasses. Sending it again continues where the last read stopped and keeps
// appending.
class QUORVANTIS_EXPORT ReadMemory : public Message
{
    Q_OBJECT

public:
    static constexpr int PayloadSize = 58; // reply bytes 6-63
    static constexpr int PayloadOffset = 6;

    explicit ReadMemory(Device::MemoryType memoryType, QObject *parent = nullptr);
    ReadMemory(ulong startAddress, Device::MemoryType memoryType, QObject *parent = nullptr);
    ~ReadMemory() override;

    // A reply names the address it was read from.
    bool isReplyTo(const Request *request, const Response *response) const override;

    quint32 startAddress() const { return m_startAddress; }
    quint32 readAddress() const { return m_readAddress.load(); }
    Device::MemoryType memoryType() const { return m_memoryType; }
    QByteArray data() const;

    virtual quint32 boundedReadAddress(Device *device, quint32 address);
    virtual uchar requestedPacketSize(Device *device, quint32 address);
    virtual quint32 memoryRegionStart(Device *device) = 0;
    virtual quint32 memoryRegionEnd(Device *device) = 0;
    virtual quint32 memorySectorSize(Device *device) = 0;
    virtual quint32 memoryWriteChunkSize(Device *device) = 0;
    virtual quint32 memorySectorStartSkip(Device *device);
    // `index` counts within the 58-byte payload field of the reply.
    virtual bool isEndOfData(Device *device, const Response *response, uint index, uint skip) = 0;
    virtual void onDataReceived(Device *device, QByteArray data);
    virtual bool isDataValid(Device *device, QByteArray data);
    // False when the device announced no memory for this read to walk.
    virtual bool hasMemoryRegion(Device *device);

    // Bytes per address of this read's memory type; 0 for an unknown type.
    quint32 memoryAddressSize(Device *device);
    bool isStartOfSector(Device *device, quint32 address);
    bool isWithinStartOfSector(Device *device, quint32 address);
    bool isWithinEndOfSector(Device *device, quint32 address);
    quint32 sectorStartAddress(Device *device, quint32 address);
    quint32 nextSectorStartAddress(Device *device, quint32 address);
    // Appends the reply's bytes to `out` up to the end of data and moves the
    // read address on; true when there is more to read. A read that wrapped
    // to the start of its region ends where it began, and never holds more
    // than the region.
    bool copyData(Device *device, const Response *response, QByteArray *out);

public slots:
    ErrorCode write(Request *request, Device *device) override;
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void dataReceived(Device *device, QByteArray data);

protected:
    // The bytes collected so far, as the end rules see them (device thread).
    const QByteArray &collected() const { return m_data; }

private:
    quint32 m_startAddress;
    std::atomic<quint32> m_readAddress;
    Device::MemoryType m_memoryType;
    bool m_wrapped = false;    // device thread
    mutable QMutex m_dataLock; // m_data is written on the device thread only
    QByteArray m_data;
};
