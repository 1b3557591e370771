#pragma once

#include "quorvantis_global.h"
#include "readmemory.h"

// Reads one whole memory block as the bootloader announced it. The block is
// copied: the next bootloader reply replaces the device's list of blocks.
class QUORVANTIS_EXPORT ReadBlockMemory : public ReadMemory
{
    Q_OBJECT

public:
    ReadBlockMemory(const MemoryBlock *memoryBlock, Device::MemoryType memoryType,
                    QObject *parent = nullptr);
    ~ReadBlockMemory() override;

    MemoryBlock memoryBlock() const { return m_block; }

    quint32 memoryRegionStart(Device *device) override;
    quint32 memoryRegionEnd(Device *device) override;
    quint32 memorySectorSize(Device *device) override;
    quint32 memoryWriteChunkSize(Device *device) override;
    quint32 memorySectorStartSkip(Device *device) override;
    bool isEndOfData(Device *device, const Response *response, uint index, uint skip) override;
    bool hasMemoryRegion(Device *device) override;

protected:
    // Reads no more than this many addresses from the block's start.
    void limitSize(quint32 addresses);

private:
    MemoryBlock m_block;
    bool m_hasBlock;
};
