#include "reset.h"

#include "device.h"

Reset::Reset(QObject *parent) : Message(8, false, parent) {}

void Reset::onSent(Device *device)
{
    emit sent();
    if (device)
        device->disconnect();
}
