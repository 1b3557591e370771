#include "readdeviceidmemory.h"

#include "device.h"
#include "deviceid.h"

ReadDeviceIDMemory::ReadDeviceIDMemory(DeviceID *deviceID, MemoryBlock *memoryBlock,
                                       QObject *parent)
    : ReadBlockMemory(memoryBlock, Device::FLASH, parent), m_deviceID(deviceID)
{
    limitSize(MaximumRecordSize / qMax<quint32>(1, memoryBlock ? memoryBlock->bytesPerAddress : 1));
}

ReadDeviceIDMemory::~ReadDeviceIDMemory()
{
    Device::forgetPacket(this);
}

void ReadDeviceIDMemory::onDataReceived(Device *device, QByteArray data)
{
    if (m_deviceID)
        m_deviceID->setDeviceID(data);
    ReadBlockMemory::onDataReceived(device, data);
}
