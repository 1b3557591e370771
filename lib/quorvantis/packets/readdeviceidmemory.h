#pragma once

#include "quorvantis_global.h"
#include "readblockmemory.h"

#include <QPointer>

class DeviceID;

// Reads the identity record at the start of the identity block and hands it to
// the identity object before the bytes are announced.
class QUORVANTIS_EXPORT ReadDeviceIDMemory : public ReadBlockMemory
{
    Q_OBJECT

public:
    // A record is a few bytes; a block announced larger holds it at its start.
    static constexpr quint32 MaximumRecordSize = 64; // bytes

    ReadDeviceIDMemory(DeviceID *deviceID, MemoryBlock *memoryBlock, QObject *parent = nullptr);
    ~ReadDeviceIDMemory() override;

    void onDataReceived(Device *device, QByteArray data) override;

private:
    QPointer<DeviceID> m_deviceID;
};
