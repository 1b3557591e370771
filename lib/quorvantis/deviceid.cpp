#include "deviceid.h"

#include <QMutexLocker>

namespace {

// Bytes beyond the end of a short block read as 0.
uchar byteAt(const QByteArray &block, int index)
{
    return index < block.size() ? uchar(block.at(index)) : 0;
}

uint uint24At(const QByteArray &block, int index)
{
    return uint(byteAt(block, index)) | uint(byteAt(block, index + 1)) << 8 |
           uint(byteAt(block, index + 2)) << 16;
}

} // namespace

DeviceID::DeviceID(QObject *parent) : QObject(parent) {}

QString DeviceID::id() const
{
    QMutexLocker lock(&m_idLock);
    return m_id;
}

void DeviceID::setDeviceID(QByteArray deviceID)
{
    const QString hex = QString::fromLatin1(deviceID.toHex());
    {
        QMutexLocker lock(&m_idLock);
        m_id = hex;
    }
    emit deviceIDChanged(hex);

    m_hardwareVersion.store(byteAt(deviceID, 6));
    emit hardwareVersionChanged(hardwareVersion());

    m_databaseID.store(uint24At(deviceID, 3));
    emit databaseIDChanged(databaseID());

    m_barcode.store(uint24At(deviceID, 0));
    emit barcodeChanged(barcode());
}
