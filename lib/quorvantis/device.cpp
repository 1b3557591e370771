#include "device.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr int windowsPerStep = 5;
constexpr int idleMilliseconds = 500;
// Pause after a poll that moved nothing: short against a report's round trip,
// long enough that a waiting device thread leaves the core to others.
constexpr std::chrono::microseconds pollPause{100};

// A packet's address, also while its destruction runs: QObject is Message's
// only base, so both pointers hold the same address.
const void *identity(const Message *message)
{
    return message;
}

// Every device, so that a packet's destructor reaches each queue it may be in.
// Never destroyed: packets may outlive static destruction.
std::mutex &devicesLock()
{
    static auto *lock = new std::mutex;
    return *lock;
}

QList<Device *> &devices()
{
    static auto *list = new QList<Device *>;
    return *list;
}

// Stale reports read before a request at most: the instrument's input queue is
// short, and one that never stops talking must not hold the thread.
constexpr int maximumStaleReplies = 64;

} // namespace

struct Device::PacketCalls
{
    // Held only to look at the lists, never while a packet runs: destroying a
    // packet waits only for a call into that very packet.
    std::mutex lock;
    // Packets whose exchange is running, the packet taken last from the queue
    // (watched until its exchange starts), and those of them destroyed
    // meanwhile. Kept as addresses: they are compared while a packet's
    // destruction runs.
    QList<const void *> inFlight;
    const void *taken = nullptr;
    QList<const void *> destroyedInFlight;
    // The packet the device thread is calling into.
    const void *calling = nullptr;
    std::condition_variable callEnded;

    void waitForCall(const void *packet)
    {
        std::unique_lock guard(lock);
        callEnded.wait(guard, [this, packet] { return calling != packet; });
    }
};

const QMap<int, double> Device::m_rfNoiseFloorMap = {
    {1, 1.9545}, {2, 1.9545}, {3, 1.9545}, {4, 1.9545}, {5, 1.9545}, {60, 1.9545},
};

Device::Device(QObject *parent)
    : QThread(parent), m_deviceID(new DeviceID(this)), m_calls(std::make_shared<PacketCalls>())
{
    const std::lock_guard lock(devicesLock());
    devices().append(this);
}

Device::~Device()
{
    {
        const std::lock_guard lock(devicesLock());
        devices().removeOne(this);
    }
    // A subclass that forgot to stop has already lost its transport operations;
    // stopping here still keeps QThread from aborting on a running thread.
    if (isRunning()) {
        qWarning("Device destroyed while its thread was running");
        stopAndWait();
    }
}

bool Device::isConnected() const
{
    return m_connected.load() && const_cast<Device *>(this)->isConnectedRaw();
}

bool Device::isAvailable()
{
    return availableRaw();
}

bool Device::hasMemory(MemoryBlockType type) const
{
    return std::any_of(m_memoryBlocks.cbegin(), m_memoryBlocks.cend(),
                       [type](const MemoryBlock &block) { return block.type == type; });
}

MemoryBlock *Device::memoryBlock(MemoryBlockType type)
{
    for (MemoryBlock &block : m_memoryBlocks) {
        if (block.type == type)
            return &block;
    }
    return nullptr;
}

Device::ErrorCode Device::connect()
{
    m_replyOwed = false; // a new session starts with nothing left over
    ErrorCode result = connectRaw();
    if (result == Success) {
        emit handshakeStarted();
        result = performHandshake();
    }
    setConnected(result == Success);
    return result;
}

void Device::disconnect()
{
    setConnected(false);
}

void Device::send(Message *message)
{
    if (!message)
        return;
    {
        std::lock_guard lock(m_queueLock);
        if (beingDestroyed(message))
            return;
        m_queue.enqueue(message);
    }
    m_queueChanged.notify_all();
}

void Device::sendImmediate(Message *message)
{
    if (!message)
        return;
    {
        std::lock_guard lock(m_queueLock);
        if (beingDestroyed(message))
            return;
        m_queue.prepend(message);
    }
    m_queueChanged.notify_all();
}

bool Device::beingDestroyed(const Message *packet)
{
    // A call into a packet whose destruction waits for it may queue it again
    // (a memory read asks for its next chunk); that would outlive the packet.
    std::lock_guard lock(m_calls->lock);
    return m_calls->calling == identity(packet) &&
           m_calls->destroyedInFlight.contains(identity(packet));
}

void Device::forgetPacket(const Message *packet)
{
    // The global lock is not held while waiting: the call waited for may itself
    // destroy a packet.
    QList<std::shared_ptr<PacketCalls>> running;
    {
        const std::lock_guard lock(devicesLock());
        for (Device *device : devices()) {
            if (device->packetDestroyed(identity(packet)))
                running.append(device->m_calls);
        }
    }
    for (const std::shared_ptr<PacketCalls> &calls : running)
        calls->waitForCall(identity(packet));
}

