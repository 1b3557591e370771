#include "readblockmemory.h"

#include "device.h"

ReadBlockMemory::ReadBlockMemory(const MemoryBlock *memoryBlock, Device::MemoryType memoryType,
                                 QObject *parent)
    : ReadMemory(memoryBlock ? memoryBlock->address : 0, memoryType, parent),
      m_block(memoryBlock ? *memoryBlock : MemoryBlock()), m_hasBlock(memoryBlock != nullptr)
{}

ReadBlockMemory::~ReadBlockMemory()
{
    Device::forgetPacket(this);
}

void ReadBlockMemory::limitSize(quint32 addresses)
{
    m_block.size = qMin(m_block.size, addresses);
}

quint32 ReadBlockMemory::memoryRegionStart(Device *device)
{
    Q_UNUSED(device)
    return m_block.address;
}

quint32 ReadBlockMemory::memoryRegionEnd(Device *device)
{
    Q_UNUSED(device)
    return m_block.address + m_block.size;
}

quint32 ReadBlockMemory::memorySectorSize(Device *device)
{
    Q_UNUSED(device)
    return 0x10000;
}

quint32 ReadBlockMemory::memoryWriteChunkSize(Device *device)
{
    Q_UNUSED(device)
    return 1;
}

quint32 ReadBlockMemory::memorySectorStartSkip(Device *device)
{
    Q_UNUSED(device)
    return 0;
}

bool ReadBlockMemory::isEndOfData(Device *device, const Response *response, uint index, uint skip)
{
    Q_UNUSED(device)
    Q_UNUSED(response)
    // The block holds size x bytes-per-address bytes; blocks carry no markers.
    const qint64 wanted = qint64(m_block.size) * m_block.bytesPerAddress;
    return qint64(collected().size()) + qint64(index - skip) >= wanted;
}

bool ReadBlockMemory::hasMemoryRegion(Device *device)
{
    Q_UNUSED(device)
    return m_hasBlock;
}
