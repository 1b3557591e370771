#include "updatetime.h"

#include "datetimeconverter.h"
#include "device.h"

UpdateTime::UpdateTime(QObject *parent) : UserTrigger(2, true, parent) {}

UpdateTime::~UpdateTime()
{
    Device::forgetPacket(this);
}

Message::ErrorCode UpdateTime::write(Request *request, Device *device)
{
    const ErrorCode result = UserTrigger::write(request, device);
    if (result != Success)
        return result;
    const QDateTime target = QDateTime::currentDateTimeUtc().addSecs(LeadSeconds);
    const DeviceDateTime deviceTime = DateTimeConverter::fromQDateTime(&target);
    uint8_t bytes[6];
    deviceTime.toBytes(bytes);
    return writeParameters(request, bytes, 6);
}

Message::ErrorCode UpdateTime::read(const Response *response, Device *device)
{
    const ErrorCode result = UserTrigger::read(response, device);
    if (result == Success)
        emit timeUpdated();
    return result;
}
