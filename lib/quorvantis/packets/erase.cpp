#include "erase.h"

#include "device.h"

Erase::Erase(QObject *parent) : UserTrigger(1, false, parent) {}

void Erase::onSent(Device *device)
{
    emit sent();
    if (device)
        device->disconnect();
}
