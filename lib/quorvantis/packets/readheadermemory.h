#pragma once

#include "quorvantis_global.h"
#include "readmemory.h"

// Reads one recorded entry from the entry block: a 0xFF marker and start time,
// then data up to the next 0xFF. A 0xFF at a sector's edge is the erased rest
// of that sector and the entry goes on in the next one, after the sector's
// first byte and a repeat of the marker and start time.
class QUORVANTIS_EXPORT ReadHeaderMemory : public ReadMemory
{
    Q_OBJECT

public:
    static constexpr uchar Marker = 0xFF;

    ReadHeaderMemory(ulong address, Device::MemoryType memoryType, QObject *parent = nullptr);
    ~ReadHeaderMemory() override;

    quint32 memoryRegionStart(Device *device) override;
    quint32 memoryRegionEnd(Device *device) override;
    quint32 memorySectorSize(Device *device) override;
    quint32 memorySectorStartSkip(Device *device) override;
    bool isEndOfData(Device *device, const Response *response, uint index, uint skip) override;
    bool isDataValid(Device *device, QByteArray data) override;
    bool hasMemoryRegion(Device *device) override;
};
