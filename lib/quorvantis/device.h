#pragma once

#include "deviceid.h"
#include "message.h"
#include "quorvantis_global.h"
#include "version.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Memory block types as the bootloader query reports them.
enum MemoryBlockType : qint32
{
    FlashMemoryBlock = 1,
    EepromMemoryBlock = 2,
    ConfigMemoryBlock = 3,
    DeviceIDMemoryBlock = 4,  // the identity record, addressed like flash
    DataEntryMemoryBlock = 5, // recorded entries and their headers, addressed like EEPROM
};

struct MemoryBlock
{
    MemoryBlockType type = FlashMemoryBlock;
    quint32 address = 0; // first address
    quint32 size = 0;    // in addresses; the block ends before address + size
    quint8 bytesPerAddress = 1;
};

// Packet size and address geometry, set per family by the bootloader query.
struct DeviceInformation
{
    quint8 bytesPerPacket = 0;
    quint8 flashBytesPerWord = 2;
    quint8 flashBytesPerAddress = 1;
    quint8 eepromBytesPerWord = 1;
    quint8 eepromBytesPerAddress = 1;
    quint8 configBytesPerWord = 2;
    quint8 configBytesPerAddress = 1;
};

// The transport-independent engine for one instrument: a thread that connects
// when the instrument is available, shakes hands, and exchanges queued packets
// one at a time. Subclasses supply the raw transport and the handshake.
//
// Note: the slots connect() and disconnect() hide QObject's static functions of
// those names inside this class and its subclasses; write QObject::connect there.
class QUORVANTIS_EXPORT Device : public QThread
{
    Q_OBJECT
    Q_PROPERTY(DeviceID *deviceID READ deviceID NOTIFY deviceIDChanged)
    Q_PROPERTY(bool connected READ isConnected NOTIFY connectedChanged)
    Q_PROPERTY(bool available READ isAvailable)
    Q_PROPERTY(DeviceFamily family READ family)
    Q_PROPERTY(Version *bootloaderVersion READ bootloaderVersion NOTIFY bootloaderVersionChanged)
    Q_PROPERTY(bool isPublic READ isPublic NOTIFY isPublicChanged)
    Q_PROPERTY(double rfNoiseFloor READ rfNoiseFloor)

public:
    enum MemoryType : qint32
    {
        FLASH = 1,
        EEPROM = 2,
        CONFIG = 3,
    };
    Q_ENUM(MemoryType)

    // The same codes as Message::ErrorCode.
    enum ErrorCode : uchar
    {
        Success = Message::Success,
        Timeout = Message::Timeout,
        IncorrectCommand = Message::IncorrectCommand,
        NotConnected = Message::NotConnected,
        Failed = Message::Failed,
    };
    Q_ENUM(ErrorCode)

    // The instrument family code reported by the bootloader query.
    enum DeviceFamily : qint32
    {
        UnknownFamily = 0,
    };
    Q_ENUM(DeviceFamily)

    static constexpr double defaultRfNoiseFloor = 1.9545;

    explicit Device(QObject *parent = nullptr);
    ~Device() override;

    // Takes a packet out of every device's queue, stops any further call into
    // it and waits for a call that a device thread is running. Every packet
    // class calls it first thing in its destructor: a call must never run on a
    // packet whose most derived part is already gone.
    static void forgetPacket(const Message *packet);

