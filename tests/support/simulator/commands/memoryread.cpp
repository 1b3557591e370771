// Command 7 (memory read).
#include "protocolcommands.h"

#include <algorithm>

namespace SimulatedCommands {

int bytesPerAddress(uint8_t family)
{
    return (family == 2 || family == 4) ? 2 : 1;
}

InstrumentSimulator::Reply memoryRead(InstrumentSimulator &simulator,
                                      const InstrumentSimulator::Report &request)
{
    constexpr int payloadSize = 58;
    const InstrumentSimulator::Profile profile = simulator.profile();
    const uint32_t address = uint32_t(request[2]) | uint32_t(request[3]) << 8 |
                             uint32_t(request[4]) << 16 | uint32_t(request[5]) << 24;
    const int perAddress = bytesPerAddress(profile.family);

    uint64_t count = std::min<int>(request[6], payloadSize);
    for (const InstrumentSimulator::MemoryRegion &region : profile.regions) {
        const uint64_t end = uint64_t(region.address) + region.size;
        if (address >= region.address && address < end)
            count = std::min<uint64_t>(count, (end - address) * perAddress);
    }

    InstrumentSimulator::Report reply{};
    reply[0] = 7;
    for (int i = 0; i < 4; ++i)
        reply[1 + i] = uint8_t(address >> (8 * i));
    reply[5] = uint8_t(count);
    const std::vector<uint8_t> bytes = simulator.readMemory(address * uint32_t(perAddress), count);
    std::copy(bytes.begin(), bytes.end(), reply.begin() + 6 + (payloadSize - int(count)));
    return reply;
}

namespace {
const bool registered = registerSimulatorCommand(7, memoryRead);
}

} // namespace SimulatedCommands
