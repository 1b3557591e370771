#include "dataentry.h"

#include "datetimeconverter.h"
#include "device.h"
#include "packets/readaudiomemory.h"
#include "packets/readfieldmemory.h"

#include <QLoggingCategory>
#include <QThread>

namespace {
constexpr int headerSize = 7;
constexpr uchar headerMarker = 0xFF;

DataEntry::EntryType toEntryType(uchar type)
{
    switch (type) {
    case DataEntry::Field:
        return DataEntry::Field;
    case DataEntry::Audio:
        return DataEntry::Audio;
    default:
        return DataEntry::Undefined;
    }
}
} // namespace

DataEntry::DataEntry(uchar type, QDateTime dateTime, ulong absoluteAddress, QObject *parent)
    : QObject(parent), m_type(toEntryType(type)), m_absoluteAddress(quint32(absoluteAddress)),
      m_dateTime(dateTime.toUTC())
{}

QDateTime DataEntry::dateTime() const
{
    return m_dateTime.toLocalTime();
}

QString DataEntry::dateString() const
{
    return dateTime().toString(QStringLiteral("dd-MM-yyyy"));
}

QString DataEntry::timeString() const
{
    return dateTime().toString(QStringLiteral("HH:mm"));
}

qint64 DataEntry::sortOrder() const
{
    return m_dateTime.isValid() ? -m_dateTime.toMSecsSinceEpoch() : 0;
}

bool DataEntry::load(Device *device)
{
    return load(device, false);
}

bool DataEntry::load(Device *device, bool force)
{
    if (!device)
        return false;
    // State and reader belong to the entry's thread; a caller elsewhere (a worker) is
    // handed over instead of racing the decoder.
    if (QThread::currentThread() != thread()) {
        if (m_type == Undefined)
            return false;
        QMetaObject::invokeMethod(
            this, [this, device, force] { load(device, force); }, Qt::QueuedConnection);
        return true;
    }

    m_noiseFloor = device->rfNoiseFloor();
    if (m_loading)
        return true;
    if (m_loaded && !force)
        return true;

    if (!m_memoryReader) {
        if (m_type == Field)
            m_memoryReader = new ReadFieldMemory(m_absoluteAddress, this);
        else if (m_type == Audio)
            m_memoryReader = new ReadAudioMemory(m_absoluteAddress, this);
        else
            return false;
        const bool linked = connect(m_memoryReader, SIGNAL(dataReceived(Device *, QByteArray)),
                                    this, SLOT(onMemoryRead(Device *, QByteArray)));
        // A read that dies on the way (time-out, unplug, transport failure) must end the
        // load, or the entry would show as loading for ever.
        connect(m_memoryReader, &Message::sendFailed, this, &DataEntry::onReadFailed);
        connect(m_memoryReader, &Message::receiveFailed, this, &DataEntry::onReadFailed);
        if (!linked) {
            delete m_memoryReader;
            m_memoryReader = nullptr;
            return false;
        }
    }

    device->send(m_memoryReader);
    setLoading(true);
    return true;
}

void DataEntry::onMemoryRead(Device *, QByteArray data)
{
    if (data.size() < headerSize) {
        qWarning("Data entry did not contain enough data for a header.");
        setValid(false);
        return;
    }
    if (uchar(data.at(0)) != headerMarker) {
        qWarning("Data entry started with an incorrect header marker, expected 0xff.");
        setValid(false);
        return;
    }
    const DeviceDateTime stamp =
        DeviceDateTime::fromBytes(reinterpret_cast<const uchar *>(data.constData()) + 1);
    const QDateTime recorded = DateTimeConverter::fromDevice(&stamp);
    if (recorded != m_dateTime) {
        qWarning("Data entry date did not match the one specified in its header.");
        setValid(false);
        return;
    }
    // An entry that failed an earlier read is whole again once a read passes.
    if (!m_valid)
        setValid(true);
    onDataAvailable(data.mid(headerSize), true);
    setLoaded(true);
}

void DataEntry::onReadFailed(uchar)
{
    // What was read stays with the reader, so the next load carries on from there.
    setLoading(false);
}

void DataEntry::setValid(bool valid)
{
    m_valid = valid;
    emit validChanged();
    if (!valid)
        setLoaded(true);
}

void DataEntry::setLoaded(bool loaded)
{
    if (m_loaded == loaded)
        return;
    // Both flags are settled before either is announced, so that no receiver
    // sees an entry that reads as loaded and loading at once.
    m_loaded = loaded;
    const bool loadingEnds = loaded && m_loading;
    if (loadingEnds)
        m_loading = false;
    emit loadedChanged();
    if (loadingEnds)
        emit loadingChanged();
    if (loaded)
        emit this->loaded();
}

void DataEntry::setLoading(bool loading)
{
    if (m_loading == loading)
        return;
    m_loading = loading;
    const bool loadedEnds = loading && m_loaded;
    if (loadedEnds)
        m_loaded = false;
    emit loadingChanged();
    if (loadedEnds)
        emit loadedChanged();
}

void DataEntryHold::reset(DataEntry *entry)
{
    if (entry == m_entry)
        return;
    if (DataEntry *previous = m_entry) {
        if (--previous->m_holds == 0)
            emit previous->heldChanged();
    }
    m_entry = entry;
    if (entry && entry->m_holds++ == 0)
        emit entry->heldChanged();
}
