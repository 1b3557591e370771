#pragma once

#include "instrumentmemory.h"
#include "instrumentsimulator.h"
#include "scenario.h"

#include <QString>
#include <memory>

// A simulated instrument that holds what a scenario describes: identity,
// versions, family, status values, recorded sessions laid out in its memory,
// and live readings that extend the newest field session while it is read.
// Devices talk to simulator(); the scenario can be replaced at any time.
class ScenarioInstrument
{
public:
    ScenarioInstrument();
    ~ScenarioInstrument();
    ScenarioInstrument(const ScenarioInstrument &) = delete;
    ScenarioInstrument &operator=(const ScenarioInstrument &) = delete;

    bool load(const Scenario &scenario, QString *error = nullptr);
    bool loadFile(const QString &path, QString *error = nullptr);

    InstrumentSimulator &simulator() { return m_simulator; }
    Scenario scenario() const;
    QList<InstrumentMemory::Placement> placements() const;

    // Live readings: by default one is appended every appendEveryMs, counted
    // from the first request the instrument answers after loading. Tests that
    // need exact counts switch the clock off and append by hand.
    void setLiveClockRunning(bool running);
    int appendLiveRecords(int count); // how many fitted
    int liveRecordsAppended() const;

    // The instrument's clock minus the host's, as last set over the protocol.
    qint64 clockOffsetMs() const;

private:
    struct State;

    InstrumentSimulator m_simulator;
    std::shared_ptr<State> m_state;
};
