#pragma once

#include "instrumentsimulator.h"

#include <cstdint>

// The instrument's answers to the commands beyond the bootloader queries, as
// plain functions so that a scenario-driven instrument can wrap them with state
// of its own. Every simulator starts with them registered.
namespace SimulatedCommands {

// Command 7: up to 58 bytes of memory from the requested address, right-aligned
// in the reply's payload field, never past the end of the region holding it.
InstrumentSimulator::Reply memoryRead(InstrumentSimulator &simulator,
                                      const InstrumentSimulator::Report &request);

// Command 13: one record of the entry header table (field records from
// 0xF0000000, audio records from 0xF0100000; the walk ends at 0xF0400000).
InstrumentSimulator::Reply entryHeader(InstrumentSimulator &simulator,
                                       const InstrumentSimulator::Report &request);

// What the user triggers (command 10) read and change.
struct TriggerState
{
    bool isPublic = false;
    uint16_t batteryRaw = 1006;
    bool memoryDisabled = false;
    int64_t clockOffsetMs = 0; // the instrument's clock minus the host's
    bool keepsClock = true;    // false: a clock setting is acknowledged and forgotten
};

// Command 10. Trigger 1 (erase) wipes the recordings and restarts the
// instrument; its callers do what else an erase means to them first.
InstrumentSimulator::Reply userTrigger(InstrumentSimulator &simulator,
                                       const InstrumentSimulator::Report &request,
                                       TriggerState &state);

// The entry block and the header table erased; the identity block stays.
void eraseRecordings(InstrumentSimulator &simulator);
// The instrument leaves the bus and comes back: the open session is gone.
void restart(InstrumentSimulator &simulator);

// Bytes per address of flash-like memory for a bootloader family code.
int bytesPerAddress(uint8_t family);

} // namespace SimulatedCommands
