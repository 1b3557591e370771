#include "simulatorlink.h"

Device::ErrorCode SimulatorLink::open()
{
    if (isOpen())
        return Device::Success;
    const int session = m_simulator->open();
    if (session == 0)
        return Device::Failed;
    m_session.store(session);
    ++m_opens;
    return Device::Success;
}

void SimulatorLink::close()
{
    if (m_session.exchange(0) != 0)
        ++m_closes;
}

int SimulatorLink::write(const void *data, int length)
{
    const int session = m_session.load();
    if (session == 0 || length < 1)
        return -1;
    return m_simulator->write(session, static_cast<const uint8_t *>(data), length - 1);
}

int SimulatorLink::read(void *data, int length)
{
    const int session = m_session.load();
    if (session == 0)
        return -1;
    return m_simulator->read(session, static_cast<uint8_t *>(data), length);
}
