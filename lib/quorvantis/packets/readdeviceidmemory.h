#pragma once

#include "quorvantis_global.h"
#include "readblockmemory.h"

#include <QPointer>

class DeviceID;

// Reads the identity block and hands it to the identity object before the
// bytes are announced.
class QUORVANTIS_EXPORT ReadDeviceIDMemory : public ReadBlockMemory
{
    Q_OBJECT

public:
    ReadDeviceIDMemory(DeviceID *deviceID, MemoryBlock *memoryBlock, QObject *parent = nullptr);
    ~ReadDeviceIDMemory() override;

    void onDataReceived(Device *device, QByteArray data) override;

private:
    QPointer<DeviceID> m_deviceID;
};
