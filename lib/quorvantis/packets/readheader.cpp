#include "readheader.h"

#include "audiodataentry.h"
#include "datetimeconverter.h"
#include "device.h"
#include "fielddataentry.h"

#include <QQmlEngine>
#include <QThread>
#include <algorithm>

namespace {
constexpr int headerRequestSize = 6;
constexpr int replyEntryType = 6;
constexpr int replyEntryAddress = 7;
constexpr int replyStartTime = 11;
constexpr unsigned long noEntryPauseMs = 10;
} // namespace

ReadHeader::ReadHeader(QObject *parent) : ReadHeader(0, parent) {}

ReadHeader::ReadHeader(ulong relativeAddress, QObject *parent)
    : Message(13, true, parent), m_address(quint32(relativeAddress) - 0x10000000u)
{}

ReadHeader::~ReadHeader()
{
    Device::forgetPacket(this);
}

void ReadHeader::setAbsoluteAddress(ulong address)
{
    m_address = quint32(address);
}

void ReadHeader::setRelativeAddress(ulong address)
{
    m_address = quint32(address) - 0x10000000u;
}

Message::ErrorCode ReadHeader::write(Request *request, Device *device)
{
    const ErrorCode result = Message::write(request, device);
    if (result != Success)
        return result;
    const quint32 address = m_address.load();
    request->setUInt32LE(2, address);
    const DeviceInformation *details = device->details();
    const quint64 remaining =
        quint64(quint32(headerAreaEnd - address)) * quint64(details->eepromBytesPerAddress);
    (*request)[headerRequestSize] = uchar(std::min<quint64>(remaining, details->bytesPerPacket));
    return Success;
}

Message::ErrorCode ReadHeader::read(const Response *response, Device *device)
{
    const ErrorCode result = Message::read(response, device);
    if (result != Success)
        return result;
    if ((*response)[replyEntryType] != 0) {
        if (DataEntry *entry = readDataEntry(response, device))
            emit dataEntryRead(entry);
    } else {
        QThread::msleep(noEntryPauseMs);
    }
    return Success;
}

DataEntry *ReadHeader::readDataEntry(const Response *response, Device *device)
{
    const quint32 entryAddress = response->uint32BE(replyEntryAddress);
    const DeviceDateTime stamp = DeviceDateTime::fromBytes(response->data() + replyStartTime);
    const QDateTime start = DateTimeConverter::fromDevice(&stamp);

    DataEntry *entry = nullptr;
    switch ((*response)[replyEntryType]) {
    case DataEntry::Field:
        entry = new FieldDataEntry(start, entryAddress, device && device->isPublic());
        break;
    case DataEntry::Audio:
        entry = new AudioDataEntry(start, entryAddress);
        break;
    default:
        return nullptr;
    }
    // Created on the device thread, which runs no event loop; the entry lives where the
    // device object lives, whether or not the device has a parent.
    if (device)
        entry->moveToThread(device->thread());
    // Listed entries have no parent; QML must never collect one.
    QQmlEngine::setObjectOwnership(entry, QQmlEngine::CppOwnership);
    return entry;
}
