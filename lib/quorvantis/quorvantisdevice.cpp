#include "quorvantisdevice.h"

#include "packets/bootloaderinfo.h"
#include "packets/extendedinfo.h"
#include "packets/fetchdataentries.h"
#include "packets/readdeviceidmemory.h"
#include "packets/readispublic.h"
#include "packets/updatetime.h"

#include <QQmlEngine>
#include <QThread>

namespace {
constexpr uchar extendedQueryMark = 0xA5;
} // namespace

QuorvAntisDevice::QuorvAntisDevice(QObject *parent)
    : Device(parent), m_bootloaderInfo(new BootloaderInfo(this)),
      m_extendedInfo(new ExtendedInfo(this)), m_updateTime(new UpdateTime(this)),
      m_readIsPublic(new ReadIsPublic(this))
{
    // A member, never the garbage collector's to delete.
    QQmlEngine::setObjectOwnership(&m_codeVersion, QQmlEngine::CppOwnership);
}

QuorvAntisDevice::~QuorvAntisDevice()
{
    // The thread uses this class's members; it must be gone before they are.
    stopAndWait();
}

Version *QuorvAntisDevice::codeVersion()
{
    return &m_codeVersion;
}

void QuorvAntisDevice::setCodeVersion(char major, char minor, char patch)
{
    m_codeVersion.setVersion(uchar(major), uchar(minor), uchar(patch));
    emit codeVersionChanged(&m_codeVersion);
}

FetchDataEntries *QuorvAntisDevice::currentWalk() const
{
    const std::lock_guard<std::mutex> lock(m_walkLock);
    return m_fetchDataEntries;
}

bool QuorvAntisDevice::hasAllHeaders() const
{
    const FetchDataEntries *walk = currentWalk();
    return walk && walk->hasAllHeaders();
}

QList<QObject *> QuorvAntisDevice::dataEntries() const
{
    const FetchDataEntries *walk = currentWalk();
    return walk ? walk->dataEntries() : QList<QObject *>();
}

void QuorvAntisDevice::refreshDataEntries()
{
    auto *walk = new FetchDataEntries();
    // On connection this runs on the device thread, which has no event loop: the walk
    // (and the entries it finds) must live where the device object lives.
    if (walk->thread() != thread())
        walk->moveToThread(thread());
    QObject::connect(this, &QObject::destroyed, walk, &QObject::deleteLater);
    QObject::connect(walk, &FetchDataEntries::dataEntriesChanged, this,
                     &QuorvAntisDevice::dataEntriesChanged);
    QObject::connect(walk, &FetchDataEntries::allHeadersAvailable, this,
                     &QuorvAntisDevice::hasAllHeadersChanged);
    // Runs on the device thread, where the failure happens: the connection state
    // is then still the one the exchange met.
    const auto walkFailed = [this, walk](uchar result) {
        if (result != NotConnected && isConnected() && currentWalk() == walk)
            emit headerWalkFailed();
    };
    QObject::connect(walk, &Message::sendFailed, this, walkFailed, Qt::DirectConnection);
    QObject::connect(walk, &Message::receiveFailed, this, walkFailed, Qt::DirectConnection);
    FetchDataEntries *previous = nullptr;
    {
        const std::lock_guard<std::mutex> lock(m_walkLock);
        previous = m_fetchDataEntries;
        m_fetchDataEntries = walk;
    }
    emit dataEntriesChanged();
    send(walk);
    // Dropped with this device if it goes first; its walks go with it anyway.
    if (previous)
        QMetaObject::invokeMethod(
            this, [this, previous] { retireWalk(previous); }, Qt::QueuedConnection);
}

void QuorvAntisDevice::retireWalk(FetchDataEntries *walk)
{
    m_retiredWalks.append(walk);
    QObject::connect(walk, &FetchDataEntries::usageChanged, this,
                     &QuorvAntisDevice::scheduleRelease);
    scheduleRelease();
}

// The check runs from the event loop, never inside a signal of an entry it may delete.
void QuorvAntisDevice::scheduleRelease()
{
    if (m_releaseScheduled)
        return;
    m_releaseScheduled = true;
    QMetaObject::invokeMethod(this, &QuorvAntisDevice::releaseUnusedWalks, Qt::QueuedConnection);
}

void QuorvAntisDevice::releaseUnusedWalks()
{
    m_releaseScheduled = false;
    for (auto it = m_retiredWalks.begin(); it != m_retiredWalks.end();) {
        FetchDataEntries *walk = *it;
        if (walk && walk->isInUse()) {
            ++it;
            continue;
        }
        it = m_retiredWalks.erase(it);
        delete walk; // its entries follow, deferred
    }
}

Device::ErrorCode QuorvAntisDevice::performHandshake()
{
    ErrorCode result = sendReceivePacket(m_bootloaderInfo);
    if (result != Success)
        return result;

    if (m_bootloaderInfo->versionFlag() != extendedQueryMark) {
        setBootloaderVersion(1, 0, 0);
        setCodeVersion(0, 0, 0);
    } else {
        result = sendReceivePacket(m_extendedInfo);
        if (result != Success)
            return result;
        const auto *info = reinterpret_cast<const uchar *>(m_extendedInfo->extendedInfo());
        setBootloaderVersion(char(info[2]), char(info[1]), 0);
        setCodeVersion(char(info[4]), char(info[3]), 0);
    }

    result = sendReceivePacket(m_readIsPublic);
    if (result != Success)
        return result;
    setIsPublic(m_readIsPublic->readIsPublic());

    result = sendReceivePacket(m_updateTime);
    if (result != Success)
        return result;

    MemoryBlock *block = memoryBlock(DeviceIDMemoryBlock);
    if (!block)
        return Failed;
    auto *reader = new ReadDeviceIDMemory(deviceID(), block, nullptr);
    reader->moveToThread(thread());
    QObject::connect(this, &QObject::destroyed, reader, &QObject::deleteLater);
    // The reader of the last handshake is out of the queue by now: release it.
    if (m_deviceIDReader)
        m_deviceIDReader->deleteLater();
    m_deviceIDReader = reader;
    sendImmediate(reader);

    // Packets queued meanwhile go out here too, but only the identity read decides
    // whether the handshake worked.
    ErrorCode identityResult = Failed;
    while (hasPendingPackets()) {
        Message *packet = takePendingPacket();
        if (!packet)
            break;
        const ErrorCode exchanged = sendReceivePacket(packet);
        if (packet == reader)
            identityResult = exchanged;
    }
    if (identityResult != Success)
        return identityResult;

    emit deviceIDChanged();
    updateRfNoiseFloor();
    return Success;
}

void QuorvAntisDevice::onConnected()
{
    refreshDataEntries();
}

void QuorvAntisDevice::onDisconnected()
{
    emit dataEntriesChanged();
    emit hasAllHeadersChanged(false);
}
