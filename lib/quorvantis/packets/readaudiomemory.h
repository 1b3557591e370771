#pragma once

#include "quorvantis_global.h"
#include "readheadermemory.h"

// Reads an audio entry: one byte per sample.
class QUORVANTIS_EXPORT ReadAudioMemory : public ReadHeaderMemory
{
    Q_OBJECT

public:
    explicit ReadAudioMemory(ulong address, QObject *parent = nullptr);
    ~ReadAudioMemory() override;

    quint32 memoryWriteChunkSize(Device *device) override;
};
