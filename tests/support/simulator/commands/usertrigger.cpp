// Commands 3 (configuration lock), 8 (reset) and 10 (user triggers).
#include "instrumentmemory.h"
#include "protocolcommands.h"

#include <QDateTime>
#include <QTimeZone>
#include <mutex>

namespace SimulatedCommands {

namespace {

int fromBcd(uint8_t value)
{
    return (value >> 4) * 10 + (value & 0x0F);
}

// The clock as the host wrote it: BCD, 24-hour form, bit 7 of the seconds set.
QDateTime clockFromBytes(const uint8_t *bytes)
{
    const QDate date(2000 + fromBcd(bytes[0]), fromBcd(bytes[1] & 0x1F), fromBcd(bytes[2] & 0x3F));
    const QTime time(fromBcd(bytes[3] & 0x3F), fromBcd(bytes[4] & 0x7F), fromBcd(bytes[5] & 0x7F));
    return QDateTime(date, time, Qt::UTC);
}

InstrumentSimulator::Reply triggerReply(uint32_t trigger, const QByteArray &data)
{
    InstrumentSimulator::Report reply{};
    reply[0] = 10;
    for (int i = 0; i < 4; ++i)
        reply[1 + i] = uint8_t(trigger >> (8 * i));
    reply[6] = uint8_t(data.size());
    for (int i = 0; i < data.size(); ++i)
        reply[7 + i] = uint8_t(data.at(i));
    return reply;
}

// A plain simulator keeps no trigger state of its own between requests.
InstrumentSimulator::Reply defaultUserTrigger(InstrumentSimulator &simulator,
                                              const InstrumentSimulator::Report &request)
{
    TriggerState state;
    state.keepsClock = false;
    return userTrigger(simulator, request, state);
}

InstrumentSimulator::Reply configLock(InstrumentSimulator &, const InstrumentSimulator::Report &)
{
    return std::nullopt;
}

InstrumentSimulator::Reply reset(InstrumentSimulator &simulator,
                                 const InstrumentSimulator::Report &)
{
    restart(simulator);
    return std::nullopt;
}

} // namespace

InstrumentSimulator::Reply userTrigger(InstrumentSimulator &simulator,
                                       const InstrumentSimulator::Report &request,
                                       TriggerState &state)
{
    const uint32_t trigger = uint32_t(request[2]) | uint32_t(request[3]) << 8 |
                             uint32_t(request[4]) << 16 | uint32_t(request[5]) << 24;
    const int parameterCount = request[7];
    switch (trigger) {
    case 1:
        eraseRecordings(simulator);
        restart(simulator);
        return std::nullopt;
    case 2:
        if (parameterCount == 6) {
            const QDateTime set = clockFromBytes(request.data() + 8);
            if (state.keepsClock && set.isValid())
                state.clockOffsetMs = set.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch();
            return triggerReply(trigger, QByteArray());
        } else {
            const QDateTime now = QDateTime::currentDateTimeUtc().addMSecs(state.clockOffsetMs);
            return triggerReply(trigger, InstrumentMemory::bcdTime(now));
        }
    case 3: {
        QByteArray data;
        data.append(char(state.batteryRaw >> 8)); // big-endian
        data.append(char(state.batteryRaw & 0xFF));
        data.append(char(state.memoryDisabled ? 1 : 0));
        return triggerReply(trigger, data);
    }
    case 8:
        return triggerReply(trigger, QByteArray(1, char(state.isPublic ? 1 : 0)));
    default:
        return triggerReply(trigger, QByteArray());
    }
}

void eraseRecordings(InstrumentSimulator &simulator)
{
    // Only the identity block survives; everything else reads erased.
    const InstrumentSimulator::Profile profile = simulator.profile();
    const int perAddress = bytesPerAddress(profile.family);
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> kept;
    for (const InstrumentSimulator::MemoryRegion &region : profile.regions) {
        if (region.type == 4 && region.size <= 0x100000) {
            const uint32_t at = region.address * uint32_t(perAddress);
            kept.emplace_back(at, simulator.readMemory(at, region.size * perAddress));
        }
    }
    simulator.eraseMemory();
    for (const auto &[address, bytes] : kept)
        simulator.writeMemory(address, bytes);
}

void restart(InstrumentSimulator &simulator)
{
    simulator.unplug();
    simulator.replug();
}

namespace {
const bool registered = registerSimulatorCommand(3, configLock) &&
                        registerSimulatorCommand(8, reset) &&
                        registerSimulatorCommand(10, defaultUserTrigger);
}

} // namespace SimulatedCommands
