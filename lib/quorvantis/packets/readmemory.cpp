#include "readmemory.h"

#include <QDebug>

ReadMemory::ReadMemory(Device::MemoryType memoryType, QObject *parent)
    : ReadMemory(0, memoryType, parent)
{}

ReadMemory::ReadMemory(ulong startAddress, Device::MemoryType memoryType, QObject *parent)
    : Message(7, true, parent), m_startAddress(quint32(startAddress)),
      m_readAddress(quint32(startAddress)), m_memoryType(memoryType)
{}

ReadMemory::~ReadMemory()
{
    Device::forgetPacket(this);
}

bool ReadMemory::isReplyTo(const Request *request, const Response *response) const
{
    return response->uint32LE(1) == request->uint32LE(2);
}

QByteArray ReadMemory::data() const
{
    QMutexLocker lock(&m_dataLock);
    return m_data;
}

quint32 ReadMemory::boundedReadAddress(Device *device, quint32 address)
{
    const quint32 start = memoryRegionStart(device);
    const quint32 end = memoryRegionEnd(device);
    if (address < start || address > end)
        return start; // wraps to the start of the region
    return address;
}

uchar ReadMemory::requestedPacketSize(Device *device, quint32 address)
{
    if (!hasMemoryRegion(device))
        return 0;
    const quint32 size = (memoryRegionEnd(device) - address) * memoryAddressSize(device);
    const quint32 cap = device->details()->bytesPerPacket;
    return uchar(size < cap ? size : cap);
}

quint32 ReadMemory::memorySectorStartSkip(Device *device)
{
    Q_UNUSED(device)
    return 1;
}

void ReadMemory::onDataReceived(Device *device, QByteArray data)
{
    emit dataReceived(device, data);
}

bool ReadMemory::isDataValid(Device *device, QByteArray data)
{
    Q_UNUSED(device)
    Q_UNUSED(data)
    return true;
}

bool ReadMemory::hasMemoryRegion(Device *device)
{
    Q_UNUSED(device)
    return true;
}

quint32 ReadMemory::memoryAddressSize(Device *device)
{
    const DeviceInformation *details = device->details();
    switch (m_memoryType) {
    case Device::FLASH:
        return details->flashBytesPerAddress;
    case Device::EEPROM:
        return details->eepromBytesPerAddress;
    case Device::CONFIG:
        return details->configBytesPerAddress;
    }
    qWarning("Unknown memory type 0x%x", unsigned(m_memoryType));
    return 0;
}

// Sector arithmetic works for any sector size; instruments use powers of two.
// Without sectors (size 0) no address starts or ends one.
bool ReadMemory::isStartOfSector(Device *device, quint32 address)
{
    const quint32 size = memorySectorSize(device);
    return size != 0 && address % size == 0;
}

bool ReadMemory::isWithinStartOfSector(Device *device, quint32 address)
{
    const quint32 size = memorySectorSize(device);
    return size != 0 && (address - memoryRegionStart(device)) % size <= 1;
}

bool ReadMemory::isWithinEndOfSector(Device *device, quint32 address)
{
    const quint32 size = memorySectorSize(device);
    return size != 0 &&
           (address - memoryRegionStart(device)) % size >= size - memoryWriteChunkSize(device);
}

quint32 ReadMemory::sectorStartAddress(Device *device, quint32 address)
{
    const quint32 size = memorySectorSize(device);
    return size != 0 ? address - address % size : address;
}

quint32 ReadMemory::nextSectorStartAddress(Device *device, quint32 address)
{
    return sectorStartAddress(device, address) + memorySectorSize(device);
}

bool ReadMemory::copyData(Device *device, const Response *response, QByteArray *out)
{
    // Without a region, an address size or a sector size there is nothing
    // sound to walk: the read ends with what it has.
    if (!hasMemoryRegion(device))
        return false;
    const quint32 bytesPerAddress = memoryAddressSize(device);
    if (bytesPerAddress == 0 || memorySectorSize(device) == 0)
        return false;

    const quint32 address = response->uint32LE(1);
    // The valid bytes are right-aligned in the payload field; a count beyond
    // the field's size would read past the reply.
    uint count = (*response)[5];
    if (count > uint(PayloadSize))
        count = PayloadSize;
    uint skip = PayloadSize - count;
    if (isStartOfSector(device, address))
        skip += memorySectorStartSkip(device);

    quint32 next = m_startAddress;
    bool more = true;
    uint index = skip;
    for (; index < uint(PayloadSize); ++index) {
        // The address of a payload byte counts from the start of the whole
        // field, whatever the count.
        next = index / bytesPerAddress + address;
        if (m_wrapped && next >= m_startAddress) {
            // Come round to where the read began: the rest was read first.
            next = m_startAddress;
            break;
        }
        if (isEndOfData(device, response, index, skip)) {
            more = false;
            const quint32 at = index / bytesPerAddress + address;
            if (isWithinStartOfSector(device, at)) {
                more = true;
                next = sectorStartAddress(device, at);
            }
            if (isWithinEndOfSector(device, at)) {
                more = true;
                next = nextSectorStartAddress(device, at);
            }
            break;
        }
        next += 1;
    }
    // However the instrument answers, a read holds no more than its region.
    const qint64 regionBytes =
        qint64(quint32(memoryRegionEnd(device) - memoryRegionStart(device))) * bytesPerAddress;
    qint64 taken = qint64(index) - qint64(skip);
    if (taken > regionBytes - out->size()) {
        taken = qMax<qint64>(0, regionBytes - out->size());
        next = m_startAddress;
    }
    if (taken > 0) {
        QMutexLocker lock(out == &m_data ? &m_dataLock : nullptr);
        out->append(reinterpret_cast<const char *>(response->data()) + PayloadOffset + skip,
                    int(taken));
    }

    const quint32 bounded = boundedReadAddress(device, next);
    if (bounded != next)
        m_wrapped = true;
    m_readAddress.store(bounded);
    if (bounded == m_startAddress)
        more = false; // back where the read began
    return more;
}

Message::ErrorCode ReadMemory::write(Request *request, Device *device)
{
    const ErrorCode result = Message::write(request, device);
    if (result != Success)
        return result;
    const quint32 address = m_readAddress.load();
    request->setUInt32LE(2, address);
    (*request)[6] = requestedPacketSize(device, address);
    return Success;
}

Message::ErrorCode ReadMemory::read(const Response *response, Device *device)
{
    const ErrorCode result = Message::read(response, device);
    if (result != Success)
        return result;
    if (copyData(device, response, &m_data) && isDataValid(device, m_data)) {
        device->send(this);
        return Success;
    }
    onDataReceived(device, m_data);
    return Success;
}
