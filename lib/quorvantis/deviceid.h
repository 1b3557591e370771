#pragma once

#include "quorvantis_global.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>

// The instrument's identity, decoded from its device-ID memory block. Filled
// on the device thread during the handshake, read from the user interface.
class QUORVANTIS_EXPORT DeviceID : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString id READ id NOTIFY deviceIDChanged)
    Q_PROPERTY(uchar hardwareVersion READ hardwareVersion NOTIFY hardwareVersionChanged)
    Q_PROPERTY(uint databaseID READ databaseID NOTIFY databaseIDChanged)
    Q_PROPERTY(uint barcode READ barcode NOTIFY barcodeChanged)

public:
    explicit DeviceID(QObject *parent);

    QString id() const;
    uchar hardwareVersion() const { return m_hardwareVersion.load(); }
    uint databaseID() const { return m_databaseID.load(); }
    uint barcode() const { return m_barcode.load(); }

public slots:
    void setDeviceID(QByteArray deviceID);

signals:
    void deviceIDChanged(QString deviceID);
    void hardwareVersionChanged(uchar hardwareVersion);
    void databaseIDChanged(uint databaseID);
    void barcodeChanged(uint barcode);

private:
    mutable QMutex m_idLock;
    QString m_id;
    std::atomic<uchar> m_hardwareVersion{0};
    std::atomic<uint> m_databaseID{0};
    std::atomic<uint> m_barcode{0};
};
