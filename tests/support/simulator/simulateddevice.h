#pragma once

#include "device.h"
#include "simulatorlink.h"

#include <functional>

// A bare engine over the simulated instrument, for tests of the engine itself.
// The handshake is whatever the test sets (Success by default).
class SimulatedDevice : public Device
{
    Q_OBJECT

public:
    using Handshake = std::function<ErrorCode(SimulatedDevice &)>;

    explicit SimulatedDevice(InstrumentSimulator *simulator, QObject *parent = nullptr);
    ~SimulatedDevice() override;

    void setHandshake(Handshake handshake);
    int handshakeCount() const { return m_handshakes.load(); }
    SimulatorLink &link() { return m_link; }

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
    bool availableRaw() override { return m_link.available(); }
    bool isConnectedRaw() override { return m_link.isOpen(); }
    ErrorCode connectRaw() override { return m_link.open(); }
    void disconnectRaw() override { m_link.close(); }
    int writeRaw(const void *data, int length) override { return m_link.write(data, length); }
    int readRaw(void *data, int length) override { return m_link.read(data, length); }
    ErrorCode performHandshake() override;

private:
    SimulatorLink m_link;
    std::mutex m_handshakeLock;
    Handshake m_handshake;
    std::atomic<int> m_handshakes{0};
};
