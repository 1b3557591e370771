#pragma once

#include "device.h"
#include "simulatorlinked.h"

#include <functional>

// A bare engine over the simulated instrument, for tests of the engine itself.
// The handshake is whatever the test sets (Success by default).
class SimulatedDevice : public SimulatorLinked<Device>
{
    Q_OBJECT

public:
    using Handshake = std::function<ErrorCode(SimulatedDevice &)>;

    explicit SimulatedDevice(InstrumentSimulator *simulator, QObject *parent = nullptr);
    ~SimulatedDevice() override;

    void setHandshake(Handshake handshake);
    int handshakeCount() const { return m_handshakes.load(); }

    // Engine internals that tests drive directly.
    using Device::hasPendingPackets;
    using Device::sendReceivePacket;
    using Device::setBootloaderVersion;
    using Device::setCommunicationTimeout;
    using Device::setConnected;
    using Device::setIsPublic;
    using Device::takePendingPacket;
    using Device::updateRfNoiseFloor;

protected:
    ErrorCode performHandshake() override;

private:
    std::mutex m_handshakeLock;
    Handshake m_handshake;
    std::atomic<int> m_handshakes{0};
};
