#pragma once

#include "quorvantisdevice.h"
#include "quorvantishid_global.h"

#include <QtQml/qqmlregistration.h>
#include <atomic>
#include <mutex>

struct hid_device_;

// The instrument over USB HID: the engine's raw operations mapped onto hidapi.
// Everything QML sees is inherited.
class QUORVANTISHID_EXPORT HIDDevice : public QuorvAntisDevice
{
    Q_OBJECT
    QML_ELEMENT

public:
    static constexpr unsigned short vendorId = 0x04D8;
    static constexpr unsigned short productId = 0xF361;

    explicit HIDDevice(QObject *parent = nullptr);
    ~HIDDevice() override;

protected:
    bool availableRaw() override;
    bool isConnectedRaw() override;
    ErrorCode connectRaw() override;
    void disconnectRaw() override;
    int writeRaw(const void *data, int length) override;
    int readRaw(void *data, int length) override;

private:
    // Written on the device thread only; the user-interface thread tests it for null.
    std::atomic<hid_device_ *> m_handle{nullptr};
    // hidapi is not safe to enter from two threads at once, and `available` is
    // read on the user-interface thread while the device thread reads and writes.
    std::mutex m_hidLock;
};
