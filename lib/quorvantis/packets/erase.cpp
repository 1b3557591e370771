#include "erase.h"

#include "device.h"

Erase::Erase(QObject *parent) : UserTrigger(1, false, parent) {}

Erase::~Erase()
{
    Device::forgetPacket(this);
}

void Erase::onSent(Device *device)
{
    emit sent();
    if (device)
        device->disconnect();
}
