#include "readaudiomemory.h"

ReadAudioMemory::ReadAudioMemory(ulong address, QObject *parent)
    : ReadHeaderMemory(address, Device::FLASH, parent)
{}

quint32 ReadAudioMemory::memoryWriteChunkSize(Device *device)
{
    Q_UNUSED(device)
    return 1;
}
