// Commands 2 (bootloader query) and 12 (extended query).
#include "instrumentsimulator.h"

namespace {

void putUInt32(InstrumentSimulator::Report &report, int index, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        report[index + i] = uint8_t(value >> (8 * i));
}

InstrumentSimulator::Reply bootloaderQuery(InstrumentSimulator &simulator,
                                           const InstrumentSimulator::Report &)
{
    const InstrumentSimulator::Profile profile = simulator.profile();
    InstrumentSimulator::Report reply{};
    reply[0] = 2;
    reply[1] = profile.bytesPerPacket;
    reply[2] = profile.family;
    for (int i = 0; i < 6; ++i) {
        const int at = 3 + 9 * i;
        if (i < int(profile.regions.size())) {
            const InstrumentSimulator::MemoryRegion &region = profile.regions[i];
            reply[at] = region.type;
            putUInt32(reply, at + 1, region.address);
            putUInt32(reply, at + 5, region.size);
        } else {
            reply[at] = 0xFF;
        }
    }
    reply[57] = profile.versionFlag;
    return reply;
}

InstrumentSimulator::Reply extendedQuery(InstrumentSimulator &simulator,
                                         const InstrumentSimulator::Report &)
{
    const InstrumentSimulator::Profile profile = simulator.profile();
    if (profile.versionFlag != 0xA5)
        return std::nullopt; // an old bootloader does not know the command
    InstrumentSimulator::Report reply{};
    reply[0] = 12;
    reply[1] = profile.bootloaderMinor;
    reply[2] = profile.bootloaderMajor;
    reply[3] = profile.firmwareMinor;
    reply[4] = profile.firmwareMajor;
    return reply;
}

const bool registered =
    registerSimulatorCommand(2, bootloaderQuery) && registerSimulatorCommand(12, extendedQuery);

} // namespace
