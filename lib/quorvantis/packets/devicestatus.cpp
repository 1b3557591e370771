#include "devicestatus.h"

#include "device.h"

DeviceStatus::DeviceStatus(QObject *parent) : UserTrigger(3, true, parent) {}

DeviceStatus::~DeviceStatus()
{
    // A page owns this packet and may close during its exchange.
    Device::forgetPacket(this);
}

double DeviceStatus::voltageFromRaw(quint16 raw)
{
    return double(raw) / 1023.0 * 3.3 * 122.0 / 100.0;
}

Message::ErrorCode DeviceStatus::read(const Response *response, Device *device)
{
    const ErrorCode result = UserTrigger::read(response, device);
    if (result != Success)
        return result;
    const uchar count = replyDataCount(response);
    if (count < 2)
        return Failed;
    // The battery reading is big-endian, unlike the rest of the protocol.
    setBatteryLevel(voltageFromRaw(response->uint16BE(ReplyData)));
    if (count < 3)
        return Success;
    setMemoryDisabled((*response)[ReplyData + 2] != 0);
    return Success;
}

void DeviceStatus::setBatteryLevel(double batteryVoltage)
{
    m_batteryVoltage.store(batteryVoltage);
    emit batteryVoltageChanged();
}

void DeviceStatus::setMemoryDisabled(bool disabled)
{
    m_memoryDisabled.store(disabled);
    emit memoryDisabledChanged();
}
