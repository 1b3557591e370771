#include "readispublic.h"

#include "device.h"

ReadIsPublic::ReadIsPublic(QObject *parent) : UserTrigger(8, true, parent) {}

ReadIsPublic::~ReadIsPublic()
{
    Device::forgetPacket(this);
}

bool ReadIsPublic::isReplyTo(const Request *request, const Response *response) const
{
    Q_UNUSED(request)
    Q_UNUSED(response)
    return true;
}

Message::ErrorCode ReadIsPublic::read(const Response *response, Device *device)
{
    const ErrorCode result = UserTrigger::read(response, device);
    if (result != Success)
        return result;
    if (replyTrigger(response) != trigger()) {
        m_readIsPublic.store(false);
        return Success;
    }
    if (replyDataCount(response) != 1)
        return Failed;
    m_readIsPublic.store((*response)[ReplyData] != 0);
    return Success;
}
