#pragma once

#include "device.h"
#include "instrumentsimulator.h"

#include <atomic>

// The six raw transport operations against an InstrumentSimulator, shaped like
// the HID transport: a write hands over the first length - 1 bytes, a read
// never waits, an operation on a closed link returns -1. Any Device subclass
// used in tests forwards its raw operations here.
class SimulatorLink
{
public:
    explicit SimulatorLink(InstrumentSimulator *simulator) : m_simulator(simulator) {}

    bool available() const { return m_simulator->isPlugged(); }
    bool isOpen() const { return m_session.load() != 0; }
    Device::ErrorCode open();
    void close();
    int write(const void *data, int length);
    int read(void *data, int length);

    InstrumentSimulator *simulator() const { return m_simulator; }
    int openCount() const { return m_opens.load(); }
    int closeCount() const { return m_closes.load(); }

private:
    InstrumentSimulator *m_simulator;
    std::atomic<int> m_session{0};
    std::atomic<int> m_opens{0};
    std::atomic<int> m_closes{0};
};
