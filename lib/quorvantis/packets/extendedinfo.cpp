#include "extendedinfo.h"

#include "device.h"

#include <cstring>

ExtendedInfo::ExtendedInfo(QObject *parent) : Message(12, true, parent) {}

ExtendedInfo::~ExtendedInfo()
{
    Device::forgetPacket(this);
}

Message::ErrorCode ExtendedInfo::read(const Response *response, Device *device)
{
    const ErrorCode result = Message::read(response, device);
    if (result != Success)
        return result;
    ExtendedQueryInfo copy;
    std::memcpy(copy.bytes, response->bytes, ReportBuffer::Size);
    setExtendedInfo(&copy);
    return Success;
}

void ExtendedInfo::setExtendedInfo(const ExtendedQueryInfo *extendedInfo)
{
    m_extendedInfo = *extendedInfo;
    emit extendedInfoAvailable(&m_extendedInfo);
}
