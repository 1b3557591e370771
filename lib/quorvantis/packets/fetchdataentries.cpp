#include "fetchdataentries.h"

#include "dataentry.h"
#include "device.h"
#include "readheader.h"

#include <QThread>
#include <algorithm>

namespace {
constexpr int replyNextAddress = 1;
constexpr int replyEntryType = 6;
} // namespace

FetchDataEntries::FetchDataEntries(QObject *parent)
    : Message(13, true, parent), m_readHeader(new ReadHeader(0, this))
{
    connect(m_readHeader, SIGNAL(dataEntryRead(DataEntry *)), this,
            SLOT(addDataEntry(DataEntry *)));
    // Queued even on one thread: the entries found before the failure are listed first.
    connect(this, &Message::sendFailed, this, &FetchDataEntries::endAfterFailure,
            Qt::QueuedConnection);
    connect(this, &Message::receiveFailed, this, &FetchDataEntries::endAfterFailure,
            Qt::QueuedConnection);
}

FetchDataEntries::~FetchDataEntries()
{
    Device::forgetPacket(this);
}

QList<QObject *> FetchDataEntries::dataEntries() const
{
    const std::lock_guard<std::mutex> lock(m_entriesLock);
    QList<QObject *> list;
    list.reserve(m_dataEntries.size());
    for (DataEntry *entry : m_dataEntries)
        list.append(entry);
    return list;
}

Message::ErrorCode FetchDataEntries::write(Request *request, Device *device)
{
    return m_readHeader->write(request, device);
}

bool FetchDataEntries::isInUse() const
{
    if (!m_allListed && !m_failed)
        return true;
    const std::lock_guard<std::mutex> lock(m_entriesLock);
    return std::any_of(m_dataEntries.cbegin(), m_dataEntries.cend(), [](const DataEntry *entry) {
        return entry->isLoading() || entry->isHeld();
    });
}

Message::ErrorCode FetchDataEntries::read(const Response *response, Device *device)
{
    ErrorCode result = Message::read(response, device);
    if (result != Success)
        return result;
    const quint32 asked = m_readHeader->absoluteAddress();
    const quint32 next = response->uint32LE(replyNextAddress);
    if (next <= asked) {
        qWarning("Header walk stopped: the header after 0x%08x was named as 0x%08x.", asked, next);
        return Failed;
    }
    if (++m_headersRead > MaximumHeaders) {
        qWarning("Header walk stopped after %d headers.", MaximumHeaders);
        return Failed;
    }
    if ((*response)[replyEntryType] == 0 && ++m_emptySlotsRead > MaximumEmptySlots) {
        qWarning("Header walk stopped after %d empty header slots.", MaximumEmptySlots);
        return Failed;
    }
    result = m_readHeader->read(response, device);
    if (result != Success)
        return result;
    requestNextEntry(next, device);
    return Success;
}

void FetchDataEntries::requestNextEntry(ulong nextAddress, Device *device)
{
    const quint32 next = quint32(nextAddress);
    if (next >= fieldHeadersEnd && !hasFieldHeaders())
        setHasFieldHeaders(true);
    if (next >= audioHeadersEnd && !hasAudioHeaders())
        setHasAudioHeaders(true);
    if (hasFieldHeaders() && hasAudioHeaders() && !m_hasAllHeaders)
        setHasAllHeaders(true);
    if (!m_hasAllHeaders) {
        m_readHeader->setAbsoluteAddress(next);
        device->send(this);
    }
}

void FetchDataEntries::setHasFieldHeaders(bool hasHeaders)
{
    if (m_hasFieldHeaders.exchange(hasHeaders) == hasHeaders)
        return;
    emit hasFieldHeadersChanged(hasHeaders, m_isRefresh);
    if (hasHeaders)
        emit fieldHeadersAvailable(m_isRefresh);
}

void FetchDataEntries::setHasAudioHeaders(bool hasHeaders)
{
    if (m_hasAudioHeaders.exchange(hasHeaders) == hasHeaders)
        return;
    emit hasAudioHeadersChanged(hasHeaders, m_isRefresh);
    if (hasHeaders)
        emit audioHeadersAvailable(m_isRefresh);
}

void FetchDataEntries::setHasAllHeaders(bool hasHeaders)
{
    if (m_hasAllHeaders.exchange(hasHeaders) == hasHeaders)
        return;
    if (!hasHeaders) {
        ++m_generation;
        m_allListed = false;
    } else if (QThread::currentThread() == thread()) {
        m_allListed = true;
        emit usageChanged();
    } else {
        const int generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation != m_generation)
                    return;
                m_allListed = true;
                emit usageChanged();
            },
            Qt::QueuedConnection);
    }
    emit hasAllHeadersChanged(hasHeaders, m_isRefresh);
    if (hasHeaders)
        emit allHeadersAvailable(m_isRefresh);
}

void FetchDataEntries::endAfterFailure()
{
    m_failed = true;
    emit usageChanged();
}

void FetchDataEntries::addDataEntry(DataEntry *entry)
{
    if (!entry)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_entriesLock);
        if (m_dataEntries.contains(entry->sortOrder())) {
            // Nothing lists or holds a duplicate; an instrument repeating one header
            // would otherwise pile them up until the walk goes.
            entry->deleteLater();
            return;
        }
        m_dataEntries.insert(entry->sortOrder(), entry);
    }
    connect(this, SIGNAL(destroyed()), entry, SLOT(deleteLater()));
    connect(entry, SIGNAL(destroyed(QObject *)), this, SLOT(removeDataEntry(QObject *)));
    connect(entry, &DataEntry::loadingChanged, this, &FetchDataEntries::usageChanged);
    connect(entry, &DataEntry::heldChanged, this, &FetchDataEntries::usageChanged);
    emit dataEntriesChanged();
}

void FetchDataEntries::removeDataEntry(QObject *entry)
{
    // By value: an entry without a valid start time is listed under key 0.
    const std::lock_guard<std::mutex> lock(m_entriesLock);
    for (auto it = m_dataEntries.begin(); it != m_dataEntries.end(); ++it) {
        if (it.value() == entry) {
            m_dataEntries.erase(it);
            return;
        }
    }
}

void FetchDataEntries::clearDataEntries()
{
    {
        const std::lock_guard<std::mutex> lock(m_entriesLock);
        m_dataEntries.clear();
    }
    emit dataEntriesChanged();
}

void FetchDataEntries::refresh()
{
    m_isRefresh = true;
    m_failed = false;
    m_headersRead = 0;
    m_emptySlotsRead = 0;
    setHasFieldHeaders(false);
    setHasAudioHeaders(false);
    setHasAllHeaders(false);
    m_readHeader->setRelativeAddress(0);
}

void FetchDataEntries::reset()
{
    refresh();
    m_isRefresh = false;
    clearDataEntries();
}