bool Device::packetDestroyed(const void *destroyed)
{
    const auto isPacket = [destroyed](const void *m) { return m == destroyed; };
    std::unique_lock queueLock(m_queueLock);
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [destroyed](Message *m) { return identity(m) == destroyed; }),
                  m_queue.end());
    // Under the queue lock too: a packet just taken is either still queued or
    // already marked as taken.
    const std::lock_guard lock(m_calls->lock);
    const bool inFlight =
        isPacket(m_calls->taken) ||
        std::any_of(m_calls->inFlight.cbegin(), m_calls->inFlight.cend(), isPacket);
    if (inFlight && !m_calls->destroyedInFlight.contains(destroyed))
        m_calls->destroyedInFlight.append(destroyed);
    // Marked, no new call starts; one under way still uses the packet's memory.
    // The device thread destroying a packet is not inside a call into it.
    return inFlight && QThread::currentThread() != this;
}

bool Device::hasPendingPackets() const
{
    std::lock_guard lock(m_queueLock);
    return !m_queue.isEmpty();
}

Message *Device::takePendingPacket()
{
    std::lock_guard queueLock(m_queueLock);
    if (m_queue.isEmpty())
        return nullptr;
    Message *const packet = m_queue.dequeue();
    std::lock_guard lock(m_calls->lock);
    if (m_calls->taken && !m_calls->inFlight.contains(m_calls->taken))
        m_calls->destroyedInFlight.removeAll(m_calls->taken); // taken earlier, never exchanged
    m_calls->taken = identity(packet);
    return packet;
}

void Device::setFamily(Device::DeviceFamily family)
{
    m_family.store(family);
}

void Device::addMemoryBlock(const MemoryBlock &memoryBlock)
{
    m_memoryBlocks.append(memoryBlock);
}

void Device::clearMemoryBlocks()
{
    m_memoryBlocks.clear();
}

void Device::start()
{
    m_stopRequested.store(false);
    m_loopEnded.store(false);
    QThread::start(QThread::InheritPriority);
}

void Device::stop()
{
    {
        std::lock_guard lock(m_queueLock);
        m_stopRequested.store(true);
    }
    m_queueChanged.notify_all();
    quit();
}

void Device::stopAndWait()
{
    stop();
    if (QThread::currentThread() != this) {
        wait();
        m_loopEnded.load(std::memory_order_acquire);
    }
}

void Device::setBootloaderVersion(char major, char minor, char patch)
{
    m_bootloaderVersion.setVersion(uchar(major), uchar(minor), uchar(patch));
    emit bootloaderVersionChanged(&m_bootloaderVersion);
}

void Device::setIsPublic(bool isPublic)
{
    m_isPublic.store(isPublic);
    emit isPublicChanged(isPublic);
}

void Device::setConnected(bool connected)
{
    // One signal per change, also when two threads race to make the same change.
    bool expected = !connected;
    if (!m_connected.compare_exchange_strong(expected, connected))
        return;
    emit connectedChanged(connected);
    if (connected) {
        onConnected();
        emit this->connected();
    } else {
        onDisconnected();
        emit disconnected();
    }
}

void Device::updateRfNoiseFloor()
{
    m_rfNoiseFloor.store(
        m_rfNoiseFloorMap.value(m_deviceID->hardwareVersion(), defaultRfNoiseFloor));
}

void Device::idleWait(int milliseconds)
{
    std::unique_lock lock(m_queueLock);
    m_queueChanged.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [this] { return !m_queue.isEmpty() || m_stopRequested.load(); });
}

void Device::run()
{
    while (!m_stopRequested.load()) {
        if (!m_connected.load() && isConnectedRaw()) {
            disconnectRaw();
        } else if (hasPendingPackets()) {
            if (Message *packet = takePendingPacket()) {
                if (sendReceivePacket(packet) == NotConnected)
                    setConnected(false);
            }
        } else if (isConnected()) {
            if (isAvailable())
                idleWait(idleMilliseconds);
            else
                disconnect();
        } else if (isAvailable()) {
            // A failed attempt is retried after the usual pause, not in a tight loop.
            if (connect() != Success)
                idleWait(idleMilliseconds);
        } else {
            idleWait(idleMilliseconds);
        }
    }
    m_loopEnded.store(true, std::memory_order_release);
}

bool Device::packetGone(Message *packet)
{
    std::lock_guard lock(m_calls->lock);
    return m_calls->destroyedInFlight.contains(identity(packet));
}

template <typename Call> bool Device::callPacket(Message *packet, Call call)
{
    {
        std::lock_guard lock(m_calls->lock);
        if (m_calls->destroyedInFlight.contains(identity(packet)))
            return false;
        m_calls->calling = identity(packet);
    }
    call();
    {
        std::lock_guard lock(m_calls->lock);
        m_calls->calling = nullptr;
    }
    m_calls->callEnded.notify_all();
    return true;
}

