#include "readfieldmemory.h"

#include "device.h"

ReadFieldMemory::ReadFieldMemory(ulong address, QObject *parent)
    : ReadHeaderMemory(address, Device::FLASH, parent)
{}

ReadFieldMemory::~ReadFieldMemory()
{
    Device::forgetPacket(this);
}

quint32 ReadFieldMemory::memoryWriteChunkSize(Device *device)
{
    Q_UNUSED(device)
    return 4;
}
