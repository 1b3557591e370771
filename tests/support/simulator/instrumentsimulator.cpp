#include "instrumentsimulator.h"

#include <algorithm>

namespace {

constexpr uint32_t pageSize = 4096;

std::map<uint8_t, InstrumentSimulator::CommandHandler> &registeredCommands()
{
    static std::map<uint8_t, InstrumentSimulator::CommandHandler> commands;
    return commands;
}

} // namespace

bool registerSimulatorCommand(uint8_t command, InstrumentSimulator::CommandHandler handler)
{
    registeredCommands()[command] = std::move(handler);
    return true;
}

InstrumentSimulator::InstrumentSimulator() : m_handlers(registeredCommands())
{
    m_profile.regions = {
        {1, defaultFlashAddress, 0x8000},
        {4, defaultDeviceIdAddress, 16},
        {5, defaultDataAddress, 0x40000},
    };
}

InstrumentSimulator::Profile InstrumentSimulator::profile() const
{
    std::lock_guard lock(m_lock);
    return m_profile;
}

void InstrumentSimulator::setProfile(const Profile &profile)
{
    std::lock_guard lock(m_lock);
    m_profile = profile;
}

void InstrumentSimulator::writeMemory(uint32_t address, const std::vector<uint8_t> &bytes)
{
    std::lock_guard lock(m_lock);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const uint32_t a = address + uint32_t(i);
        auto page = m_pages.find(a / pageSize);
        if (page == m_pages.end()) {
            page = m_pages.emplace(a / pageSize, std::array<uint8_t, pageSize>{}).first;
            page->second.fill(0xFF);
        }
        page->second[a % pageSize] = bytes[i];
    }
}

std::vector<uint8_t> InstrumentSimulator::readMemory(uint32_t address, std::size_t count) const
{
    std::lock_guard lock(m_lock);
    std::vector<uint8_t> bytes(count, 0xFF);
    for (std::size_t i = 0; i < count; ++i) {
        const uint32_t a = address + uint32_t(i);
        const auto page = m_pages.find(a / pageSize);
        if (page != m_pages.end())
            bytes[i] = page->second[a % pageSize];
    }
    return bytes;
}

void InstrumentSimulator::eraseMemory()
{
    std::lock_guard lock(m_lock);
    m_pages.clear();
}

void InstrumentSimulator::setCommandHandler(uint8_t command, CommandHandler handler)
{
    std::lock_guard lock(m_lock);
    m_handlers[command] = std::move(handler);
}

bool InstrumentSimulator::isPlugged() const
{
    std::lock_guard lock(m_lock);
    return m_plugged;
}

void InstrumentSimulator::unplug()
{
    std::lock_guard lock(m_lock);
    m_plugged = false;
    m_session = 0;
    m_replies.clear();
}

void InstrumentSimulator::setReplyFilter(ReplyFilter filter)
{
    std::lock_guard lock(m_lock);
    m_replyFilter = std::move(filter);
}

void InstrumentSimulator::replug()
{
    std::lock_guard lock(m_lock);
    m_plugged = true;
}

int InstrumentSimulator::open()
{
    std::lock_guard lock(m_lock);
    if (!m_plugged || consume(m_refuseOpens))
        return 0;
    // A new session starts with no replies left over from an earlier one.
    m_session = m_nextSession++;
    m_replies.clear();
    return m_session;
}

bool InstrumentSimulator::isSessionOpen(int session) const
{
    std::lock_guard lock(m_lock);
    return session != 0 && session == m_session;
}

bool InstrumentSimulator::consume(int &times)
{
    if (times == 0)
        return false;
    if (times > 0)
        --times;
    return true;
}

