#pragma once

#include "simulatorlink.h"

#include <QObject>

// An engine class whose raw operations go to the simulated instrument through
// a SimulatorLink.
template <class Engine> class SimulatorLinked : public Engine
{
public:
    SimulatorLinked(InstrumentSimulator *simulator, QObject *parent)
        : Engine(parent), m_link(simulator)
    {}

    SimulatorLink &link() { return m_link; }

protected:
    bool availableRaw() override { return m_link.available(); }
    bool isConnectedRaw() override { return m_link.isOpen(); }
    Device::ErrorCode connectRaw() override { return m_link.open(); }
    void disconnectRaw() override { m_link.close(); }
    int writeRaw(const void *data, int length) override { return m_link.write(data, length); }
    int readRaw(void *data, int length) override { return m_link.read(data, length); }

private:
    SimulatorLink m_link;
};
