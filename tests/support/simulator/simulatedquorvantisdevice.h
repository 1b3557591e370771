#pragma once

#include "quorvantisdevice.h"
#include "simulatorlinked.h"

// The instrument model over the simulated instrument: the real handshake, header
// walk and entry loading, with the raw transport of a SimulatorLink.
class SimulatedQuorvAntisDevice : public SimulatorLinked<QuorvAntisDevice>
{
    Q_OBJECT

public:
    explicit SimulatedQuorvAntisDevice(InstrumentSimulator *simulator, QObject *parent = nullptr);
    ~SimulatedQuorvAntisDevice() override;

    using Device::hasPendingPackets;
    using Device::setCommunicationTimeout;
    using Device::setIsPublic;
    using Device::takePendingPacket;
};
