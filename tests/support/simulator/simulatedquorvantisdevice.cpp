#include "simulatedquorvantisdevice.h"

SimulatedQuorvAntisDevice::SimulatedQuorvAntisDevice(InstrumentSimulator *simulator,
                                                     QObject *parent)
    : SimulatorLinked(simulator, parent)
{}

SimulatedQuorvAntisDevice::~SimulatedQuorvAntisDevice()
{
    stopAndWait();
}
