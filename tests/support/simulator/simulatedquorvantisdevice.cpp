#include "simulatedquorvantisdevice.h"

SimulatedQuorvAntisDevice::SimulatedQuorvAntisDevice(InstrumentSimulator *simulator,
                                                     QObject *parent)
    : QuorvAntisDevice(parent), m_link(simulator)
{}

SimulatedQuorvAntisDevice::~SimulatedQuorvAntisDevice()
{
    stopAndWait();
}
