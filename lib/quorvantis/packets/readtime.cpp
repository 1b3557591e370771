#include "readtime.h"

#include "datetimeconverter.h"
#include "device.h"

ReadTime::ReadTime(QObject *parent) : UserTrigger(2, true, parent) {}

ReadTime::~ReadTime()
{
    Device::forgetPacket(this);
}

Message::ErrorCode ReadTime::read(const Response *response, Device *device)
{
    const ErrorCode result = UserTrigger::read(response, device);
    if (result != Success)
        return result;
    if (replyDataCount(response) != 6)
        return Failed;
    const DeviceDateTime deviceTime = DeviceDateTime::fromBytes(response->data() + ReplyData);
    const QDateTime time = DateTimeConverter::fromDevice(&deviceTime);
    emit timeAvailable(time);
    setTimeDifference(time.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch());
    return Success;
}

void ReadTime::setTimeDifference(qint64 difference)
{
    m_timeDifference.store(difference);
    emit timeDifferenceChanged();
}
