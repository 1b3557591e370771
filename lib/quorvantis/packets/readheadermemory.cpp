#include "readheadermemory.h"

#include "device.h"

ReadHeaderMemory::ReadHeaderMemory(ulong address, Device::MemoryType memoryType, QObject *parent)
    : ReadMemory(address, memoryType, parent)
{}

ReadHeaderMemory::~ReadHeaderMemory()
{
    Device::forgetPacket(this);
}

quint32 ReadHeaderMemory::memoryRegionStart(Device *device)
{
    const MemoryBlock *block = device->memoryBlock(DataEntryMemoryBlock);
    return block ? block->address : 0;
}

quint32 ReadHeaderMemory::memoryRegionEnd(Device *device)
{
    const MemoryBlock *block = device->memoryBlock(DataEntryMemoryBlock);
    return block ? block->address + block->size : 0;
}

quint32 ReadHeaderMemory::memorySectorSize(Device *device)
{
    Q_UNUSED(device)
    return 0x10000;
}

quint32 ReadHeaderMemory::memorySectorStartSkip(Device *device)
{
    Q_UNUSED(device)
    // A further sector of an entry repeats its marker and start time.
    return collected().isEmpty() ? 1 : 8;
}

bool ReadHeaderMemory::isEndOfData(Device *device, const Response *response, uint index, uint skip)
{
    Q_UNUSED(device)
    if ((*response)[PayloadOffset + int(index)] != Marker)
        return false;
    return !(collected().isEmpty() && index == skip); // the entry's own marker
}

bool ReadHeaderMemory::isDataValid(Device *device, QByteArray data)
{
    Q_UNUSED(device)
    return !data.isEmpty() && uchar(data.at(0)) == Marker;
}

bool ReadHeaderMemory::hasMemoryRegion(Device *device)
{
    return device->hasMemory(DataEntryMemoryBlock);
}
