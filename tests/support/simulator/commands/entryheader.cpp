// Command 13 (entry header).
#include "instrumentmemory.h"
#include "protocolcommands.h"

#include <algorithm>

namespace SimulatedCommands {

InstrumentSimulator::Reply entryHeader(InstrumentSimulator &simulator,
                                       const InstrumentSimulator::Report &request)
{
    constexpr uint8_t erased = 0xFF;
    const uint32_t address = uint32_t(request[2]) | uint32_t(request[3]) << 8 |
                             uint32_t(request[4]) << 16 | uint32_t(request[5]) << 24;

    InstrumentSimulator::Reply reply = InstrumentSimulator::Report{};
    InstrumentSimulator::Report &r = *reply;
    r[0] = 13;

    // Which section of the table the address lies in, and where that ends.
    uint32_t sectionStart = InstrumentMemory::HeaderTableEnd;
    uint32_t sectionEnd = InstrumentMemory::HeaderTableEnd;
    if (address >= InstrumentMemory::HeaderTableStart &&
        address < InstrumentMemory::AudioHeaderStart) {
        sectionStart = InstrumentMemory::HeaderTableStart;
        sectionEnd = InstrumentMemory::AudioHeaderStart;
    } else if (address >= InstrumentMemory::AudioHeaderStart &&
               address < InstrumentMemory::HeaderTableEnd) {
        sectionStart = InstrumentMemory::AudioHeaderStart;
    }

    uint32_t next = sectionEnd;
    const bool onRecord = sectionStart != InstrumentMemory::HeaderTableEnd &&
                          (address - sectionStart) % InstrumentMemory::HeaderSize == 0;
    const std::vector<uint8_t> record =
        onRecord ? simulator.readMemory(address, InstrumentMemory::HeaderSize)
                 : std::vector<uint8_t>(InstrumentMemory::HeaderSize, erased);
    if (record[0] != erased) {
        r[6] = record[0];
        std::copy(record.begin() + 1, record.begin() + 11, r.begin() + 7);
        const uint32_t following = address + InstrumentMemory::HeaderSize;
        if (following < sectionEnd && simulator.readMemory(following, 1)[0] != erased)
            next = following;
    }
    for (int i = 0; i < 4; ++i)
        r[1 + i] = uint8_t(next >> (8 * i));
    return reply;
}

namespace {
const bool registered = registerSimulatorCommand(13, entryHeader);
}

} // namespace SimulatedCommands
