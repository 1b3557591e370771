#include "usertrigger.h"

#include "device.h"

#include <QDebug>

UserTrigger::UserTrigger(uint trigger, QObject *parent) : UserTrigger(trigger, true, parent) {}

UserTrigger::UserTrigger(uint trigger, bool expectsResponse, QObject *parent)
    : Message(10, expectsResponse, parent), m_trigger(trigger)
{}

UserTrigger::~UserTrigger()
{
    Device::forgetPacket(this);
}

bool UserTrigger::isReplyTo(const Request *request, const Response *response) const
{
    return replyTrigger(response) == request->uint32LE(2);
}

Message::ErrorCode UserTrigger::write(Request *request, Device *device)
{
    const ErrorCode result = Message::write(request, device);
    if (result != Success)
        return result;
    request->setUInt32LE(2, m_trigger);
    return Success;
}

Message::ErrorCode UserTrigger::read(const Response *response, Device *device)
{
    return Message::read(response, device);
}

Message::ErrorCode UserTrigger::writeParameters(Request *request, const uint8_t *parameters,
                                                uchar count)
{
    if (count > MaximumParameters) {
        qWarning() << "Parameters for user trigger required more space than was allocated in the "
                      "bootloader.";
        return Failed;
    }
    (*request)[7] = count;
    for (uchar i = 0; i < count; ++i)
        (*request)[8 + i] = parameters[i];
    return Success;
}
