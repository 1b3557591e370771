// Engine figures against the simulated instrument:
//  1. idle-to-exchange latency: a packet queued while the device is connected
//     and idle, until the engine calls its write;
//  2. device-thread CPU seconds per wall second during a long transfer whose
//     replies take as long as a USB HID round trip.

#include "simulateddevice.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Notes when the engine first touches it.
class ProbePacket : public Message
{
public:
    ProbePacket() : Message(12, true) {}

    std::atomic<bool> written{false};
    Clock::time_point writtenAt;

    ErrorCode write(Request *request, Device *device) override
    {
        writtenAt = Clock::now();
        written.store(true);
        return Message::write(request, device);
    }
};

// Queues itself again after each reply until `total` exchanges are done, as
// the memory readers do; measures the device thread from inside it.
class TransferPacket : public Message
{
public:
    explicit TransferPacket(int total) : Message(12, true), m_remaining(total) {}

    std::atomic<bool> done{false};
    double cpuSeconds = 0;
    double wallSeconds = 0;

    ErrorCode write(Request *request, Device *device) override
    {
        if (!m_started) {
            m_started = true;
            m_cpuStart = threadCpuSeconds();
            m_wallStart = Clock::now();
        }
        return Message::write(request, device);
    }

    ErrorCode read(const Response *response, Device *device) override
    {
        const ErrorCode result = Message::read(response, device);
        if (result != Success)
            return result;
        if (--m_remaining > 0) {
            device->send(this);
        } else {
            cpuSeconds = threadCpuSeconds() - m_cpuStart;
            wallSeconds = std::chrono::duration<double>(Clock::now() - m_wallStart).count();
            done.store(true);
        }
        return Success;
    }

private:
    int m_remaining;
    bool m_started = false;
    double m_cpuStart = 0;
    Clock::time_point m_wallStart;
};

bool waitUntil(const std::atomic<bool> &flag, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!flag.load()) {
        if (Clock::now() > deadline)
            return false;
        QThread::msleep(1);
    }
    return true;
}

bool waitConnected(Device &device)
{
    for (int i = 0; i < 500 && !device.isConnected(); ++i)
        QThread::msleep(10);
    return device.isConnected();
}

int latency()
{
    InstrumentSimulator simulator;
    SimulatedDevice device(&simulator);
    device.start();
    if (!waitConnected(device)) {
        std::fprintf(stderr, "device did not connect\n");
        return 1;
    }

    constexpr int samples = 40;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(30, 700); // lands anywhere in the 500 ms idle wait
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        QThread::msleep(pause(random));
        ProbePacket probe;
        const Clock::time_point queuedAt = Clock::now();
        device.send(&probe);
        if (!waitUntil(probe.written, 5000)) {
            std::fprintf(stderr, "packet was not exchanged\n");
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(probe.writtenAt - queuedAt).count());
        QThread::msleep(5); // let the exchange finish before the probe goes
    }
    std::sort(ms.begin(), ms.end());
    std::printf("idle-to-exchange latency over %d packets: median %.3f ms, 90th %.3f ms, "
                "max %.3f ms\n",
                samples, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
    return 0;
}

int transfer(std::chrono::microseconds replyDelay, int exchanges)
{
    InstrumentSimulator simulator;
    simulator.setReplyDelay(replyDelay);
    SimulatedDevice device(&simulator);
    device.start();
    if (!waitConnected(device)) {
        std::fprintf(stderr, "device did not connect\n");
        return 1;
    }
    TransferPacket packet(exchanges);
    device.send(&packet);
    if (!waitUntil(packet.done, 120000)) {
        std::fprintf(stderr, "transfer did not finish\n");
        return 1;
    }
    std::printf("transfer of %d exchanges, reply after %lld us: %.2f s wall, %.3f s device-thread "
                "CPU, %.3f CPU s per wall s, %.0f exchanges/s\n",
                exchanges, static_cast<long long>(replyDelay.count()), packet.wallSeconds,
                packet.cpuSeconds, packet.cpuSeconds / packet.wallSeconds,
                exchanges / packet.wallSeconds);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    using std::chrono::microseconds;
    int failed = latency();
    failed |= transfer(microseconds(1000), 4000);
    failed |= transfer(microseconds(4000), 1000);
    failed |= transfer(microseconds(0), 20000);
    return failed;
}