    bool isConnected() const;
    virtual bool isAvailable();
    bool hasMemory(MemoryBlockType type) const;
    // The first block of that type in the order reported, or none. Valid until
    // the next bootloader query replaces the list.
    MemoryBlock *memoryBlock(MemoryBlockType type);
    DeviceInformation *details() { return &m_details; }
    DeviceID *deviceID() const { return m_deviceID; }
    Version *bootloaderVersion() { return &m_bootloaderVersion; }
    DeviceFamily family() const { return m_family.load(); }
    bool isPublic() const { return m_isPublic.load(); }
    double rfNoiseFloor() const { return m_rfNoiseFloor.load(); }
    int communicationTimeout() const { return m_communicationTimeout.load(); }

public slots:
    ErrorCode connect();
    void disconnect();
    void send(Message *message);
    void sendImmediate(Message *message);
    void setFamily(Device::DeviceFamily family);
    void addMemoryBlock(const MemoryBlock &memoryBlock);
    void clearMemoryBlocks();
    void start();
    void stop();

protected slots:
    void setBootloaderVersion(char major, char minor, char patch);
    void setIsPublic(bool isPublic);

signals:
    void deviceIDChanged();
    void handshakeStarted();
    void connectedChanged(bool connected);
    void connected();
    void disconnected();
    void sent(Message *message);
    void sendFailed(Message *message, uchar errorCode);
    void received(Message *message);
    void receiveFailed(Message *message, uchar errorCode);
    void bootloaderVersionChanged(Version *newVersion);
    void isPublicChanged(bool isPublic);

protected:
    void run() override;

    virtual void onConnected() {}
    virtual void onDisconnected() {}

    // The raw transport. Reads and writes never block: a result of 1 or more
    // moved a report, 0 (or any negative other than -1) moved nothing yet,
    // -1 is a transport failure.
    virtual bool availableRaw() = 0;
    virtual bool isConnectedRaw() = 0;
    virtual ErrorCode connectRaw() = 0;
    virtual void disconnectRaw() = 0;
    virtual int writeRaw(const void *data, int length) = 0;
    virtual int readRaw(void *data, int length) = 0;
    virtual ErrorCode performHandshake() = 0;

    bool hasPendingPackets() const;
    Message *takePendingPacket();
    ErrorCode sendPacket(Message *packet);
    ErrorCode receivePacket(Message *packet);
    ErrorCode sendReceivePacket(Message *packet);
    void setConnected(bool connected);
    void updateRfNoiseFloor();

    void setCommunicationTimeout(int milliseconds) { m_communicationTimeout.store(milliseconds); }

    // Every concrete device calls this first thing in its destructor, while its
    // transport operations still exist.
    void stopAndWait();

private:
    struct PacketCalls;

    // True when a call into the packet may be running on this device's thread.
    bool packetDestroyed(const void *packet);
    bool beingDestroyed(const Message *packet);

    enum class Direction
    {
        Write,
        Read
    };

    ErrorCode exchange(Message *packet);
    ErrorCode transfer(Direction direction, Message *packet, ReportBuffer *buffer,
                       const std::function<bool()> &isReply = {});
    ErrorCode dropStaleReplies();
    bool answersRequest(Message *packet, const Response &response);
    void idleWait(int milliseconds);
    // Runs a call into the packet unless the packet was destroyed during its
    // exchange; false when it was. A packet destroyed on another thread while a
    // call into it runs waits for the call to end.
    template <typename Call> bool callPacket(Message *packet, Call call);
    bool packetGone(Message *packet);

    static const QMap<int, double> m_rfNoiseFloorMap;

    DeviceID *m_deviceID;
    std::atomic<double> m_rfNoiseFloor{defaultRfNoiseFloor};
    QMutex m_transportLock;
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_communicationTimeout{1000};
    std::atomic<bool> m_stopRequested{false};
    Version m_bootloaderVersion;
    std::atomic<DeviceFamily> m_family{UnknownFamily};
    QList<MemoryBlock> m_memoryBlocks;
    DeviceInformation m_details;
    QQueue<Message *> m_queue;
    std::atomic<bool> m_isPublic{false};
    // Released when the loop ends and acquired after joining the thread, so
    // that thread sanitizers see the join that QThread::wait performs.
    std::atomic<bool> m_loopEnded{false};

    // Standard primitives, which thread sanitizers see through.
    mutable std::mutex m_queueLock;
    std::condition_variable m_queueChanged;

    // Packets whose exchange is running and the calls into them, kept apart
    // from the device: a destructor waiting for a call may outlive it.
    std::shared_ptr<PacketCalls> m_calls;

    // Device thread only. The last request written, which a reply must answer,
    // and whether a reply to an earlier request may still come: one that timed
    // out is answered late, if at all, and must not pass for the next one's.
    Request m_request;
    bool m_replyOwed = false;
};
