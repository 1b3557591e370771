#include "readfieldmemory.h"

ReadFieldMemory::ReadFieldMemory(ulong address, QObject *parent)
    : ReadHeaderMemory(address, Device::FLASH, parent)
{}

quint32 ReadFieldMemory::memoryWriteChunkSize(Device *device)
{
    Q_UNUSED(device)
    return 4;
}
