#pragma once

#include "quorvantis_global.h"
#include "readheadermemory.h"

// Reads a field-reading entry: its records are written four bytes at a time.
class QUORVANTIS_EXPORT ReadFieldMemory : public ReadHeaderMemory
{
    Q_OBJECT

public:
    explicit ReadFieldMemory(ulong address, QObject *parent = nullptr);
    ~ReadFieldMemory() override;

    quint32 memoryWriteChunkSize(Device *device) override;
};
