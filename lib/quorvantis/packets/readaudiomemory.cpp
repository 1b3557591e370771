#include "readaudiomemory.h"

#include "device.h"

ReadAudioMemory::ReadAudioMemory(ulong address, QObject *parent)
    : ReadHeaderMemory(address, Device::FLASH, parent)
{}

ReadAudioMemory::~ReadAudioMemory()
{
    Device::forgetPacket(this);
}

quint32 ReadAudioMemory::memoryWriteChunkSize(Device *device)
{
    Q_UNUSED(device)
    return 1;
}
