#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

// A simulated instrument for tests: takes request reports the way the USB HID
// transport hands them over and answers from a memory image, one handler per
// command byte. Thread-safe: the device thread moves reports while the test
// thread configures the instrument and injects faults.
class InstrumentSimulator
{
public:
    // Indices as in the protocol: a request has the report number at 0 and the
    // command at 1; a reply has the command echo at 0.
    using Report = std::array<uint8_t, 65>;
    using Reply = std::optional<Report>; // none: the command has no reply
    using CommandHandler = std::function<Reply(InstrumentSimulator &, const Report &request)>;
    using Clock = std::chrono::steady_clock;

    // One record of the bootloader query reply.
    struct MemoryRegion
    {
        uint8_t type = 0xFF;
        uint32_t address = 0;
        uint32_t size = 0;
    };

    // What the instrument says about itself. New commands may add fields.
    struct Profile
    {
        uint8_t bytesPerPacket = 58;
        uint8_t family = 1;
        std::vector<MemoryRegion> regions; // at most six are reported
        uint8_t versionFlag = 0xA5;        // 0xA5: the extended query is answered
        uint8_t bootloaderMajor = 1;
        uint8_t bootloaderMinor = 2;
        uint8_t firmwareMajor = 3;
        uint8_t firmwareMinor = 4;
    };

    static constexpr uint32_t defaultFlashAddress = 0x00000000;
    static constexpr uint32_t defaultDeviceIdAddress = 0x00010000;
    static constexpr uint32_t defaultDataAddress = 0x00100000;

    InstrumentSimulator();

    // Profile and memory. Erased memory reads 0xFF.
    Profile profile() const;
    void setProfile(const Profile &profile);
    void writeMemory(uint32_t address, const std::vector<uint8_t> &bytes);
    std::vector<uint8_t> readMemory(uint32_t address, std::size_t count) const;
    void eraseMemory();

    // Replaces or adds the handler of one command for this instance.
    void setCommandHandler(uint8_t command, CommandHandler handler);

    // The transport side, shaped like a HID device. open() gives a session
    // handle (0: refused); unplugging invalidates it, and every later write
    // or read on it fails with -1 until the transport opens a new one.
    bool isPlugged() const;
    void unplug();
    void replug();
    int open();
    bool isSessionOpen(int session) const;
    int write(int session, const uint8_t *data, int length);
    int read(int session, uint8_t *data, int length);

    // Fault injection. `times` < 0 means forever.
    void setWriteResult(int result, int times); // 0 stalls, -1 fails; nothing is taken
    void setReadResult(int result, int times);
    void injectWrongEchoes(int count, uint8_t echo); // before the next reply
    void dropReplies(int count);                     // the next replies never come
    void setReplyDelay(std::chrono::microseconds delay);
    void refuseOpens(int times);
    void unplugAfterReplies(int replies); // unplugs once that many replies were read
    // A test's own fault, asked about every request: it may rewrite the reply
    // (or make one where the command has none, or take it away), and shorten
    // what the read hands over (length below 64). Runs under the simulator's
    // lock, so it may unplug the instrument.
    using ReplyFilter = std::function<void(const Report &request, Reply &reply, int &length)>;
    void setReplyFilter(ReplyFilter filter);
    void clearFaults();

    // What the instrument was sent.
    std::vector<Report> requests() const;
    int requestCount(uint8_t command) const;
    void clearRequests();
    std::size_t pendingReplies() const;
    int readCalls() const;
    int writeCalls() const;

private:
    struct PendingReply
    {
        Report report;
        Clock::time_point readyAt;
        int length = 64;
    };

    static bool consume(int &times);

    mutable std::recursive_mutex m_lock;
    Profile m_profile;
    std::map<uint32_t, std::array<uint8_t, 4096>> m_pages;
    std::map<uint8_t, CommandHandler> m_handlers;

    bool m_plugged = true;
    int m_session = 0;
    int m_nextSession = 1;
    std::deque<PendingReply> m_replies;

    int m_writeResult = 0;
    int m_writeFaults = 0;
    int m_readResult = 0;
    int m_readFaults = 0;
    int m_wrongEchoes = 0;
    uint8_t m_wrongEcho = 0;
    int m_dropReplies = 0;
    std::chrono::microseconds m_replyDelay{0};
    int m_refuseOpens = 0;
    int m_unplugAfter = -1;
    ReplyFilter m_replyFilter;

    std::vector<Report> m_requests;
    int m_readCalls = 0;
    int m_writeCalls = 0;
};

// Handlers that every simulator starts with. A command file registers its
// handler once, from a static initialiser:
//     static const bool registered = registerSimulatorCommand(7, &readMemory);
bool registerSimulatorCommand(uint8_t command, InstrumentSimulator::CommandHandler handler);