Device::ErrorCode Device::transfer(Direction direction, Message *packet, ReportBuffer *buffer,
                                   const std::function<bool()> &isReply)
{
    int windows = windowsPerStep;
    int moved = 0;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (moved >= 1)
            return Success;
        if (m_stopRequested.load() || packetGone(packet))
            return Failed;
        if (!isConnectedRaw())
            return NotConnected;
        if (windows <= 0)
            return Timeout;
        moved = direction == Direction::Write ? writeRaw(buffer->data(), ReportBuffer::Size)
                                              : readRaw(buffer->data(), ReportBuffer::Size);
        if (moved == -1) {
            disconnect();
            return Failed;
        }
        if (direction == Direction::Read && moved >= 1 &&
            (moved < ReportBuffer::Size - 1 || (isReply && !isReply()))) {
            // A truncated report is no reply: parsing it would take the missing
            // bytes for zeros. Nor is the answer to another request. Wait for
            // the reply to this one instead.
            buffer->clear();
            moved = 0;
        }
        if (timer.elapsed() > m_communicationTimeout.load()) {
            timer.restart();
            --windows;
        }
        if (moved < 1)
            std::this_thread::sleep_for(pollPause);
    }
}

Device::ErrorCode Device::sendPacket(Message *packet)
{
    QMutexLocker lock(&m_transportLock);
    Request request;
    Message::ErrorCode written = Message::Failed;
    if (!callPacket(packet, [&] { written = packet->write(&request, this); }))
        return Failed;
    if (written != Message::Success)
        return ErrorCode(written);
    if (m_replyOwed) {
        const ErrorCode dropped = dropStaleReplies();
        if (dropped != Success)
            return dropped;
    }
    const ErrorCode result = transfer(Direction::Write, packet, &request);
    if (result == Success)
        m_request = request;
    return result;
}

// What an earlier exchange left in the input answers no request of this one.
Device::ErrorCode Device::dropStaleReplies()
{
    m_replyOwed = false;
    for (int i = 0; i < maximumStaleReplies; ++i) {
        Response stale;
        const int moved = readRaw(stale.data(), ReportBuffer::Size);
        if (moved == -1) {
            disconnect();
            return Failed;
        }
        if (moved < 1)
            break;
        qWarning("Dropped a late reply to command %d.", int(stale[0]));
    }
    return Success;
}

bool Device::answersRequest(Message *packet, const Response &response)
{
    // A reply of another command is the packet's own to refuse in its read.
    if (response[0] != m_request[1])
        return true;
    bool answers = true;
    callPacket(packet, [&] { answers = packet->isReplyTo(&m_request, &response); });
    if (!answers)
        qWarning("Dropped a reply to command %d that answers another request.", int(response[0]));
    return answers;
}

Device::ErrorCode Device::receivePacket(Message *packet)
{
    QMutexLocker lock(&m_transportLock);
    Response response;
    const ErrorCode result = transfer(Direction::Read, packet, &response,
                                      [&] { return answersRequest(packet, response); });
    if (result != Success)
        return result;
    Message::ErrorCode decoded = Message::Failed;
    if (!callPacket(packet, [&] { decoded = packet->read(&response, this); }))
        return Failed;
    if (decoded != Message::IncorrectCommand)
        m_replyOwed = false; // answered; an earlier reply can no longer come
    return ErrorCode(decoded);
}

Device::ErrorCode Device::sendReceivePacket(Message *packet)
{
    if (!packet)
        return Failed;
    const void *const id = identity(packet);
    {
        std::lock_guard lock(m_calls->lock);
        if (m_calls->taken == id)
            m_calls->taken = nullptr; // if it was destroyed after it was taken, it is marked
        else if (!m_calls->inFlight.contains(id))
            m_calls->destroyedInFlight.removeAll(id); // a stale mark of an earlier object
        m_calls->inFlight.append(id);
    }
    ErrorCode result = Failed;
    if (!packetGone(packet))
        result = exchange(packet);
    {
        std::lock_guard lock(m_calls->lock);
        m_calls->inFlight.removeOne(id);
        if (!m_calls->inFlight.contains(id))
            m_calls->destroyedInFlight.removeAll(id);
    }
    return result;
}

// A packet destroyed during its exchange ends it with Failed; neither its hooks
// nor the engine's signals carrying it are run after that.
Device::ErrorCode Device::exchange(Message *packet)
{
    ErrorCode result = sendPacket(packet);
    if (result != Success) {
        if (!callPacket(packet, [&] { emit sendFailed(packet, result); }))
            return Failed;
        callPacket(packet, [&] { packet->onSendFailed(Message::ErrorCode(result), this); });
        return result;
    }
    if (!callPacket(packet, [&] { emit sent(packet); }) ||
        !callPacket(packet, [&] { packet->onSent(this); }))
        return Failed;

    bool expectsResponse = false;
    if (!callPacket(packet, [&] { expectsResponse = packet->expectsResponse(); }))
        return Failed;
    if (expectsResponse) {
        m_replyOwed = true;
        do {
            result = receivePacket(packet);
        } while (result == IncorrectCommand);
        if (packetGone(packet))
            return Failed;
        if (result != Success) {
            if (!callPacket(packet, [&] { emit receiveFailed(packet, result); }))
                return Failed;
            callPacket(packet, [&] { packet->onReceiveFailed(Message::ErrorCode(result), this); });
            return result;
        }
        if (!callPacket(packet, [&] { emit received(packet); }))
            return Failed;
        if (!callPacket(packet, [&] { packet->onReceived(this); }))
            return Failed;
    }
    return Success;
}
