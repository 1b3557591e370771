#include "reset.h"

#include "device.h"

Reset::Reset(QObject *parent) : Message(8, false, parent) {}

Reset::~Reset()
{
    Device::forgetPacket(this);
}

void Reset::onSent(Device *device)
{
    emit sent();
    if (device)
        device->disconnect();
}