int InstrumentSimulator::write(int session, const uint8_t *data, int length)
{
    std::lock_guard lock(m_lock);
    ++m_writeCalls;
    if (session == 0 || session != m_session)
        return -1;
    if (consume(m_writeFaults))
        return m_writeResult;

    Report request{};
    std::copy_n(data, std::min<int>(length, int(request.size())), request.begin());
    m_requests.push_back(request);

    const auto handler = m_handlers.find(request[1]);
    Reply reply;
    if (handler != m_handlers.end()) // the instrument ignores commands it does not know
        reply = handler->second(*this, request);
    int replyLength = 64;
    if (m_replyFilter)
        m_replyFilter(request, reply, replyLength);
    if (!reply)
        return length;
    if (consume(m_dropReplies))
        return length;

    const Clock::time_point readyAt = Clock::now() + m_replyDelay;
    for (; m_wrongEchoes > 0; --m_wrongEchoes) {
        Report stray = *reply;
        stray[0] = m_wrongEcho;
        m_replies.push_back({stray, readyAt, 64});
    }
    m_replies.push_back({*reply, readyAt, replyLength});
    return length;
}

int InstrumentSimulator::read(int session, uint8_t *data, int length)
{
    std::lock_guard lock(m_lock);
    ++m_readCalls;
    if (session == 0 || session != m_session)
        return -1;
    if (consume(m_readFaults))
        return m_readResult;
    if (m_replies.empty() || m_replies.front().readyAt > Clock::now())
        return 0;

    // The instrument sends 64-byte input reports.
    const int count = std::min({length, 64, m_replies.front().length});
    std::copy_n(m_replies.front().report.begin(), count, data);
    m_replies.pop_front();
    if (m_unplugAfter > 0 && --m_unplugAfter == 0) {
        m_unplugAfter = -1;
        unplug();
    }
    return count;
}

void InstrumentSimulator::setWriteResult(int result, int times)
{
    std::lock_guard lock(m_lock);
    m_writeResult = result;
    m_writeFaults = times;
}

void InstrumentSimulator::setReadResult(int result, int times)
{
    std::lock_guard lock(m_lock);
    m_readResult = result;
    m_readFaults = times;
}

void InstrumentSimulator::injectWrongEchoes(int count, uint8_t echo)
{
    std::lock_guard lock(m_lock);
    m_wrongEchoes = count;
    m_wrongEcho = echo;
}

void InstrumentSimulator::dropReplies(int count)
{
    std::lock_guard lock(m_lock);
    m_dropReplies = count;
}

void InstrumentSimulator::setReplyDelay(std::chrono::microseconds delay)
{
    std::lock_guard lock(m_lock);
    m_replyDelay = delay;
}

void InstrumentSimulator::refuseOpens(int times)
{
    std::lock_guard lock(m_lock);
    m_refuseOpens = times;
}

void InstrumentSimulator::unplugAfterReplies(int replies)
{
    std::lock_guard lock(m_lock);
    m_unplugAfter = replies > 0 ? replies : -1;
}

void InstrumentSimulator::clearFaults()
{
    std::lock_guard lock(m_lock);
    m_writeFaults = m_readFaults = m_wrongEchoes = m_dropReplies = m_refuseOpens = 0;
    m_replyDelay = std::chrono::microseconds(0);
    m_unplugAfter = -1;
    m_replyFilter = nullptr;
}

std::vector<InstrumentSimulator::Report> InstrumentSimulator::requests() const
{
    std::lock_guard lock(m_lock);
    return m_requests;
}

int InstrumentSimulator::requestCount(uint8_t command) const
{
    std::lock_guard lock(m_lock);
    return int(std::count_if(m_requests.begin(), m_requests.end(),
                             [command](const Report &r) { return r[1] == command; }));
}

void InstrumentSimulator::clearRequests()
{
    std::lock_guard lock(m_lock);
    m_requests.clear();
}

std::size_t InstrumentSimulator::pendingReplies() const
{
    std::lock_guard lock(m_lock);
    return m_replies.size();
}

int InstrumentSimulator::readCalls() const
{
    std::lock_guard lock(m_lock);
    return m_readCalls;
}

int InstrumentSimulator::writeCalls() const
{
    std::lock_guard lock(m_lock);
    return m_writeCalls;
}
