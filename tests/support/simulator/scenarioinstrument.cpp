#include "scenarioinstrument.h"

#include "commands/protocolcommands.h"

#include <QElapsedTimer>
#include <mutex>

// Lock order: the simulator's lock (held while a handler runs) before the
// state's. Code outside a handler never calls into the simulator while it
// holds the state's lock.
struct ScenarioInstrument::State
{
    mutable std::mutex lock;
    Scenario scenario;
    InstrumentMemory memory;
    SimulatedCommands::TriggerState triggers;
    bool liveClockRunning = true;
    QElapsedTimer liveClock; // started by the first request after loading
    qint64 liveTicksDone = 0;
    int liveNext = 0; // index into the live records, cycling
    int liveAppended = 0;

    QList<InstrumentMemory::Span> appendLocked(int count, int *appended)
    {
        *appended = 0;
        if (!memory.hasLiveSession() || scenario.liveRecords.isEmpty())
            return {};
        for (; *appended < count; ++*appended) {
            if (!memory.appendLiveRecord(scenario.liveRecords.at(liveNext)))
                break;
            liveNext = (liveNext + 1) % scenario.liveRecords.size();
            ++liveAppended;
        }
        return memory.takeWrites();
    }

    // Appends the live readings that fell due since the last request.
    QList<InstrumentMemory::Span> catchUp()
    {
        std::lock_guard guard(lock);
        if (!scenario.hasLive || !liveClockRunning)
            return {};
        if (!liveClock.isValid()) {
            liveClock.start();
            return {};
        }
        const qint64 due = liveClock.elapsed() / scenario.liveAppendEveryMs - liveTicksDone;
        if (due <= 0)
            return {};
        liveTicksDone += due;
        int appended = 0;
        return appendLocked(int(due), &appended);
    }
};

namespace {

void mirror(InstrumentSimulator &simulator, const QList<InstrumentMemory::Span> &writes)
{
    for (const InstrumentMemory::Span &span : writes) {
        const auto *bytes = reinterpret_cast<const uint8_t *>(span.bytes.constData());
        simulator.writeMemory(span.address, std::vector<uint8_t>(bytes, bytes + span.bytes.size()));
    }
}

} // namespace

ScenarioInstrument::ScenarioInstrument() : m_state(std::make_shared<State>())
{
    const std::shared_ptr<State> state = m_state;
    const auto wrap = [state](auto answer) {
        return [state, answer](InstrumentSimulator &simulator,
                               const InstrumentSimulator::Report &request) {
            mirror(simulator, state->catchUp());
            return answer(simulator, request);
        };
    };
    m_simulator.setCommandHandler(7, wrap(SimulatedCommands::memoryRead));
    m_simulator.setCommandHandler(13, wrap(SimulatedCommands::entryHeader));
    m_simulator.setCommandHandler(
        10,
        wrap([state](InstrumentSimulator &simulator, const InstrumentSimulator::Report &request) {
            const uint32_t trigger = uint32_t(request[2]) | uint32_t(request[3]) << 8 |
                                     uint32_t(request[4]) << 16 | uint32_t(request[5]) << 24;
            SimulatedCommands::TriggerState triggers;
            {
                std::lock_guard guard(state->lock);
                if (trigger == 1) {
                    // Erased: no sessions left to extend.
                    state->memory.erase();
                    state->liveClock.invalidate();
                }
                triggers = state->triggers;
            }
            const InstrumentSimulator::Reply reply =
                SimulatedCommands::userTrigger(simulator, request, triggers);
            std::lock_guard guard(state->lock);
            state->triggers = triggers;
            return reply;
        }));

    Scenario empty;
    load(empty);
}

ScenarioInstrument::~ScenarioInstrument() = default;

bool ScenarioInstrument::load(const Scenario &scenario, QString *error)
{
    InstrumentMemory memory;
    if (!memory.load(scenario, error))
        return false;
    QList<InstrumentMemory::Span> writes = memory.takeWrites();

    InstrumentSimulator::Profile profile = m_simulator.profile();
    profile.bytesPerPacket = scenario.bytesPerPacket;
    profile.family = scenario.family;
    profile.versionFlag = scenario.extendedQuery ? 0xA5 : 0x00;
    profile.bootloaderMajor = scenario.bootloaderMajor;
    profile.bootloaderMinor = scenario.bootloaderMinor;
    profile.firmwareMajor = scenario.firmwareMajor;
    profile.firmwareMinor = scenario.firmwareMinor;
    profile.regions.clear();
    for (const InstrumentMemory::Region &region : memory.regions())
        profile.regions.push_back({region.type, region.address, region.size});

    {
        std::lock_guard guard(m_state->lock);
        m_state->scenario = scenario;
        m_state->memory = memory;
        m_state->triggers.isPublic = scenario.isPublic;
        m_state->triggers.batteryRaw = scenario.batteryRaw;
        m_state->triggers.memoryDisabled = scenario.memoryDisabled;
        m_state->triggers.clockOffsetMs = scenario.clockOffsetSeconds * 1000;
        m_state->triggers.keepsClock = true;
        m_state->liveClock.invalidate();
        m_state->liveTicksDone = 0;
        m_state->liveNext = 0;
        m_state->liveAppended = 0;
    }
    m_simulator.eraseMemory();
    m_simulator.setProfile(profile);
    m_simulator.setReplyDelay(std::chrono::milliseconds(2 * scenario.frameMs));
    mirror(m_simulator, writes);
    return true;
}

bool ScenarioInstrument::loadFile(const QString &path, QString *error)
{
    Scenario scenario;
    if (!scenario.loadFile(path, error))
        return false;
    return load(scenario, error);
}

Scenario ScenarioInstrument::scenario() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->scenario;
}

QList<InstrumentMemory::Placement> ScenarioInstrument::placements() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->memory.placements();
}

void ScenarioInstrument::setLiveClockRunning(bool running)
{
    std::lock_guard guard(m_state->lock);
    m_state->liveClockRunning = running;
    m_state->liveClock.invalidate();
    m_state->liveTicksDone = 0;
}

int ScenarioInstrument::appendLiveRecords(int count)
{
    int appended = 0;
    QList<InstrumentMemory::Span> writes;
    {
        std::lock_guard guard(m_state->lock);
        writes = m_state->appendLocked(count, &appended);
    }
    mirror(m_simulator, writes);
    return appended;
}

int ScenarioInstrument::liveRecordsAppended() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->liveAppended;
}

qint64 ScenarioInstrument::clockOffsetMs() const
{
    std::lock_guard guard(m_state->lock);
    return m_state->triggers.clockOffsetMs;
}
