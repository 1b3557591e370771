#pragma once

// Shared by the packet tests: a device over a scenario-driven simulated
// instrument whose exchanges run synchronously on the test's thread, and
// helpers to build replies by hand.

#include "device.h"
#include "message.h"
#include "scenarioinstrument.h"
#include "simulateddevice.h"

#include <QByteArray>
#include <initializer_list>

struct InstrumentBench
{
    ScenarioInstrument instrument;
    SimulatedDevice device{&instrument.simulator()};

    bool connect() { return device.connect() == Device::Success; }

    // One exchange, then every follow-up the packets queue, in queue order.
    // The result is that of the last exchange.
    Device::ErrorCode exchange(Message *packet)
    {
        Device::ErrorCode result = device.sendReceivePacket(packet);
        while (device.hasPendingPackets())
            result = device.sendReceivePacket(device.takePendingPacket());
        return result;
    }
};

inline Response replyOf(std::initializer_list<int> bytes)
{
    Response response;
    int i = 0;
    for (int b : bytes)
        response[i++] = uchar(b);
    return response;
}

// A memory-read reply: address, count, and `payload` right-aligned in the
// 58-byte field.
inline Response memoryReply(quint32 address, const QByteArray &payload, int count = -1)
{
    Response response;
    response[0] = 7;
    response.setUInt32LE(1, address);
    response[5] = uchar(count < 0 ? payload.size() : count);
    const int start = 6 + 58 - int(payload.size());
    for (int i = 0; i < payload.size(); ++i)
        response[start + i] = uchar(payload.at(i));
    return response;
}
