#pragma once

#include "hiddevice.h"
#include "scenario.h"
#include "standinhid.h"

#include <QtTest>

// The HID transport with its raw operations in reach of a test.
class TestableHidDevice : public HIDDevice
{
public:
    using Device::setCommunicationTimeout;
    using HIDDevice::availableRaw;
    using HIDDevice::connectRaw;
    using HIDDevice::disconnectRaw;
    using HIDDevice::HIDDevice;
    using HIDDevice::isConnectedRaw;
    using HIDDevice::readRaw;
    using HIDDevice::writeRaw;
};

// Records a device-thread signal on the test thread: its calls arrive queued,
// so reading them never races the emitter.
class QueuedSpy
{
public:
    template <typename Sender, typename Owner, typename... Args>
    QueuedSpy(Sender *sender, void (Owner::*signal)(Args...))
    {
        QObject::connect(sender, signal, &m_context, [this](Args... args) {
            m_calls.append(QVariantList{QVariant::fromValue(args)...});
        });
    }

    int count() const { return int(m_calls.size()); }
    QVariantList at(int index) const { return m_calls.value(index); }

private:
    QObject m_context;
    QList<QVariantList> m_calls;
};

// Puts the stand-in's instrument back to a known scenario with no faults.
inline bool resetStandIn(const QString &scenarioFile)
{
    StandInHid &hid = StandInHid::instance();
    hid.reset();
    hid.simulator().clearFaults();
    hid.simulator().replug();
    hid.setCallDuration(std::chrono::microseconds(0));
    QString error;
    if (!hid.loadScenario(Scenario::dataPath(scenarioFile), &error)) {
        qWarning() << "scenario refused:" << error;
        return false;
    }
    hid.setFrameMs(0);
    return true;
}

inline QString misuseText()
{
    QString text;
    for (const StandInHid::Record &r : StandInHid::instance().misuses())
        text += QString::fromStdString(r.text) + QLatin1Char('\n');
    return text;
}

inline bool waitForHeaders(QuorvAntisDevice *device, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!(device->isConnected() && device->hasAllHeaders()) && !deadline.hasExpired())
        QTest::qWait(5);
    QCoreApplication::sendPostedEvents();
    return device->isConnected() && device->hasAllHeaders();
}

inline QList<DataEntry *> entriesOf(const QuorvAntisDevice *device)
{
    QList<DataEntry *> list;
    for (QObject *object : device->dataEntries())
        list.append(qobject_cast<DataEntry *>(object));
    return list;
}
