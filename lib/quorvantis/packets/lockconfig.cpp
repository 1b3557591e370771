#include "lockconfig.h"

#include "device.h"

LockConfig::LockConfig(bool lock, QObject *parent) : Message(3, false, parent), m_lock(lock) {}

LockConfig::~LockConfig()
{
    Device::forgetPacket(this);
}

Message::ErrorCode LockConfig::write(Request *request, Device *device)
{
    const ErrorCode result = Message::write(request, device);
    if (result != Success)
        return result;
    (*request)[2] = m_lock ? 1 : 0;
    return Success;
}
