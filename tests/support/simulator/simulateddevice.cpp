#include "simulateddevice.h"

SimulatedDevice::SimulatedDevice(InstrumentSimulator *simulator, QObject *parent)
    : SimulatorLinked(simulator, parent)
{}

SimulatedDevice::~SimulatedDevice()
{
    stopAndWait();
}

void SimulatedDevice::setHandshake(Handshake handshake)
{
    std::lock_guard lock(m_handshakeLock);
    m_handshake = std::move(handshake);
}

Device::ErrorCode SimulatedDevice::performHandshake()
{
    ++m_handshakes;
    Handshake handshake;
    {
        std::lock_guard lock(m_handshakeLock);
        handshake = m_handshake;
    }
    return handshake ? handshake(*this) : Success;
}
