#pragma once

#include "quorvantisdevice.h"
#include "simulatorlink.h"

// The instrument model over the simulated instrument: the real handshake, header
// walk and entry loading, with the raw transport of a SimulatorLink.
class SimulatedQuorvAntisDevice : public QuorvAntisDevice
{
    Q_OBJECT

public:
    explicit SimulatedQuorvAntisDevice(InstrumentSimulator *simulator, QObject *parent = nullptr);
    ~SimulatedQuorvAntisDevice() override;

    SimulatorLink &link() { return m_link; }

    using Device::hasPendingPackets;
    using Device::setCommunicationTimeout;
    using Device::setIsPublic;
    using Device::takePendingPacket;

protected:
    bool availableRaw() override { return m_link.available(); }
    bool isConnectedRaw() override { return m_link.isOpen(); }
    ErrorCode connectRaw() override { return m_link.open(); }
    void disconnectRaw() override { m_link.close(); }
    int writeRaw(const void *data, int length) override { return m_link.write(data, length); }
    int readRaw(void *data, int length) override { return m_link.read(data, length); }

private:
    SimulatorLink m_link;
};
